// Pulling a source: decode, widen mono to stereo, equalise, notice the end.
#include "SourceChannel.h"

#include <cstdio>

namespace lyt {

SourceChannel::SourceChannel(std::unique_ptr<Decoder> decoder, bool isModule)
    : decoder_(std::move(decoder)), isModule_(isModule), equaliser_(decoder_->sampleRate()) {}

void SourceChannel::seek(int64_t frame) {
  const int64_t landed = frame < 0 || frame > lengthFrames() ? -1 : decoder_->seek(frame);
  if (landed < 0)
    throw EngineError(BASS_ERROR_POSITION);
  readFrame_ = landed;
  endEvent_ = false;
  ended_ = false;
  equaliser_.reset();
  active_.store(true, std::memory_order_release);
}

int64_t SourceChannel::pullStereo(float *stereo, int64_t frames) {
  if (!active())
    return 0;
  int64_t got;
  if (channels() == 2) {
    got = decoder_->read(stereo, frames);
  } else {
    mono_.resize(static_cast<size_t>(frames));
    got = decoder_->read(mono_.data(), frames);
    for (int64_t i = 0; i < got; ++i)
      stereo[2 * i] = stereo[2 * i + 1] = mono_[i];
  }
  if (got <= 0) {
    active_.store(false, std::memory_order_release);
    endEvent_ = !ended_;
    ended_ = true;
    return 0;
  }
  readFrame_ += got;
  equaliser_.process(stereo, got);
  return got;
}

bool SourceChannel::takeEndEvent() {
  const bool event = endEvent_;
  endEvent_ = false;
  return event;
}

} // namespace lyt
