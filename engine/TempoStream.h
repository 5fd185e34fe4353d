// The output channel of a source: tempo and pitch through SoundTouch at the recording's own rate
// and channel count, one resample to the device's rate at the end, rendered ahead into a lock-free
// ring that the device drains.
#pragma once

#include "SourceChannel.h"
#include "dsp/Resampler.h"
#include "output/BlockRing.h"
#include "output/FftTap.h"
#include "output/OutputDevice.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace lyt {

// Three sides, three threads:
// - control (the caller's thread) runs under the engine's lock and only records what is asked;
// - render (the feeder thread) takes a job under the lock, renders it without the lock (decoding,
//   seeking, stretching), and commits the outcome under the lock again;
// - consume runs on the device thread and takes no lock, allocates nothing and touches no file.
// Every restart bumps a generation: whatever was rendered before it is dropped by consume and
// never heard, and whatever a job of an older generation renders is dropped the same way.
// What is heard lags what is handed to the device by the depth of the device's queue: consume
// keeps the last spans it handed over, so that the frame heard now and the moment the source's
// last frame is heard are known, not guessed from what was handed over.
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
  // Jumps the source to `frame` (0 .. its length) and drops stale audio; the feeder seeks.
  void restartAt(int64_t frame);
  // Something that shapes the sound (tempo, rate, pitch, equaliser) changed.
  void soundChanged();
  // The source frame that is being heard now; after a restart, its frame until the new place sounds.
  int64_t heardFrame() const;
  // The source has ended and everything rendered from it has been heard.
  bool finished() const {
    return tailDone_ && heardEnd_.load(std::memory_order_acquire) == generation_.load(std::memory_order_relaxed);
  }
  // Under the lock: true once, when the source's end, reached by the render side, has been heard
  // since the last restart; the source then counts as ended.
  bool takeHeardEnd();
  void setTargetFrames(int frames);

  // --- render
  struct Job {
    uint32_t generation = 0;
    int64_t restartFrame = 0;
    uint64_t configSerial = 0;
    float tempoPercent = 0;
    int rateHz = 0;
    float pitchSemitones = 0;
    std::optional<Equaliser> equaliser;
    std::optional<ClarityConfig> clarity;
  };
  struct Outcome {
    int frames = 0;
    bool sourceEnded = false; // the source's end was reached in this job
    bool tailDone = false;    // nothing more will be rendered until a restart
  };
  // Under the lock: whether a block is wanted now, and what to render it with.
  bool wantsAudio() const;
  Job takeJob();
  // Without the lock. Throws what the decoder throws.
  Outcome render(const Job &job);
  // Under the lock. A job that reached the source's end, or failed, makes the end pending: it is
  // notified once it has been heard (takeHeardEnd). A failed job ends the stream there.
  void commit(const Job &job, const Outcome &outcome);
  static Outcome failed() { return Outcome{0, true, true}; }
  // wantsAudio, takeJob, render and commit on one thread; returns the frames rendered.
  int renderBlock();

  // --- consume (device thread)
  // Fills `frames` stereo frames, with silence where nothing is rendered. `unheard` and `padded`
  // as AudioFeed::render has them.
  AudioFeed::Rendered consume(float *stereo, int frames, int64_t unheard = 0, bool padded = true);
  // A restart has not yet reached the device; any thread.
  bool restartPending() const {
    return consumeGeneration_.load(std::memory_order_acquire) != generation_.load(std::memory_order_acquire);
  }
  // When the first frame of the latest restart was handed over (steady clock, ns), and for which
  // generation; for measuring latency.
  int64_t lastStartNanoseconds(uint32_t &generation) const;
  uint32_t generation() const { return generation_.load(std::memory_order_acquire); }

  FftTap &spectrum() { return spectrum_; }

private:
  // control
  void bumpGeneration(int64_t restartFrame);
  // render
  void applyRestart(const Job &job);
  void applyConfig(const Job &job);
  bool bypassesStretch() const;
  bool pump(Outcome &outcome);
  void toDeviceRate(const float *in, int frames);
  void drainStretch();
  int takeRendered(AudioBlock &block);
  // consume
  void handOver(const AudioBlock &block, int64_t at, int frames);
  void publishHeard(uint32_t generation, int64_t heardAt);
  void applyVolume(float *stereo, int frames) const;

  SourceChannel &source_;
  const int deviceRate_;

  // control state, under the engine's lock
  float tempoPercent_ = 0;
  float pitchSemitones_ = 0;
  int rateHz_;
  int volume_ = 100;
  int pan_ = 0;
  bool playing_ = false;
  bool tailDone_ = false;
  bool endPending_ = false;
  int64_t restartFrame_ = 0;
  uint64_t configSerial_ = 1;
  int targetBlocks_ = 8;

  // render state, the feeder's alone
  std::unique_ptr<soundtouch::SoundTouch> stretch_;
  Resampler resampler_;
  uint32_t renderGeneration_ = 0;
  uint64_t renderConfig_ = 0;
  float renderTempo_ = 0;
  float renderPitch_ = 0;
  int renderRate_ = 0;
  double baseFrame_ = 0;
  int64_t outputSinceBase_ = 0;
  double sourcePerOutputFrame_ = 1;
  bool flushed_ = false;
  bool renderTailDone_ = false;
  size_t restartHead_ = 0;
  std::vector<float> input_;
  std::vector<float> stretched_;
  SampleBuffer resampled_;
  SampleBuffer rendered_; // stereo at the device's rate, not yet in a block
  size_t renderedRead_ = 0;

  BlockRing<128> ring_;
  std::atomic<uint32_t> generation_{1};
  std::atomic<uint32_t> tailGeneration_{0}; // the last block of this generation is in the ring
  std::atomic<uint32_t> heardEnd_{0};       // this generation's last frame has been heard
  std::atomic<float> leftGain_{1};
  std::atomic<float> rightGain_{1};

  // consume state
  struct HandedSpan {
    int64_t at;        // frames handed over before it since the stream began
    int frames;
    double sourceStart;
    double sourcePerFrame;
  };
  std::atomic<uint32_t> consumeGeneration_{0};
  int64_t handed_ = 0;
  std::array<HandedSpan, 64> spans_{};
  size_t spanCount_ = 0;   // spans of this generation ever kept; the last 64 are in spans_
  int64_t endHandedAt_ = -1; // handed_ just after the source's last frame, once handed over
  int readOffset_ = 0;
  uint32_t startedGeneration_ = 0;
  std::atomic<uint64_t> heard_{0}; // generation in the top 16 bits, frame below
  std::atomic<int64_t> startNanoseconds_{0};
  std::atomic<uint32_t> startGeneration_{0};
  FftTap spectrum_;
};

} // namespace lyt
