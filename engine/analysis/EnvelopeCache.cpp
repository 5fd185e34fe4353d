// The cache file: a header that names the recording, the steps, and a checksum over both.
#include "analysis/EnvelopeCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace lyt {
namespace {

constexpr char kMagic[8] = {'L', 'Y', 'T', 'E', 'N', 'V', '1', '\n'};
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kStepMicroseconds = 10000;
constexpr size_t kWriteBlockBytes = 1 << 20;

uint64_t fnv1a(const void *data, size_t size, uint64_t hash = 14695981039346656037ull) {
  for (const auto *byte = static_cast<const unsigned char *>(data), *end = byte + size; byte != end; ++byte)
    hash = (hash ^ *byte) * 1099511628211ull;
  return hash;
}

template <typename T> void put(std::string &out, const T &value) {
  out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// Reads the file's fields in order; any read past the end makes it fail for good.
class Reader {
public:
  explicit Reader(const std::string &bytes) : bytes_(bytes) {}
  template <typename T> T take() {
    T value{};
    if (ok_ && bytes_.size() - at_ >= sizeof value)
      std::memcpy(&value, bytes_.data() + at_, sizeof value);
    else
      ok_ = false;
    at_ += ok_ ? sizeof value : 0;
    return value;
  }
  std::string take(size_t size) {
    if (!ok_ || bytes_.size() - at_ < size) {
      ok_ = false;
      return {};
    }
    at_ += size;
    return bytes_.substr(at_ - size, size);
  }
  bool ok() const { return ok_; }
  size_t left() const { return bytes_.size() - at_; }

private:
  const std::string &bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

std::string header(const RecordingIdentity &recording, const CachedEnvelope &envelope) {
  std::string out(kMagic, sizeof kMagic);
  put(out, kFormatVersion);
  put(out, kStepMicroseconds);
  put(out, recording.sizeBytes);
  put(out, recording.modifiedNanoseconds);
  put(out, static_cast<uint64_t>(recording.path.size()));
  out += recording.path;
  put(out, envelope.lengthSeconds);
  put(out, static_cast<uint64_t>(envelope.steps.size()));
  return out;
}

std::string readWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string();
}

} // namespace

std::optional<RecordingIdentity> identify(const std::string &path) {
  struct stat info{};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return std::nullopt;
  return RecordingIdentity{path, static_cast<uint64_t>(info.st_size),
                           int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::string EnvelopeCache::fileFor(const RecordingIdentity &recording) const {
  uint64_t hash = fnv1a(recording.path.data(), recording.path.size());
  hash = fnv1a(&recording.sizeBytes, sizeof recording.sizeBytes, hash);
  hash = fnv1a(&recording.modifiedNanoseconds, sizeof recording.modifiedNanoseconds, hash);
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.envelope", static_cast<unsigned long long>(hash));
  return (std::filesystem::path(folder_) / name).string();
}

std::optional<CachedEnvelope> EnvelopeCache::load(const RecordingIdentity &recording) const {
  const std::string bytes = readWhole(fileFor(recording));
  if (bytes.size() < sizeof(uint64_t) + sizeof kMagic)
    return std::nullopt;
  const size_t checked = bytes.size() - sizeof(uint64_t);
  uint64_t checksum = 0;
  std::memcpy(&checksum, bytes.data() + checked, sizeof checksum);
  if (checksum != fnv1a(bytes.data(), checked))
    return std::nullopt;
  Reader reader(bytes);
  RecordingIdentity stored;
  const bool known = reader.take(sizeof kMagic) == std::string(kMagic, sizeof kMagic) &&
                     reader.take<uint32_t>() == kFormatVersion && reader.take<uint32_t>() == kStepMicroseconds;
  stored.sizeBytes = reader.take<uint64_t>();
  stored.modifiedNanoseconds = reader.take<int64_t>();
  stored.path = reader.take(static_cast<size_t>(reader.take<uint64_t>()));
  CachedEnvelope envelope;
  envelope.lengthSeconds = reader.take<double>();
  const auto stepCount = reader.take<uint64_t>();
  if (!known || !reader.ok() || !(stored == recording) ||
      reader.left() != stepCount * sizeof(EnvelopeStep) + sizeof checksum)
    return std::nullopt;
  envelope.steps.resize(static_cast<size_t>(stepCount));
  std::memcpy(envelope.steps.data(), bytes.data() + (checked - stepCount * sizeof(EnvelopeStep)),
              stepCount * sizeof(EnvelopeStep));
  utimensat(AT_FDCWD, fileFor(recording).c_str(), nullptr, 0);
  return envelope;
}

void EnvelopeCache::trim() const {
  std::error_code failed;
  std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> files;
  for (const auto &entry : std::filesystem::directory_iterator(folder_, failed))
    if (entry.path().extension() == ".envelope")
      files.emplace_back(entry.last_write_time(failed), entry.path());
  if (files.size() <= kKeptFiles)
    return;
  std::sort(files.begin(), files.end(), std::greater<>());
  for (size_t i = kKeptFiles; i < files.size(); ++i)
    std::filesystem::remove(files[i].second, failed);
}

void EnvelopeCache::store(const RecordingIdentity &recording, const CachedEnvelope &envelope,
                          const std::atomic<bool> &cancelled) const {
  std::error_code ignored;
  std::filesystem::create_directories(folder_, ignored);
  const std::string target = fileFor(recording);
  const std::string partial = target + ".part-" + std::to_string(::getpid()) + "-" +
                              std::to_string(std::random_device()());
  std::string bytes = header(recording, envelope);
  bytes.append(reinterpret_cast<const char *>(envelope.steps.data()), envelope.steps.size() * sizeof(EnvelopeStep));
  put(bytes, fnv1a(bytes.data(), bytes.size()));
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    for (size_t at = 0; out && at < bytes.size() && !cancelled; at += kWriteBlockBytes)
      out.write(bytes.data() + at, static_cast<std::streamsize>(std::min(kWriteBlockBytes, bytes.size() - at)));
    out.close();
    if (out && !cancelled && std::rename(partial.c_str(), target.c_str()) == 0)
      return trim();
  }
  std::filesystem::remove(partial, ignored);
}

} // namespace lyt
