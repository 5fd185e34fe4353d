// Counting the frames in the background, and the one change of the length that it makes.
#include "decoders/MpegIndexBuild.h"

#include "BackgroundThread.h"

#include <algorithm>
#include <utility>

namespace lyt {

std::shared_ptr<MpegIndexBuild> MpegIndexBuild::start(std::unique_ptr<ByteSource> bytes,
                                                      const MpegStreamStart &start, int64_t estimatedSamples) {
  auto build = std::make_shared<MpegIndexBuild>(std::move(bytes), start, estimatedSamples);
  BackgroundThread::detach([build] { build->count(); });
  return build;
}

MpegIndexBuild::MpegIndexBuild(std::unique_ptr<ByteSource> bytes, const MpegStreamStart &start,
                               int64_t estimatedSamples)
    : bytes_(std::move(bytes)), start_(start), lengthSamples_(estimatedSamples) {}

void MpegIndexBuild::count() {
  std::vector<int64_t> offsets;
  if (start_.info.frames > 0)
    offsets.reserve(static_cast<size_t>(std::min<int64_t>(start_.info.frames, 1 << 24)));
  MpegFrameWalker walker(*bytes_, start_);
  for (int64_t offset; walker.next(offset);) {
    if (stopping_.load(std::memory_order_acquire) || exact())
      return;
    offsets.push_back(offset);
  }
  const auto frames = static_cast<int64_t>(offsets.size());
  finish(frames, std::move(offsets));
}

void MpegIndexBuild::finish(int64_t frames, std::vector<int64_t> offsets) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (exact())
    return;
  offsets_ = std::move(offsets);
  lengthSamples_.store(mpegGaplessTrim(start_.info, frames, start_.first.samples).lengthSamples,
                       std::memory_order_release);
  exact_.store(true, std::memory_order_release);
  exactCondition_.notify_all();
}

void MpegIndexBuild::settle(int64_t frames) {
  finish(frames, {});
}

void MpegIndexBuild::awaitExact() {
  std::unique_lock<std::mutex> lock(mutex_);
  exactCondition_.wait(lock, [this] { return exact(); });
}

std::vector<int64_t> MpegIndexBuild::takeOffsets() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(offsets_, {});
}

} // namespace lyt
