// One scratch folder per fuzzing process, removed at exit.
#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace lyt::fuzz {
namespace {

// In memory when /dev/shm is there: the harnesses write and sync a file for every input.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    path = (base / "lyt-fuzz-XXXXXX").string();
    if (!mkdtemp(path.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
  }
  ~ScratchDir() { std::filesystem::remove_all(path); }
};

const std::string &scratchDir() {
  static const ScratchDir dir;
  return dir.path;
}

} // namespace

std::string scratchFile(const std::string &suffix) {
  return scratchDir() + "/" + suffix;
}

const std::string &writeInputFile(const uint8_t *data, size_t size) {
  static const std::string path = scratchFile("input");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::perror(path.c_str());
    std::abort();
  }
  return path;
}

} // namespace lyt::fuzz
