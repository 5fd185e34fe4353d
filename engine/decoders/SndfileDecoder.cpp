// libsndfile behind the Decoder interface; MPEG files that it recognises go to the MPEG decoder.
#include "decoders/SndfileDecoder.h"

#include "Bass.h"
#include "decoders/MpegDecoder.h"
#include "decoders/OggLength.h"
#include "decoders/SndfileSource.h"

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
  SndfileDecoder(std::unique_ptr<SndfileSource> source, SndfileHandle file, const SF_INFO &info,
                 int64_t lengthFrames)
      : source_(std::move(source)), file_(std::move(file)), fileChannels_(info.channels),
        rate_(info.samplerate), length_(lengthFrames),
        needsPreroll_((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG), seekable_(info.seekable != 0) {}

  int channels() const override { return std::min(fileChannels_, 2); }
  int sampleRate() const override { return rate_; }
  int64_t lengthFrames() const override { return length_; }

  // Exactly the length: a file that ends early is made up with silence, so that what plays is
  // what was reported.
  int64_t read(float *out, int64_t frames) override {
    frames = std::min(frames, length_ - position_);
    int64_t got = frames > 0 ? readFile(out, frames) : 0;
    if (got < frames) {
      std::fill(out + std::max<int64_t>(got, 0) * channels(), out + frames * channels(), 0.0f);
      got = frames;
    }
    position_ += got;
    return got;
  }

  int64_t seek(int64_t frame) override {
    if (!(seekable_ ? seekExactly(frame) : readOnTo(frame)))
      return -1;
    position_ = frame;
    return frame;
  }

private:
  int64_t readFile(float *out, int64_t frames) {
    if (fileChannels_ <= 2)
      return readFileFrames(out, frames);
    // Wider files: keep the first two channels.
    wide_.resize(static_cast<size_t>(frames) * fileChannels_);
    const int64_t got = readFileFrames(wide_.data(), frames);
    for (int64_t i = 0; i < got; ++i) {
      out[2 * i] = wide_[i * fileChannels_];
      out[2 * i + 1] = wide_[i * fileChannels_ + 1];
    }
    return got;
  }

  int64_t readFileFrames(float *out, int64_t frames) {
    const int64_t got = sf_readf_float(file_.get(), out, frames);
    fileFrame_ += std::max<int64_t>(got, 0);
    return got;
  }

  // libsndfile cannot seek in some encodings (GSM 6.10 in WAV): the file is read from its start,
  // opened again when the frame lies behind, up to the frame.
  bool readOnTo(int64_t frame) {
    if (frame < fileFrame_) {
      SF_INFO info{};
      file_.reset(source_->open(info));
      fileFrame_ = 0;
      if (!file_)
        return false;
    }
    skipped_.resize(static_cast<size_t>(kSkipFrames) * fileChannels_);
    while (fileFrame_ < frame)
      if (readFileFrames(skipped_.data(), std::min(frame - fileFrame_, kSkipFrames)) <= 0)
        break; // the file ends early: read() makes up the rest with silence
    return true;
  }

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

  std::unique_ptr<SndfileSource> source_;
  SndfileHandle file_;
  int fileChannels_;
  int rate_;
  static constexpr int64_t kPrerollFrames = 8192;
  int64_t length_;
  int64_t position_ = 0;
  bool needsPreroll_;
  bool seekable_;
  static constexpr int64_t kSkipFrames = 4096;
  int64_t fileFrame_ = 0; // where libsndfile reads next, when it cannot seek
  std::vector<float> skipped_;
  std::vector<float> wide_;
  std::vector<float> preroll_;
};

bool isMpeg(const SF_INFO &info) {
  return (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
}

// libsndfile takes the length of an Ogg file from its last page, and reports nonsense when the
// file was cut off; the last whole page tells what is there.
int64_t oggLength(ByteSource &bytes, const SF_INFO &info) {
  const int64_t granule = lastOggGranule(bytes);
  if (granule < 0)
    return info.frames;
  int64_t frames = granule;
  if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS)
    frames = (granule - opusPreSkip(bytes)) * info.samplerate / 48000;
  return std::clamp<int64_t>(frames, 0, info.frames);
}

} // namespace

std::unique_ptr<Decoder> openSndfileDecoder(const char *path) {
  requireReadable(path);
  auto source = std::make_unique<SndfileSource>(path);
  SF_INFO info{};
  SndfileHandle file(source->open(info));
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
  const bool ogg = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
  const int64_t length = ogg ? oggLength(source->bytes(), info) : info.frames;
  return std::make_unique<SndfileDecoder>(std::move(source), std::move(file), info, length);
}

} // namespace lyt
