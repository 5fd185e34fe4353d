// libmpg123 fed frame by frame from the frame index: exact lengths and sample-accurate seeks.
#include "decoders/MpegDecoder.h"

#include "Bass.h"
#include "decoders/FileBytes.h"
#include "decoders/MpegFrameIndex.h"
#include "decoders/MpegIndexBuild.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
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

// Frames past the first this many bytes of the stream are counted in the background: the open
// reads no more than this, within the decoder's first window of the file.
constexpr int64_t kOpenWalkBytes = 32 * 1024;
constexpr int kDecoderWindowBytes = 64 * 1024;

// Where the stream's frames start, from its first frames only; the exact list and length come
// from the background count or from the decoder's own walk, whichever reaches the end first.
struct MpegOpening {
  MpegStreamStart start;
  std::vector<int64_t> offsets;          // the frames walked at the open
  std::optional<MpegFrameWalker> walker; // on from there; none when it reached the end

  MpegTrim trim; // exact without a walker, else estimated
};

// The length of the frames not yet walked, guessed from those walked: the Info frame's count
// where there is one, else the bytes left at the walked frames' mean size.
int64_t estimatedFrames(const MpegOpening &opening, int64_t walkedUntil, int64_t fileSize) {
  const auto walked = static_cast<int64_t>(opening.offsets.size());
  if (opening.start.info.frames > 0)
    return std::max(opening.start.info.frames, walked);
  const double meanBytes =
      static_cast<double>(walkedUntil - opening.start.offset) / static_cast<double>(walked);
  return walked + static_cast<int64_t>(static_cast<double>(fileSize - walkedUntil) / meanBytes + 0.5);
}

class MpegDecoder final : public Decoder {
public:
  MpegDecoder(std::unique_ptr<ByteSource> bytes, MpegOpening opening, std::shared_ptr<MpegIndexBuild> build)
      : bytes_(std::move(bytes)), first_(opening.start.first), offsets_(std::move(opening.offsets)),
        skipSamples_(opening.trim.skipSamples), exactLength_(opening.trim.lengthSamples),
        build_(std::move(build)), walker_(std::move(opening.walker)), channels_(first_.mono ? 1 : 2),
        decoder_(newMpg123(first_.sampleRate, channels_ == 1)) {
    if (seek(0) != 0)
      throw EngineError(BASS_ERROR_FILEFORM);
  }

  ~MpegDecoder() override {
    if (build_)
      build_->stop();
  }
  MpegDecoder(const MpegDecoder &) = delete;
  MpegDecoder &operator=(const MpegDecoder &) = delete;

  int channels() const override { return channels_; }
  int sampleRate() const override { return first_.sampleRate; }
  int64_t lengthFrames() const override { return build_ ? build_->lengthSamples() : exactLength_; }
  bool lengthExact() const override { return !build_ || build_->exact(); }
  void awaitExactLength() override {
    if (build_)
      build_->awaitExact();
  }

  int64_t read(float *out, int64_t frames) override {
    int64_t done = 0;
    while (done < frames && position_ < readLimit()) {
      if (pendingOffset_ == pendingFrames()) {
        decodeNextFrame();
        continue;
      }
      const int64_t n = std::min({frames - done, pendingFrames() - pendingOffset_, readLimit() - position_});
      std::memcpy(out + done * channels_, pending_.data() + pendingOffset_ * channels_,
                  sizeof(float) * static_cast<size_t>(n * channels_));
      pendingOffset_ += n;
      done += n;
      position_ += n;
    }
    return done;
  }

