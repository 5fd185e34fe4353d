// The output channel of a source: tempo, pitch and rate through SoundTouch, resampled to the
// device rate, rendered ahead into a lock-free ring that the device drains.
#pragma once

#include "SourceChannel.h"
#include "output/BlockRing.h"
#include "output/FftTap.h"

#include <atomic>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace lyt {

// Three sides, three threads:
// - control (the caller's thread) and render (the feeder thread) run under the engine's lock;
// - consume runs on the device thread and takes no lock, allocates nothing and touches no file.
// Every restart bumps a generation: whatever was rendered before it is dropped by consume and
// never heard.
class TempoStream {
public:
  TempoStream(SourceChannel &source, int deviceRate);
  ~TempoStream();
  TempoStream(const TempoStream &) = delete;
  TempoStream &operator=(const TempoStream &) = delete;

  // --- control
  SourceChannel &source() { return source_; }
  // Tempo change in percent, the source's playback rate in Hz, pitch shift in semitones.
  void setShape(float tempoPercent, int rateHz, float pitchSemitones);
  float tempoPercent() const { return tempoPercent_; }
  int rateHz() const { return rateHz_; }
  float pitchSemitones() const { return pitchSemitones_; }
  // Playing time at the current tempo and rate of `seconds` of the recording.
  double playingSeconds(double seconds) const;
  void setVolume(int volume);
  int volume() const { return volume_; }
  void setPan(int pan);
  int pan() const { return pan_; }
  int deviceRate() const { return deviceRate_; }

  // False once stopped, and once the source has ended and all of it has been heard.
  bool playing() const { return playing_ && !finished(); }
  // Starts or resumes; flush drops what was rendered ahead and renders again from what is heard.
  void play(bool flush);
  // Stops; the source is put back to the frame that was heard last, so nothing is skipped.
  void stop();
  // Jumps the source to `frame` (throws EngineError(BASS_ERROR_POSITION)) and drops stale audio.
  void restartAt(int64_t frame);
  // Something that shapes the sound changed: render again from what is heard.
  void soundChanged();
  // The source frame that is being heard now.
  int64_t heardFrame() const;

  // --- render
  bool wantsAudio() const;
  // The source has ended and everything rendered from it has been heard.
  bool finished() const { return tailDone_ && ring_.written() == ring_.taken(); }
  // Renders one block; returns its frames, 0 when nothing can be rendered now.
  int renderBlock();
  void setTargetFrames(int frames);

  // --- consume (device thread)
  // Fills `frames` stereo frames, with silence where nothing is rendered; returns the frames of
  // real audio.
  int consume(float *stereo, int frames);
  // When the first frame of the latest restart was handed over (steady clock, ns), and for which
  // generation; for measuring latency.
  int64_t lastStartNanoseconds(uint32_t &generation) const;
  uint32_t generation() const { return generation_.load(std::memory_order_acquire); }

  FftTap &spectrum() { return spectrum_; }

private:
  bool bypassesStretch() const;
  void configureStretch();
  void discardRendered();
  int renderDirect(AudioBlock &block);
  int renderStretched(AudioBlock &block);
  void publishHeard(uint32_t generation, double frame);
  void applyVolume(float *stereo, int frames) const;

  SourceChannel &source_;
  const int deviceRate_;
  std::unique_ptr<soundtouch::SoundTouch> stretch_;
  float tempoPercent_ = 0;
  float pitchSemitones_ = 0;
  int rateHz_;
  int volume_ = 100;
  int pan_ = 0;
  bool playing_ = false;

  // render state, reset by every restart
  int64_t restartFrame_ = 0;
  int64_t outputSinceRestart_ = 0;
  double sourcePerOutputFrame_ = 1;
  bool flushed_ = false;
  bool tailDone_ = false;
  int targetBlocks_ = 8;
  size_t restartHead_ = 0;
  std::vector<float> scratch_;

  BlockRing<64> ring_;
  std::atomic<uint32_t> generation_{1};
  std::atomic<float> leftGain_{1};
  std::atomic<float> rightGain_{1};

  // consume state
  int readOffset_ = 0;
  uint32_t startedGeneration_ = 0;
  std::atomic<uint64_t> heard_{0}; // generation in the top 16 bits, frame below
  std::atomic<int64_t> startNanoseconds_{0};
  std::atomic<uint32_t> startGeneration_{0};
  FftTap spectrum_;
};

} // namespace lyt
