// The engine behind the facade: the channels by handle, the output device and the feeder thread.
#pragma once

#include "Bass.h"
#include "SourceChannel.h"
#include "TempoStream.h"
#include "output/OutputDevice.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace lyt {

// Every public member takes the engine's lock, throws EngineError on failure, and is meant for the
// caller's (user-interface) thread. End notifications run on the feeder thread, or, when rendering
// offline, on the caller's thread after the render call has released the lock.
class Engine {
public:
  static Engine &instance();

  void init(int device, int rate);
  void initOffline(int rate);
  void free();

  enum class Kind { Stream, Module };
  DWORD open(Kind kind, std::function<std::unique_ptr<Decoder>(int engineRate)> makeDecoder);
  void freeSource(DWORD handle, Kind kind);

  QWORD lengthBytes(DWORD handle, Kind kind);
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

  DWORD renderOffline(DWORD output, float *stereo, DWORD frames);
  // Plays a sound file (or, when it cannot be read, a short tone) on the device and returns when
  // it has been heard; what played before stays stopped.
  void playSoundSync(const char *path);

  // For measuring: the output's generation after the last command, and when its first frame was
  // handed to the device.
  uint32_t outputGeneration(DWORD output);
  int64_t outputStartNanoseconds(DWORD output, uint32_t &generation);
  // Whether the device sleeps (after a while of silence) or waits for its output to come back.
  bool deviceAsleep();

private:
  struct Channel {
    Kind kind = Kind::Stream;
    std::unique_ptr<SourceChannel> source;
    std::unique_ptr<TempoStream> tempo;
    DWORD output = 0;
    bool equaliser = false;
  };
  struct PendingSync {
    SourceChannel::EndSync sync;
    DWORD channel;
  };

  Engine() = default;
  ~Engine();
  void requireInit() const;
  Channel &sourceChannel(DWORD handle);
  // A source handle, or an output handle standing for its source.
  Channel &channelOf(DWORD handle);
  Channel &outputChannel(DWORD handle);
  Channel &tempoChannel(DWORD handle);
  void release(std::map<DWORD, Channel>::iterator it);
  void makeCurrent(TempoStream *stream);
  void shutdown();
  void feed();
  int renderAhead(std::vector<PendingSync> &syncs);
  static void fire(const std::vector<PendingSync> &syncs);
  static bool renderDevice(void *context, float *stereo, int frames);

  std::mutex mutex_;
  std::condition_variable wake_;
  bool initialised_ = false;
  bool offline_ = false;
  int rate_ = 44100;
  DWORD nextHandle_ = 0x10000;
  std::map<DWORD, Channel> channels_;
  std::map<DWORD, DWORD> outputs_; // output handle -> source handle
  std::atomic<TempoStream *> current_{nullptr};
  DWORD currentSource_ = 0;
  std::unique_ptr<OutputDevice> device_;
  bool stopping_ = false;
  std::thread feeder_;
};

} // namespace lyt
