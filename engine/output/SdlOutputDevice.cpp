// The default output device through SDL2 (PipeWire, PulseAudio, ALSA, JACK, or SDL's dummy).
//
// SDL2 keeps a paused device's stream running, so the server would mix its silence all day: a
// device that goes to sleep is closed instead, and resume() has it opened again. When the output
// disappears, SDL goes on calling back into a buffer that no one hears; the callback then stops
// rendering, and the keeper restarts SDL's audio and reopens the default output until it
// succeeds. Opening and closing are the keeper thread's alone, so no caller waits for a driver;
// it sleeps on a semaphore and wakes only when asked.
#include "output/IdleWatch.h"
#include "output/OutputDevice.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <semaphore>
#include <thread>

namespace lyt {
namespace {

constexpr int kPeriodFrames = 512;
constexpr auto kReopenInterval = std::chrono::milliseconds(250);

std::atomic<bool> gSimulatedLoss{false};
std::atomic<int> gReopenAttempts{0};

class SdlOutputDevice final : public OutputDevice {
public:
  SdlOutputDevice(int rate, AudioFeed &feed)
      : rate_(rate), feed_(feed), idle_(static_cast<int>(rate * kIdleSeconds)), keeper_([this] { keep(); }) {}

  ~SdlOutputDevice() override {
    {
      std::lock_guard<std::mutex> lock(switching_);
      closing_ = true;
    }
    attention_.release();
    keeper_.join();
    close();
    if (subsystemUp_)
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  // Caller's thread, once: false when SDL or the default output cannot be opened.
  bool start() {
    std::lock_guard<std::mutex> lock(switching_);
    subsystemUp_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    return subsystemUp_ && open();
  }

  int periodFrames() const override { return period_; }

  void barrier() override {
    std::lock_guard<std::mutex> lock(switching_);
    if (const SDL_AudioDeviceID device = device_.load()) {
      SDL_LockAudioDevice(device);
      SDL_UnlockAudioDevice(device);
    }
  }

  void resume() override {
    idle_.wake();
    if (device_.load() != 0 || lost_.load() || openWanted_.exchange(true))
      return; // awake, being opened, or the keeper is bringing the output back
    attention_.release();
  }

  bool asleep() const override { return device_.load() == 0 || lost_.load(); }

private:
  static void SDLCALL pull(void *self, Uint8 *stream, int bytes) {
    static_cast<SdlOutputDevice *>(self)->onPeriod(reinterpret_cast<float *>(stream),
                                                   bytes / static_cast<int>(2 * sizeof(float)));
  }

  // Device thread.
  void onPeriod(float *stereo, int frames) {
    if (outputGone()) {
      std::fill(stereo, stereo + 2 * frames, 0.0f);
      if (!lost_.exchange(true))
        attention_.release();
      return;
    }
    if (idle_.afterPeriod(feed_.render(stereo, frames, 0, true).sounded(), frames))
      attention_.release();
  }

  bool outputGone() const {
    return gSimulatedLoss.load(std::memory_order_relaxed) ||
           SDL_GetAudioDeviceStatus(device_.load(std::memory_order_relaxed)) == SDL_AUDIO_STOPPED;
  }

  // The keeper thread: opens the device when asked, closes it once it has gone to sleep, and
  // reopens a lost one.
  void keep() {
    for (;;) {
      if (lost_.load())
        attention_.try_acquire_for(kReopenInterval);
      else
        attention_.acquire();
      std::lock_guard<std::mutex> lock(switching_);
      if (closing_)
        return;
      if (lost_.load())
        reopenAfterLoss();
      else if (openWanted_.exchange(false) && device_.load() == 0 && !open())
        lost_.store(true);
      else if (idle_.idle())
        close();
    }
  }

  // A new connection to the sound server needs SDL's audio started afresh.
  void reopenAfterLoss() {
    close();
    ++gReopenAttempts;
    if (subsystemUp_)
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystemUp_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (subsystemUp_ && open()) {
      lost_.store(false);
      feed_.outputRestarted();
    }
  }

  // Under switching_.
  bool open() {
    if (gSimulatedLoss.load())
      return false;
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(period_ ? period_ : kPeriodFrames);
    want.callback = pull;
    want.userdata = this;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0)
      return false;
    if (period_ == 0)
      period_ = have.samples;
    device_.store(device);
    SDL_PauseAudioDevice(device, 0);
    return true;
  }

  // Under switching_ (or once the keeper has ended). The device counts as open until it is closed.
  void close() {
    if (const SDL_AudioDeviceID device = device_.load()) {
      SDL_CloseAudioDevice(device);
      device_.store(0);
    }
  }

  const int rate_;
  AudioFeed &feed_;
  int period_ = 0;
  IdleWatch idle_;
  std::atomic<SDL_AudioDeviceID> device_{0};
  std::atomic<bool> lost_{false};
  std::atomic<bool> openWanted_{false};
  std::mutex switching_; // opening, closing and SDL's audio subsystem
  bool subsystemUp_ = false;
  bool closing_ = false;
  std::counting_semaphore<1 << 20> attention_{0};
  std::thread keeper_;
};

} // namespace

std::unique_ptr<OutputDevice> openSdlDevice(int rate, AudioFeed &feed, std::string *why) {
  auto device = std::make_unique<SdlOutputDevice>(rate, feed);
  if (!device->start()) {
    if (why)
      *why = SDL_GetError();
    return nullptr;
  }
  return device;
}

void simulateSdlOutputLoss(bool lost) {
  gSimulatedLoss.store(lost);
}

int sdlReopenAttempts() {
  return gReopenAttempts.load();
}

} // namespace lyt
