// AMR-NB and AMR-WB frames in the storage format (a header byte naming the frame type, then its
// bits), walked by their header bytes alone: how many frames there are and where each begins.
#pragma once

#include "decoders/ByteSource.h"

#include <cstdint>
#include <vector>

namespace lyt {

struct AmrVariant {
  const char *magic; // the storage format's first line
  bool wideBand;
  int rate;
  int lastSpeechType;     // higher types are comfort noise, reserved or no data: silence
  uint8_t frameBytes[16]; // with the header byte, by frame type
  int samplesPerFrame() const { return rate / 50; }
  int frameBytesOf(uint8_t header) const { return frameBytes[(header >> 3) & 0x0F]; }
};

const AmrVariant &amrNarrowBand();
const AmrVariant &amrWideBand();
// The variant whose magic line the bytes begin with; null for neither.
const AmrVariant *amrVariantByMagic(ByteSource &bytes);

// Every whole frame from a start offset; a cut-off last frame is left out. Keeps where every 64th
// frame begins rather than every frame: a file of 1-byte no-data frames would otherwise take eight
// times its size. Single-threaded, like the bytes it walks.
class AmrFrameMap {
public:
  AmrFrameMap(ByteSource &bytes, int64_t start, const AmrVariant &variant);
  int64_t frames() const { return frames_; }
  // Where frame `index` (0 .. frames() - 1) begins: a walk of up to 63 header bytes from the
  // nearest kept place.
  int64_t offsetOf(int64_t index, ByteSource &bytes) const;

private:
  static constexpr int64_t kFramesPerCheckpoint = 64;
  const AmrVariant &variant_;
  std::vector<int64_t> checkpoints_; // where frame i * kFramesPerCheckpoint begins
  int64_t frames_ = 0;
};

} // namespace lyt
