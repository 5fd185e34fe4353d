// The settings file's atomic replacement: write beside it, then rename.
#include "FileReplacement.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where a chain of symbolic links ends (a relative link counts from its own folder); `path` itself
// when it is no link.
std::string followLinks(std::string path) {
  constexpr int kMaxHops = 40; // as the kernel allows
  for (int hop = 0; hop < kMaxHops; ++hop) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || length == static_cast<ssize_t>(sizeof target))
      return path;
    std::string next(target, static_cast<size_t>(length));
    if (next.front() != '/') {
      const size_t slash = path.rfind('/');
      next = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
    }
    path = next;
  }
  return path;
}

// A file that exists and may not be written (read-only, or on a read-only disk) is the user's
// decision: it is not replaced behind their back.
bool mayReplace(const std::string &path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return errno == ENOENT;
  ::close(fd);
  return true;
}

bool writeAll(int fd, const std::string &text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

} // namespace

bool replaceFile(const std::string &path, const std::string &text) {
  const std::string target = followLinks(path);
  if (!mayReplace(target))
    return false;
  const std::string temporary = target + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0)
    ::fchmod(fd, old.st_mode & 07777);
  // On disk before it replaces the old file, so a crash leaves one whole file or the other.
  const bool complete = writeAll(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !complete || std::rename(temporary.c_str(), target.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
