// A recording whose every frame tells where it is from: one level a quarter second. What reaches a
// sound server's monitor can then be traced to its place in the recording.
#pragma once

#include "PulseServer.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace lyt::test {

constexpr double kStepSeconds = 0.25;

constexpr int kSteps = 90;

// A mono WAV of `seconds` in which step k holds the level (k mod 90 + 1) / 100.
std::string levelSteps(const std::string &name, double seconds);
// The step (mod 90) a sample comes from, or -1 for silence.
int stepOf(float sample);
// Waits until the monitor has played a frame, after frame `from`, whose step is `wanted`; its index.
std::optional<size_t> firstHeard(const MonitorRecording &monitor, const std::function<bool(int step)> &wanted,
                                 size_t from = 0, std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace lyt::test
