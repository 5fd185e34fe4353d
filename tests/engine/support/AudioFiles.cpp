// Test recordings written through libsndfile and FFmpeg.
#include "AudioFiles.h"

#include "Signals.h"

#include <sndfile.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace lyt::test {
namespace {

struct ScratchDir {
  std::string path;
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lyt-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("cannot make a scratch folder");
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

void check(bool ok, const std::string &what) {
  if (!ok)
    throw std::runtime_error(what);
}

} // namespace

const std::string &scratchDir() {
  static ScratchDir dir;
  return dir.path;
}

std::string scratchPath(const std::string &name) {
  return scratchDir() + "/" + name;
}

void writeSndfile(const std::string &path, int format, const std::vector<float> &interleaved, int rate,
                  int channels, bool vbr) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
  check(file != nullptr, "libsndfile cannot write " + path + ": " + sf_strerror(nullptr));
  if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
    int mode = vbr ? SF_BITRATE_MODE_VARIABLE : SF_BITRATE_MODE_CONSTANT;
    sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
  }
  const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / channels);
  const sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
  sf_close(file);
  check(written == frames, "short write to " + path);
}

void writeBytes(const std::string &path, const std::vector<unsigned char> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  check(out.good(), "cannot write " + path);
}

std::vector<unsigned char> readBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void stripInfoFrame(const std::string &from, const std::string &to) {
  std::vector<unsigned char> bytes = readBytes(from);
  size_t start = 0;
  if (bytes.size() > 10 && std::memcmp(bytes.data(), "ID3", 3) == 0)
    start =
        10 + ((bytes[6] & 0x7F) << 21 | (bytes[7] & 0x7F) << 14 | (bytes[8] & 0x7F) << 7 | (bytes[9] & 0x7F));
  while (start + 4 < bytes.size() && !(bytes[start] == 0xFF && (bytes[start + 1] & 0xE0) == 0xE0))
    ++start;
  check(start + 64 < bytes.size(), "no MPEG frame in " + from);
  const auto tag = [&](const char *name) {
    return std::search(bytes.begin() + static_cast<long>(start),
                       bytes.begin() + static_cast<long>(start + 64), name,
                       name + 4) != bytes.begin() + static_cast<long>(start + 64);
  };
  check(tag("Xing") || tag("Info"), "no info frame in " + from);
  // The next header of the same kind marks the end of the info frame.
  for (size_t i = start + 4; i + 4 < std::min(bytes.size(), start + 4096); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == bytes[start + 1]) {
      bytes.erase(bytes.begin() + static_cast<long>(start), bytes.begin() + static_cast<long>(i));
      writeBytes(to, bytes);
      return;
    }
  }
  throw std::runtime_error("no second frame in " + from);
}

