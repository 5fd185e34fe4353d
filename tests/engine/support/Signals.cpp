// Generators and measurements for audio tests.
#include "Signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lyt::test {

std::vector<float> sine(double hz, double seconds, int rate, int channels, float amplitude) {
  const auto frames = static_cast<size_t>(std::llround(seconds * rate));
  std::vector<float> out(frames * channels);
  for (size_t i = 0; i < frames; ++i) {
    const auto value = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
    for (int c = 0; c < channels; ++c)
      out[i * channels + c] = value;
  }
  return out;
}

std::vector<float> noise(double seconds, int rate, int channels, float amplitude, uint32_t seed) {
  const auto count = static_cast<size_t>(std::llround(seconds * rate)) * channels;
  std::vector<float> out(count);
  uint32_t state = seed * 2654435761u + 1;
  for (float &sample : out) {
    state = state * 1664525u + 1013904223u;
    sample = amplitude * (static_cast<float>(state >> 8) / static_cast<float>(1 << 24) * 2 - 1);
  }
  return out;
}

std::vector<float> channel(const std::vector<float> &interleaved, int channels, int which) {
  std::vector<float> out(interleaved.size() / channels);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = interleaved[i * channels + which];
  return out;
}

double rms(const std::vector<float> &mono, size_t from, size_t count) {
  const size_t end = std::min(mono.size(), count == SIZE_MAX ? mono.size() : from + count);
  double sum = 0;
  for (size_t i = from; i < end; ++i)
    sum += double(mono[i]) * mono[i];
  return end > from ? std::sqrt(sum / double(end - from)) : 0;
}

double frequencyByZeroCrossings(const std::vector<float> &mono, int rate, size_t skip) {
  size_t first = 0, last = 0, crossings = 0;
  for (size_t i = skip + 1; i + skip < mono.size(); ++i) {
    if (mono[i - 1] < 0 && mono[i] >= 0) {
      if (crossings == 0)
        first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2)
    return 0;
  return double(crossings - 1) * rate / double(last - first);
}

double decibels(double ratio) {
  return 20 * std::log10(ratio);
}

long bestLag(const std::vector<float> &reference, size_t at, const std::vector<float> &probe, long maxLag) {
  long best = 0;
  double bestError = INFINITY;
  for (long lag = -maxLag; lag <= maxLag; ++lag) {
    if (long(at) + lag < 0 || at + lag + probe.size() > reference.size())
      continue;
    double error = 0;
    for (size_t i = 0; i < probe.size(); ++i) {
      const double d = reference[at + lag + i] - probe[i];
      error += d * d;
    }
    if (error < bestError) {
      bestError = error;
      best = lag;
    }
  }
  return best;
}

std::vector<float> speechLike(double seconds, int rate) {
  std::vector<float> signal = sine(180, seconds, rate, 2, 0.3f);
  const std::vector<float> hiss = noise(seconds, rate, 2, 0.05f);
  for (size_t i = 0; i < signal.size(); ++i)
    signal[i] = signal[i] * (0.6f + 0.4f * float(std::sin(i / 2.0 / rate * 6.28 * 3))) + hiss[i];
  return signal;
}

std::vector<float> phrasesAndPauses(const std::vector<double> &segmentSeconds, int rate) {
  std::vector<float> signal;
  for (size_t segment = 0; segment < segmentSeconds.size(); ++segment) {
    const bool phrase = segment % 2 == 0, tone = segment % 4 == 0;
    const std::vector<float> sound = !phrase ? std::vector<float>(size_t(std::llround(segmentSeconds[segment] * rate)))
                                     : tone  ? sine(150 + 20.0 * double(segment), segmentSeconds[segment], rate, 1, 0.3f)
                                             : noise(segmentSeconds[segment], rate, 1, 0.3f, uint32_t(segment));
    for (size_t i = 0; i < sound.size(); ++i)
      signal.push_back(sound[i] * (0.7f + 0.3f * float(std::sin(2 * std::numbers::pi * 4.0 * double(i) / rate))));
  }
  const std::vector<float> hiss = noise(double(signal.size()) / rate, rate, 1, 0.004f, 7);
  for (size_t i = 0; i < signal.size(); ++i)
    signal[i] += hiss[i];
  return signal;
}

} // namespace lyt::test
