// Writes each format's recording on first use.
#include "Fixtures.h"

#include "AudioFiles.h"
#include "Signals.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <stdexcept>

namespace lyt::test {
namespace {

constexpr double kSeconds = 3.0;

std::vector<float> toneWithNoise(int rate, int channels) {
  std::vector<float> signal = sine(440, kSeconds, rate, channels, 0.4f);
  const std::vector<float> hiss = noise(kSeconds, rate, channels, 0.1f);
  for (size_t i = 0; i < signal.size(); ++i)
    signal[i] += hiss[i];
  return signal;
}

Fixture sndfileFixture(const std::string &name, int format, int rate, int channels, Decoded decoded,
                       bool vbr = false) {
  Fixture f{name, scratchPath(name), rate, channels, kSeconds, decoded, Fixture::Opener::Stream};
  writeSndfile(f.path, format, toneWithNoise(rate, channels), rate, channels, vbr);
  return f;
}

Fixture ffmpegFixture(const std::string &name, const char *codec, Fixture::Opener opener, int bitRate) {
  Fixture f{name, scratchPath(name), 44100, 2, kSeconds, Decoded::Lossy, opener};
  writeWithFfmpeg(f.path, codec, toneWithNoise(44100, 2), 44100, 2, bitRate);
  return f;
}

// An ID3v2 tag of `size` bytes whose picture is a copy of `frames`, over and over: a walk that
// does not step over the tag finds a stream in it.
std::vector<unsigned char> id3v2TagFullOf(const std::vector<unsigned char> &frames, size_t size) {
  const size_t body = size - 10;
  std::vector<unsigned char> tag = {'I', 'D', '3', 3, 0, 0};
  for (const int shift : {21, 14, 7, 0})
    tag.push_back(static_cast<unsigned char>((body >> shift) & 0x7F));
  tag.insert(tag.end(), {'A', 'P', 'I', 'C'});
  for (const int shift : {24, 16, 8, 0})
    tag.push_back(static_cast<unsigned char>((body - 10) >> shift));
  tag.insert(tag.end(), {0, 0});
  while (tag.size() < size)
    tag.insert(tag.end(), frames.begin(), frames.begin() + long(std::min(frames.size(), size - tag.size())));
  return tag;
}

// Two MP3 recordings (each with its own Info frame and LAME tag) joined end to end, as recorders
// that append and users who join dictations make them; with `junkBetween`, 80 KB of zeros (space a
// recorder left unwritten) and a 100 KB tag lie between them, each more than a resync used to
// search.
Fixture joinedMp3Fixture(const std::string &name, bool junkBetween) {
  Fixture f{name, scratchPath(name), 44100, 1, kSeconds, Decoded::Lossy, Fixture::Opener::Stream};
  const std::vector<float> signal = toneWithNoise(f.rate, 1);
  const auto half = signal.begin() + long(signal.size() / 2);
  const std::string first = scratchPath("first-" + name), second = scratchPath("second-" + name);
  const int mp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  writeSndfile(first, mp3, std::vector<float>(signal.begin(), half), f.rate, 1);
  writeSndfile(second, mp3, std::vector<float>(half, signal.end()), f.rate, 1);
  std::vector<unsigned char> bytes = readBytes(first);
  if (junkBetween) {
    const std::vector<unsigned char> tag = id3v2TagFullOf(bytes, 100000);
    bytes.resize(bytes.size() + 80000, 0);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
  }
  const std::vector<unsigned char> rest = readBytes(second);
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  writeBytes(f.path, bytes);
  return f;
}

std::vector<Fixture> writeAll() {
  std::vector<Fixture> all;
  const int wav = SF_FORMAT_WAV;
  all.push_back(sndfileFixture("pcm16.wav", wav | SF_FORMAT_PCM_16, 44100, 2, Decoded::Exactly));
  all.push_back(sndfileFixture("pcm8.wav", wav | SF_FORMAT_PCM_U8, 44100, 1, Decoded::Exactly));
  all.push_back(sndfileFixture("pcm24.wav", wav | SF_FORMAT_PCM_24, 44100, 2, Decoded::Exactly));
  all.push_back(sndfileFixture("pcm32.wav", wav | SF_FORMAT_PCM_32, 44100, 2, Decoded::Exactly));
  all.push_back(sndfileFixture("float.wav", wav | SF_FORMAT_FLOAT, 44100, 2, Decoded::Exactly));
  all.push_back(sndfileFixture("ulaw.wav", wav | SF_FORMAT_ULAW, 8000, 1, Decoded::Exactly));
  all.push_back(sndfileFixture("alaw.wav", wav | SF_FORMAT_ALAW, 8000, 1, Decoded::Exactly));
  // libsndfile cannot seek in it: it is read from the start.
  all.push_back(sndfileFixture("gsm610.wav", wav | SF_FORMAT_GSM610, 8000, 1, Decoded::Lossy));
  all.push_back(sndfileFixture("mono22k.wav", wav | SF_FORMAT_PCM_16, 22050, 1, Decoded::Exactly));
  // Above the chain's 192 kHz: played at half its rate through a low-pass filter.
  all.push_back(sndfileFixture("mono384k.wav", wav | SF_FORMAT_PCM_16, 384000, 1, Decoded::Lossy));
  all.push_back(sndfileFixture("pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 2, Decoded::Exactly));
  all.push_back(sndfileFixture("tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, Decoded::Exactly));
  all.push_back(sndfileFixture("tone.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2, Decoded::Lossy));
  all.push_back(sndfileFixture("tone.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, Decoded::Lossy));
  const int mp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  all.push_back(sndfileFixture("cbr.mp3", mp3, 44100, 2, Decoded::Lossy));
  all.push_back(sndfileFixture("vbr.mp3", mp3, 44100, 2, Decoded::Lossy, true));
  all.push_back(sndfileFixture("mono.mp3", mp3, 22050, 1, Decoded::Lossy));
  Fixture bare = all[all.size() - 3];
  bare.name = "noinfo.mp3";
  bare.path = scratchPath(bare.name);
  stripInfoFrame(all[all.size() - 3].path, bare.path);
  all.push_back(bare);
  all.push_back(joinedMp3Fixture("joined.mp3", false));
  all.push_back(joinedMp3Fixture("joined-junk-between.mp3", true));
  all.push_back(ffmpegFixture("tone.mp2", "mp2", Fixture::Opener::Stream, 192000));
  all.push_back(ffmpegFixture("v1.wma", "wmav1", Fixture::Opener::Wma, 128000));
  all.push_back(ffmpegFixture("v2.wma", "wmav2", Fixture::Opener::Wma, 128000));
  all.push_back(ffmpegFixture("tone.m4a", "aac", Fixture::Opener::Wma, 128000));
  for (ModuleKind kind :
       {ModuleKind::Mod, ModuleKind::S3m, ModuleKind::Xm, ModuleKind::It, ModuleKind::Mtm}) {
    const std::string name = std::string("song.") + moduleExtension(kind);
    Fixture f{name, scratchPath(name), 44100, 2, kModuleSeconds, Decoded::Lossy, Fixture::Opener::Music};
    writeBytes(f.path, makeModule(kind));
    all.push_back(f);
  }
  return all;
}

} // namespace

const std::vector<Fixture> &allFixtures() {
  static const std::vector<Fixture> all = writeAll();
  return all;
}

const Fixture &fixture(const std::string &name) {
  for (const Fixture &f : allFixtures())
    if (f.name == name)
      return f;
  throw std::runtime_error("no fixture " + name);
}

std::string testNameOf(std::string fixtureName) {
  for (char &c : fixtureName)
    if (!std::isalnum(static_cast<unsigned char>(c)))
      c = '_';
  return fixtureName;
}

std::string writeWav(const std::string &name, const std::vector<float> &interleaved, int rate, int channels) {
  const std::string path = scratchPath(name);
  writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, interleaved, rate, channels);
  return path;
}

} // namespace lyt::test
