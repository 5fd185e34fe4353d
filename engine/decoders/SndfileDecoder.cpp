// libsndfile behind the Decoder interface; MPEG files that it recognises go to the MPEG decoder.
#include "decoders/SndfileDecoder.h"

#include "Bass.h"
#include "decoders/MpegDecoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace lyt {
namespace {

struct SndfileCloser {
  void operator()(SNDFILE *f) const { sf_close(f); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

class SndfileDecoder final : public Decoder {
public:
  SndfileDecoder(SndfileHandle file, const SF_INFO &info, int64_t lengthFrames)
      : file_(std::move(file)), fileChannels_(info.channels), rate_(info.samplerate), length_(lengthFrames),
        needsPreroll_((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) {}

  int channels() const override { return std::min(fileChannels_, 2); }
  int sampleRate() const override { return rate_; }
  int64_t lengthFrames() const override { return length_; }

  int64_t read(float *out, int64_t frames) override {
    if (fileChannels_ <= 2)
      return sf_readf_float(file_.get(), out, frames);
    // Wider files: keep the first two channels.
    wide_.resize(static_cast<size_t>(frames) * fileChannels_);
    const int64_t got = sf_readf_float(file_.get(), wide_.data(), frames);
    for (int64_t i = 0; i < got; ++i) {
      out[2 * i] = wide_[i * fileChannels_];
      out[2 * i + 1] = wide_[i * fileChannels_ + 1];
    }
    return got;
  }

  int64_t seek(int64_t frame) override { return seekExactly(frame) ? frame : -1; }

private:
  bool seekExactly(int64_t frame) {
    if (!needsPreroll_)
      return sf_seek(file_.get(), frame, SEEK_SET) == frame;
    // Vorbis and Opus blocks overlap: the block before the target must be decoded as well, and
    // libsndfile's seek does not do it.
    const int64_t from = std::max<int64_t>(0, frame - kPrerollFrames);
    if (sf_seek(file_.get(), from, SEEK_SET) != from)
      return false;
    for (int64_t left = frame - from; left > 0;) {
      preroll_.resize(static_cast<size_t>(std::min<int64_t>(left, 4096)) * fileChannels_);
      const int64_t got = sf_readf_float(file_.get(), preroll_.data(),
                                         static_cast<sf_count_t>(preroll_.size()) / fileChannels_);
      if (got <= 0)
        return false;
      left -= got;
    }
    return true;
  }

  SndfileHandle file_;
  int fileChannels_;
  int rate_;
  static constexpr int64_t kPrerollFrames = 8192;
  int64_t length_;
  bool needsPreroll_;
  std::vector<float> wide_;
  std::vector<float> preroll_;
};

bool isMpeg(const SF_INFO &info) {
  return (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
}

} // namespace

std::unique_ptr<Decoder> openSndfileDecoder(const char *path) {
  requireReadable(path);
  SF_INFO info{};
  SndfileHandle file(sf_open(path, SFM_READ, &info));
  if (!file || info.channels < 1 || info.samplerate < 1 || info.frames < 0)
    throw EngineError(BASS_ERROR_FILEFORM);
  if (isMpeg(info)) {
    // libsndfile's probe is lenient: a file whose start does not chain frames is not MPEG at all.
    file.reset();
    std::unique_ptr<Decoder> mpeg = openMpegDecoder(path);
    if (!mpeg)
      throw EngineError(BASS_ERROR_FILEFORM);
    return mpeg;
  }
  requireSupportedFormat(info.samplerate, info.channels);
  return std::make_unique<SndfileDecoder>(std::move(file), info, info.frames);
}

} // namespace lyt
