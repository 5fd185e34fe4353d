// What the latency benchmarks share: the time from an action to the first new frame at the device,
// and one line of figures.
#pragma once

#include "Bass.h"

#include <functional>
#include <vector>

namespace lyt::bench {

// Runs `act` on this thread and waits until a frame that `output` started after it has been handed
// to the device (a seek or tempo change starts a new generation; a play after a stop, the stop's).
// Milliseconds, or -1 when nothing new sounded within `giveUpSeconds`.
double msUntilHeard(DWORD output, const std::function<void()> &act, double giveUpSeconds = 2);

// "== what (ms), n of attempts, ...: median, 95th percentile, max"; false when nothing was heard.
bool printLatencies(const char *what, std::vector<double> ms, int attempts);

} // namespace lyt::bench
