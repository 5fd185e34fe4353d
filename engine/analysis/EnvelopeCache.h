// The envelope of a recording kept in a cache folder, one file per recording, found by the
// recording's path, size and modification time.
#pragma once

#include "analysis/RecordingAnalysis.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lyt {

// What identifies one version of a recording: its path as bytes, its size and its modification time.
struct RecordingIdentity {
  std::string path;
  uint64_t sizeBytes = 0;
  int64_t modifiedNanoseconds = 0;
  bool operator==(const RecordingIdentity &) const = default;
};

// Nothing when the file cannot be examined.
std::optional<RecordingIdentity> identify(const std::string &path);

struct CachedEnvelope {
  double lengthSeconds = 0;
  std::vector<EnvelopeStep> steps;
};

class EnvelopeCache {
public:
  explicit EnvelopeCache(std::string folder) : folder_(std::move(folder)) {}

  // The file that holds `recording`'s envelope (its name is a hash: any bytes in the path do).
  std::string fileFor(const RecordingIdentity &recording) const;
  // Nothing when there is no file, or it is damaged, foreign, or of another version of the recording.
  // A file found is marked as used now.
  std::optional<CachedEnvelope> load(const RecordingIdentity &recording) const;
  // Written beside its place and renamed over it, so a reader sees the old file or the whole new
  // one. Gives up quietly when the folder cannot be written or `cancelled` becomes true. Then the
  // files used longest ago go, beyond the newest kKeptFiles.
  void store(const RecordingIdentity &recording, const CachedEnvelope &envelope,
             const std::atomic<bool> &cancelled) const;

  static constexpr size_t kKeptFiles = 100;

private:
  void trim() const;
  std::string folder_;
};

} // namespace lyt
