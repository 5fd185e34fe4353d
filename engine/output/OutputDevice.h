// A sound device that pulls stereo float audio at a fixed rate.
//
// Contract: the render function runs on the device's own thread, at the device's pace, one period
// at a time. It must not block, allocate or touch a file, and it must always fill the whole
// buffer. The device starts pulling when it is opened and stops when it is destroyed.
#pragma once

#include <memory>

namespace lyt {

using RenderFunction = void (*)(void *context, float *stereo, int frames);

class OutputDevice {
public:
  virtual ~OutputDevice() = default;
  virtual int periodFrames() const = 0;
  // Returns once no render call is running; later calls see everything done before it.
  virtual void barrier() = 0;
};

// The desktop's default output through SDL2; nullptr when it cannot be opened.
std::unique_ptr<OutputDevice> openSdlDevice(int rate, RenderFunction render, void *context);
// No sound, but pulled in real time by a thread of its own, 10 ms at a time.
std::unique_ptr<OutputDevice> openNullDevice(int rate, RenderFunction render, void *context);

} // namespace lyt
