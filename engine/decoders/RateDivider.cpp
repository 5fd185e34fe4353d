// Whole-factor decimation: a windowed-sinc low-pass centred on every kept frame.
#include "decoders/RateDivider.h"

#include "Bass.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace lyt {
namespace {

constexpr int kLargestFactor = 4;
// Filter taps on either side of the centre, per unit of the factor.
constexpr int kTapsPerSide = 16;
// Of the lower rate's Nyquist frequency: the band that passes.
constexpr double kPassBand = 0.9;

// Blackman-windowed sinc with its cut-off at kPassBand of the new Nyquist, summing to 1.
std::vector<float> lowPass(int factor) {
  const int side = kTapsPerSide * factor;
  const double cutoff = kPassBand / (2.0 * factor); // cycles per input frame
  std::vector<double> taps(static_cast<size_t>(2 * side + 1));
  double sum = 0;
  for (int j = -side; j <= side; ++j) {
    const double x = 2 * cutoff * j;
    const double sinc = j == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
    const double phase = std::numbers::pi * j / side;
    const double window = 0.42 + 0.5 * std::cos(phase) + 0.08 * std::cos(2 * phase);
    taps[static_cast<size_t>(j + side)] = sinc * window;
    sum += sinc * window;
  }
  std::vector<float> normalised(taps.size());
  std::transform(taps.begin(), taps.end(), normalised.begin(), [sum](double t) { return float(t / sum); });
  return normalised;
}

class RateDivider final : public Decoder {
public:
  RateDivider(std::unique_ptr<Decoder> inner, int factor)
      : inner_(std::move(inner)), factor_(factor), side_(kTapsPerSide * factor),
        channels_(inner_->channels()), taps_(lowPass(factor)), length_(inner_->lengthFrames() / factor) {
    if (seek(0) != 0)
      throw EngineError(BASS_ERROR_FILEFORM);
  }

  int channels() const override { return channels_; }
  int sampleRate() const override { return inner_->sampleRate() / factor_; }
  int64_t lengthFrames() const override { return length_; }

  int64_t read(float *out, int64_t frames) override {
    frames = std::max<int64_t>(0, std::min(frames, length_ - position_));
    for (int64_t i = 0; i < frames; ++i, ++position_) {
      const int64_t centre = position_ * factor_;
      bufferThrough(centre + side_);
      filterAt(centre, out + i * channels_);
    }
    dropBefore(position_ * factor_ - side_);
    return frames;
  }

  int64_t seek(int64_t frame) override {
    if (frame < 0 || frame > length_)
      return -1;
    const int64_t from = frame * factor_ - side_;
    if (inner_->seek(std::max<int64_t>(0, from)) != std::max<int64_t>(0, from))
      return -1;
    // Before the first frame the filter sees silence.
    input_.assign(static_cast<size_t>(std::max<int64_t>(0, -from) * channels_), 0.0f);
    inputStart_ = from;
    position_ = frame;
    return frame;
  }

private:
  int64_t bufferedEnd() const { return inputStart_ + static_cast<int64_t>(input_.size()) / channels_; }

  // Reads the inner recording until the buffer holds `last`; past its end the filter sees silence.
  void bufferThrough(int64_t last) {
    while (bufferedEnd() <= last) {
      const size_t at = input_.size();
      input_.resize(at + static_cast<size_t>(kChunkFrames * channels_));
      const int64_t got = inner_->read(input_.data() + at, kChunkFrames);
      if (got <= 0) {
        std::fill(input_.begin() + long(at), input_.end(), 0.0f);
        continue;
      }
      input_.resize(at + static_cast<size_t>(got * channels_));
    }
  }

  void filterAt(int64_t centre, float *out) const {
    const float *first = input_.data() + (centre - side_ - inputStart_) * channels_;
    for (int c = 0; c < channels_; ++c) {
      float sum = 0;
      for (size_t t = 0; t < taps_.size(); ++t)
        sum += taps_[t] * first[static_cast<int64_t>(t) * channels_ + c];
      out[c] = sum;
    }
  }

  void dropBefore(int64_t frame) {
    const int64_t drop = std::clamp<int64_t>(frame - inputStart_, 0, bufferedEnd() - inputStart_);
    input_.erase(input_.begin(), input_.begin() + long(drop * channels_));
    inputStart_ += drop;
  }

  static constexpr int64_t kChunkFrames = 4096;
  std::unique_ptr<Decoder> inner_;
  const int factor_;
  const int64_t side_;
  const int channels_;
  const std::vector<float> taps_;
  const int64_t length_;
  std::vector<float> input_; // interleaved frames of the inner recording from inputStart_ on
  int64_t inputStart_ = 0;   // may be negative: the silence before the first frame
  int64_t position_ = 0;
};

} // namespace

std::unique_ptr<Decoder> withinRate(std::unique_ptr<Decoder> inner, int highestRate) {
  const int rate = inner->sampleRate();
  for (int factor = 1; factor <= kLargestFactor; ++factor)
    if (rate / factor <= highestRate && rate % factor == 0)
      return factor == 1 ? std::move(inner) : std::make_unique<RateDivider>(std::move(inner), factor);
  throw EngineError(BASS_ERROR_FREQ);
}

} // namespace lyt
