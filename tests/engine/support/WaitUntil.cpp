#include "WaitUntil.h"

#include <algorithm>
#include <sys/wait.h>
#include <thread>

namespace lyt::test {

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  std::chrono::milliseconds pause(1);
  while (std::chrono::steady_clock::now() < until) {
    // What it saw may be gone by a second look, so a yes ends the wait at once.
    if (done())
      return true;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return done();
}

bool waitForExit(pid_t pid, int &status, std::chrono::milliseconds limit) {
  return waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
}

} // namespace lyt::test
