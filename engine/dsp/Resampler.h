// The one change of sample rate in the chain: from the recording's (playback) rate to the device's.
#pragma once

#include "dsp/SampleBuffer.h"

struct SwrContext;

namespace lyt {

// Interleaved float frames of a fixed channel count; not thread-safe.
class Resampler {
public:
  Resampler() = default;
  ~Resampler();
  Resampler(const Resampler &) = delete;
  Resampler &operator=(const Resampler &) = delete;

  // Starts afresh; nothing of what went in before comes out.
  void configure(int inRate, int outRate, int channels);
  bool passesThrough() const { return inRate_ == outRate_; }
  // Appends the frames that `frames` more input frames yield to `out`.
  void process(const float *in, int frames, SampleBuffer &out);
  // Appends what is still held back, for the end of the input.
  void flush(SampleBuffer &out);

private:
  void convert(const float *in, int frames, SampleBuffer &out);

  SwrContext *swr_ = nullptr;
  int inRate_ = 0;
  int outRate_ = 0;
  int channels_ = 0;
};

} // namespace lyt
