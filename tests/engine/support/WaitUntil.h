// Waiting on a condition, never on the clock alone: the machines that run the tests are shared.
#pragma once

#include <chrono>
#include <functional>
#include <sys/types.h>

namespace lyt::test {

// True as soon as `done` holds, false when it still does not after `limit`. It is asked often at
// first and then every 20 ms, so a costly question (a picture of a window) leaves the machine to
// the program under test.
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit = std::chrono::seconds(20));
// Waits up to `limit` for the child `pid` to end; its wait status in `status`.
bool waitForExit(pid_t pid, int &status, std::chrono::milliseconds limit = std::chrono::seconds(20));

} // namespace lyt::test
