// Writes each format's recording on first use.
#include "Fixtures.h"

#include "AudioFiles.h"
#include "Signals.h"

#include <sndfile.h>

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
  all.push_back(sndfileFixture("mono22k.wav", wav | SF_FORMAT_PCM_16, 22050, 1, Decoded::Exactly));
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

std::string writeWav(const std::string &name, const std::vector<float> &interleaved, int rate, int channels) {
  const std::string path = scratchPath(name);
  writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, interleaved, rate, channels);
  return path;
}

} // namespace lyt::test
