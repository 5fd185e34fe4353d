// Peaking filters after the RBJ audio-EQ cookbook.
#include "dsp/Equaliser.h"

#include <cmath>
#include <numbers>

namespace lyt {

void Equaliser::Biquad::design(double rate, const EqBand &band) {
  const double a = std::pow(10.0, band.gainDb / 40.0);
  const double w0 = 2 * std::numbers::pi * band.centreHz / rate;
  const double sinW0 = std::sin(w0);
  const double alpha = band.q > 0
                           ? sinW0 / (2 * band.q)
                           : sinW0 * std::sinh(std::numbers::ln2 / 2 * band.bandwidthOctaves * w0 / sinW0);
  const double a0 = 1 + alpha / a;
  b0 = (1 + alpha * a) / a0;
  b1 = -2 * std::cos(w0) / a0;
  b2 = (1 - alpha * a) / a0;
  a1 = b1;
  a2 = (1 - alpha / a) / a0;
}

// Transposed direct form II.
float Equaliser::Biquad::run(int channel, float x) {
  double *s = state[channel];
  const double y = b0 * x + s[0];
  s[0] = b1 * x - a1 * y + s[1];
  s[1] = b2 * x - a2 * y;
  return static_cast<float>(y);
}

bool Equaliser::setBand(int index, const EqBand &band) {
  if (index < 0 || index >= kMaxBands || !std::isfinite(band.centreHz) || !std::isfinite(band.gainDb) ||
      !std::isfinite(band.q) || !std::isfinite(band.bandwidthOctaves) || band.centreHz <= 0 || band.q < 0 ||
      (band.q == 0 && band.bandwidthOctaves <= 0) || std::fabs(band.gainDb) > 60)
    return false;
  std::optional<Slot> &slot = slots_[index];
  if (!slot)
    slot = Slot{};
  slot->band = band;
  // A band at or above half the sample rate cannot be represented: it stays flat.
  if (band.centreHz < sampleRate_ * 0.49)
    slot->filter.design(sampleRate_, band);
  else
    slot->filter = Biquad{};
  return true;
}

std::optional<EqBand> Equaliser::band(int index) const {
  if (index < 0 || index >= kMaxBands || !slots_[index])
    return std::nullopt;
  return slots_[index]->band;
}

bool Equaliser::empty() const {
  for (const auto &slot : slots_)
    if (slot)
      return false;
  return true;
}

void Equaliser::process(float *samples, int64_t frames, int channels) {
  for (auto &slot : slots_) {
    if (!slot || slot->band.gainDb == 0)
      continue;
    for (int64_t i = 0; i < frames; ++i)
      for (int channel = 0; channel < channels; ++channel)
        samples[channels * i + channel] = slot->filter.run(channel, samples[channels * i + channel]);
  }
}

void Equaliser::clear() {
  for (auto &slot : slots_)
    slot.reset();
}

void Equaliser::reset() {
  for (auto &slot : slots_)
    if (slot)
      for (auto &channel : slot->filter.state)
        channel[0] = channel[1] = 0;
}

} // namespace lyt
