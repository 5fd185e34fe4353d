// A growing list of envelope entries that one thread appends to while others read, without a
// lock: entries live in chunks that never move, and the count is published after them.
#pragma once

#include "analysis/RecordingAnalysis.h"

#include <array>
#include <atomic>
#include <memory>

namespace lyt {

class PublishedSteps {
public:
  // 262,144 entries a chunk, 1,024 chunks: at 10 ms a step, over 700 hours. The table of chunks
  // is made, zeroed, on the window's thread when a recording is opened: it is kept small.
  static constexpr size_t kChunkSize = size_t(1) << 18;
  static constexpr size_t kMaxChunks = 1024;

  // Writer only. Entries beyond the last chunk are dropped.
  void push(const EnvelopeStep &step) {
    const size_t at = written_;
    if (at / kChunkSize >= kMaxChunks)
      return;
    std::unique_ptr<EnvelopeStep[]> &chunk = chunks_[at / kChunkSize];
    if (!chunk)
      chunk = std::make_unique_for_overwrite<EnvelopeStep[]>(kChunkSize); // written before published
    chunk[at % kChunkSize] = step;
    written_ = at + 1;
  }
  // Writer only: what was pushed becomes visible to readers.
  void publish() { count_.store(written_, std::memory_order_release); }
  // Writer only: everything pushed, published or not.
  size_t written() const { return written_; }
  const EnvelopeStep &writtenAt(size_t index) const { return chunks_[index / kChunkSize][index % kChunkSize]; }

  // Readers: the published count, and any entry below it.
  size_t size() const { return count_.load(std::memory_order_acquire); }
  const EnvelopeStep &operator[](size_t index) const { return chunks_[index / kChunkSize][index % kChunkSize]; }

private:
  std::array<std::unique_ptr<EnvelopeStep[]>, kMaxChunks> chunks_;
  size_t written_ = 0;
  std::atomic<size_t> count_{0};
};

} // namespace lyt
