// A regular file opened without blocking, and its bytes read in large chunks.
#pragma once

#include "decoders/ByteSource.h"

#include <cstdint>
#include <vector>

namespace lyt {

// An open file descriptor, closed on destruction.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor &operator=(FileDescriptor &&) = delete;
  FileDescriptor(const FileDescriptor &) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

// Opens `path` for reading. Throws EngineError(BASS_ERROR_FILEOPEN) when it cannot be opened or
// is not a regular file (a named pipe, a device or a folder); never waits for a writer.
FileDescriptor openRegularFile(const char *path);

// Random access to a regular file through a window (1 MiB unless told): sequential reads make one
// system call per window. Single-threaded.
class FileBytes final : public ByteSource {
public:
  explicit FileBytes(const char *path, int windowBytes = 1 << 20);
  int64_t size() const override { return size_; }
  bool read(int64_t offset, uint8_t *out, int n) override;

private:
  FileDescriptor file_;
  int64_t size_ = 0;
  std::vector<uint8_t> window_;
  int64_t windowStart_ = 0;
  int64_t windowFilled_ = 0;
};

} // namespace lyt
