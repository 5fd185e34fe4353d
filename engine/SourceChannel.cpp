// Pulling a source: decode, equalise, notice the end.
#include "SourceChannel.h"

#include <algorithm>

namespace lyt {

SourceChannel::SourceChannel(std::unique_ptr<Decoder> decoder, bool isModule)
    : decoder_(std::move(decoder)), isModule_(isModule), sampleRate_(decoder_->sampleRate()),
      channels_(decoder_->channels()), equaliser_(sampleRate_), renderEqualiser_(sampleRate_),
      renderClarity_(sampleRate_, channels_) {}

int64_t SourceChannel::withinLength(int64_t frame) const {
  // Exact first: the length it then reads is the final one.
  return lengthExact() ? std::min(frame, lengthFrames()) : frame;
}

void SourceChannel::setPosition(int64_t frame) {
  position_ = frame;
  active_ = true;
  ended_ = false;
}

void SourceChannel::markEnded() {
  active_ = false;
  ended_ = true;
}

void SourceChannel::seekDecoder(int64_t frame) {
  reachedEnd_ = false;
  renderEqualiser_.reset();
  const int64_t landed = frame < 0 || withinLength(frame) != frame ? -1 : decoder_->seek(frame);
  if (landed < 0)
    throw EngineError(BASS_ERROR_POSITION);
  readFrame_ = landed;
}

int64_t SourceChannel::pull(float *out, int64_t frames) {
  if (reachedEnd_)
    return 0;
  frames -= frames % frameQuantum();
  int64_t got = 0;
  for (int64_t n; got < frames && (n = decoder_->read(out + got * channels_, frames - got)) > 0;)
    got += n;
  if (got <= 0) {
    reachedEnd_ = true;
    return 0;
  }
  readFrame_ += got;
  renderEqualiser_.process(out, got, channels_);
  renderClarity_.process(out, got);
  return got;
}

} // namespace lyt
