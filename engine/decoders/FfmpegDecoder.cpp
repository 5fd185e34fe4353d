// FFmpeg behind the Decoder interface: demux, decode, mix down to float, and seek to the sample.
#include "decoders/FfmpegDecoder.h"

#include "Bass.h"
#include "decoders/FfmpegHandles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lyt {
namespace {

// Demuxers that would take files meant for the module decoder, or that guess from a name alone.
bool isRefusedFormat(const char *name) {
  static constexpr const char *kRefused[] = {"openmpt", "modplug", "image2", "tty", "lavfi", "data"};
  for (const char *refused : kRefused)
    if (std::strstr(name, refused))
      return true;
  return false;
}

class FfmpegDecoder final : public Decoder {
public:
  explicit FfmpegDecoder(const char *path) {
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, path, nullptr, nullptr) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
    format_.reset(raw);
    if (format_->probe_score <= AVPROBE_SCORE_EXTENSION / 2 || isRefusedFormat(format_->iformat->name))
      throw EngineError(BASS_ERROR_FILEFORM);
    if (avformat_find_stream_info(format_.get(), nullptr) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
    const AVCodec *codec = nullptr;
    stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0 || !codec)
      throw EngineError(BASS_ERROR_FILEFORM);
    for (unsigned i = 0; i < format_->nb_streams; ++i)
      if (static_cast<int>(i) != stream_)
        format_->streams[i]->discard = AVDISCARD_ALL;
    openCodec(codec);
    openMixer();
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_)
      throw EngineError(BASS_ERROR_MEM);
    length_ = containerLength();
    // A file that yields no sound at all is not a recording; this also reads the first frame's
    // timestamp, the origin of every later one.
    if (!decodeNextFrame())
      throw EngineError(BASS_ERROR_FILEFORM);
    firstFrameTimestamp_ = lastTimestamp_;
  }

  int channels() const override { return channels_; }
  int sampleRate() const override { return rate_; }
  int64_t lengthFrames() const override { return length_; }

  int64_t read(float *out, int64_t frames) override {
    // What plays is what the length says, however much more a damaged file decodes to.
    frames = std::min(frames, length_ - readFrame_);
    int64_t done = 0;
    while (done < frames) {
      if (pendingOffset_ == pendingFrames()) {
        if (!decodeNextFrame())
          break;
        continue;
      }
      const int64_t n = std::min<int64_t>(frames - done, pendingFrames() - pendingOffset_);
      std::memcpy(out + done * channels_, pending_.data() + pendingOffset_ * channels_,
                  sizeof(float) * n * channels_);
      pendingOffset_ += n;
      done += n;
    }
    readFrame_ += done;
    return done;
  }

  int64_t seek(int64_t frame) override {
    if (frame == readFrame_)
      return frame; // already there: a damaged file that cannot seek still plays from its start
    if (!seekExactly(frame))
      return -1;
    readFrame_ = frame;
    return frame;
  }

