// Finds the last whole Ogg page by walking back from the end of the file and checking CRCs.
#include "decoders/OggLength.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace lyt {
namespace {

constexpr int kHeaderBytes = 27;
constexpr int64_t kLargestPage = kHeaderBytes + 255 + 255 * 255;

uint32_t oggCrc(const uint8_t *data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int b = 0; b < 8; ++b)
        r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      t[i] = r;
    }
    return t;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i)
    crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

uint64_t littleEndian(const uint8_t *p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

// The whole page at offset if it is one (capture pattern, length inside the bytes, CRC).
bool wholePageAt(ByteSource &bytes, int64_t offset, std::vector<uint8_t> &page) {
  uint8_t header[kHeaderBytes + 255];
  if (!bytes.read(offset, header, kHeaderBytes) || std::memcmp(header, "OggS", 4) != 0 || header[4] != 0)
    return false;
  const int segments = header[26];
  if (!bytes.read(offset + kHeaderBytes, header + kHeaderBytes, segments))
    return false;
  int64_t body = 0;
  for (int i = 0; i < segments; ++i)
    body += header[kHeaderBytes + i];
  const int64_t length = kHeaderBytes + segments + body;
  page.resize(static_cast<size_t>(length));
  if (!bytes.read(offset, page.data(), static_cast<int>(length)))
    return false;
  const uint32_t stored = static_cast<uint32_t>(littleEndian(&page[22], 4));
  std::memset(&page[22], 0, 4);
  return oggCrc(page.data(), page.size()) == stored;
}

} // namespace

int64_t lastOggGranule(ByteSource &bytes) {
  std::vector<uint8_t> window, page;
  const int64_t size = bytes.size();
  // Pages are at most kLargestPage long: one of them starts in the last few windows.
  for (int64_t end = size; end > 0 && size - end < 4 * kLargestPage;) {
    const int64_t start = std::max<int64_t>(0, end - kLargestPage);
    window.resize(static_cast<size_t>(end - start + 3));
    const int got = static_cast<int>(std::min<int64_t>(end - start + 3, size - start));
    if (!bytes.read(start, window.data(), got))
      return -1;
    for (int i = got - 4; i >= 0; --i) {
      if (std::memcmp(&window[static_cast<size_t>(i)], "OggS", 4) != 0 ||
          !wholePageAt(bytes, start + i, page))
        continue;
      const auto granule = static_cast<int64_t>(littleEndian(&page[6], 8));
      if (granule >= 0)
        return granule;
    }
    end = start;
  }
  return -1;
}

int64_t opusPreSkip(ByteSource &bytes) {
  std::vector<uint8_t> page;
  if (!wholePageAt(bytes, 0, page) || page.size() < 28u + page[26])
    return 0;
  const size_t packet = kHeaderBytes + page[26];
  if (page.size() < packet + 12 || std::memcmp(&page[packet], "OpusHead", 8) != 0)
    return 0;
  return static_cast<int64_t>(littleEndian(&page[packet + 10], 2));
}

} // namespace lyt
