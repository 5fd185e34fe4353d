// The three kinds of open: the file check, the decoder's choice, and the finite-sample guard.
#include "decoders/Opening.h"

#include "Bass.h"
#include "decoders/AmrDecoder.h"
#include "decoders/FfmpegDecoder.h"
#include "decoders/MpegDecoder.h"
#include "decoders/OpenmptDecoder.h"
#include "decoders/RateDivider.h"
#include "decoders/SndfileDecoder.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace lyt {
namespace {

// NaN or infinity from a damaged file would stay in the equaliser's filters for good; such
// samples, and values no recording holds, are silence.
class FiniteSamples final : public Decoder {
public:
  explicit FiniteSamples(std::unique_ptr<Decoder> inner) : inner_(std::move(inner)) {}
  int channels() const override { return inner_->channels(); }
  int sampleRate() const override { return inner_->sampleRate(); }
  int64_t lengthFrames() const override { return inner_->lengthFrames(); }
  int64_t seek(int64_t frame) override { return inner_->seek(frame); }
  int64_t read(float *out, int64_t frames) override {
    const int64_t got = inner_->read(out, frames);
    // Written as a select rather than a branch, so that the loop vectorises.
    for (int64_t i = 0, n = got * channels(); i < n; ++i)
      out[i] = std::fabs(out[i]) <= kLargestSample ? out[i] : 0.0f;
    return got;
  }

private:
  static constexpr float kLargestSample = 1e6f;
  std::unique_ptr<Decoder> inner_;
};

// SoundTouch, which every output's tempo and pitch go through, takes rates up to 192 kHz.
constexpr int kHighestServedRate = 192000;

std::unique_ptr<Decoder> guarded(std::unique_ptr<Decoder> decoder) {
  return withinRate(std::make_unique<FiniteSamples>(std::move(decoder)), kHighestServedRate);
}

// The start of an MPEG stream: an ID3v2 tag or a frame sync. Other files go to libsndfile first,
// which hands MPEG back when its own probe finds it further in.
bool startsLikeMpeg(const char *path) {
  unsigned char head[3] = {};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char *>(head), 3);
  return std::memcmp(head, "ID3", 3) == 0 || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0);
}

} // namespace

void requireSupportedFormat(int sampleRate, int channels) {
  if (sampleRate < 1000 || sampleRate > 768000 || channels < 1 || channels > 8)
    throw EngineError(BASS_ERROR_FILEFORM);
}

std::unique_ptr<Decoder> openPlainStream(const char *path) {
  requireReadable(path);
  if (startsLikeMpeg(path))
    if (std::unique_ptr<Decoder> mpeg = openMpegDecoder(path))
      return guarded(std::move(mpeg));
  return guarded(openSndfileDecoder(path));
}

std::unique_ptr<Decoder> openWmaStream(const char *path) {
  requireReadable(path);
  if (std::unique_ptr<Decoder> amr = openAmrDecoder(path))
    return guarded(std::move(amr));
  return guarded(openFfmpegDecoder(path));
}

std::unique_ptr<Decoder> openModule(const char *path, int rate) {
  requireReadable(path);
  requireSupportedFormat(rate, 2);
  return guarded(openOpenmptDecoder(path, rate));
}

std::unique_ptr<Decoder> openAnyKind(const char *path, int moduleRate) {
  try {
    return openPlainStream(path);
  } catch (const EngineError &) {
  }
  try {
    return openWmaStream(path);
  } catch (const EngineError &) {
  }
  return openModule(path, moduleRate);
}

} // namespace lyt
