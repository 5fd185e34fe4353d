// Reading an AMR track's packets, every one, with FFmpeg's demuxer.
#include "decoders/AmrContainer.h"

#include "decoders/FfmpegHandles.h"

#include <vector>

namespace lyt {
namespace {

int amrTrack(const AVFormatContext &format) {
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVCodecID codec = format.streams[i]->codecpar->codec_id;
    if (codec == AV_CODEC_ID_AMR_NB || codec == AV_CODEC_ID_AMR_WB)
      return static_cast<int>(i);
  }
  return -1;
}

} // namespace

std::unique_ptr<ByteSource> amrFramesInContainer(const char *path, bool &wideBand) {
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, path, nullptr, nullptr) < 0)
    return nullptr;
  const FormatHandle format(raw);
  const int track = amrTrack(*format);
  const PacketHandle packet(av_packet_alloc());
  if (track < 0 || !packet)
    return nullptr;
  wideBand = format->streams[track]->codecpar->codec_id == AV_CODEC_ID_AMR_WB;
  for (unsigned i = 0; i < format->nb_streams; ++i)
    format->streams[i]->discard = static_cast<int>(i) == track ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  std::vector<uint8_t> frames;
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == track)
      frames.insert(frames.end(), packet->data, packet->data + packet->size);
    av_packet_unref(packet.get());
  }
  return std::make_unique<OwnedBytes>(std::move(frames));
}

} // namespace lyt
