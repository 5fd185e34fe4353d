// Steady noise (a fan, hum, hiss, traffic) pushed down in the pauses of speech, at the recording's
// own rate: each block's spectrum takes a Wiener gain against the estimate of the noise in each
// band, with the speech's share estimated partly from the block before so that the leftover noise
// does not twinkle; the rumble under the lowest voice goes. Then what is left of the noise where
// nobody speaks is taken down further, by a gain that closes on blocks without speech and opens at
// once on speech. Blocks overlap by half; the sound comes out one frame late.
#pragma once

#include "dsp/NoiseEstimate.h"
#include "dsp/RealFft.h"

#include <vector>

namespace lyt {

class NoiseReduction {
public:
  // One estimate per channel; frames of `frameSize` samples, half the transform's length (a power
  // of two makes the transform fastest).
  NoiseReduction(int sampleRate, int channels, int frameSize);

  // Processes one frame (frameSize frames of interleaved samples, or fewer at the very end) in place.
  // Neither allocates nor locks.
  void process(float *interleaved, int frames);
  // Whether the last frame held speech in any channel, by its speech-to-noise ratio.
  bool heardSpeech() const { return heardSpeech_; }

private:
  struct Channel {
    std::vector<float> earlier, later; // the last two frames
    std::vector<float> overlap; // the second half of the last block's output
    NoiseEstimate noise;
    std::vector<float> speechPower; // per bin, in the last block
    float pauseGain = 1;
  };

  void clean(Channel &channel);
  // Wiener gains into gains_; returns the ratio of the block's speech to its noise.
  float wienerGains(Channel &channel);
  float pauseGain(Channel &channel, float speechToNoise);

  const int channels_;
  const int frameSize_;
  const size_t rumbleBins_;
  const float pauseClosing_;
  RealFft fft_;
  std::vector<float> analysis_, synthesis_, power_, gains_;
  std::vector<Channel> perChannel_;
  bool heardSpeech_ = false;
};

} // namespace lyt
