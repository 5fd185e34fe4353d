// The default output device through SDL2 (PipeWire, PulseAudio, ALSA, JACK, or SDL's dummy).
#include "output/OutputDevice.h"

#include <SDL2/SDL.h>

namespace lyt {
namespace {

constexpr int kPeriodFrames = 512;

class SdlOutputDevice final : public OutputDevice {
public:
  SdlOutputDevice(SDL_AudioDeviceID device, int period) : device_(device), period_(period) {
    SDL_PauseAudioDevice(device_, 0);
  }
  ~SdlOutputDevice() override {
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  int periodFrames() const override { return period_; }
  void barrier() override {
    SDL_LockAudioDevice(device_);
    SDL_UnlockAudioDevice(device_);
  }

private:
  SDL_AudioDeviceID device_;
  int period_;
};

struct Target {
  RenderFunction render;
  void *context;
};

// One device per process: the engine opens at most one.
Target gTarget;

void SDLCALL pull(void *, Uint8 *stream, int bytes) {
  gTarget.render(gTarget.context, reinterpret_cast<float *>(stream),
                 bytes / static_cast<int>(2 * sizeof(float)));
}

} // namespace

std::unique_ptr<OutputDevice> openSdlDevice(int rate, RenderFunction render, void *context) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    return nullptr;
  gTarget = Target{render, context};
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = kPeriodFrames;
  want.callback = pull;
  SDL_AudioSpec have{};
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  return std::make_unique<SdlOutputDevice>(device, have.samples);
}

} // namespace lyt
