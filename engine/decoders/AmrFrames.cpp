// The AMR frame walk: frame sizes by type, the storage format's magic lines, sparse frame places.
#include "decoders/AmrFrames.h"

#include <algorithm>
#include <cstring>

namespace lyt {

const AmrVariant &amrNarrowBand() {
  static constexpr AmrVariant kNarrowBand{
      "#!AMR\n", false, 8000, 7, {13, 14, 16, 18, 20, 21, 27, 32, 6, 1, 1, 1, 1, 1, 1, 1}};
  return kNarrowBand;
}

const AmrVariant &amrWideBand() {
  static constexpr AmrVariant kWideBand{
      "#!AMR-WB\n", true, 16000, 8, {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 1, 1, 1, 1, 1, 1}};
  return kWideBand;
}

const AmrVariant *amrVariantByMagic(ByteSource &bytes) {
  for (const AmrVariant *v : {&amrNarrowBand(), &amrWideBand()}) {
    const int length = static_cast<int>(std::strlen(v->magic));
    uint8_t head[16];
    if (bytes.read(0, head, length) && std::memcmp(head, v->magic, static_cast<size_t>(length)) == 0)
      return v;
  }
  return nullptr;
}

AmrFrameMap::AmrFrameMap(ByteSource &bytes, int64_t start, const AmrVariant &variant) : variant_(variant) {
  std::vector<uint8_t> chunk(1 << 16);
  int64_t offset = start;
  while (offset < bytes.size()) {
    const int n =
        static_cast<int>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), bytes.size() - offset));
    if (!bytes.read(offset, chunk.data(), n))
      return;
    int at = 0;
    for (int size; at < n; at += size, ++frames_) {
      size = variant.frameBytesOf(chunk[static_cast<size_t>(at)]);
      if (offset + at + size > bytes.size())
        return;
      if (at + size > n)
        break;
      if (frames_ % kFramesPerCheckpoint == 0)
        checkpoints_.push_back(offset + at);
    }
    offset += at;
  }
}

int64_t AmrFrameMap::offsetOf(int64_t index, ByteSource &bytes) const {
  int64_t offset = checkpoints_[static_cast<size_t>(index / kFramesPerCheckpoint)];
  for (int64_t left = index % kFramesPerCheckpoint; left > 0; --left) {
    uint8_t header = 0;
    bytes.read(offset, &header, 1);
    offset += variant_.frameBytesOf(header);
  }
  return offset;
}

} // namespace lyt
