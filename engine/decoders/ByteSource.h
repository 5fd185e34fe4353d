// Random access to bytes, from a file or from memory: what the frame and page walks read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lyt {

// Single-threaded.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  virtual int64_t size() const = 0;
  // Copies n bytes at offset into out; false when they are not all there.
  virtual bool read(int64_t offset, uint8_t *out, int n) = 0;
};

class MemoryBytes final : public ByteSource {
public:
  MemoryBytes(const uint8_t *data, size_t size) : data_(data), size_(static_cast<int64_t>(size)) {}
  int64_t size() const override { return size_; }
  bool read(int64_t offset, uint8_t *out, int n) override {
    if (offset < 0 || n < 0 || offset > size_ || n > size_ - offset)
      return false;
    std::memcpy(out, data_ + offset, static_cast<size_t>(n));
    return true;
  }

private:
  const uint8_t *data_;
  int64_t size_;
};

// Bytes held in memory by the source itself.
class OwnedBytes final : public ByteSource {
public:
  explicit OwnedBytes(std::vector<uint8_t> data)
      : data_(std::move(data)), view_(data_.data(), data_.size()) {}
  int64_t size() const override { return view_.size(); }
  bool read(int64_t offset, uint8_t *out, int n) override { return view_.read(offset, out, n); }

private:
  std::vector<uint8_t> data_;
  MemoryBytes view_;
};

} // namespace lyt
