// Resampling through libswresample.
#include "dsp/Resampler.h"

#include "decoders/Decoder.h"
#include "Bass.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace lyt {

Resampler::~Resampler() {
  swr_free(&swr_);
}

void Resampler::configure(int inRate, int outRate, int channels) {
  if (swr_ && inRate == inRate_ && outRate == outRate_ && channels == channels_) {
    // Same conversion: only the filter's memory is dropped.
    swr_close(swr_);
    if (swr_init(swr_) < 0)
      throw EngineError(BASS_ERROR_MEM);
    return;
  }
  swr_free(&swr_);
  inRate_ = inRate;
  outRate_ = outRate;
  channels_ = channels;
  if (passesThrough())
    return;
  AVChannelLayout layout;
  av_channel_layout_default(&layout, channels);
  if (swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_FLT, outRate, &layout, AV_SAMPLE_FMT_FLT, inRate, 0,
                          nullptr) < 0 ||
      swr_init(swr_) < 0) {
    swr_free(&swr_);
    throw EngineError(BASS_ERROR_MEM);
  }
}

void Resampler::process(const float *in, int frames, SampleBuffer &out) {
  if (passesThrough())
    out.insert(out.end(), in, in + static_cast<size_t>(frames) * channels_);
  else
    convert(in, frames, out);
}

void Resampler::flush(SampleBuffer &out) {
  if (!passesThrough())
    convert(nullptr, 0, out);
}

void Resampler::convert(const float *in, int frames, SampleBuffer &out) {
  const int room = swr_get_out_samples(swr_, frames);
  if (room <= 0)
    return;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(room) * channels_);
  auto *target = reinterpret_cast<uint8_t *>(out.data() + start);
  const auto *source = reinterpret_cast<const uint8_t *>(in);
  const int got = swr_convert(swr_, &target, room, in ? &source : nullptr, frames);
  out.resize(start + static_cast<size_t>(std::max(got, 0)) * channels_);
}

} // namespace lyt
