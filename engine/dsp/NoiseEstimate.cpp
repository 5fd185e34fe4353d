#include "dsp/NoiseEstimate.h"

#include <algorithm>
#include <cmath>

namespace lyt {
namespace {

constexpr double kSmoothSeconds = 0.04;
// The window, in sub-windows: long enough to hold a pause between any two words.
constexpr double kWindowSeconds = 1.5;
constexpr int kSubWindows = 6;
// The minimum of a smoothed noise lies under its mean by about this much.
constexpr float kMinimumBias = 1.5f;
constexpr float kQuietest = 1e-20f;

} // namespace

NoiseEstimate::NoiseEstimate(int bins, double blockSeconds)
    : smoothing_(static_cast<float>(std::exp(-blockSeconds / kSmoothSeconds))),
      blocksPerSubWindow_(std::max(1, static_cast<int>(std::lround(kWindowSeconds / kSubWindows / blockSeconds)))),
      smoothed_(static_cast<size_t>(bins)), subWindowMinimum_(static_cast<size_t>(bins), HUGE_VALF),
      windowMinimum_(static_cast<size_t>(bins), HUGE_VALF), power_(static_cast<size_t>(bins)),
      subWindowMinima_(kSubWindows, std::vector<float>(static_cast<size_t>(bins), HUGE_VALF)) {}

void NoiseEstimate::update(const float *power) {
  if (!started_)
    std::copy(power, power + smoothed_.size(), smoothed_.begin());
  started_ = true;
  for (size_t k = 0; k < smoothed_.size(); ++k) {
    smoothed_[k] = smoothing_ * smoothed_[k] + (1 - smoothing_) * power[k];
    subWindowMinimum_[k] = std::min(subWindowMinimum_[k], smoothed_[k]);
    power_[k] = kMinimumBias * std::max(std::min(subWindowMinimum_[k], windowMinimum_[k]), kQuietest);
  }
  if (++blocksInSubWindow_ == blocksPerSubWindow_)
    startSubWindow();
}

// The oldest sub-window's minima make way for the one just ended's.
void NoiseEstimate::startSubWindow() {
  blocksInSubWindow_ = 0;
  subWindowMinima_[oldest_].swap(subWindowMinimum_);
  oldest_ = (oldest_ + 1) % subWindowMinima_.size();
  std::fill(subWindowMinimum_.begin(), subWindowMinimum_.end(), HUGE_VALF);
  std::fill(windowMinimum_.begin(), windowMinimum_.end(), HUGE_VALF);
  for (const std::vector<float> &minima : subWindowMinima_)
    for (size_t k = 0; k < minima.size(); ++k)
      windowMinimum_[k] = std::min(windowMinimum_[k], minima[k]);
}

} // namespace lyt
