// Steady noise (a fan, hum, hiss, traffic) pushed down in the pauses of speech, on speexdsp's
// preprocessor: a spectral gain from a running noise estimate, frame by frame at the recording's
// own rate; then what is left of the noise where nobody speaks is taken down further, by a gain
// that closes on frames near the noise floor and opens at once on speech. The preprocessor
// delays the sound by one frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct SpeexPreprocessState_;

namespace lyt {

class NoiseReduction {
public:
  // One estimate per channel; frames of `frameSize` samples.
  NoiseReduction(int sampleRate, int channels, int frameSize);
  ~NoiseReduction();
  NoiseReduction(const NoiseReduction &) = delete;
  NoiseReduction &operator=(const NoiseReduction &) = delete;

  // Processes one frame (frameSize frames of interleaved samples, or fewer at the very end) in place.
  void process(float *interleaved, int frames);

private:
  void closeInPauses(float *interleaved, int frames);

  struct StateFree {
    void operator()(SpeexPreprocessState_ *state) const;
  };
  const int channels_;
  const int frameSize_;
  std::vector<std::unique_ptr<SpeexPreprocessState_, StateFree>> states_;
  std::vector<int16_t> samples_;
  const double frameSeconds_;
  double floorDb_ = -60;
  double smoothDb_ = -60;
  double gapGain_ = 1;
};

} // namespace lyt
