// Pauses of speech: steps near the noise floor, long enough, with short clicks bridged.
#include "analysis/PauseFinder.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace lyt {
namespace {

constexpr double kFloorPercentile = 0.05;
constexpr double kSpeechPercentile = 0.90;
// Below this spread between floor and speech there is nothing to tell apart.
constexpr float kLeastSpreadDb = 6.0f;
// The threshold lies this share of the spread above the floor, within the two bounds.
constexpr float kThresholdShare = 0.35f;
constexpr float kLeastMarginDb = 4.0f;
constexpr float kMostMarginDb = 12.0f;
constexpr size_t kLongestBridgedClickSteps = 3;
constexpr float kSilenceDb = -100.0f;

std::vector<float> levelsDb(const std::vector<EnvelopeStep> &steps) {
  std::vector<float> levels(steps.size());
  std::transform(steps.begin(), steps.end(), levels.begin(), [](const EnvelopeStep &step) {
    return step.rms > 0 ? std::max(kSilenceDb, 20.0f * std::log10(step.rms)) : kSilenceDb;
  });
  return levels;
}

// Of the steps that hold any sound: digital silence (a gated recorder, padding at the end) is
// quiet whatever the floor, and would otherwise pull the floor down to itself.
float percentile(const std::vector<float> &levels, double share) {
  std::vector<float> sounding;
  std::copy_if(levels.begin(), levels.end(), std::back_inserter(sounding),
               [](float level) { return level > kSilenceDb; });
  if (sounding.empty())
    return kSilenceDb;
  const auto at = sounding.begin() + static_cast<long>(share * double(sounding.size() - 1));
  std::nth_element(sounding.begin(), at, sounding.end());
  return *at;
}

// Runs of quiet steps as [first, last) pairs, with runs parted only by a short click joined.
std::vector<std::pair<size_t, size_t>> quietRuns(const std::vector<float> &levels, float threshold) {
  std::vector<std::pair<size_t, size_t>> runs;
  for (size_t i = 0; i < levels.size();) {
    if (levels[i] >= threshold) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < levels.size() && levels[end] < threshold)
      ++end;
    if (!runs.empty() && i - runs.back().second <= kLongestBridgedClickSteps)
      runs.back().second = end;
    else
      runs.emplace_back(i, end);
    i = end;
  }
  return runs;
}

} // namespace

std::vector<Pause> findPauses(const std::vector<EnvelopeStep> &steps) {
  if (steps.empty())
    return {};
  const std::vector<float> levels = levelsDb(steps);
  const float floor = percentile(levels, kFloorPercentile);
  const float spread = percentile(levels, kSpeechPercentile) - floor;
  if (spread < kLeastSpreadDb)
    return {};
  const float threshold = floor + std::clamp(kThresholdShare * spread, kLeastMarginDb, kMostMarginDb);
  const auto leastSteps = static_cast<size_t>(std::lround(RecordingAnalysis::kMinPauseSeconds /
                                                          RecordingAnalysis::kStepSeconds));
  std::vector<Pause> pauses;
  for (const auto &[first, end] : quietRuns(levels, threshold))
    if (end - first >= leastSteps)
      pauses.push_back({double(first) * RecordingAnalysis::kStepSeconds, double(end) * RecordingAnalysis::kStepSeconds});
  return pauses;
}

} // namespace lyt