private:
  bool seekExactly(int64_t frame) {
    const AVStream *st = format_->streams[stream_];
    // Codecs with overlapping transforms need some audio before the target to decode it right.
    const int64_t preroll = std::max<int64_t>(codec_->frame_size * 2, rate_ / 10);
    const int64_t from = std::max<int64_t>(0, frame - preroll);
    const int64_t startTs = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    const int64_t ts = av_rescale_q(from, AVRational{1, rate_}, st->time_base) + startTs;
    if (av_seek_frame(format_.get(), stream_, from == 0 ? startTs : ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(format_.get(), stream_, startTs, AVSEEK_FLAG_BACKWARD) < 0)
      return false;
    avcodec_flush_buffers(codec_.get());
    swr_init(mixer_.get());
    pending_.clear();
    pendingOffset_ = 0;
    draining_ = false;
    finished_ = false;
    needTimestamp_ = true;
    return skipTo(frame);
  }

  void openCodec(const AVCodec *codec) {
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), format_->streams[stream_]->codecpar) < 0 ||
        avcodec_open2(codec_.get(), codec, nullptr) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
    rate_ = codec_->sample_rate;
    requireSupportedFormat(rate_, codec_->ch_layout.nb_channels);
    channels_ = std::min(codec_->ch_layout.nb_channels, 2);
  }

  void openMixer() {
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, channels_);
    SwrContext *raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, rate_, &codec_->ch_layout,
                            codec_->sample_fmt, rate_, 0, nullptr) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
    mixer_.reset(raw);
    if (swr_init(mixer_.get()) < 0)
      throw EngineError(BASS_ERROR_FILEFORM);
  }

  int64_t containerLength() const {
    const AVStream *st = format_->streams[stream_];
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
      return av_rescale_q(st->duration, st->time_base, AVRational{1, rate_});
    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
      return av_rescale(format_->duration, rate_, AV_TIME_BASE);
    return 0;
  }

  int64_t pendingFrames() const { return static_cast<int64_t>(pending_.size()) / channels_; }

  // Where a decoded frame starts, in samples from the first frame of the stream. Containers that
  // keep time in milliseconds (ASF) put it only near the truth: their codecs decode in fixed steps,
  // so the sample is the nearest whole step from the first frame.
  int64_t frameStart(const AVFrame *frame) const {
    const AVStream *st = format_->streams[stream_];
    const int64_t offset =
        av_rescale_q(frame->pts - streamStart(), st->time_base, AVRational{1, rate_}) - firstFrameTimestamp_;
    const bool coarse = st->time_base.den < rate_ * st->time_base.num;
    const int64_t step = codec_->frame_size > 0 ? codec_->frame_size : frame->nb_samples;
    if (!coarse || step <= 0)
      return offset;
    return (offset + (offset >= 0 ? step / 2 : -step / 2)) / step * step;
  }

  bool receiveFrame() {
    while (true) {
      const int r = avcodec_receive_frame(codec_.get(), frame_.get());
      if (r == 0)
        return true;
      if (r == AVERROR_EOF || finished_) {
        finished_ = true;
        return false;
      }
      if (r != AVERROR(EAGAIN))
        return false;
      if (!sendPacket())
        return false;
    }
  }

  bool sendPacket() {
    while (!draining_) {
      const int r = av_read_frame(format_.get(), packet_.get());
      if (r < 0) {
        draining_ = true;
        avcodec_send_packet(codec_.get(), nullptr);
        return true;
      }
      const bool ours = packet_->stream_index == stream_;
      const int sent = ours ? avcodec_send_packet(codec_.get(), packet_.get()) : 0;
      av_packet_unref(packet_.get());
      if (ours && sent != AVERROR_INVALIDDATA)
        return true;
    }
    finished_ = true;
    return false;
  }

  // Decodes the next frame into pending_. False at the end of the stream.
  bool decodeNextFrame() {
    while (receiveFrame()) {
      if (frame_->pts != AV_NOPTS_VALUE && (needTimestamp_ || !haveFirstTimestamp_)) {
        lastTimestamp_ = av_rescale_q(frame_->pts - streamStart(), format_->streams[stream_]->time_base,
                                      AVRational{1, rate_});
        if (haveFirstTimestamp_)
          nextFrame_ = frameStart(frame_.get());
        haveFirstTimestamp_ = true;
        needTimestamp_ = false;
      }
      const int out = convert(frame_.get());
      av_frame_unref(frame_.get());
      if (out > 0)
        return true;
    }
    return false;
  }

  int64_t streamStart() const {
    const AVStream *st = format_->streams[stream_];
    return st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
  }

  int convert(const AVFrame *frame) {
    const int capacity = swr_get_out_samples(mixer_.get(), frame->nb_samples);
    pending_.resize(static_cast<size_t>(std::max(capacity, 0)) * channels_);
    uint8_t *outPlanes[1] = {reinterpret_cast<uint8_t *>(pending_.data())};
    const int got = swr_convert(mixer_.get(), outPlanes, capacity,
                                const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    pending_.resize(static_cast<size_t>(std::max(got, 0)) * channels_);
    pendingOffset_ = 0;
    pendingStartFrame_ = nextFrame_;
    nextFrame_ += std::max(got, 0);
    return got;
  }

  bool skipTo(int64_t target) {
    while (true) {
      if (!decodeNextFrame())
        return target >= nextFrame_ || target >= length_;
      if (nextFrame_ > target) {
        pendingOffset_ = std::max<int64_t>(0, target - pendingStartFrame_);
        return true;
      }
    }
  }

  FormatHandle format_;
  CodecHandle codec_;
  SwrHandle mixer_;
  PacketHandle packet_;
  FrameHandle frame_;
  int stream_ = -1;
  int channels_ = 0;
  int rate_ = 0;
  int64_t length_ = 0;
  int64_t readFrame_ = 0; // where the next read starts
  std::vector<float> pending_;
  int64_t pendingOffset_ = 0;
  int64_t pendingStartFrame_ = 0;
  int64_t nextFrame_ = 0;
  int64_t lastTimestamp_ = 0;
  int64_t firstFrameTimestamp_ = 0;
  bool haveFirstTimestamp_ = false;
  bool needTimestamp_ = false;
  bool draining_ = false;
  bool finished_ = false;
};

} // namespace

std::unique_ptr<Decoder> openFfmpegDecoder(const char *path) {
  requireReadable(path);
  av_log_set_level(AV_LOG_QUIET);
  return std::make_unique<FfmpegDecoder>(path);
}

} // namespace lyt
