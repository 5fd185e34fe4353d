// Counts the frames of an MPEG audio file (layers I-III) from their headers, without decoding.
#pragma once

#include <cstdint>

namespace lyt {

struct MpegScan {
  bool valid = false;        // at least a few chained frames were found at the start
  bool hasInfoFrame = false; // the first frame is a Xing/Info/VBRI header, not audio
  int64_t audioFrames = 0;   // frames of audio, the info frame excluded
  int64_t samples = 0;       // samples per channel that those frames decode to
};

// Reads the file once, from the first frame after an ID3v2 tag to the end. Stops counting at the
// first place where no further frame can be found.
MpegScan scanMpegFile(const char *path);

} // namespace lyt
