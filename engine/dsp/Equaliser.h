// Boost-and-cut equaliser: up to kMaxBands peaking biquads in series over mono or stereo float
// audio at the recording's own rate.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace lyt {

struct EqBand {
  float centreHz = 1000;
  float bandwidthOctaves = 1; // the band's width when q is 0
  float q = 0;
  float gainDb = 0;
};

// Not thread-safe: the owner serialises configuration and processing.
class Equaliser {
public:
  static constexpr int kMaxBands = 16;

  explicit Equaliser(int sampleRate) : sampleRate_(sampleRate) {}

  // False (and nothing changes) for a band index out of range or parameters that make no filter.
  bool setBand(int index, const EqBand &band);
  std::optional<EqBand> band(int index) const;
  bool empty() const;
  void clear();
  // Filters `frames` interleaved frames of `channels` (1 or 2) samples in place.
  void process(float *samples, int64_t frames, int channels);
  // Forgets the filters' memory, for a jump in the signal.
  void reset();

private:
  struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double state[2][2] = {{0, 0}, {0, 0}};
    void design(double rate, const EqBand &band);
    float run(int channel, float x);
  };
  struct Slot {
    EqBand band;
    Biquad filter;
  };

  int sampleRate_;
  std::array<std::optional<Slot>, kMaxBands> slots_;
};

} // namespace lyt
