// A decode-only source: a decoder, its position, its active state, the equaliser, what makes it
// clearer, and the end notifications.
#pragma once

#include "Bass.h"
#include "decoders/Decoder.h"
#include "dsp/Clarity.h"
#include "dsp/Equaliser.h"

#include <memory>
#include <vector>

namespace lyt {

// Two sides. The control side (the caller's thread, under the engine's lock) records positions and
// settings; the render side (the feeder thread, without the lock) owns the decoder and reads it.
// The format's facts never change and may be read from either side; so may the length, which an
// engine thread may correct once after the open (see Decoder::lengthExact).
class SourceChannel {
public:
  SourceChannel(std::unique_ptr<Decoder> decoder, bool isModule);

  bool isModule() const { return isModule_; }
  int sampleRate() const { return sampleRate_; }
  int channels() const { return channels_; }
  int64_t lengthFrames() const { return decoder_->lengthFrames(); }
  bool lengthExact() const { return decoder_->lengthExact(); }
  // Any thread but the render side's.
  void awaitExactLength() { decoder_->awaitExactLength(); }
  // `frame`, kept within the length once that is exact; before, a place past the estimate stays
  // where it was asked for, to be reached when the render side gets there.
  int64_t withinLength(int64_t frame) const;
  // Bytes of one frame of the decoded form that positions count in: 16-bit samples.
  int bytesPerFrame() const { return 2 * channels_; }

  // --- control side
  // Active from creation until the end is reached or stop(); a new position makes it active again.
  bool active() const { return active_; }
  // The end was reached since the last position was given.
  bool ended() const { return ended_; }
  void stop() { active_ = false; }
  // Records the position that reading continues from; the render side gets there.
  void setPosition(int64_t frame);
  int64_t position() const { return position_; }
  void markEnded();
  // The equaliser as configured; the render side works on a copy of it.
  Equaliser &equaliser() { return equaliser_; }
  // Channel choice, noise reduction and automatic level as configured.
  const ClarityConfig &clarity() const { return clarity_; }
  void setClarity(const ClarityConfig &config) { clarity_ = config; }

  struct EndSync {
    HSYNC handle;
    SYNCPROC *proc;
    DWORD user;
  };
  void addEndSync(const EndSync &sync) { endSyncs_.push_back(sync); }
  const std::vector<EndSync> &endSyncs() const { return endSyncs_; }

  // --- render side
  // Throws EngineError(BASS_ERROR_POSITION) when the decoder cannot get there.
  void seekDecoder(int64_t frame);
  // Reads up to `frames` frames of channels() interleaved samples, through the equaliser and what
  // makes it clearer, in whole multiples of frameQuantum() (`frames` must hold one) but at the
  // end. Returns 0 at the end, and from then on until the next seek.
  int64_t pull(float *out, int64_t frames);
  int frameQuantum() const { return renderClarity_.quantum(); }
  int64_t readFrame() const { return readFrame_; }
  bool reachedEnd() const { return reachedEnd_; }
  void adoptEqualiser(const Equaliser &configured) { renderEqualiser_ = configured; }
  void adoptClarity(const ClarityConfig &configured) { renderClarity_.configure(configured); }

private:
  std::unique_ptr<Decoder> decoder_;
  const bool isModule_;
  const int sampleRate_;
  const int channels_;

  bool active_ = true;
  bool ended_ = false;
  int64_t position_ = 0;
  Equaliser equaliser_;
  ClarityConfig clarity_;
  std::vector<EndSync> endSyncs_;

  int64_t readFrame_ = 0;
  bool reachedEnd_ = false;
  Equaliser renderEqualiser_;
  Clarity renderClarity_;
};

} // namespace lyt
