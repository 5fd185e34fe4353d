// FFmpeg's objects held by std::unique_ptr, each freed by its own call.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace lyt {

struct FormatCloser {
  void operator()(AVFormatContext *f) const { avformat_close_input(&f); }
};
struct CodecCloser {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct SwrCloser {
  void operator()(SwrContext *s) const { swr_free(&s); }
};
struct PacketCloser {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameCloser {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};

using FormatHandle = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecHandle = std::unique_ptr<AVCodecContext, CodecCloser>;
using SwrHandle = std::unique_ptr<SwrContext, SwrCloser>;
using PacketHandle = std::unique_ptr<AVPacket, PacketCloser>;
using FrameHandle = std::unique_ptr<AVFrame, FrameCloser>;

} // namespace lyt
