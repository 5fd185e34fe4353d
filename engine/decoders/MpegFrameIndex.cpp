// Walks MPEG audio frame headers: the frame index, and the gapless trim of a LAME/Info tag.
#include "decoders/MpegFrameIndex.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace lyt {
namespace {

constexpr std::array<std::array<int, 16>, 5> kBitratesKbps{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}, // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},    // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},     // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},    // MPEG-2 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},         // MPEG-2 layers II, III
}};

// What a layer III decoder's filter banks add in front of the first sample.
constexpr int64_t kLayer3DecoderDelay = 529;
// How far past the leading ID3v2 tag the first frames may start: further on, a file is not MPEG.
constexpr int64_t kSyncWindowBytes = 64 * 1024;
constexpr int kScanBlockBytes = 4096;
constexpr int kChainAtStart = 4;
constexpr int kChainAtResync = 2;
// Encoders differ on whether the Info frame counts itself: a frame or two more is the same stream.
constexpr int64_t kCountSlackFrames = 2;

bool headerAt(ByteSource &bytes, int64_t offset, MpegFrameHeader &out) {
  uint8_t h[4];
  return bytes.read(offset, h, 4) && parseMpegHeader(h, out);
}

// A frame at offset whose next `chain` frames follow it within the same stream, or that ends
// exactly where the bytes end.
bool chainAt(ByteSource &bytes, int64_t offset, int chain, MpegFrameHeader &first) {
  if (!headerAt(bytes, offset, first) || offset + first.lengthBytes > bytes.size())
    return false;
  int64_t next = offset + first.lengthBytes;
  for (int i = 0; i < chain; ++i) {
    if (next == bytes.size())
      return true;
    MpegFrameHeader h;
    if (!headerAt(bytes, next, h) || !h.sameStream(first))
      return false;
    next += h.lengthBytes;
  }
  return true;
}

// Where an ID3v2 tag that starts at `at` ends; `at` itself when none starts there.
int64_t id3v2End(ByteSource &bytes, int64_t at) {
  uint8_t tag[10];
  if (!bytes.read(at, tag, 10) || std::memcmp(tag, "ID3", 3) != 0 || tag[3] == 0xFF || tag[4] == 0xFF ||
      ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80))
    return at;
  const int64_t size = (int64_t(tag[6]) << 21) | (int64_t(tag[7]) << 14) | (int64_t(tag[8]) << 7) | tag[9];
  return at + 10 + size + ((tag[5] & 0x10) ? 10 : 0);
}

// The first offset in [from, until) where `chain` frames chain up (of the stream of `sameAs` when
// given); -1 when there is none. ID3v2 tags on the way are stepped over whole: the pictures in them
// hold byte runs that look like frames.
int64_t findChain(ByteSource &bytes, int64_t from, int64_t until, int chain, MpegFrameHeader &first,
                  const MpegFrameHeader *sameAs = nullptr) {
  until = std::min(until, bytes.size() - 3);
  std::array<uint8_t, kScanBlockBytes> block;
  for (int64_t base = from; base < until;) {
    const int n = static_cast<int>(std::min<int64_t>(kScanBlockBytes, bytes.size() - base));
    if (!bytes.read(base, block.data(), n))
      return -1;
    int64_t next = base + n;
    for (int i = 0; i < n && base + i < until; ++i) {
      const int64_t off = base + i;
      const uint8_t byte = block[static_cast<size_t>(i)];
      if (byte == 'I' && id3v2End(bytes, off) > off) {
        next = id3v2End(bytes, off);
        break;
      }
      if (byte == 0xFF && chainAt(bytes, off, chain, first) && (!sameAs || first.sameStream(*sameAs)))
        return off;
    }
    base = next;
  }
  return -1;
}

uint32_t bigEndian32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The LAME extension that follows a Xing/Info tag, as written by LAME and FFmpeg.
void readLameTag(ByteSource &bytes, int64_t at, int64_t frameEnd, MpegInfoFrame &info) {
  uint8_t lame[24];
  if (at + 24 > frameEnd || !bytes.read(at, lame, 24))
    return;
  static constexpr const char *kVendors[] = {"LAME", "Lavc", "Lavf", "GOGO"};
  if (std::none_of(std::begin(kVendors), std::end(kVendors),
                   [&](const char *v) { return std::memcmp(lame, v, 4) == 0; }))
    return;
  info.gapless = true;
  info.encoderDelay = (int64_t(lame[21]) << 4) | (lame[22] >> 4);
  info.padding = (int64_t(lame[22] & 0x0F) << 8) | lame[23];
}

