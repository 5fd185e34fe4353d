// The desktop's sound server through libpulse's threaded main loop: PulseAudio, or PipeWire's pulse
// layer, which serves the same protocol.
//
// Everything that talks to the server runs on the main loop's thread. The callers only set what
// they want (playing or not, a title) and wake the loop through an eventfd, so no call waits for
// the server, whether it is slow, stalled or gone.
//
// The stream's buffer starts shallow and grows each time the server reports an underflow, up to a
// depth that rides out a busy machine. Depth does not delay a jump: the first buffer of a new
// place flushes whatever the server still holds, and is written as soon as the feed has it. A stop
// flushes and corks; a stream corked for a minute is closed, and opened again when wanted. A lost
// server is tried again every 250 ms; the feed is told when the stream is back, so that it goes on
// from the frame that was heard.
#include "output/IdleWatch.h"
#include "output/OutputDevice.h"
#include "output/RealtimeKit.h"

#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <vector>

namespace lyt {
namespace {

constexpr double kFirstBufferSeconds = 0.04;
constexpr double kDeepestBufferSeconds = 0.15;
constexpr double kRequestSeconds = 0.01;
constexpr pa_usec_t kRetryMicroseconds = 250 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kCloseCorkedMicroseconds = 60 * PA_USEC_PER_SEC;
constexpr auto kFirstAnswerWait = std::chrono::milliseconds(1500);
// Passed as `unheard` when the server has not yet said how deep its queue is: nothing is heard yet.
constexpr int64_t kAllUnheard = std::numeric_limits<int64_t>::max() / 4;
constexpr size_t kFrameBytes = 2 * sizeof(float);

// The application's properties as the desktop's mixer shows them.
pa_proplist *applicationProperties() {
  pa_proplist *properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Lystrel2");
  pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "lystrel2");
  pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "lystrel2");
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
  return properties;
}

void done(pa_operation *operation) {
  if (operation)
    pa_operation_unref(operation);
}

class PulseOutputDevice final : public OutputDevice {
public:
  PulseOutputDevice(int rate, AudioFeed &feed)
      : rate_(rate), feed_(feed), idle_(static_cast<int>(rate * kIdleSeconds)),
        buffer_(static_cast<size_t>(rate * kDeepestBufferSeconds * 2) * 2), loop_(pa_threaded_mainloop_new()),
        wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    bufferFrames_.store(static_cast<int>(rate * kFirstBufferSeconds));
  }

  ~PulseOutputDevice() override {
    if (!loop_)
      return;
    pa_threaded_mainloop_lock(loop_);
    closing_ = true;
    closeStream();
    dropContext();
    if (retry_)
      api()->time_free(retry_);
    if (wakeEvent_)
      api()->io_free(wakeEvent_);
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    if (wakeFd_ >= 0)
      close(wakeFd_);
  }

  // Starts the loop. Unless told to wait for a server, gives up when none answers at once.
  bool start(bool waitForServer) {
    if (!loop_ || wakeFd_ < 0)
      return false;
    waitForServer_ = waitForServer;
    pa_threaded_mainloop_lock(loop_);
    wakeEvent_ = api()->io_new(api(), wakeFd_, PA_IO_EVENT_INPUT, onWake, this);
    connect();
    pa_threaded_mainloop_unlock(loop_);
    if (pa_threaded_mainloop_start(loop_) < 0)
      return false;
    if (waitForServer)
      return true;
    std::unique_lock<std::mutex> lock(answerMutex_);
    answered_.wait_for(lock, kFirstAnswerWait, [this] { return answer_ != Answer::None; });
    return answer_ == Answer::Ready;
  }

  int periodFrames() const override { return bufferFrames_.load(std::memory_order_relaxed); }

  void barrier() override { std::lock_guard<std::mutex> wait(rendering_); }

  void resume() override {
    idle_.wake();
    if (!playWanted_.exchange(true) || awaitingAudio_.load() || feed_.restartPending())
      wake();
  }

  void pause() override {
    if (playWanted_.exchange(false))
      wake();
  }

  bool asleep() const override { return !streamReady_.load() || corked_.load(); }

  void setTitle(const std::string &title) override {
    {
      std::lock_guard<std::mutex> lock(titleMutex_);
      title_ = title;
      titleChanged_ = true;
    }
    wake();
  }

  // Why the server did not answer.
  std::string failure() {
    std::lock_guard<std::mutex> lock(answerMutex_);
    return answer_ == Answer::None ? "no answer" : failure_;
  }

