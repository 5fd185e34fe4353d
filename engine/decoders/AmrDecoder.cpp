// AMR storage format: our own frame walk (FFmpeg's drops the DTX frames), FFmpeg's speech decoder.
#include "decoders/AmrDecoder.h"

#include "Bass.h"
#include "decoders/FileBytes.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace lyt {
namespace {

struct Variant {
  const char *magic;
  AVCodecID codec;
  int rate;
  int lastSpeechMode;
  uint8_t frameBytes[16]; // with the frame's header byte, by frame type
};

constexpr Variant kNarrowBand{
    "#!AMR\n", AV_CODEC_ID_AMR_NB, 8000, 7, {13, 14, 16, 18, 20, 21, 27, 32, 6, 1, 1, 1, 1, 1, 1, 1}};
constexpr Variant kWideBand{
    "#!AMR-WB\n", AV_CODEC_ID_AMR_WB, 16000, 8, {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 1, 1, 1, 1, 1, 1}};

// The speech decoders' state settles within a few frames after a seek.
constexpr int64_t kPrerollFrames = 8;

struct CodecCloser {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameCloser {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};

class AmrDecoder final : public Decoder {
public:
  AmrDecoder(std::unique_ptr<FileBytes> bytes, const Variant &variant, std::vector<int64_t> frames)
      : bytes_(std::move(bytes)), variant_(variant), frames_(std::move(frames)),
        samplesPerFrame_(variant.rate / 50), packet_(av_packet_alloc()), decoded_(av_frame_alloc()) {
    const AVCodec *codec = avcodec_find_decoder(variant.codec);
    codec_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!codec_ || !packet_ || !decoded_)
      throw EngineError(BASS_ERROR_FILEFORM);
    codec_->sample_rate = variant.rate;
    av_channel_layout_default(&codec_->ch_layout, 1);
    if (avcodec_open2(codec_.get(), codec, nullptr) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
  }

  int channels() const override { return 1; }
  int sampleRate() const override { return variant_.rate; }
  int64_t lengthFrames() const override { return static_cast<int64_t>(frames_.size()) * samplesPerFrame_; }

  int64_t read(float *out, int64_t frames) override {
    int64_t done = 0;
    while (done < frames) {
      const int64_t left = static_cast<int64_t>(pending_.size()) - pendingOffset_;
      if (left == 0) {
        if (next_ >= static_cast<int64_t>(frames_.size()))
          break;
        decodeFrame(next_++);
        continue;
      }
      const int64_t n = std::min(frames - done, left);
      std::memcpy(out + done, pending_.data() + pendingOffset_, sizeof(float) * static_cast<size_t>(n));
      pendingOffset_ += n;
      done += n;
    }
    return done;
  }

  int64_t seek(int64_t frame) override {
    if (frame < 0 || frame > lengthFrames())
      return -1;
    const int64_t target = frame / samplesPerFrame_;
    avcodec_flush_buffers(codec_.get());
    pending_.clear();
    pendingOffset_ = 0;
    for (next_ = std::max<int64_t>(0, target - kPrerollFrames); next_ < target;)
      decodeFrame(next_++);
    pending_.clear();
    pendingOffset_ = 0;
    if (target < static_cast<int64_t>(frames_.size())) {
      decodeFrame(next_++);
      pendingOffset_ = frame - target * samplesPerFrame_;
    }
    return frame;
  }

private:
  // One 20 ms frame into pending_: decoded speech, or silence for anything else.
  void decodeFrame(int64_t index) {
    pending_.assign(static_cast<size_t>(samplesPerFrame_), 0.0f);
    pendingOffset_ = 0;
    const int64_t offset = frames_[static_cast<size_t>(index)];
    uint8_t header = 0;
    if (!bytes_->read(offset, &header, 1))
      return;
    const int type = (header >> 3) & 0x0F;
    if (type > variant_.lastSpeechMode)
      return;
    const int size = variant_.frameBytes[type];
    if (av_new_packet(packet_.get(), size) < 0)
      return;
    const bool read = bytes_->read(offset, packet_->data, size);
    const bool sent = read && avcodec_send_packet(codec_.get(), packet_.get()) >= 0;
    av_packet_unref(packet_.get());
    if (!sent || avcodec_receive_frame(codec_.get(), decoded_.get()) < 0)
      return;
    if (decoded_->format == AV_SAMPLE_FMT_FLT || decoded_->format == AV_SAMPLE_FMT_FLTP) {
      const int n = std::min(decoded_->nb_samples, samplesPerFrame_);
      std::memcpy(pending_.data(), decoded_->data[0], sizeof(float) * static_cast<size_t>(n));
    }
    av_frame_unref(decoded_.get());
  }

  std::unique_ptr<FileBytes> bytes_;
  const Variant &variant_;
  std::vector<int64_t> frames_; // offsets of the frames' header bytes
  int samplesPerFrame_;
  std::unique_ptr<AVCodecContext, CodecCloser> codec_;
  std::unique_ptr<AVPacket, PacketCloser> packet_;
  std::unique_ptr<AVFrame, FrameCloser> decoded_;
  std::vector<float> pending_;
  int64_t pendingOffset_ = 0;
  int64_t next_ = 0;
};

const Variant *variantOf(ByteSource &bytes) {
  for (const Variant *v : {&kNarrowBand, &kWideBand}) {
    const int length = static_cast<int>(std::strlen(v->magic));
    uint8_t head[16];
    if (bytes.read(0, head, length) && std::memcmp(head, v->magic, static_cast<size_t>(length)) == 0)
      return v;
  }
  return nullptr;
}

// Every whole frame after the magic line; a cut-off last frame is left out.
std::vector<int64_t> walkFrames(ByteSource &bytes, const Variant &variant) {
  std::vector<int64_t> frames;
  std::vector<uint8_t> chunk(1 << 16);
  int64_t offset = static_cast<int64_t>(std::strlen(variant.magic));
  while (offset < bytes.size()) {
    const int n =
        static_cast<int>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), bytes.size() - offset));
    if (!bytes.read(offset, chunk.data(), n))
      break;
    int at = 0;
    while (at < n) {
      const int size = variant.frameBytes[(chunk[static_cast<size_t>(at)] >> 3) & 0x0F];
      if (offset + at + size > bytes.size())
        return frames;
      if (at + size > n)
        break;
      frames.push_back(offset + at);
      at += size;
    }
    offset += at;
  }
  return frames;
}

} // namespace

std::unique_ptr<Decoder> openAmrDecoder(const char *path) {
  auto bytes = std::make_unique<FileBytes>(path);
  const Variant *variant = variantOf(*bytes);
  if (!variant)
    return nullptr;
  std::vector<int64_t> frames = walkFrames(*bytes, *variant);
  if (frames.empty())
    throw EngineError(BASS_ERROR_FILEFORM);
  return std::make_unique<AmrDecoder>(std::move(bytes), *variant, std::move(frames));
}

} // namespace lyt