namespace {

struct Encoder {
  AVFormatContext *format = nullptr;
  AVCodecContext *codec = nullptr;
  AVStream *stream = nullptr;
  AVPacket *packet = av_packet_alloc();
  ~Encoder() {
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (format) {
      if (format->pb)
        avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  void drain(const AVFrame *frame) {
    check(avcodec_send_frame(codec, frame) >= 0, "encoder refused a frame");
    while (avcodec_receive_packet(codec, packet) == 0) {
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      check(av_interleaved_write_frame(format, packet) >= 0, "muxer refused a packet");
    }
  }
};

void fillFrame(AVFrame *frame, const std::vector<float> &interleaved, size_t firstFrame, int channels) {
  for (int i = 0; i < frame->nb_samples; ++i) {
    for (int c = 0; c < channels; ++c) {
      const size_t index = (firstFrame + i) * channels + c;
      const float value = index < interleaved.size() ? interleaved[index] : 0.0f;
      if (frame->format == AV_SAMPLE_FMT_FLTP)
        reinterpret_cast<float *>(frame->extended_data[c])[i] = value;
      else if (frame->format == AV_SAMPLE_FMT_S16)
        reinterpret_cast<int16_t *>(frame->data[0])[i * channels + c] = static_cast<int16_t>(value * 32767);
      else if (frame->format == AV_SAMPLE_FMT_S16P)
        reinterpret_cast<int16_t *>(frame->extended_data[c])[i] = static_cast<int16_t>(value * 32767);
      else
        throw std::runtime_error("sample format not handled");
    }
  }
}

} // namespace

void writeWithFfmpeg(const std::string &path, const char *codecName, const std::vector<float> &interleaved,
                     int rate, int channels, int bitRate) {
  Encoder e;
  check(avformat_alloc_output_context2(&e.format, nullptr, nullptr, path.c_str()) >= 0,
        "no muxer for " + path);
  const AVCodec *codec = avcodec_find_encoder_by_name(codecName);
  check(codec != nullptr, std::string("no encoder ") + codecName);
  e.stream = avformat_new_stream(e.format, nullptr);
  e.codec = avcodec_alloc_context3(codec);
  e.codec->sample_rate = rate;
  av_channel_layout_default(&e.codec->ch_layout, channels);
  e.codec->sample_fmt = codec->sample_fmts[0];
  e.codec->bit_rate = bitRate;
  e.codec->time_base = AVRational{1, rate};
  if (e.format->oformat->flags & AVFMT_GLOBALHEADER)
    e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // AAC's noise substitution decodes to fresh random noise each time, which would hide whether
  // two decodes of the same place agree.
  AVDictionary *options = nullptr;
  av_dict_set(&options, "aac_pns", "0", 0);
  const int opened = avcodec_open2(e.codec, codec, &options);
  av_dict_free(&options);
  check(opened >= 0, std::string("cannot open encoder ") + codecName);
  avcodec_parameters_from_context(e.stream->codecpar, e.codec);
  e.stream->time_base = AVRational{1, rate};
  check(avio_open(&e.format->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0, "cannot write " + path);
  check(avformat_write_header(e.format, nullptr) >= 0, "cannot write the header of " + path);
  const int frameSize = e.codec->frame_size > 0 ? e.codec->frame_size : 1024;
  const size_t total = interleaved.size() / channels;
  std::unique_ptr<AVFrame, void (*)(AVFrame *)> frame(av_frame_alloc(),
                                                      [](AVFrame *f) { av_frame_free(&f); });
  for (size_t at = 0; at < total; at += frameSize) {
    av_frame_unref(frame.get());
    frame->nb_samples = static_cast<int>(std::min<size_t>(frameSize, total - at));
    frame->format = e.codec->sample_fmt;
    frame->sample_rate = rate;
    av_channel_layout_copy(&frame->ch_layout, &e.codec->ch_layout);
    check(av_frame_get_buffer(frame.get(), 0) >= 0, "no frame buffer");
    fillFrame(frame.get(), interleaved, at, channels);
    frame->pts = static_cast<int64_t>(at);
    e.drain(frame.get());
  }
  e.drain(nullptr);
  check(av_write_trailer(e.format) >= 0, "cannot finish " + path);
}

void remuxWithFfmpeg(const std::string &from, const std::string &to) {
  AVFormatContext *input = nullptr;
  check(avformat_open_input(&input, from.c_str(), nullptr, nullptr) >= 0, "FFmpeg cannot read " + from);
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> in(
      input, [](AVFormatContext *f) { avformat_close_input(&f); });
  check(avformat_find_stream_info(input, nullptr) >= 0 && input->nb_streams == 1, "one stream in " + from);
  Encoder e; // only its muxer and packet
  check(avformat_alloc_output_context2(&e.format, nullptr, nullptr, to.c_str()) >= 0, "no muxer for " + to);
  e.stream = avformat_new_stream(e.format, nullptr);
  avcodec_parameters_copy(e.stream->codecpar, input->streams[0]->codecpar);
  e.stream->codecpar->codec_tag = 0;
  check(avio_open(&e.format->pb, to.c_str(), AVIO_FLAG_WRITE) >= 0, "cannot write " + to);
  check(avformat_write_header(e.format, nullptr) >= 0, "cannot write the header of " + to);
  while (av_read_frame(input, e.packet) >= 0) {
    av_packet_rescale_ts(e.packet, input->streams[0]->time_base, e.stream->time_base);
    e.packet->stream_index = 0;
    check(av_interleaved_write_frame(e.format, e.packet) >= 0, "muxer refused a packet");
  }
  check(av_write_trailer(e.format) >= 0, "cannot finish " + to);
}

std::vector<float> decodeWithSndfile(const std::string &path, int &channels) {
  SF_INFO info{};
  SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
  check(file != nullptr, "libsndfile cannot read " + path);
  channels = info.channels;
  std::vector<float> all, chunk(4096 * static_cast<size_t>(info.channels));
  sf_count_t got;
  while ((got = sf_readf_float(file, chunk.data(), 4096)) > 0)
    all.insert(all.end(), chunk.begin(), chunk.begin() + got * info.channels);
  sf_close(file);
  return all;
}

const std::string &quietTone(int seconds) {
  static std::map<int, std::string> written;
  auto [at, isNew] = written.try_emplace(seconds, scratchPath("quiet-" + std::to_string(seconds) + "s.wav"));
  if (isNew)
    writeSndfile(at->second, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, seconds, 8000, 1, 0.05f), 8000, 1);
  return at->second;
}

} // namespace lyt::test
