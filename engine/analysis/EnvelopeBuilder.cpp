// Decoded frames into envelope steps: lowest, highest and RMS per step.
#include "analysis/EnvelopeBuilder.h"

#include <algorithm>
#include <cmath>

namespace lyt {
namespace {

constexpr int64_t kStepsPerSecond = 100;
static_assert(RecordingAnalysis::kStepSeconds * kStepsPerSecond == 1.0);

int16_t fullScale(float sample) {
  return static_cast<int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

EnvelopeBuilder::EnvelopeBuilder(int sampleRate, int channels)
    : sampleRate_(sampleRate), channels_(channels), stepEnd_(endOfStep(0)) {}

int64_t EnvelopeBuilder::endOfStep(int64_t step) const {
  return (step + 1) * sampleRate_ / kStepsPerSecond;
}

// Eight independent lanes, so that the compiler can keep them in vector registers.
void EnvelopeBuilder::accumulate(const float *samples, int64_t count) {
  constexpr int kLanes = 8;
  float low[kLanes], high[kLanes], squares[kLanes];
  std::fill_n(low, kLanes, low_);
  std::fill_n(high, kLanes, high_);
  std::fill_n(squares, kLanes, 0.0f);
  int64_t i = 0;
  for (; i + kLanes <= count; i += kLanes)
    for (int lane = 0; lane < kLanes; ++lane) {
      const float sample = samples[i + lane];
      low[lane] = std::min(low[lane], sample);
      high[lane] = std::max(high[lane], sample);
      squares[lane] += sample * sample;
    }
  for (; i < count; ++i) {
    low[0] = std::min(low[0], samples[i]);
    high[0] = std::max(high[0], samples[i]);
    squares[0] += samples[i] * samples[i];
  }
  low_ = *std::min_element(low, low + kLanes);
  high_ = *std::max_element(high, high + kLanes);
  for (const float lane : squares)
    sumOfSquares_ += lane;
}

void EnvelopeBuilder::add(const float *samples, int64_t frames, std::vector<EnvelopeStep> &out) {
  while (frames > 0) {
    const int64_t run = std::min(frames, stepEnd_ - frame_);
    accumulate(samples, run * channels_);
    framesInStep_ += run;
    frame_ += run;
    samples += run * channels_;
    frames -= run;
    if (frame_ == stepEnd_)
      closeStep(out);
  }
}

void EnvelopeBuilder::finish(std::vector<EnvelopeStep> &out) {
  if (framesInStep_ > 0)
    closeStep(out);
}

void EnvelopeBuilder::closeStep(std::vector<EnvelopeStep> &out) {
  const double samples = double(framesInStep_) * channels_;
  out.push_back({fullScale(low_), fullScale(high_), static_cast<float>(std::sqrt(sumOfSquares_ / samples))});
  stepEnd_ = endOfStep(++step_);
  framesInStep_ = 0;
  low_ = high_ = 0.0f;
  sumOfSquares_ = 0.0;
}

} // namespace lyt
