// A sound device that pulls stereo float audio at a fixed rate.
//
// Contract: the feed renders on the device's own thread, at the device's pace. It must not block,
// allocate or touch a file, and it always fills the whole buffer. A device that has pulled only
// silence for kIdleSeconds goes to sleep, and pause() sends it to sleep at once: it stops pulling
// and lets the sound server stop mixing for it. resume() wakes it; call it whenever there is audio
// to hear. A device whose output disappears (the sound server restarts, the headset is unplugged)
// stops pulling, so nothing is lost, and brings the default output back as soon as it can; what it
// had handed over and was not yet heard is lost with it, and the feed is told so.
// No call of a device waits for the sound server: whatever talks to the server runs on the
// device's own threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace lyt {

// What a device pulls from; every member runs on the device's thread.
class AudioFeed {
public:
  struct Rendered {
    int leading = 0;        // frames of real audio at the buffer's start; silence follows them
    bool restarted = false; // what was handed over before this buffer is stale: drop it unheard
    bool ended = false;     // the source's last frame has been handed over: no more audio will come
    bool sounded() const { return leading > 0; }
  };
  // Fills `frames` stereo frames. `unheard` is how many frames of everything handed over so far,
  // this buffer included, will not have been heard when this buffer has been handed over: the
  // depth of the device's queue, 0 for a device that plays a buffer as it is handed over. Padded,
  // the whole buffer counts as handed over; otherwise only its leading real audio does, and the
  // device hands over only that.
  virtual Rendered render(float *stereo, int frames, int64_t unheard, bool padded) = 0;
  // A jump waits to be heard: a device with a deep queue drops the queue and pulls at once. Any
  // thread.
  virtual bool restartPending() { return false; }
  // The output was lost and is back; nothing that was queued before was heard.
  virtual void outputRestarted() {}

protected:
  ~AudioFeed() = default;
};

constexpr double kIdleSeconds = 2.0;

class OutputDevice {
public:
  virtual ~OutputDevice() = default;
  // The most frames the device pulls at once.
  virtual int periodFrames() const = 0;
  // Returns once no render call is running; later calls see everything done before it.
  virtual void barrier() = 0;
  // Makes a sleeping device pull again (cheap when it is awake), and has a pending jump heard at
  // once; any thread.
  virtual void resume() = 0;
  // Nothing is to be heard for now: stop pulling. What was queued is dropped.
  virtual void pause() {}
  // Sleeping after silence, or lost and waiting for its output to come back.
  virtual bool asleep() const = 0;
  // The name the desktop shows for what is playing.
  virtual void setTitle(const std::string &) {}
};

// The desktop's sound server (PulseAudio, or PipeWire's pulse layer), or nullptr when none answers
// within a moment, with the reason in `why`. Opened with waitForServer, it never fails: it waits in
// the background for a server to appear.
std::unique_ptr<OutputDevice> openPulseDevice(int rate, AudioFeed &feed, bool waitForServer, std::string *why);
// The desktop's default output through SDL2; nullptr when it cannot be opened, with the reason in
// `why`.
std::unique_ptr<OutputDevice> openSdlDevice(int rate, AudioFeed &feed, std::string *why = nullptr);
// No sound, but pulled in real time by a thread of its own, 10 ms at a time.
std::unique_ptr<OutputDevice> openNullDevice(int rate, AudioFeed &feed);

// The default output: the sound server when one answers, else SDL2 (unless SDL_AUDIODRIVER names
// a driver, which is then used alone), else a sound-server output that waits in the background
// for a server to appear. `problem` says why there is no sound for now, or stays empty.
std::unique_ptr<OutputDevice> openDefaultOutput(int rate, AudioFeed &feed, std::string &problem);

// A fault to test with: the desktop's output disappears (true) and comes back (false).
void simulateSdlOutputLoss(bool lost);
// How often the SDL device has tried to reopen a lost output; for tests.
int sdlReopenAttempts();

} // namespace lyt
