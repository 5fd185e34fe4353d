#include "LevelSteps.h"

#include "Fixtures.h"
#include "WaitUntil.h"

#include <cmath>
#include <vector>

namespace lyt::test {
namespace {

constexpr float kLevelStep = 0.01f;

} // namespace

std::string levelSteps(const std::string &name, double seconds) {
  constexpr int rate = PulseServer::kRate;
  std::vector<float> samples(static_cast<size_t>(seconds * rate));
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = kLevelStep * static_cast<float>(1 + static_cast<int>(static_cast<double>(i) / (kStepSeconds * rate)) % kSteps);
  return writeWav(name, samples, rate, 1);
}

int stepOf(float sample) {
  return static_cast<int>(std::lround(sample / kLevelStep)) - 1;
}

std::optional<size_t> firstHeard(const MonitorRecording &monitor, const std::function<bool(int step)> &wanted,
                                 size_t from, std::chrono::milliseconds limit) {
  size_t at = from;
  const bool heard = waitUntil(
      [&] {
        const std::vector<float> left = monitor.left();
        for (; at < left.size(); ++at)
          if (wanted(stepOf(left[at])))
            return true;
        return false;
      },
      limit);
  return heard ? std::optional<size_t>(at) : std::nullopt;
}

} // namespace lyt::test
