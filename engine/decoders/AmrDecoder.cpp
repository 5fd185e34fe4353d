// AMR through our own frame walk (FFmpeg's drops the no-data frames), FFmpeg's speech decoder.
#include "decoders/AmrDecoder.h"

#include "Bass.h"
#include "decoders/AmrContainer.h"
#include "decoders/AmrFrames.h"
#include "decoders/FfmpegHandles.h"
#include "decoders/FileBytes.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lyt {
namespace {

// The speech decoders' state settles within a few frames after a seek.
constexpr int64_t kPrerollFrames = 8;

class AmrDecoder final : public Decoder {
public:
  AmrDecoder(std::unique_ptr<ByteSource> bytes, const AmrVariant &variant, int64_t start)
      : bytes_(std::move(bytes)), variant_(variant), frames_(*bytes_, start, variant),
        samplesPerFrame_(variant.samplesPerFrame()), packet_(av_packet_alloc()), decoded_(av_frame_alloc()) {
    if (frames_.frames() == 0)
      throw EngineError(BASS_ERROR_FILEFORM);
    const AVCodec *codec = avcodec_find_decoder(variant.wideBand ? AV_CODEC_ID_AMR_WB : AV_CODEC_ID_AMR_NB);
    codec_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!codec_ || !packet_ || !decoded_)
      throw EngineError(BASS_ERROR_FILEFORM);
    codec_->sample_rate = variant.rate;
    av_channel_layout_default(&codec_->ch_layout, 1);
    if (avcodec_open2(codec_.get(), codec, nullptr) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
    nextOffset_ = start;
  }

  int channels() const override { return 1; }
  int sampleRate() const override { return variant_.rate; }
  int64_t lengthFrames() const override { return frames_.frames() * samplesPerFrame_; }

  int64_t read(float *out, int64_t frames) override {
    int64_t done = 0;
    while (done < frames) {
      const int64_t left = static_cast<int64_t>(pending_.size()) - pendingOffset_;
      if (left == 0) {
        if (next_ >= frames_.frames())
          break;
        decodeNextFrame();
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
    next_ = std::max<int64_t>(0, target - kPrerollFrames);
    nextOffset_ = next_ < frames_.frames() ? frames_.offsetOf(next_, *bytes_) : 0;
    while (next_ < target)
      decodeNextFrame();
    pending_.clear();
    pendingOffset_ = 0;
    if (target < frames_.frames()) {
      decodeNextFrame();
      pendingOffset_ = frame - target * samplesPerFrame_;
    }
    return frame;
  }

private:
  // The next 20 ms frame into pending_: decoded speech, or silence for anything else.
  void decodeNextFrame() {
    pending_.assign(static_cast<size_t>(samplesPerFrame_), 0.0f);
    pendingOffset_ = 0;
    uint8_t header = 0;
    const int64_t offset = nextOffset_;
    ++next_;
    if (!bytes_->read(offset, &header, 1))
      return;
    const int size = variant_.frameBytesOf(header);
    nextOffset_ += size;
    if (((header >> 3) & 0x0F) > variant_.lastSpeechType || av_new_packet(packet_.get(), size) < 0)
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

  std::unique_ptr<ByteSource> bytes_;
  const AmrVariant &variant_;
  AmrFrameMap frames_;
  int samplesPerFrame_;
  CodecHandle codec_;
  PacketHandle packet_;
  FrameHandle decoded_;
  std::vector<float> pending_;
  int64_t pendingOffset_ = 0;
  int64_t next_ = 0;       // the next frame to decode
  int64_t nextOffset_ = 0; // where it begins
};

} // namespace

std::unique_ptr<Decoder> openAmrDecoder(const char *path) {
  auto file = std::make_unique<FileBytes>(path);
  if (const AmrVariant *variant = amrVariantByMagic(*file)) {
    const auto start = static_cast<int64_t>(std::strlen(variant->magic));
    return std::make_unique<AmrDecoder>(std::move(file), *variant, start);
  }
  bool wideBand = false;
  if (std::unique_ptr<ByteSource> frames = amrFramesInContainer(path, wideBand))
    return std::make_unique<AmrDecoder>(std::move(frames), wideBand ? amrWideBand() : amrNarrowBand(), 0);
  return nullptr;
}

} // namespace lyt
