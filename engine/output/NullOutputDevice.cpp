// A device without sound that keeps real time: a thread pulls one 10 ms period per 10 ms.
#include "output/OutputDevice.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace lyt {
namespace {

class NullOutputDevice final : public OutputDevice {
public:
  NullOutputDevice(int rate, RenderFunction render, void *context)
      : period_(rate / 100), render_(render), context_(context), buffer_(2 * period_),
        thread_([this] { run(); }) {}

  ~NullOutputDevice() override {
    running_.store(false);
    thread_.join();
  }

  int periodFrames() const override { return period_; }
  void barrier() override { std::lock_guard<std::mutex> wait(rendering_); }

private:
  void run() {
    auto next = std::chrono::steady_clock::now();
    while (running_.load()) {
      {
        std::lock_guard<std::mutex> inside(rendering_);
        render_(context_, buffer_.data(), period_);
      }
      next += std::chrono::milliseconds(10);
      // After a stall the clock goes on from now: the missed periods are not rendered back to back.
      const auto now = std::chrono::steady_clock::now();
      if (now - next > std::chrono::milliseconds(20))
        next = now;
      std::this_thread::sleep_until(next);
    }
  }

  const int period_;
  RenderFunction render_;
  void *context_;
  std::vector<float> buffer_;
  std::mutex rendering_;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

} // namespace

std::unique_ptr<OutputDevice> openNullDevice(int rate, RenderFunction render, void *context) {
  return std::make_unique<NullOutputDevice>(rate, render, context);
}

} // namespace lyt
