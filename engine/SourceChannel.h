// A decode-only source: a decoder, its read position, its active state, the equaliser and the end
// notifications.
#pragma once

#include "Bass.h"
#include "decoders/Decoder.h"
#include "dsp/Equaliser.h"

#include <atomic>
#include <memory>
#include <vector>

namespace lyt {

// Configured from the caller's thread and pulled from the engine's feeder thread; the engine's
// lock serialises the two. active() alone may be read without it.
class SourceChannel {
public:
  SourceChannel(std::unique_ptr<Decoder> decoder, bool isModule);

  bool isModule() const { return isModule_; }
  int sampleRate() const { return decoder_->sampleRate(); }
  int channels() const { return decoder_->channels(); }
  int64_t lengthFrames() const { return decoder_->lengthFrames(); }
  // Bytes of one frame of the decoded form that positions count in: 16-bit samples.
  int bytesPerFrame() const { return 2 * channels(); }

  // Active from creation until the end is reached or stop(); seek() makes it active again.
  bool active() const { return active_.load(std::memory_order_acquire); }
  // The end was reached since the last seek.
  bool ended() const { return ended_; }
  void stop() { active_.store(false, std::memory_order_release); }
  // Throws EngineError(BASS_ERROR_POSITION) beyond the end or when the decoder cannot get there.
  void seek(int64_t frame);
  int64_t readFrame() const { return readFrame_; }

  // Reads up to `frames` frames as stereo, through the equaliser. Returns 0 when stopped or at
  // the end; reaching the end makes the source inactive and arms the end notifications.
  int64_t pullStereo(float *stereo, int64_t frames);
  // True once after the end was reached.
  bool takeEndEvent();

  Equaliser &equaliser() { return equaliser_; }

  struct EndSync {
    HSYNC handle;
    SYNCPROC *proc;
    DWORD user;
  };
  void addEndSync(const EndSync &sync) { endSyncs_.push_back(sync); }
  const std::vector<EndSync> &endSyncs() const { return endSyncs_; }

private:
  std::unique_ptr<Decoder> decoder_;
  bool isModule_;
  std::atomic<bool> active_{true};
  bool endEvent_ = false;
  bool ended_ = false;
  int64_t readFrame_ = 0;
  std::vector<float> mono_;
  Equaliser equaliser_;
  std::vector<EndSync> endSyncs_;
};

} // namespace lyt
