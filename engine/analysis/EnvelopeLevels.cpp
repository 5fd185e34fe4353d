// The envelope's levels: merging ten entries into one, and reading columns from the coarsest
// level that is still fine enough.
#include "analysis/EnvelopeLevels.h"

#include <algorithm>
#include <cmath>

namespace lyt {
namespace {

void mergeInto(EnvelopeStep &into, const EnvelopeStep &entry) {
  into.low = std::min(into.low, entry.low);
  into.high = std::max(into.high, entry.high);
  into.rms = std::max(into.rms, entry.rms);
}

} // namespace

void EnvelopeLevels::append(const EnvelopeStep *steps, size_t count) {
  for (const EnvelopeStep *step = steps; step != steps + count; ++step)
    levels_[0].push(*step);
  for (size_t level = 1; level < kLevels; ++level)
    extend(level, false);
  for (PublishedSteps &level : levels_)
    level.publish();
}

void EnvelopeLevels::complete() {
  for (size_t level = 1; level < kLevels; ++level)
    extend(level, true);
  for (PublishedSteps &level : levels_)
    level.publish();
}

void EnvelopeLevels::extend(size_t level, bool closing) {
  const PublishedSteps &below = levels_[level - 1];
  PublishedSteps &here = levels_[level];
  for (size_t from = here.written() * kMerged;
       from < below.written() && (closing || below.written() - from >= kMerged); from += kMerged) {
    EnvelopeStep entry;
    for (size_t i = from; i < std::min(from + kMerged, below.written()); ++i)
      mergeInto(entry, below.writtenAt(i));
    here.push(entry);
  }
}

std::vector<EnvelopeStep> EnvelopeLevels::columns(double first, double perColumn, int columns) const {
  std::vector<EnvelopeStep> result(static_cast<size_t>(std::max(columns, 0)));
  size_t level = 0;
  double scale = 1;
  while (level + 1 < kLevels && perColumn >= scale * kMerged) {
    ++level;
    scale *= kMerged;
  }
  const PublishedSteps &entries = levels_[level];
  const size_t available = entries.size();
  for (size_t column = 0; column < result.size(); ++column) {
    const double start = std::max(0.0, std::floor((first + double(column) * perColumn) / scale));
    const double end = std::max(start + 1, std::floor((first + double(column + 1) * perColumn) / scale));
    if (start >= double(available))
      break;
    for (auto i = static_cast<size_t>(start); i < std::min(available, static_cast<size_t>(end)); ++i)
      mergeInto(result[column], entries[i]);
  }
  return result;
}

} // namespace lyt
