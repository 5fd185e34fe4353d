// The three-hour MP3 of the benchmarks: a ten-second encoding's frames, repeated.
#include "LongMp3.h"

#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <sndfile.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace lyt::bench {
namespace {

using namespace lyt::test;

constexpr int kRate = 44100;
constexpr int kLongCopies = 1080; // ten seconds each: three hours

// The left channel, picked at `rate` Hz (the speech-like test signal has nothing that aliases).
std::vector<float> resampledMono(const std::vector<float> &stereo, int rate) {
  std::vector<float> mono(static_cast<size_t>(stereo.size() / 2.0 * rate / kRate));
  for (size_t i = 0; i < mono.size(); ++i)
    mono[i] = stereo[2 * static_cast<size_t>(double(i) * kRate / rate)];
  return mono;
}

} // namespace

std::string longMp3(int rate, int channels) {
  const std::string stem = "three-hours-" + std::to_string(rate) + "-" + std::to_string(channels);
  const std::string tagged = scratchPath(stem + "-ten.mp3"), bare = scratchPath(stem + "-ten-bare.mp3");
  const std::vector<float> stereo = speechLike(10, kRate);
  writeSndfile(tagged, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
               channels == 2 && rate == kRate ? stereo : resampledMono(stereo, rate), rate, channels);
  std::vector<unsigned char> frames;
  try {
    stripInfoFrame(tagged, bare);
    frames = readBytes(bare);
  } catch (const std::runtime_error &) {
    frames = readBytes(tagged); // written without an info frame
  }
  if (frames.size() > 10 && std::memcmp(frames.data(), "ID3", 3) == 0) {
    const size_t tag = 10 + ((frames[6] & 0x7F) << 21 | (frames[7] & 0x7F) << 14 | (frames[8] & 0x7F) << 7 |
                             (frames[9] & 0x7F));
    frames.erase(frames.begin(), frames.begin() + long(tag));
  }
  const std::string path = scratchPath(stem + ".mp3");
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < kLongCopies; ++i)
    out.write(reinterpret_cast<const char *>(frames.data()), long(frames.size()));
  return path;
}

} // namespace lyt::bench
