// The frames of an MPEG audio stream (layers I-III) found by walking their headers, without
// decoding: where each frame starts, and which of the decoded samples are the recording (the
// encoder's delay and padding from a LAME/Info tag).
#pragma once

#include "decoders/ByteSource.h"

#include <array>
#include <cstdint>
#include <vector>

namespace lyt {

struct MpegFrameHeader {
  int version = 0; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
  int layer = 0;   // 1, 2 or 3
  int sampleRate = 0;
  int lengthBytes = 0;
  int samples = 0; // per channel
  bool mono = false;

  bool sameStream(const MpegFrameHeader &o) const {
    return version == o.version && layer == o.layer && sampleRate == o.sampleRate;
  }
};

// False unless the four bytes are a valid header of a frame with a fixed bit rate index (free
// format is not supported).
bool parseMpegHeader(const uint8_t header[4], MpegFrameHeader &out);

// What an Xing/Info (or VBRI) frame at the start of a stream says about it.
struct MpegInfoFrame {
  bool present = false;
  int64_t frames = -1; // the stream's audio frames as the encoder counted them, -1 unknown
  bool gapless = false;
  int64_t encoderDelay = 0;
  int64_t padding = 0;
};

// Where a stream's audio begins: its first audio frame (after an Info frame) and what the Info
// frame says.
struct MpegStreamStart {
  MpegFrameHeader first;
  int64_t offset = -1; // of the first audio frame; -1 when there is no stream
  MpegInfoFrame info;

  bool found() const { return offset >= 0; }
};

// The stream that starts (after an ID3v2 tag and up to 64 KiB of other bytes) with at least four
// chained frames; not found() when there is none.
MpegStreamStart findMpegStream(ByteSource &bytes);

// The audio frames of a stream one after another, as the index holds them. Frames of another
// stream, tags and damaged stretches of any size in between are skipped, as a decoder would
// resynchronise past them. The Info frame of a part joined after the first stays a frame, as
// libmpg123 decodes it.
class MpegFrameWalker {
public:
  MpegFrameWalker(ByteSource &bytes, const MpegStreamStart &start)
      : bytes_(bytes), first_(start.first), offset_(start.offset) {}
  // The offset of the next frame, which lies wholly inside the bytes; false at the stream's end.
  bool next(int64_t &frameOffset);
  // Where the walk goes on: the bytes before it have been read.
  int64_t offset() const { return offset_; }

private:
  ByteSource &bytes_;
  MpegFrameHeader first_;
  int64_t offset_;
  bool ended_ = false;
  // Most frames repeat one of the last two headers (padding alternates): those are not parsed.
  std::array<uint32_t, 2> seen_{};
  std::array<MpegFrameHeader, 2> seenHeader_{};
};

// Decoded samples (from the first audio frame) that come before the recording and that make up
// its length, for a stream of `frames` frames. Without a LAME tag: 0 and every decoded sample.
struct MpegTrim {
  int64_t skipSamples = 0;
  int64_t lengthSamples = 0;
};
MpegTrim mpegGaplessTrim(const MpegInfoFrame &info, int64_t frames, int samplesPerFrame);

struct MpegFrameIndex {
  // Of the first audio frame; every indexed frame has the same version, layer and rate.
  MpegFrameHeader first;
  // Byte offsets of the audio frames in stream order; a Xing/Info/VBRI frame is not among them.
  // Every frame lies wholly inside the bytes.
  std::vector<int64_t> offsets;
  int64_t skipSamples = 0;
  int64_t lengthSamples = 0;

  bool empty() const { return offsets.empty(); }
  int64_t decodedSamples() const { return static_cast<int64_t>(offsets.size()) * first.samples; }
};

// Every frame of the stream that findMpegStream finds, walked to its end; an empty index when
// there is none.
MpegFrameIndex indexMpegFrames(ByteSource &bytes);

} // namespace lyt
