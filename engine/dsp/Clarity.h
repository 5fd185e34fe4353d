// Making a poor recording clearer, on the source's frames before the tempo stream: which channel
// is heard, noise reduction and automatic level, in that order, at the recording's own rate.
#pragma once

#include "dsp/LevelControl.h"
#include "dsp/NoiseReduction.h"

#include <cstdint>
#include <memory>

namespace lyt {

enum class ChannelChoice { Both, Left, Right };

struct ClarityConfig {
  bool denoise = false;
  bool level = false;
  ChannelChoice channel = ChannelChoice::Both;
  bool any() const { return denoise || level || channel != ChannelChoice::Both; }
  bool operator==(const ClarityConfig &) const = default;
};

// Not thread-safe: the owner serialises configuration and processing.
class Clarity {
public:
  Clarity(int sampleRate, int channels);
  ~Clarity();

  void configure(const ClarityConfig &config);
  const ClarityConfig &config() const { return config_; }
  // Frames come in whole frames of this many (only the last of a recording may be shorter).
  int quantum() const { return config_.denoise || config_.level ? frameSize_ : 1; }
  // `frames` interleaved frames, in place.
  void process(float *interleaved, int64_t frames);

private:
  void chooseChannel(float *interleaved, int64_t frames) const;

  const int sampleRate_;
  const int channels_;
  const int frameSize_;
  ClarityConfig config_;
  std::unique_ptr<NoiseReduction> noise_;
  std::unique_ptr<LevelControl> level_;
};

} // namespace lyt
