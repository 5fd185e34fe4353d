// Fuzzes the MPEG frame index: whatever the bytes, every indexed frame is a whole, valid frame of
// the first frame's stream, in order, and the gapless trim stays inside what the frames decode to.
#include "decoders/MpegFrameIndex.h"

#include <cstdlib>

namespace {

void require(bool ok) {
  if (!ok)
    std::abort();
}

// Reads through a window unlike any the engine uses, so that frames straddle its edges.
class OddWindowBytes final : public lyt::ByteSource {
public:
  OddWindowBytes(const uint8_t *data, size_t size) : whole_(data, size) {}
  int64_t size() const override { return whole_.size(); }
  bool read(int64_t offset, uint8_t *out, int n) override {
    for (int i = 0; i < n; i += 7)
      if (!whole_.read(offset + i, out + i, n - i < 7 ? n - i : 7))
        return false;
    return true;
  }

private:
  lyt::MemoryBytes whole_;
};

void checkIndex(const lyt::MpegFrameIndex &index, lyt::ByteSource &bytes) {
  require(index.skipSamples >= 0 && index.lengthSamples >= 0);
  require(index.skipSamples + index.lengthSamples <= index.decodedSamples());
  if (index.empty()) {
    require(index.lengthSamples == 0);
    return;
  }
  int64_t previousEnd = 0;
  for (const int64_t offset : index.offsets) {
    require(offset >= previousEnd);
    uint8_t header[4];
    lyt::MpegFrameHeader h;
    require(bytes.read(offset, header, 4) && lyt::parseMpegHeader(header, h));
    require(h.sameStream(index.first) && h.samples == index.first.samples);
    require(offset + h.lengthBytes <= bytes.size());
    previousEnd = offset + h.lengthBytes;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  lyt::MemoryBytes bytes(data, size);
  const lyt::MpegFrameIndex index = lyt::indexMpegFrames(bytes);
  checkIndex(index, bytes);
  // The same bytes read in other pieces give the same index.
  OddWindowBytes odd(data, size);
  const lyt::MpegFrameIndex again = lyt::indexMpegFrames(odd);
  require(again.offsets == index.offsets && again.skipSamples == index.skipSamples &&
          again.lengthSamples == index.lengthSamples);
  return 0;
}
