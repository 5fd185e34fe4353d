// The last 1024 frames handed to the device, and their spectrum.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace lyt {

class FftTap {
public:
  static constexpr int kFftSize = 1024;
  static constexpr int kBins = kFftSize / 2;

  FftTap();
  ~FftTap();

  // Device thread: lock-free, no allocation.
  void push(const float *stereo, int frames);
  // Any other thread: 512 linear magnitudes of the last 1024 frames (Hann window, scaled so that
  // a full-scale sine at a bin centre gives 0.5).
  void magnitudes(float *out512);

private:
  std::array<std::atomic<float>, kFftSize> history_;
  std::atomic<uint32_t> written_{0};
  struct Fft;
  std::unique_ptr<Fft> fft_;
};

} // namespace lyt
