// A quarter-second 880 Hz tone with soft edges.
#include "decoders/ToneDecoder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lyt {
namespace {

class ToneDecoder final : public Decoder {
public:
  explicit ToneDecoder(int rate) : rate_(rate), length_(rate / 4) {}
  int channels() const override { return 1; }
  int sampleRate() const override { return rate_; }
  int64_t lengthFrames() const override { return length_; }
  int64_t read(float *out, int64_t frames) override {
    const int64_t n = std::min(frames, length_ - next_);
    const int64_t fade = rate_ / 100;
    for (int64_t i = 0; i < n; ++i, ++next_) {
      const double edge = std::min({1.0, double(next_) / fade, double(length_ - next_) / fade});
      out[i] = static_cast<float>(0.3 * edge * std::sin(2 * std::numbers::pi * 880 * next_ / rate_));
    }
    return n;
  }
  int64_t seek(int64_t frame) override {
    next_ = frame;
    return frame;
  }

private:
  int rate_;
  int64_t length_;
  int64_t next_ = 0;
};

} // namespace

std::unique_ptr<Decoder> makeDefaultTone(int rate) { return std::make_unique<ToneDecoder>(rate); }

} // namespace lyt
