// A device without sound that keeps real time: a thread pulls one 10 ms period per 10 ms, and
// sleeps without waking while there is nothing to hear.
#include "output/IdleWatch.h"
#include "output/OutputDevice.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace lyt {
namespace {

class NullOutputDevice final : public OutputDevice {
public:
  NullOutputDevice(int rate, AudioFeed &feed)
      : period_(rate / 100), feed_(feed), buffer_(2 * period_),
        idle_(static_cast<int>(rate * kIdleSeconds)), thread_([this] { run(); }) {}

  ~NullOutputDevice() override {
    {
      std::lock_guard<std::mutex> lock(rendering_);
      running_ = false;
    }
    woken_.notify_all();
    thread_.join();
  }

  int periodFrames() const override { return period_; }
  void barrier() override { std::lock_guard<std::mutex> wait(rendering_); }
  void resume() override {
    {
      std::lock_guard<std::mutex> lock(rendering_);
      idle_.wake();
    }
    woken_.notify_all();
  }
  bool asleep() const override { return idle_.idle(); }

private:
  void run() {
    auto next = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(rendering_);
    while (running_) {
      if (idle_.idle()) {
        woken_.wait(lock, [this] { return !running_ || !idle_.idle(); });
        next = std::chrono::steady_clock::now();
        continue;
      }
      idle_.afterPeriod(feed_.render(buffer_.data(), period_, 0, true).sounded(), period_);
      next += std::chrono::milliseconds(10);
      // After a stall the clock goes on from now: the missed periods are not rendered back to back.
      const auto now = std::chrono::steady_clock::now();
      if (now - next > std::chrono::milliseconds(20))
        next = now;
      lock.unlock();
      std::this_thread::sleep_until(next);
      lock.lock();
    }
  }

  const int period_;
  AudioFeed &feed_;
  std::vector<float> buffer_;
  IdleWatch idle_;
  std::mutex rendering_;
  std::condition_variable woken_;
  bool running_ = true;
  std::thread thread_;
};

} // namespace

std::unique_ptr<OutputDevice> openNullDevice(int rate, AudioFeed &feed) {
  return std::make_unique<NullOutputDevice>(rate, feed);
}

} // namespace lyt
