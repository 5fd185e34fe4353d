// The time from an action to the first new frame at the device, as the latency benchmarks take it.
#include "Audible.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace lyt::bench {

namespace {

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

double msUntilHeard(DWORD output, const std::function<void()> &act, double giveUpSeconds) {
  const int64_t start = nowNs();
  const int64_t giveUp = start + static_cast<int64_t>(giveUpSeconds * 1e9);
  act();
  for (;;) {
    DWORD generation = 0;
    const auto heard = static_cast<int64_t>(LYT_OutputStartNanoseconds(output, &generation));
    if (heard >= start && generation == LYT_OutputGeneration(output))
      return (heard - start) / 1e6;
    if (nowNs() > giveUp)
      return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

bool printLatencies(const char *what, std::vector<double> ms, int attempts) {
  ms.erase(std::remove(ms.begin(), ms.end(), -1.0), ms.end());
  if (ms.empty()) {
    std::printf("== %s: nothing was heard in %d attempts\n", what, attempts);
    return false;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("== %s (ms), %zu of %d: median %.1f, 95th percentile %.1f, max %.1f\n", what, ms.size(), attempts,
              ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
  return true;
}

} // namespace lyt::bench
