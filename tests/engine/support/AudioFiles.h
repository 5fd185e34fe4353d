// Writes test recordings: libsndfile's formats, FFmpeg's encoders, and a scratch folder for them.
#pragma once

#include <string>
#include <vector>

namespace lyt::test {

// A fresh folder for this test process's files, removed at exit.
const std::string &scratchDir();
std::string scratchPath(const std::string &name);

// libsndfile: `format` is an SF_FORMAT_* combination. For MPEG layer III, `vbr` picks variable
// bit rate.
void writeSndfile(const std::string &path, int format, const std::vector<float> &interleaved, int rate,
                  int channels, bool vbr = false);
// The MP3 file again without its Xing/Info frame, as many encoders write it.
void stripInfoFrame(const std::string &from, const std::string &to);
// FFmpeg's encoder `codec` ("wmav1", "wmav2", "aac", "mp2"), container chosen by the file name.
void writeWithFfmpeg(const std::string &path, const char *codec, const std::vector<float> &interleaved,
                     int rate, int channels, int bitRate);
// The one stream of `from` in the container that `to`'s name picks, packets copied as they are.
void remuxWithFfmpeg(const std::string &from, const std::string &to);
// A quiet 200 Hz tone of `seconds`, 8 kHz mono 16-bit WAV: quick to open, long enough for the
// places a test visits. Written once per length in a test process.
const std::string &quietTone(int seconds);
void writeBytes(const std::string &path, const std::vector<unsigned char> &bytes);
std::vector<unsigned char> readBytes(const std::string &path);

// Every frame a decoder yields from start to end, as the engine's offline renderer would read it
// through libsndfile.
std::vector<float> decodeWithSndfile(const std::string &path, int &channels);

} // namespace lyt::test
