// The measure as its paper defines it: both signals at 10 kHz, the frames where the clean speech
// is more than 40 dB under its loudest left out, 15 one-third octave bands from 150 Hz over a
// 512-point transform of 256-sample Hann frames, and the correlation of 384 ms envelopes after
// the heard one is scaled to the clean one and clipped at a signal-to-distortion ratio of -15 dB.
#include "Stoi.h"

#include <speex/speex_resampler.h>

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace lyt::bench {
namespace {

constexpr int kRate = 10000;
constexpr int kFrame = 256;
constexpr int kHop = kFrame / 2;
constexpr int kFft = 512;
constexpr int kBands = 15;
constexpr double kLowestCentre = 150;
constexpr int kSegment = 30;
constexpr double kClipDb = -15;
constexpr double kRangeDb = 40;

using Frames = std::vector<std::vector<double>>; // [frame][band]

std::vector<double> hann() {
  std::vector<double> w(kFrame);
  for (int i = 0; i < kFrame; ++i)
    w[i] = 0.5 - 0.5 * std::cos(2 * M_PI * (i + 1) / (kFrame + 1));
  return w;
}

// Both signals without the frames in which the clean one is silent, put back together.
void dropSilence(std::vector<float> &clean, std::vector<float> &heard) {
  const std::vector<double> w = hann();
  std::vector<double> energy;
  for (size_t at = 0; at + kFrame <= clean.size(); at += kHop) {
    double sum = 0;
    for (int i = 0; i < kFrame; ++i)
      sum += std::pow(w[i] * clean[at + i], 2);
    energy.push_back(10 * std::log10(sum + 1e-20));
  }
  const double loudest = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
  std::vector<float> keptClean, keptHeard;
  for (size_t f = 0; f < energy.size(); ++f) {
    if (energy[f] < loudest - kRangeDb)
      continue;
    const size_t out = keptClean.size() ? keptClean.size() - kHop : 0;
    keptClean.resize(out + kFrame, 0);
    keptHeard.resize(out + kFrame, 0);
    for (int i = 0; i < kFrame; ++i) {
      keptClean[out + i] += static_cast<float>(w[i] * clean[f * kHop + i]);
      keptHeard[out + i] += static_cast<float>(w[i] * heard[f * kHop + i]);
    }
  }
  clean.swap(keptClean);
  heard.swap(keptHeard);
}

// The band edges in bins of the transform.
std::vector<std::pair<int, int>> thirdOctaves() {
  std::vector<std::pair<int, int>> bands;
  const auto bin = [](double hz) { return static_cast<int>(std::lround(hz * kFft / kRate)); };
  for (int k = 0; k < kBands; ++k) {
    const double centre = kLowestCentre * std::pow(2.0, k / 3.0);
    bands.emplace_back(bin(centre * std::pow(2.0, -1.0 / 6)), bin(centre * std::pow(2.0, 1.0 / 6)));
  }
  return bands;
}

Frames bandEnvelopes(const std::vector<float> &x) {
  const std::vector<double> w = hann();
  const auto bands = thirdOctaves();
  kiss_fftr_cfg fft = kiss_fftr_alloc(kFft, 0, nullptr, nullptr);
  std::vector<kiss_fft_scalar> in(kFft);
  std::vector<kiss_fft_cpx> out(kFft / 2 + 1);
  Frames frames;
  for (size_t at = 0; at + kFrame <= x.size(); at += kHop) {
    std::fill(in.begin(), in.end(), 0.0f);
    for (int i = 0; i < kFrame; ++i)
      in[i] = static_cast<kiss_fft_scalar>(w[i] * x[at + i]);
    kiss_fftr(fft, in.data(), out.data());
    std::vector<double> energy(kBands);
    for (int b = 0; b < kBands; ++b) {
      double sum = 0;
      for (int k = bands[b].first; k < bands[b].second && k <= kFft / 2; ++k)
        sum += double(out[k].r) * out[k].r + double(out[k].i) * out[k].i;
      energy[b] = std::sqrt(sum);
    }
    frames.push_back(energy);
  }
  kiss_fftr_free(fft);
  return frames;
}

double correlation(std::vector<double> a, std::vector<double> b) {
  const auto centre = [](std::vector<double> &v) {
    double mean = 0;
    for (double x : v)
      mean += x;
    mean /= v.size();
    double norm = 0;
    for (double &x : v) {
      x -= mean;
      norm += x * x;
    }
    return std::sqrt(norm) + 1e-20;
  };
  const double na = centre(a), nb = centre(b);
  double dot = 0;
  for (size_t i = 0; i < a.size(); ++i)
    dot += a[i] * b[i];
  return dot / (na * nb);
}

// One band of one segment: the heard envelope scaled to the clean one's energy and clipped.
double segmentBand(const Frames &clean, const Frames &heard, size_t end, int band) {
  std::vector<double> x(kSegment), y(kSegment);
  double ex = 0, ey = 0;
  for (int i = 0; i < kSegment; ++i) {
    x[i] = clean[end - kSegment + i][band];
    y[i] = heard[end - kSegment + i][band];
    ex += x[i] * x[i];
    ey += y[i] * y[i];
  }
  const double scale = std::sqrt(ex / (ey + 1e-20));
  const double ceiling = 1 + std::pow(10.0, -kClipDb / 20);
  for (int i = 0; i < kSegment; ++i)
    y[i] = std::min(y[i] * scale, x[i] * ceiling);
  return correlation(x, y);
}

} // namespace

std::vector<float> resampled(const std::vector<float> &mono, int from, int to) {
  int error = 0;
  SpeexResamplerState *resampler = speex_resampler_init(1, from, to, 8, &error);
  std::vector<float> out(mono.size() * static_cast<size_t>(to) / static_cast<size_t>(from) + 64);
  spx_uint32_t inLength = static_cast<spx_uint32_t>(mono.size()), outLength = static_cast<spx_uint32_t>(out.size());
  speex_resampler_process_float(resampler, 0, mono.data(), &inLength, out.data(), &outLength);
  speex_resampler_destroy(resampler);
  out.resize(outLength);
  return out;
}

double stoi(const std::vector<float> &clean, const std::vector<float> &heard, int rate) {
  std::vector<float> x = resampled(clean, rate, kRate), y = resampled(heard, rate, kRate);
  const size_t length = std::min(x.size(), y.size());
  x.resize(length);
  y.resize(length);
  dropSilence(x, y);
  const Frames cleanBands = bandEnvelopes(x), heardBands = bandEnvelopes(y);
  double sum = 0;
  int count = 0;
  for (size_t end = kSegment; end <= cleanBands.size(); ++end)
    for (int band = 0; band < kBands; ++band, ++count)
      sum += segmentBand(cleanBands, heardBands, end, band);
  return count ? sum / count : 0;
}

} // namespace lyt::bench