  // Before the length is exact, a place past the frames walked so far is reached by walking on
  // to it; one past the stream's end lands at the end.
  int64_t seek(int64_t frame) override {
    if (frame < 0 || (lengthExact() && frame > lengthFrames()))
      return -1;
    const int64_t samplesPerFrame = first_.samples;
    reachFrame((frame + skipSamples_) / samplesPerFrame + kLookAheadFrames);
    frame = std::min(frame, readLimit());
    const int64_t decoded = frame + skipSamples_;
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
  int64_t frameCount() const { return static_cast<int64_t>(offsets_.size()); }
  int64_t pendingFrames() const { return static_cast<int64_t>(pending_.size()) / channels_; }
  // Reading stops at the length once it is exact; before, the frames walked tell where the end is.
  int64_t readLimit() const { return lengthExact() ? lengthFrames() : std::numeric_limits<int64_t>::max(); }

  // Makes frame `index` known, or every frame when the stream has fewer: from the background
  // count once it has finished, else by walking on.
  void reachFrame(int64_t index) {
    adoptCount();
    while (walker_ && frameCount() <= index) {
      if (!walker_->next(lastWalked_)) {
        walker_.reset();
        build_->settle(frameCount());
        break;
      }
      offsets_.push_back(lastWalked_);
      if (offsets_.size() % kAdoptCheckFrames == 0)
        adoptCount();
    }
  }

  void adoptCount() {
    if (!walker_ || !build_->exact())
      return;
    std::vector<int64_t> counted = build_->takeOffsets();
    if (counted.size() >= offsets_.size())
      offsets_ = std::move(counted);
    walker_.reset();
  }

  int64_t prerollStart(int64_t target) const {
    if (target == 0)
      return 0;
    int64_t start = target - 1;
    if (first_.layer == 3) {
      const int64_t overlapped = offsets_[static_cast<size_t>(start)];
      while (start > 0 && overlapped - offsets_[static_cast<size_t>(start)] < kReservoirBytes)
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
    while (pending_.empty() && (reachFrame(nextFrame_ + kLookAheadFrames), nextFrame_ < frameCount())) {
      feedFrame(offsets_[static_cast<size_t>(nextFrame_++)]);
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
      pending_.assign(static_cast<size_t>(first_.samples) * channels_, 0.0f);
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

  static constexpr size_t kAdoptCheckFrames = 4096;
  // The end is found this many frames before it is decoded: more than the encoder's padding and
  // the decoder's delay, which the exact length trims off, take up.
  static constexpr int64_t kLookAheadFrames = 8;

  std::unique_ptr<ByteSource> bytes_;
  const MpegFrameHeader first_;
  std::vector<int64_t> offsets_; // the frames known so far: all of them once the length is exact
  const int64_t skipSamples_;
  const int64_t exactLength_; // when there is no background count
  std::shared_ptr<MpegIndexBuild> build_;
  std::optional<MpegFrameWalker> walker_; // on from the last known frame, until the length is exact
  int64_t lastWalked_ = 0;
  int channels_;
  Mpg123Handle decoder_;
  std::vector<uint8_t> frame_;
  std::vector<float> pending_;
  int64_t pendingOffset_ = 0;
  int64_t nextFrame_ = 0; // the next frame to feed
  int64_t discard_ = 0;   // decoded samples still to drop before the position
  int64_t position_ = 0;
};

// The stream's start and its first frames, up to kOpenWalkBytes.
MpegOpening openingWalk(ByteSource &bytes) {
  MpegOpening opening;
  opening.start = findMpegStream(bytes);
  if (!opening.start.found())
    return opening;
  MpegFrameWalker &walker = opening.walker.emplace(bytes, opening.start);
  const int64_t until = opening.start.offset + kOpenWalkBytes;
  for (int64_t offset; walker.offset() < until;) {
    if (!walker.next(offset)) {
      opening.walker.reset();
      break;
    }
    opening.offsets.push_back(offset);
  }
  if (opening.offsets.empty())
    return opening;
  const int64_t frames = opening.walker ? estimatedFrames(opening, walker.offset(), bytes.size())
                                        : static_cast<int64_t>(opening.offsets.size());
  opening.trim = mpegGaplessTrim(opening.start.info, frames, opening.start.first.samples);
  return opening;
}

} // namespace

std::unique_ptr<Decoder> openMpegDecoder(const char *path) {
  // The decoder reads a frame at a time and the open only the first frames: a small window keeps
  // the open's one read short from a cold disk.
  auto bytes = std::make_unique<FileBytes>(path, kDecoderWindowBytes);
  return openMpegDecoder(std::move(bytes), std::make_unique<FileBytes>(path));
}

std::unique_ptr<Decoder> openMpegDecoder(std::unique_ptr<ByteSource> bytes,
                                         std::unique_ptr<ByteSource> countBytes) {
  MpegOpening opening = openingWalk(*bytes);
  if (opening.offsets.empty())
    return nullptr;
  std::shared_ptr<MpegIndexBuild> build;
  if (opening.walker)
    build =
        MpegIndexBuild::start(std::move(countBytes), opening.start, opening.trim.lengthSamples);
  return std::make_unique<MpegDecoder>(std::move(bytes), std::move(opening), std::move(build));
}

} // namespace lyt
