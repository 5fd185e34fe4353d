// The exact frame index of a long MPEG stream, counted on a thread of its own while the stream
// already plays from its first frames.
#pragma once

#include "decoders/ByteSource.h"
#include "decoders/MpegFrameIndex.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace lyt {

// The length is an estimate until the frames have been counted to the end, by the count's own
// thread or by the decoder's walk (settle), whichever gets there first; it then changes once, to
// the exact length, and stays. Thread-safe.
class MpegIndexBuild {
public:
  // Starts counting the frames of `start`'s stream in `bytes`, which only the count reads, on a
  // thread that shares the object and ends by itself.
  static std::shared_ptr<MpegIndexBuild> start(std::unique_ptr<ByteSource> bytes, const MpegStreamStart &start,
                                               int64_t estimatedSamples);
  MpegIndexBuild(std::unique_ptr<ByteSource> bytes, const MpegStreamStart &start, int64_t estimatedSamples);
  MpegIndexBuild(const MpegIndexBuild &) = delete;
  MpegIndexBuild &operator=(const MpegIndexBuild &) = delete;
  // The count ends after its current read, without being waited for: a free never waits for the
  // disk.
  void stop() { stopping_.store(true, std::memory_order_release); }

  int64_t lengthSamples() const { return lengthSamples_.load(std::memory_order_acquire); }
  bool exact() const { return exact_.load(std::memory_order_acquire); }
  void awaitExact();
  // The counted frame offsets, once, after the count has finished; empty before, or when the
  // decoder settled the length first.
  std::vector<int64_t> takeOffsets();
  // The decoder walked to the stream's end itself and counted `frames` frames.
  void settle(int64_t frames);

private:
  void count();
  // Makes the length exact for `frames` frames, unless it already is.
  void finish(int64_t frames, std::vector<int64_t> offsets);

  std::unique_ptr<ByteSource> bytes_;
  const MpegStreamStart start_;
  std::atomic<int64_t> lengthSamples_;
  std::atomic<bool> exact_{false};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable exactCondition_;
  std::vector<int64_t> offsets_; // under mutex_
};

} // namespace lyt
