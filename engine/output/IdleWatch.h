// Counts the silent frames a device has pulled in a row, to tell when it may go to sleep.
#pragma once

#include <atomic>

namespace lyt {

class IdleWatch {
public:
  explicit IdleWatch(int limitFrames) : limit_(limitFrames) {}

  // Device thread, after each period; true exactly once, when the silence reaches the limit.
  bool afterPeriod(bool sounded, int frames) {
    if (sounded) {
      silent_.store(0, std::memory_order_relaxed);
      return false;
    }
    int before = silent_.load(std::memory_order_relaxed);
    // A wake() in between wins: the silence starts again.
    if (before >= limit_ || !silent_.compare_exchange_strong(before, before + frames))
      return false;
    return before + frames >= limit_;
  }
  bool idle() const { return silent_.load() >= limit_; }
  void wake() { silent_.store(0); }

private:
  const int limit_;
  std::atomic<int> silent_{0};
};

} // namespace lyt
