// Decoded frames into envelope steps of exactly RecordingAnalysis::kStepSeconds each.
#pragma once

#include "analysis/RecordingAnalysis.h"

#include <cstdint>
#include <vector>

namespace lyt {

// Step k covers frames k * rate / 100 up to (k + 1) * rate / 100, so the steps stay on the
// recording's clock at rates that are not a multiple of 100.
class EnvelopeBuilder {
public:
  EnvelopeBuilder(int sampleRate, int channels);
  // Adds `frames` interleaved frames; every step they complete is appended to `out`.
  void add(const float *samples, int64_t frames, std::vector<EnvelopeStep> &out);
  // Appends the last, shorter step, if frames are left over.
  void finish(std::vector<EnvelopeStep> &out);

private:
  int64_t endOfStep(int64_t step) const;
  void accumulate(const float *samples, int64_t count);
  void closeStep(std::vector<EnvelopeStep> &out);

  const int sampleRate_;
  const int channels_;
  int64_t step_ = 0;
  int64_t stepEnd_;
  int64_t frame_ = 0;
  int64_t framesInStep_ = 0;
  float low_ = 0.0f;
  float high_ = 0.0f;
  double sumOfSquares_ = 0.0;
};

} // namespace lyt