private:
  enum class Answer { None, Ready, Failed };

  pa_mainloop_api *api() const { return pa_threaded_mainloop_get_api(loop_); }

  void wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
  }

  void answer(Answer answer, const char *why = "") {
    {
      std::lock_guard<std::mutex> lock(answerMutex_);
      if (answer_ != Answer::None)
        return;
      answer_ = answer;
      failure_ = why;
    }
    answered_.notify_all();
  }

  // --- the loop's thread from here on

  void connect() {
    pa_proplist *properties = applicationProperties();
    context_ = pa_context_new_with_proplist(api(), "Lystrel2", properties);
    pa_proplist_free(properties);
    if (!context_) {
      retryLater();
      return;
    }
    pa_context_set_state_callback(context_, onContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      lost();
  }

  void dropContext() {
    if (!context_)
      return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }

  // The server is gone or never answered: try again in a while, unless no one waits for it.
  void lost() {
    const char *why = pa_strerror(context_ ? pa_context_errno(context_) : PA_ERR_INTERNAL);
    streamReady_.store(false);
    closeStream();
    dropContext();
    answer(Answer::Failed, why);
    if (waitForServer_ || everReady_)
      retryLater();
  }

  void retryLater() {
    if (closing_)
      return;
    timeval at;
    pa_timeval_add(pa_gettimeofday(&at), kRetryMicroseconds);
    if (retry_)
      api()->time_restart(retry_, &at);
    else
      retry_ = api()->time_new(api(), &at, onRetry, this);
  }

  static void onRetry(pa_mainloop_api *, pa_time_event *, const timeval *, void *self) {
    auto &device = *static_cast<PulseOutputDevice *>(self);
    if (!device.context_ && !device.closing_)
      device.connect();
  }

  static void onContextState(pa_context *context, void *self) {
    auto &device = *static_cast<PulseOutputDevice *>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
      device.contextReady();
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      device.lost();
      break;
    default:
      break;
    }
  }

  void contextReady() {
    if (!realtimeAsked_) {
      realtimeAsked_ = true;
      askRealtimeForThisThread();
    }
    openStream();
  }

  pa_buffer_attr bufferAttributes() const {
    const auto frameBytes = static_cast<uint32_t>(kFrameBytes);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(bufferFrames_.load()) * frameBytes;
    // Half the buffer before the server starts: a start or a jump after which the feed is slow to
    // come does not run dry at once.
    attributes.prebuf = attributes.tlength / 2;
    attributes.minreq = static_cast<uint32_t>(rate_ * kRequestSeconds) * frameBytes;
    attributes.fragsize = static_cast<uint32_t>(-1);
    return attributes;
  }

  void openStream() {
    if (!context_ || stream_ || closing_)
      return;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(rate_), 2};
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    pa_proplist *properties = applicationProperties();
    stream_ = pa_stream_new_with_proplist(context_, titleForStream().c_str(), &format, &map, properties);
    pa_proplist_free(properties);
    if (!stream_) {
      lost();
      return;
    }
    pa_stream_set_state_callback(stream_, onStreamState, this);
    pa_stream_set_write_callback(stream_, onWritable, this);
    pa_stream_set_underflow_callback(stream_, onUnderflow, this);
    const pa_buffer_attr attributes = bufferAttributes();
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                      PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_START_CORKED);
    corked_.store(true);
    if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0)
      lost();
  }

  void closeStream() {
    if (corkedClose_) {
      api()->time_free(corkedClose_);
      corkedClose_ = nullptr;
    }
    if (!stream_)
      return;
    streamReady_.store(false);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }

  static void onStreamState(pa_stream *stream, void *self) {
    auto &device = *static_cast<PulseOutputDevice *>(self);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
      device.streamReady();
      break;
    case PA_STREAM_FAILED:
      device.lost();
      break;
    default:
      break;
    }
  }

  void streamReady() {
    const bool again = everReady_;
    everReady_ = true;
    streamReady_.store(true);
    answer(Answer::Ready);
    if (again)
      feed_.outputRestarted(); // what the old stream held was never heard
    attend();
  }

  static void onWake(pa_mainloop_api *, pa_io_event *, int fd, pa_io_event_flags_t, void *self) {
    uint64_t count;
    [[maybe_unused]] const ssize_t got = ::read(fd, &count, sizeof count);
    static_cast<PulseOutputDevice *>(self)->attend();
  }

  // Brings the stream where the callers want it.
  void attend() {
    applyTitle();
    if (!playWanted_.load()) {
      if (stream_ && !corked_.load())
        cork(true);
      return;
    }
    if (!stream_) {
      openStream(); // it was closed after a long silence; attended again once ready
      return;
    }
    if (!streamReady_.load())
      return;
    if (corked_.load())
      cork(false);
    fill(pa_stream_writable_size(stream_), awaitingAudio_.load() || feed_.restartPending());
  }

  void cork(bool on) {
    if (!streamReady_.load())
      return; // it starts corked, and is attended once ready
    if (on) {
      done(pa_stream_flush(stream_, nullptr, nullptr));
      awaitingAudio_.store(false);
      scheduleCorkedClose();
    } else if (corkedClose_) {
      api()->time_free(corkedClose_);
      corkedClose_ = nullptr;
    }
    done(pa_stream_cork(stream_, on, nullptr, nullptr));
    corked_.store(on);
  }

  void scheduleCorkedClose() {
    if (!corkedClose_ && context_)
      corkedClose_ = pa_context_rttime_new(context_, pa_rtclock_now() + kCloseCorkedMicroseconds, onCorkedLong, this);
  }

  static void onCorkedLong(pa_mainloop_api *, pa_time_event *, const timeval *, void *self) {
    auto &device = *static_cast<PulseOutputDevice *>(self);
    if (device.corked_.load() && !device.playWanted_.load())
      device.closeStream();
  }

  void applyTitle() {
    std::lock_guard<std::mutex> lock(titleMutex_);
    if (!titleChanged_ || !stream_ || !streamReady_.load())
      return;
    titleChanged_ = false;
    done(pa_stream_set_name(stream_, shownTitle().c_str(), nullptr, nullptr));
  }

  std::string titleForStream() {
    std::lock_guard<std::mutex> lock(titleMutex_);
    titleChanged_ = false;
    return shownTitle();
  }

  // Under titleMutex_. The server takes UTF-8 only; a file name may hold any bytes.
  std::string shownTitle() const {
    if (title_.empty())
      return "Lystrel2";
    char *valid = pa_utf8_filter(title_.c_str());
    std::string shown = valid ? valid : "Lystrel2";
    pa_xfree(valid);
    return shown;
  }

  static void onWritable(pa_stream *, size_t bytes, void *self) {
    static_cast<PulseOutputDevice *>(self)->fill(bytes, false);
  }

  static void onUnderflow(pa_stream *, void *self) { static_cast<PulseOutputDevice *>(self)->deepen(); }

  // The server ran dry while playing: the loop's thread was late, so the buffer grows.
  void deepen() {
    if (awaitingAudio_.load() || !playWanted_.load())
      return;
    const int deepest = static_cast<int>(rate_ * kDeepestBufferSeconds);
    const int frames = std::min(deepest, bufferFrames_.load() * 3 / 2);
    if (frames == bufferFrames_.load())
      return;
    bufferFrames_.store(frames);
    const pa_buffer_attr attributes = bufferAttributes();
    done(pa_stream_set_buffer_attr(stream_, &attributes, nullptr, nullptr));
  }

  // Frames still to be heard of what was written, before the next write.
  int64_t queuedFrames() {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &latency, &negative) < 0)
      return kAllUnheard;
    return negative ? 0 : static_cast<int64_t>(latency * static_cast<uint64_t>(rate_) / PA_USEC_PER_SEC);
  }

  // Writes what the server asked for. Nudged by a jump, it writes the new place at once even
  // when the server has not asked. After a jump only real audio is written, never silence ahead
  // of it, until the feed keeps up again or its source has ended.
  void fill(size_t bytes, bool nudged) {
    if (!stream_ || !streamReady_.load() || corked_.load())
      return;
    size_t frames = bytes / kFrameBytes;
    if (nudged && frames == 0)
      frames = static_cast<size_t>(bufferFrames_.load());
    const size_t most = buffer_.size() / 2;
    while (frames > 0) {
      const int n = static_cast<int>(std::min(frames, most));
      const bool onlyAudio = awaitingAudio_.load() || feed_.restartPending();
      const int written = writeBlock(n, onlyAudio);
      if (awaitingAudio_.load())
        break; // goes on when the feed has more, see resume()
      frames -= static_cast<size_t>(written);
    }
  }

  // Renders and writes up to `frames`, all of them or only the real audio; returns what it wrote.
  int writeBlock(int frames, bool onlyAudio) {
    const int64_t queued = onlyAudio ? kAllUnheard : queuedFrames();
    AudioFeed::Rendered rendered;
    {
      std::lock_guard<std::mutex> lock(rendering_);
      rendered = feed_.render(buffer_.data(), frames, queued == kAllUnheard ? kAllUnheard : queued + frames,
                              !onlyAudio);
    }
    if (rendered.restarted)
      done(pa_stream_flush(stream_, nullptr, nullptr));
    const int written = onlyAudio ? rendered.leading : frames;
    awaitingAudio_.store(onlyAudio && written < frames && !rendered.ended);
    if (written > 0)
      pa_stream_write(stream_, buffer_.data(), static_cast<size_t>(written) * kFrameBytes, nullptr, 0,
                      PA_SEEK_RELATIVE);
    if (written > 0 && idle_.afterPeriod(rendered.sounded(), written))
      goToSleep();
    return written;
  }

  // Only silence for a while: nothing to mix for the server.
  void goToSleep() {
    if (playWanted_.exchange(false))
      cork(true);
  }

  const int rate_;
  AudioFeed &feed_;
  IdleWatch idle_;
  std::vector<float> buffer_;
  pa_threaded_mainloop *const loop_;
  const int wakeFd_;
  bool waitForServer_ = false;

  // the loop's own
  pa_io_event *wakeEvent_ = nullptr;
  pa_time_event *retry_ = nullptr;
  pa_time_event *corkedClose_ = nullptr;
  pa_context *context_ = nullptr;
  pa_stream *stream_ = nullptr;
  bool everReady_ = false;
  bool realtimeAsked_ = false;
  bool closing_ = false;

  // shared
  std::mutex rendering_;
  std::atomic<bool> playWanted_{false};
  std::atomic<bool> corked_{true};
  std::atomic<bool> streamReady_{false};
  std::atomic<bool> awaitingAudio_{false};
  std::atomic<int> bufferFrames_{0};
  std::mutex titleMutex_;
  std::string title_;
  bool titleChanged_ = false;
  std::mutex answerMutex_;
  std::condition_variable answered_;
  Answer answer_ = Answer::None;
  std::string failure_;
};

} // namespace

std::unique_ptr<OutputDevice> openPulseDevice(int rate, AudioFeed &feed, bool waitForServer, std::string *why) {
  auto device = std::make_unique<PulseOutputDevice>(rate, feed);
  if (!device->start(waitForServer)) {
    if (why)
      *why = device->failure();
    return nullptr;
  }
  return device;
}

} // namespace lyt
