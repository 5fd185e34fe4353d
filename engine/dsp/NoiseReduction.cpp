#include "dsp/NoiseReduction.h"

#include <speex/speex_preprocess.h>

#include <algorithm>
#include <cmath>

namespace lyt {
namespace {

// Deep enough to take a fan or a hum 10 dB and more down in the pauses, not so deep that the
// ends of words go with it.
constexpr int kSuppressionDb = -30;
// What is left in the pauses: taken down this far more, on frames this close to the noise floor.
constexpr double kPauseGain = 0.25;
constexpr double kNearFloorDb = 9;
constexpr double kSmoothSeconds = 0.05;
constexpr double kFloorRiseDbPerSecond = 3;
constexpr double kCloseSeconds = 0.08;

int16_t toSample(float x) {
  return static_cast<int16_t>(std::lround(std::clamp(x, -1.0f, 32767.0f / 32768.0f) * 32768.0f));
}

} // namespace

void NoiseReduction::StateFree::operator()(SpeexPreprocessState_ *state) const {
  speex_preprocess_state_destroy(state);
}

NoiseReduction::NoiseReduction(int sampleRate, int channels, int frameSize)
    : channels_(channels), frameSize_(frameSize), samples_(static_cast<size_t>(frameSize)),
      frameSeconds_(static_cast<double>(frameSize) / sampleRate) {
  for (int c = 0; c < channels; ++c) {
    SpeexPreprocessState *state = speex_preprocess_state_init(frameSize, sampleRate);
    int on = 1, off = 0, suppression = kSuppressionDb;
    speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_DENOISE, &on);
    speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_AGC, &off);
    speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_DEREVERB, &off);
    speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &suppression);
    states_.emplace_back(state);
  }
}

NoiseReduction::~NoiseReduction() = default;

// A short last frame is padded with silence, and only its own samples are kept.
void NoiseReduction::process(float *interleaved, int frames) {
  for (int c = 0; c < channels_; ++c) {
    std::fill(samples_.begin(), samples_.end(), int16_t{0});
    for (int i = 0; i < frames; ++i)
      samples_[static_cast<size_t>(i)] = toSample(interleaved[i * channels_ + c]);
    speex_preprocess_run(states_[static_cast<size_t>(c)].get(), samples_.data());
    for (int i = 0; i < frames; ++i)
      interleaved[i * channels_ + c] = samples_[static_cast<size_t>(i)] / 32768.0f;
  }
  closeInPauses(interleaved, frames);
}

void NoiseReduction::closeInPauses(float *interleaved, int frames) {
  const int samples = frames * channels_;
  double sum = 0;
  for (int i = 0; i < samples; ++i)
    sum += double(interleaved[i]) * interleaved[i];
  const double frameDb = samples > 0 && sum > 0 ? 10 * std::log10(sum / samples) : -120;
  // Smoothed over a few frames: the residue of the noise flickers.
  smoothDb_ += (frameDb - smoothDb_) * (1 - std::exp(-frameSeconds_ / kSmoothSeconds));
  const double level = std::max(smoothDb_, frameDb - kNearFloorDb);
  if (level < floorDb_)
    floorDb_ = std::max(level, -120.0);
  else
    floorDb_ += kFloorRiseDbPerSecond * frameSeconds_;
  const bool pause = level < floorDb_ + kNearFloorDb;
  const double wanted = pause ? gapGain_ + (kPauseGain - gapGain_) * (1 - std::exp(-frameSeconds_ / kCloseSeconds))
                              : 1.0;
  for (int i = 0; i < frames; ++i) {
    const auto g = static_cast<float>(gapGain_ + (wanted - gapGain_) * (i + 1) / frames);
    for (int c = 0; c < channels_; ++c)
      interleaved[i * channels_ + c] *= g;
  }
  gapGain_ = wanted;
}

} // namespace lyt
