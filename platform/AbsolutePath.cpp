// Relative paths made absolute against the current folder.
#include "AbsolutePath.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool sameFile(const char *a, const char *b) {
  struct stat sa {}, sb {};
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string currentFolder() {
  const char *pwd = std::getenv("PWD");
  if (pwd && pwd[0] == '/' && sameFile(pwd, "."))
    return pwd;
  char *cwd = getcwd(nullptr, 0);
  const std::string folder = cwd ? cwd : "/";
  std::free(cwd);
  return folder;
}

} // namespace

std::string absolutePath(const std::string &path) {
  if (path.empty() || path.front() == '/')
    return path;
  std::string folder = currentFolder();
  if (folder.back() != '/')
    folder += '/';
  return path.rfind("./", 0) == 0 ? folder + path.substr(2) : folder + path;
}
