// libsndfile's virtual I/O over a FileBytes, with the WAV size patches laid over what it reads.
#include "decoders/SndfileSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace lyt {
namespace {

uint32_t littleEndian32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::array<uint8_t, 4> asLittleEndian32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// A recorder writes a handful of chunks before its data; a header of more is not one to patch,
// and walking millions of tiny chunks would hold the open up.
constexpr int kMostChunksBeforeData = 1024;

bool isUnset(uint32_t size) {
  return size == 0 || size == 0xFFFFFFFFu;
}

} // namespace

SndfileSource::SndfileSource(const char *path) : bytes_(path) {
  patchUnsetWavSizes();
}

void SndfileSource::patchUnsetWavSizes() {
  uint8_t riff[12];
  const int64_t size = bytes_.size();
  if (size > 0xFFFFFFFFll || !bytes_.read(0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return;
  const bool riffUnset = isUnset(littleEndian32(riff + 4));
  uint8_t chunk[8];
  int64_t at = 12;
  for (int walked = 0; walked < kMostChunksBeforeData; ++walked) {
    if (at + 8 > size || !bytes_.read(at, chunk, 8))
      return;
    const uint32_t length = littleEndian32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (!riffUnset && !isUnset(length))
        return;
      patches_.push_back({4, asLittleEndian32(static_cast<uint32_t>(size - 8))});
      patches_.push_back({at + 4, asLittleEndian32(static_cast<uint32_t>(size - at - 8))});
      return;
    }
    // In 64 bits: a length near 4 GiB added in 32 wraps round to the same chunk for ever.
    at += 8 + int64_t{length} + (length & 1);
  }
}

SNDFILE *SndfileSource::open(SF_INFO &info) {
  static SF_VIRTUAL_IO io = {
      [](void *self) -> sf_count_t { return static_cast<SndfileSource *>(self)->bytes_.size(); },
      [](sf_count_t offset, int whence, void *self) {
        return static_cast<SndfileSource *>(self)->seek(offset, whence);
      },
      [](void *out, sf_count_t count, void *self) {
        return static_cast<SndfileSource *>(self)->read(out, count);
      },
      [](const void *, sf_count_t, void *) -> sf_count_t { return 0; },
      [](void *self) -> sf_count_t { return static_cast<SndfileSource *>(self)->position_; },
  };
  position_ = 0;
  return sf_open_virtual(&io, SFM_READ, &info, this);
}

sf_count_t SndfileSource::seek(sf_count_t offset, int whence) {
  const int64_t base = whence == SEEK_CUR ? position_ : whence == SEEK_END ? bytes_.size() : 0;
  const int64_t target = base + offset;
  if (target < 0)
    return -1;
  position_ = target;
  return position_;
}

sf_count_t SndfileSource::read(void *out, sf_count_t count) {
  const int64_t n = std::clamp<int64_t>(bytes_.size() - position_, 0, count);
  auto *bytes = static_cast<uint8_t *>(out);
  if (n == 0 || !bytes_.read(position_, bytes, static_cast<int>(n)))
    return 0;
  for (const Patch &patch : patches_)
    for (int i = 0; i < 4; ++i)
      if (patch.offset + i >= position_ && patch.offset + i < position_ + n)
        bytes[patch.offset + i - position_] = patch.bytes[static_cast<size_t>(i)];
  position_ += n;
  return n;
}

} // namespace lyt
