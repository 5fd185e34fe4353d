// Lock-free single-producer, single-consumer ring of rendered audio blocks.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace lyt {

struct AudioBlock {
  static constexpr int kFrames = 256;
  uint32_t generation = 0;   // blocks of an older generation are stale and never played
  int frames = 0;            // stereo frames in samples
  double sourceStart = 0;    // source frame that the first frame was rendered from
  double sourcePerFrame = 1; // source frames per output frame
  float samples[kFrames * 2];
};

// The producer calls beginWrite/commitWrite, the consumer front/pop; neither blocks or allocates.
template <size_t N> class BlockRing {
public:
  // The slot to fill next, or nullptr while the ring is full.
  AudioBlock *beginWrite() {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) == N)
      return nullptr;
    return &blocks_[head % N];
  }
  void commitWrite() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // The oldest filled block, or nullptr while the ring is empty.
  AudioBlock *front() {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire))
      return nullptr;
    return &blocks_[tail % N];
  }
  void pop() { tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // Blocks waiting; exact on the producer's side up to what the consumer is taking right now.
  size_t size() const {
    return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
  }
  static constexpr size_t capacity() { return N; }
  // Blocks ever written and ever taken: the producer's view of which blocks are still queued.
  size_t written() const { return head_.load(std::memory_order_relaxed); }
  size_t taken() const { return tail_.load(std::memory_order_acquire); }

private:
  std::array<AudioBlock, N> blocks_;
  std::atomic<size_t> head_{0};
  std::atomic<size_t> tail_{0};
};

} // namespace lyt
