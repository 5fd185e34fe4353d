#include "dsp/LevelControl.h"

#include <algorithm>
#include <cmath>

namespace lyt {
namespace {

constexpr double kTargetDb = -20;       // speech brought to this RMS level
constexpr double kMostGainDb = 30;      // a speaker 24 dB under the other still comes up
constexpr double kLeastGainDb = -12;
constexpr double kSpeechAboveFloorDb = 10;
constexpr double kFloorRiseDbPerSecond = 3;
constexpr double kSpeechSeconds = 0.06; // how fast the speech level follows a new speaker
constexpr double kPauseSeconds = 0.05;  // how fast a boost falls away in a pause
// 1 dB under full scale: the resampling after the tempo may overshoot a little.
constexpr double kCeiling = 0.89;
constexpr double kSilentDb = -90;

double levelDb(const float *interleaved, int samples) {
  double sum = 0;
  for (int i = 0; i < samples; ++i)
    sum += double(interleaved[i]) * interleaved[i];
  return samples > 0 && sum > 0 ? 10 * std::log10(sum / samples) : kSilentDb;
}

double peakOf(const float *interleaved, int samples) {
  float peak = 0;
  for (int i = 0; i < samples; ++i)
    peak = std::max(peak, std::fabs(interleaved[i]));
  return peak;
}

} // namespace

LevelControl::LevelControl(int sampleRate, int frameSize)
    : frameSeconds_(static_cast<double>(frameSize) / sampleRate) {}

double LevelControl::gainDb() const {
  return 20 * std::log10(gain_);
}

bool LevelControl::isSpeech(double level) {
  if (level < noiseFloorDb_)
    noiseFloorDb_ = std::max(level, kSilentDb);
  else
    noiseFloorDb_ += kFloorRiseDbPerSecond * frameSeconds_;
  return level > noiseFloorDb_ + kSpeechAboveFloorDb;
}

void LevelControl::process(float *interleaved, int frames, int channels) {
  const int samples = frames * channels;
  const double level = levelDb(interleaved, samples);
  double wanted = gain_;
  if (isSpeech(level)) {
    const double follow = 1 - std::exp(-frameSeconds_ / kSpeechSeconds);
    speechDb_ += (level - speechDb_) * follow;
    wanted = std::pow(10, std::clamp(kTargetDb - speechDb_, kLeastGainDb, kMostGainDb) / 20);
  } else if (gain_ > 1) {
    // A pause: a boost falls away, so the noise between words stays where it was; the speech
    // level is kept, and the next word gets its gain back at once.
    wanted = gain_ + (1 - gain_) * (1 - std::exp(-frameSeconds_ / kPauseSeconds));
  }
  // A loud frame takes its gain down from its first sample on, not by the end of a ramp.
  const double peak = peakOf(interleaved, samples);
  const double most = peak > 0 ? kCeiling / peak : wanted;
  wanted = std::min(wanted, most);
  const double start = std::min(gain_, most);
  for (int i = 0; i < frames; ++i) {
    const double g = start + (wanted - start) * (i + 1) / frames;
    for (int c = 0; c < channels; ++c) {
      float &x = interleaved[i * channels + c];
      x = static_cast<float>(std::clamp(x * g, -kCeiling, kCeiling));
    }
  }
  gain_ = wanted;
}

} // namespace lyt
