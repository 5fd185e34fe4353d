// libmpg123 fed frame by frame from the frame index: exact lengths and sample-accurate seeks.
#include "decoders/MpegDecoder.h"

#include "Bass.h"
#include "decoders/FileBytes.h"
#include "decoders/MpegFrameIndex.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace lyt {
namespace {

struct Mpg123Closer {
  void operator()(mpg123_handle *h) const { mpg123_delete(h); }
};
using Mpg123Handle = std::unique_ptr<mpg123_handle, Mpg123Closer>;

// Layer III reaches back up to 511 bytes into earlier frames (the bit reservoir), and each frame
// overlaps the one before: a seek decodes from far enough back to rebuild both.
constexpr int64_t kReservoirBytes = 512;

Mpg123Handle newMpg123(int rate, bool mono) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  int error = MPG123_OK;
  Mpg123Handle handle(mpg123_new(nullptr, &error));
  if (!handle)
    throw EngineError(BASS_ERROR_MEM);
  // The index finds the frames and the gapless trim; the decoder only decodes them.
  mpg123_param(handle.get(), MPG123_FLAGS,
               MPG123_QUIET | MPG123_FORCE_FLOAT | (mono ? MPG123_MONO_MIX : MPG123_FORCE_STEREO), 0);
  mpg123_format_none(handle.get());
  if (mpg123_format(handle.get(), rate, mono ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_FLOAT_32) != MPG123_OK)
    throw EngineError(BASS_ERROR_FILEFORM);
  return handle;
}

class MpegDecoder final : public Decoder {
public:
  MpegDecoder(std::unique_ptr<FileBytes> bytes, MpegFrameIndex index)
      : bytes_(std::move(bytes)), index_(std::move(index)), channels_(index_.first.mono ? 1 : 2),
        decoder_(newMpg123(index_.first.sampleRate, channels_ == 1)) {
    if (seek(0) != 0)
      throw EngineError(BASS_ERROR_FILEFORM);
  }

  int channels() const override { return channels_; }
  int sampleRate() const override { return index_.first.sampleRate; }
  int64_t lengthFrames() const override { return index_.lengthSamples; }

  int64_t read(float *out, int64_t frames) override {
    frames = std::min(frames, index_.lengthSamples - position_);
    int64_t done = 0;
    while (done < frames) {
      if (pendingOffset_ == pendingFrames()) {
        decodeNextFrame();
        continue;
      }
      const int64_t n = std::min(frames - done, pendingFrames() - pendingOffset_);
      std::memcpy(out + done * channels_, pending_.data() + pendingOffset_ * channels_,
                  sizeof(float) * static_cast<size_t>(n * channels_));
      pendingOffset_ += n;
      done += n;
    }
    position_ += done;
    return done;
  }

  int64_t seek(int64_t frame) override {
    if (frame < 0 || frame > index_.lengthSamples)
      return -1;
    const int64_t samplesPerFrame = index_.first.samples;
    const int64_t decoded = frame + index_.skipSamples;
    const int64_t target = std::min<int64_t>(decoded / samplesPerFrame, frameCount());
    nextFrame_ = prerollStart(target);
    if (mpg123_open_feed(decoder_.get()) != MPG123_OK)
      return -1;
    pending_.clear();
    pendingOffset_ = 0;
    discard_ = decoded - nextFrame_ * samplesPerFrame;
    position_ = frame;
    return frame;
  }

private:
  int64_t frameCount() const { return static_cast<int64_t>(index_.offsets.size()); }
  int64_t pendingFrames() const { return static_cast<int64_t>(pending_.size()) / channels_; }

  int64_t prerollStart(int64_t target) const {
    if (target == 0)
      return 0;
    int64_t start = target - 1;
    if (index_.first.layer == 3) {
      const int64_t overlapped = index_.offsets[static_cast<size_t>(start)];
      while (start > 0 && overlapped - index_.offsets[static_cast<size_t>(start)] < kReservoirBytes)
        --start;
      start = std::max<int64_t>(0, start - 1);
    }
    return start;
  }

  // Decodes the next frame into pending_, minus what a seek asked to skip. The decoder holds its
  // first frame back until it has seen the next header. Past the last frame it yields silence,
  // so that the length holds whatever the frames held.
  void decodeNextFrame() {
    pending_.clear();
    pendingOffset_ = 0;
    while (pending_.empty() && nextFrame_ < frameCount()) {
      feedFrame(index_.offsets[static_cast<size_t>(nextFrame_++)]);
      unsigned char *audio = nullptr;
      size_t bytes = 0;
      off_t frameNumber = 0;
      int result;
      while ((result = mpg123_decode_frame(decoder_.get(), &frameNumber, &audio, &bytes)) == MPG123_OK ||
             result == MPG123_NEW_FORMAT) {
        const auto *floats = reinterpret_cast<const float *>(audio);
        pending_.insert(pending_.end(), floats, floats + bytes / sizeof(float));
      }
    }
    if (pending_.empty())
      pending_.assign(static_cast<size_t>(index_.first.samples) * channels_, 0.0f);
    const int64_t skip = std::min(discard_, pendingFrames());
    pendingOffset_ = skip;
    discard_ -= skip;
  }

  void feedFrame(int64_t offset) {
    uint8_t header[4];
    MpegFrameHeader h;
    if (!bytes_->read(offset, header, 4) || !parseMpegHeader(header, h))
      return;
    frame_.resize(static_cast<size_t>(h.lengthBytes));
    if (bytes_->read(offset, frame_.data(), h.lengthBytes))
      mpg123_feed(decoder_.get(), frame_.data(), frame_.size());
  }

  std::unique_ptr<FileBytes> bytes_;
  MpegFrameIndex index_;
  int channels_;
  Mpg123Handle decoder_;
  std::vector<uint8_t> frame_;
  std::vector<float> pending_;
  int64_t pendingOffset_ = 0;
  int64_t nextFrame_ = 0; // the next frame to feed
  int64_t discard_ = 0;   // decoded samples still to drop before the position
  int64_t position_ = 0;
};

} // namespace

std::unique_ptr<Decoder> openMpegDecoder(const char *path) {
  auto bytes = std::make_unique<FileBytes>(path);
  MpegFrameIndex index = indexMpegFrames(*bytes);
  if (index.empty())
    return nullptr;
  return std::make_unique<MpegDecoder>(std::move(bytes), std::move(index));
}

} // namespace lyt
