// The frames of an MPEG audio stream (layers I-III) found by walking their headers, without
// decoding: where each frame starts, and which of the decoded samples are the recording (the
// encoder's delay and padding from a LAME/Info tag).
#pragma once

#include "decoders/ByteSource.h"

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

struct MpegFrameIndex {
  // Of the first audio frame; every indexed frame has the same version, layer and rate.
  MpegFrameHeader first;
  // Byte offsets of the audio frames in stream order; a Xing/Info/VBRI frame is not among them.
  // Every frame lies wholly inside the bytes.
  std::vector<int64_t> offsets;
  // Decoded samples (from the first audio frame) that come before the recording and that make up
  // its length. Without a LAME tag: 0 and every decoded sample.
  int64_t skipSamples = 0;
  int64_t lengthSamples = 0;

  bool empty() const { return offsets.empty(); }
  int64_t decodedSamples() const { return static_cast<int64_t>(offsets.size()) * first.samples; }
};

// Indexes the stream that starts (after an ID3v2 tag and up to 64 KiB of other bytes) with at
// least four chained frames; an empty index when there is none. Frames of another stream, tags and
// damaged stretches of any size in between are skipped, as a decoder would resynchronise past them.
// The Info frame of a part joined after the first stays a frame, as libmpg123 decodes it.
MpegFrameIndex indexMpegFrames(ByteSource &bytes);

} // namespace lyt
