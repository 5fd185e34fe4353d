// The envelope at its own step and at coarser ones, so that a column of any width is summed from
// a handful of entries.
#pragma once

#include "analysis/PublishedSteps.h"

#include <array>
#include <vector>

namespace lyt {

// Level 0 holds the steps; each further level merges ten entries of the one below. One thread
// appends; any thread reads what has been published, without a lock.
class EnvelopeLevels {
public:
  // Writer: appends the steps and publishes them with whatever coarser entries they complete.
  void append(const EnvelopeStep *steps, size_t count);
  // Writer: closes the coarser levels' last, shorter entries once no more steps come.
  void complete();

  // Readers.
  size_t stepCount() const { return levels_[0].size(); }
  // See RecordingAnalysis::columns; `first` and `perColumn` are in steps.
  std::vector<EnvelopeStep> columns(double first, double perColumn, int columns) const;

private:
  static constexpr size_t kLevels = 4;
  static constexpr size_t kMerged = 10;
  void extend(size_t level, bool closing);
  std::array<PublishedSteps, kLevels> levels_;
};

} // namespace lyt
