// The power of steady noise in each band of a spectrum, block by block: the minimum of the band's
// smoothed power over the last second and a half, taken as the noise (speech leaves every band
// quiet now and then, noise never does), scaled up by what a minimum lies under a mean. It follows
// noise that falls at once and noise that grows within the window's length.
#pragma once

#include <cstddef>
#include <vector>

namespace lyt {

class NoiseEstimate {
public:
  // Spectra of `bins` bins, one every `blockSeconds`.
  NoiseEstimate(int bins, double blockSeconds);

  // Takes the next block's power spectrum in. Neither allocates nor locks.
  void update(const float *power);
  // The noise's expected power in each bin, as of the last update.
  const float *power() const { return power_.data(); }

private:
  void startSubWindow();

  const float smoothing_;
  const int blocksPerSubWindow_;
  bool started_ = false;
  int blocksInSubWindow_ = 0;
  size_t oldest_ = 0;
  std::vector<float> smoothed_, subWindowMinimum_, windowMinimum_, power_;
  std::vector<std::vector<float>> subWindowMinima_; // the last few sub-windows', oldest at oldest_
};

} // namespace lyt
