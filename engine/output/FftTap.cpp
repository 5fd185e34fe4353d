// Spectrum of what is heard: a mono history written by the device thread, transformed on demand.
#include "output/FftTap.h"

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace lyt {

struct FftTap::Fft {
  kiss_fftr_cfg config = kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr);
  std::vector<float> window = std::vector<float>(kFftSize);
  std::vector<float> input = std::vector<float>(kFftSize);
  std::vector<kiss_fft_cpx> output = std::vector<kiss_fft_cpx>(kFftSize / 2 + 1);

  Fft() {
    for (int i = 0; i < kFftSize; ++i)
      window[i] = 0.5f * (1 - std::cos(2 * std::numbers::pi_v<float> * i / kFftSize));
  }
  ~Fft() { kiss_fftr_free(config); }
  Fft(const Fft &) = delete;
  Fft &operator=(const Fft &) = delete;
};

FftTap::FftTap() : fft_(std::make_unique<Fft>()) {
  for (auto &sample : history_)
    sample.store(0, std::memory_order_relaxed);
}

FftTap::~FftTap() = default;

void FftTap::push(const float *stereo, int frames) {
  // Only the last kFftSize frames are ever looked at.
  const int skipped = std::max(0, frames - kFftSize);
  uint32_t at = written_.load(std::memory_order_relaxed) + static_cast<uint32_t>(skipped);
  for (int i = skipped; i < frames; ++i, ++at)
    history_[at % kFftSize].store(0.5f * (stereo[2 * i] + stereo[2 * i + 1]), std::memory_order_relaxed);
  written_.store(at, std::memory_order_release);
}

void FftTap::magnitudes(float *out512) {
  const uint32_t end = written_.load(std::memory_order_acquire);
  for (int i = 0; i < kFftSize; ++i) {
    const float sample = history_[(end + i) % kFftSize].load(std::memory_order_relaxed);
    fft_->input[i] = sample * fft_->window[i];
  }
  kiss_fftr(fft_->config, fft_->input.data(), fft_->output.data());
  constexpr float kScale = 2.0f / kFftSize;
  for (int k = 0; k < kBins; ++k)
    out512[k] = std::hypot(fft_->output[k].r, fft_->output[k].i) * kScale;
}

} // namespace lyt