MpegInfoFrame readInfoFrame(ByteSource &bytes, int64_t offset, const MpegFrameHeader &h) {
  MpegInfoFrame info;
  if (h.layer != 3)
    return info;
  const int sideInfo = h.version == 3 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
  const int64_t frameEnd = offset + h.lengthBytes;
  const int64_t at = offset + 4 + sideInfo;
  uint8_t tag[8];
  if (at + 8 <= frameEnd && bytes.read(at, tag, 8) &&
      (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0)) {
    info.present = true;
    const uint32_t flags = bigEndian32(tag + 4);
    int64_t field = at + 8;
    uint8_t count[4];
    if ((flags & 1) && field + 4 <= frameEnd && bytes.read(field, count, 4))
      info.frames = bigEndian32(count);
    field += (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    readLameTag(bytes, field, frameEnd, info);
    return info;
  }
  info.present =
      offset + 40 <= frameEnd && bytes.read(offset + 36, tag, 4) && std::memcmp(tag, "VBRI", 4) == 0;
  return info;
}

} // namespace

bool parseMpegHeader(const uint8_t h[4], MpegFrameHeader &out) {
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
  const int rate = kRates[rateIndex] / (version == 3 ? 1 : version == 2 ? 2 : 4);
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
  return out.lengthBytes > 4;
}

// Which decoded samples are the recording: a LAME tag names the encoder's delay and padding, to
// which a layer III decoder adds its own delay. A cut-off file keeps what it has. Where the frames
// clearly outnumber the tag's count, parts were joined after the first: its padding lies inside
// the stream, not at its end, and everything after the start's delay is heard.
MpegTrim mpegGaplessTrim(const MpegInfoFrame &info, int64_t frames, int samplesPerFrame) {
  const int64_t decoded = frames * samplesPerFrame;
  MpegTrim trim{0, decoded};
  if (!info.gapless)
    return trim;
  const bool joined = info.frames > 0 && frames > info.frames + kCountSlackFrames;
  const int64_t encoded = info.frames > 0 && !joined ? info.frames * samplesPerFrame : decoded;
  if (info.encoderDelay + info.padding >= encoded)
    return trim; // not a tag that describes this stream
  const int64_t begin = info.encoderDelay + kLayer3DecoderDelay;
  const int64_t end = joined ? decoded : std::min(decoded, encoded - info.padding + kLayer3DecoderDelay);
  trim.skipSamples = std::min(begin, decoded);
  trim.lengthSamples = std::max<int64_t>(0, end - trim.skipSamples);
  return trim;
}

MpegStreamStart findMpegStream(ByteSource &bytes) {
  MpegStreamStart start;
  const int64_t tagEnd = id3v2End(bytes, 0);
  int64_t offset = findChain(bytes, tagEnd, tagEnd + kSyncWindowBytes, kChainAtStart, start.first);
  if (offset < 0)
    return start;
  start.info = readInfoFrame(bytes, offset, start.first);
  if (start.info.present) {
    offset += start.first.lengthBytes;
    if (!headerAt(bytes, offset, start.first))
      return MpegStreamStart{};
  }
  start.offset = offset;
  return start;
}

bool MpegFrameWalker::next(int64_t &frameOffset) {
  uint8_t raw[4];
  while (!ended_ && offset_ < bytes_.size()) {
    MpegFrameHeader h;
    const bool read = bytes_.read(offset_, raw, 4);
    const uint32_t word =
        read ? uint32_t(raw[0]) << 24 | uint32_t(raw[1]) << 16 | uint32_t(raw[2]) << 8 | raw[3] : 0;
    // Only a word with the frame sync can match a remembered header (both start out as zero).
    const bool synced = read && (word & 0xFFE00000u) == 0xFFE00000u;
    if (synced && word == seen_[0]) {
      h = seenHeader_[0];
    } else if (synced && word == seen_[1]) {
      h = seenHeader_[1];
    } else if (read && parseMpegHeader(raw, h) && h.sameStream(first_)) {
      seen_ = {word, seen_[0]};
      seenHeader_ = {h, seenHeader_[0]};
    } else {
      MpegFrameHeader resync;
      offset_ = findChain(bytes_, offset_, bytes_.size(), kChainAtResync, resync, &first_);
      ended_ = offset_ < 0;
      continue;
    }
    if (h.lengthBytes > bytes_.size() - offset_)
      break; // a cut-off last frame does not decode
    frameOffset = offset_;
    offset_ += h.lengthBytes;
    return true;
  }
  ended_ = true;
  return false;
}

MpegFrameIndex indexMpegFrames(ByteSource &bytes) {
  MpegFrameIndex index;
  const MpegStreamStart start = findMpegStream(bytes);
  if (!start.found())
    return index;
  index.first = start.first;
  if (start.info.frames > 0)
    index.offsets.reserve(static_cast<size_t>(std::min<int64_t>(start.info.frames, 1 << 24)));
  MpegFrameWalker walker(bytes, start);
  for (int64_t offset; walker.next(offset);)
    index.offsets.push_back(offset);
  const MpegTrim trim =
      mpegGaplessTrim(start.info, static_cast<int64_t>(index.offsets.size()), index.first.samples);
  index.skipSamples = trim.skipSamples;
  index.lengthSamples = trim.lengthSamples;
  return index;
}

} // namespace lyt
