// Opening regular files only, and reading them by the window.
#include "decoders/FileBytes.h"

#include "Bass.h"
#include "decoders/Decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace lyt {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0)
    ::close(fd_);
}

FileDescriptor openRegularFile(const char *path) {
  // Non-blocking, so that opening a named pipe does not wait for a writer.
  FileDescriptor file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
    throw EngineError(BASS_ERROR_FILEOPEN);
  return file;
}

void requireReadable(const char *path) {
  openRegularFile(path);
}

FileBytes::FileBytes(const char *path, int windowBytes) : file_(openRegularFile(path)), window_(windowBytes) {
  struct stat info {};
  if (::fstat(file_.get(), &info) != 0)
    throw EngineError(BASS_ERROR_FILEOPEN);
  size_ = info.st_size;
}

bool FileBytes::read(int64_t offset, uint8_t *out, int n) {
  if (offset < 0 || n < 0 || offset > size_ || n > size_ - offset)
    return false;
  if (n > static_cast<int>(window_.size()))
    return ::pread(file_.get(), out, static_cast<size_t>(n), offset) == n;
  if (offset < windowStart_ || offset + n > windowStart_ + windowFilled_) {
    windowStart_ = offset;
    const ssize_t got = ::pread(file_.get(), window_.data(), window_.size(), offset);
    windowFilled_ = got > 0 ? got : 0;
    if (windowFilled_ < n)
      return false;
  }
  std::memcpy(out, window_.data() + (offset - windowStart_), static_cast<size_t>(n));
  return true;
}

} // namespace lyt
