// Sample buffers that growing does not zero: the chain writes every sample right after it grows one.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace lyt {

// Leaves what a resize adds as it was (no zeros written first); otherwise std::allocator.
template <typename T> struct UnzeroedAllocator : std::allocator<T> {
  UnzeroedAllocator() = default;
  template <typename U> UnzeroedAllocator(const UnzeroedAllocator<U> &) noexcept {}
  template <typename U> void construct(U *at) noexcept { ::new (static_cast<void *>(at)) U; }
  template <typename U, typename... Args> void construct(U *at, Args &&...args) {
    ::new (static_cast<void *>(at)) U(std::forward<Args>(args)...);
  }
};

using SampleBuffer = std::vector<float, UnzeroedAllocator<float>>;

} // namespace lyt
