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
constexpr float kCeiling = 0.89f;
constexpr double kSilentDb = -90;

// Mean square and peak in one pass, over independent lanes: the sums need not wait on each other.
struct Measure {
  float meanSquare = 0;
  float peak = 0;
};

Measure measure(const float *interleaved, int samples) {
  constexpr int kLanes = 8;
  float squares[kLanes] = {}, peaks[kLanes] = {};
  int i = 0;
  for (; i + kLanes <= samples; i += kLanes)
    for (int lane = 0; lane < kLanes; ++lane) {
      const float x = interleaved[i + lane];
      squares[lane] += x * x;
      peaks[lane] = std::max(peaks[lane], std::fabs(x));
    }
  for (; i < samples; ++i) {
    squares[0] += interleaved[i] * interleaved[i];
    peaks[0] = std::max(peaks[0], std::fabs(interleaved[i]));
  }
  Measure measured;
  for (int lane = 0; lane < kLanes; ++lane) {
    measured.meanSquare += squares[lane];
    measured.peak = std::max(measured.peak, peaks[lane]);
  }
  if (samples > 0)
    measured.meanSquare /= static_cast<float>(samples);
  return measured;
}

double decibels(float meanSquare) {
  return meanSquare > 0 ? 10 * std::log10(meanSquare) : kSilentDb;
}

// From `from` towards `to` over the frame, reaching `to` on its last sample.
void ramp(float *interleaved, int frames, int channels, float from, float to) {
  const float step = (to - from) / static_cast<float>(frames);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i) {
      float &x = interleaved[i * channels + c];
      x = std::clamp(x * (from + step * static_cast<float>(i + 1)), -kCeiling, kCeiling);
    }
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

void LevelControl::process(float *interleaved, int frames, int channels, std::optional<bool> speech) {
  const Measure measured = measure(interleaved, frames * channels);
  const double level = decibels(measured.meanSquare);
  double wanted = gain_;
  const bool guessed = isSpeech(level);
  if (speech.value_or(guessed)) {
    const double follow = 1 - std::exp(-frameSeconds_ / kSpeechSeconds);
    speechDb_ += (level - speechDb_) * follow;
    wanted = std::pow(10, std::clamp(kTargetDb - speechDb_, kLeastGainDb, kMostGainDb) / 20);
  } else if (gain_ > 1) {
    // A pause: a boost falls away, so the noise between words stays where it was; the speech
    // level is kept, and the next word gets its gain back at once.
    wanted = gain_ + (1 - gain_) * (1 - std::exp(-frameSeconds_ / kPauseSeconds));
  }
  // A loud frame takes its gain down from its first sample on, not by the end of a ramp.
  const double most = measured.peak > 0 ? kCeiling / measured.peak : wanted;
  wanted = std::min(wanted, most);
  ramp(interleaved, frames, channels, static_cast<float>(std::min(gain_, most)), static_cast<float>(wanted));
  gain_ = wanted;
}

} // namespace lyt
