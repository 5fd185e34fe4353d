// Walks MPEG audio frame headers to learn the exact sample count of files without a Xing header.
#include "decoders/MpegFrameScanner.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace lyt {
namespace {

struct FrameHeader {
  int version = 0; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
  int layer = 0;   // 1, 2 or 3
  int sampleRate = 0;
  int lengthBytes = 0;
  int samples = 0;
  bool mono = false;

  bool sameStream(const FrameHeader &o) const {
    return version == o.version && layer == o.layer && sampleRate == o.sampleRate;
  }
};

constexpr std::array<std::array<int, 16>, 5> kBitratesKbps{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}, // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},    // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},     // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},    // MPEG-2 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},         // MPEG-2 layers II, III
}};

bool parseHeader(const uint8_t *h, FrameHeader &out) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
    return false;
  const int version = (h[1] >> 3) & 3;
  const int layerBits = (h[1] >> 1) & 3;
  const int bitrateIndex = h[2] >> 4;
  const int rateIndex = (h[2] >> 2) & 3;
  if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
    return false;
  const int layer = 4 - layerBits;
  static constexpr int kRates[3] = {44100, 48000, 32000};
  const int divisor = version == 3 ? 1 : version == 2 ? 2 : 4;
  const int rate = kRates[rateIndex] / divisor;
  const int table = version == 3 ? layer - 1 : (layer == 1 ? 3 : 4);
  const int bitrate = kBitratesKbps[table][bitrateIndex] * 1000;
  const int padding = (h[2] >> 1) & 1;
  out.version = version;
  out.layer = layer;
  out.sampleRate = rate;
  out.mono = (h[3] >> 6) == 3;
  if (layer == 1) {
    out.lengthBytes = (12 * bitrate / rate + padding) * 4;
    out.samples = 384;
  } else if (layer == 2 || version == 3) {
    out.lengthBytes = 144 * bitrate / rate + padding;
    out.samples = 1152;
  } else {
    out.lengthBytes = 72 * bitrate / rate + padding;
    out.samples = 576;
  }
  return out.lengthBytes >= 4;
}

// Sequential reader with random access inside a large window.
class ChunkReader {
public:
  explicit ChunkReader(std::FILE *file) : file_(file), buffer_(kChunk) {
    std::fseek(file_, 0, SEEK_END);
    size_ = std::ftell(file_);
  }
  int64_t size() const { return size_; }
  // Copies n bytes at offset, false past the end.
  bool read(int64_t offset, uint8_t *out, int n) {
    if (offset < 0 || offset + n > size_)
      return false;
    if (offset < start_ || offset + n > start_ + filled_) {
      start_ = offset;
      std::fseek(file_, offset, SEEK_SET);
      filled_ = static_cast<int64_t>(std::fread(buffer_.data(), 1, buffer_.size(), file_));
      if (filled_ < n)
        return false;
    }
    std::memcpy(out, buffer_.data() + (offset - start_), n);
    return true;
  }

private:
  static constexpr size_t kChunk = 1 << 20;
  std::FILE *file_;
  std::vector<uint8_t> buffer_;
  int64_t size_ = 0;
  int64_t start_ = 0;
  int64_t filled_ = 0;
};

bool headerAt(ChunkReader &reader, int64_t offset, FrameHeader &out) {
  uint8_t h[4];
  return reader.read(offset, h, 4) && parseHeader(h, out);
}

// A frame at offset whose next `chain` frames follow it with the same stream parameters, or that
// ends exactly at the end of the file.
bool chainAt(ChunkReader &reader, int64_t offset, int chain, FrameHeader &first) {
  if (!headerAt(reader, offset, first))
    return false;
  int64_t next = offset + first.lengthBytes;
  for (int i = 0; i < chain; ++i) {
    if (next == reader.size())
      return true;
    FrameHeader h;
    if (!headerAt(reader, next, h) || !h.sameStream(first))
      return false;
    next += h.lengthBytes;
  }
  return true;
}

int64_t findChain(ChunkReader &reader, int64_t from, int64_t window, int chain, FrameHeader &first) {
  for (int64_t off = from; off < from + window && off + 4 <= reader.size(); ++off)
    if (chainAt(reader, off, chain, first))
      return off;
  return -1;
}

int64_t skipId3v2(ChunkReader &reader) {
  uint8_t tag[10];
  if (!reader.read(0, tag, 10) || std::memcmp(tag, "ID3", 3) != 0)
    return 0;
  const int64_t size = (int64_t(tag[6] & 0x7F) << 21) | (int64_t(tag[7] & 0x7F) << 14) |
                       (int64_t(tag[8] & 0x7F) << 7) | int64_t(tag[9] & 0x7F);
  return 10 + size + ((tag[5] & 0x10) ? 10 : 0);
}

bool isInfoFrame(ChunkReader &reader, int64_t offset, const FrameHeader &h) {
  if (h.layer != 3)
    return false;
  const int sideInfo = h.version == 3 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
  uint8_t tag[4];
  if (reader.read(offset + 4 + sideInfo, tag, 4) &&
      (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0))
    return true;
  return reader.read(offset + 36, tag, 4) && std::memcmp(tag, "VBRI", 4) == 0;
}

struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

} // namespace

MpegScan scanMpegFile(const char *path) {
  MpegScan scan;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file)
    return scan;
  ChunkReader reader(file.get());
  constexpr int64_t kSyncWindow = 64 * 1024;
  FrameHeader first;
  int64_t offset = findChain(reader, skipId3v2(reader), kSyncWindow, 3, first);
  if (offset < 0)
    return scan;
  scan.valid = true;
  scan.hasInfoFrame = isInfoFrame(reader, offset, first);
  if (scan.hasInfoFrame)
    offset += first.lengthBytes;
  while (offset < reader.size()) {
    FrameHeader h;
    if (!headerAt(reader, offset, h) || !h.sameStream(first)) {
      FrameHeader resync;
      offset = findChain(reader, offset + 1, kSyncWindow, 2, resync);
      if (offset < 0)
        break;
      continue;
    }
    if (offset + h.lengthBytes > reader.size())
      break; // a cut-off last frame does not decode
    ++scan.audioFrames;
    scan.samples += h.samples;
    offset += h.lengthBytes;
  }
  return scan;
}

} // namespace lyt
