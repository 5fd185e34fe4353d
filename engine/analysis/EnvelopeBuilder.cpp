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

void EnvelopeBuilder::add(const float *samples, int64_t frames, std::vector<EnvelopeStep> &out) {
  while (frames > 0) {
    const int64_t run = std::min(frames, stepEnd_ - frame_);
    float low = low_, high = high_;
    double sumOfSquares = 0.0;
    for (const float *sample = samples, *end = samples + run * channels_; sample != end; ++sample) {
      low = std::min(low, *sample);
      high = std::max(high, *sample);
      sumOfSquares += double(*sample) * *sample;
    }
    low_ = low;
    high_ = high;
    sumOfSquares_ += sumOfSquares;
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
