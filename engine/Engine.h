// The engine behind the facade: the channels by handle, the output device and the feeder thread.
#pragma once

#include "Bass.h"
#include "SourceChannel.h"
#include "TempoStream.h"
#include "output/OutputDevice.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lyt {

// Every public member takes the engine's lock, throws EngineError on failure, and is meant for the
// caller's (user-interface) thread. The lock guards bookkeeping only: decoding, seeking and
// stretching run on the feeder thread without it, so no call waits for them, and the device's
// threads never take it. End notifications run on the feeder thread (or, when rendering offline,
// on the caller's) without the lock, once the source's last frame has been heard, and never after
// the call that freed their channel has returned.
class Engine final : private AudioFeed {
public:
  static Engine &instance();

  void init(int device, int rate);
  void initOffline(int rate);
  void free();

  enum class Kind { Stream, Module };
  // `title` names the recording for the desktop's mixer while it plays.
  DWORD open(Kind kind, const std::string &title, std::function<std::unique_ptr<Decoder>(int engineRate)> makeDecoder);
  void freeSource(DWORD handle, Kind kind);

  QWORD lengthBytes(DWORD handle, Kind kind);
  bool lengthExact(DWORD handle);
  // Waits, without the lock, until the source's length is exact.
  void awaitExactLength(DWORD handle);
  QWORD position(DWORD handle);
  void setPosition(DWORD handle, QWORD bytes);
  double bytesToSeconds(DWORD handle, QWORD bytes);
  QWORD secondsToBytes(DWORD handle, double seconds);

  void play(DWORD output, bool flush);
  void stop(DWORD handle);
  bool active(DWORD handle);
  void setAttributes(DWORD handle, int freq, int volume, int pan);
  void attributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan);
  DWORD spectrum(DWORD output, float *out512);
  HSYNC addEndSync(DWORD handle, SYNCPROC *proc, DWORD user);

  void createTempo(DWORD source);
  DWORD outputOf(DWORD source);
  void freeTempo(DWORD handle);
  void setTempo(DWORD handle, float tempo, int rate, float pitch);
  double playingSeconds(DWORD handle, double seconds);

  void addEqualiser(DWORD handle);
  void setEqBand(DWORD handle, const BASS_FXPEAKEQ &params);
  void eqBand(DWORD handle, BASS_FXPEAKEQ &params);
  void removeEqualiser(DWORD handle);
  void setClarity(DWORD handle, const ClarityConfig &config);
  ClarityConfig clarity(DWORD handle);

  DWORD renderOffline(DWORD output, float *stereo, DWORD frames);
  // Plays a sound file (or, when it cannot be read, a short tone) on the device and returns when
  // it has been heard; what played before stays stopped.
  void playSoundSync(const char *path);

  // Renders ahead this long on a device.
  static constexpr double kAheadSeconds = 0.2;

  // For measuring: the output's generation after the last command, and when its first frame was
  // handed to the device.
  uint32_t outputGeneration(DWORD output);
  int64_t outputStartNanoseconds(DWORD output, uint32_t &generation);
  // Whether the device sleeps (after a while of silence) or waits for its output to come back.
  bool deviceAsleep();
  DWORD deviceBufferFrames();
  // Why nothing can be heard for now (no sound server, no device), or empty.
  std::string outputProblem();

private:
  // A source and its output; shared with the feeder, which may still be rendering it when it is
  // freed.
  struct Core {
    Core(DWORD handle, std::unique_ptr<Decoder> decoder, bool isModule)
        : handle(handle), source(std::move(decoder), isModule) {}
    const DWORD handle;
    std::string title;
    SourceChannel source;
    std::unique_ptr<TempoStream> tempo;
    bool notifies = true; // under syncMutex_; false once freed
  };
  struct Channel {
    Kind kind = Kind::Stream;
    std::shared_ptr<Core> core;
    DWORD output = 0;
    bool equaliser = false;
  };

  Engine() = default;
  ~Engine();
  // The device's side (AudioFeed), on the device's threads, without the lock.
  Rendered render(float *stereo, int frames, int64_t unheard, bool padded) override;
  bool restartPending() override;
  void outputRestarted() override;
  void requireInit() const;
  Channel &sourceChannel(DWORD handle);
  // A source handle, or an output handle standing for its source.
  Channel &channelOf(DWORD handle);
  Channel &outputChannel(DWORD handle);
  Channel &tempoChannel(DWORD handle);
  void release(std::map<DWORD, Channel>::iterator it);
  void makeCurrent(const std::shared_ptr<Core> &core);
  void silenceDevice();
  void stopCurrent();
  void wakeFeeder();
  void shutdown();
  void feed();
  // Renders one block of the current output, releasing the lock meanwhile; returns its frames, or
  // -1 when no block is wanted.
  int renderStep(std::unique_lock<std::mutex> &lock);
  // Notifies the end of the current output once it has been heard.
  void settleEnd(std::unique_lock<std::mutex> &lock);
  void notifyEnd(Core &core, std::unique_lock<std::mutex> &lock);
  // After the output was lost: the current output goes on from the frame that was heard.
  void replayFromHeard();

  std::mutex mutex_;
  // Held while end notifications run, so that a free can wait for them to finish.
  std::mutex syncMutex_;
  // Bumped (and waited on) to wake the feeder: by commands and by the device after every period.
  std::atomic<uint32_t> wakeups_{0};
  bool initialised_ = false;
  bool offline_ = false;
  int rate_ = 44100;
  DWORD nextHandle_ = 0x10000;
  std::map<DWORD, Channel> channels_;
  std::map<DWORD, DWORD> outputs_; // output handle -> source handle
  std::shared_ptr<Core> current_;
  std::atomic<TempoStream *> sounding_{nullptr}; // current_'s output, for the device thread
  std::atomic<TempoStream *> lastSounding_{nullptr}; // what the device rendered from last
  std::atomic<bool> outputWasLost_{false};
  std::unique_ptr<OutputDevice> device_;
  std::string outputProblem_;
  bool stopping_ = false;
  std::thread feeder_;
};

} // namespace lyt
