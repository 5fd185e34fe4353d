// A sound device that pulls stereo float audio at a fixed rate.
//
// Contract: the render function runs on the device's own thread, at the device's pace, one period
// at a time. It must not block, allocate or touch a file, it must always fill the whole buffer, and
// it returns whether any channel sounded in it. A device that has pulled only silence for
// kIdleSeconds goes to sleep: it stops pulling and, for a real device, releases the stream so that
// the sound server has nothing to mix. resume() wakes it; call it whenever there is audio to hear.
// A device whose output disappears (the sound server restarts, the headset is unplugged) stops
// pulling, so nothing is lost, and reopens the default output as soon as it can.
#pragma once

#include <memory>

namespace lyt {

using RenderFunction = bool (*)(void *context, float *stereo, int frames);

constexpr double kIdleSeconds = 2.0;

class OutputDevice {
public:
  virtual ~OutputDevice() = default;
  virtual int periodFrames() const = 0;
  // Returns once no render call is running; later calls see everything done before it.
  virtual void barrier() = 0;
  // Makes a sleeping device pull again at once (cheap when it is awake); any thread.
  virtual void resume() = 0;
  // Sleeping after silence, or lost and waiting for its output to come back.
  virtual bool asleep() const = 0;
};

// The desktop's default output through SDL2; nullptr when it cannot be opened.
std::unique_ptr<OutputDevice> openSdlDevice(int rate, RenderFunction render, void *context);
// No sound, but pulled in real time by a thread of its own, 10 ms at a time.
std::unique_ptr<OutputDevice> openNullDevice(int rate, RenderFunction render, void *context);

// A fault to test with: the desktop's output disappears (true) and comes back (false).
void simulateSdlOutputLoss(bool lost);
// How often the SDL device has tried to reopen a lost output; for tests.
int sdlReopenAttempts();

} // namespace lyt
