// Byte-by-byte writers of five module formats, just enough for a player to load and time them.
#include "ModuleWriter.h"

#include <cstdint>
#include <cstring>

namespace lyt::test {
namespace {

constexpr int kRows = 64;
constexpr int kSampleBytes = 2000;

class Bytes {
public:
  std::vector<unsigned char> data;
  size_t size() const { return data.size(); }
  void u8(unsigned v) { data.push_back(static_cast<unsigned char>(v)); }
  void le16(unsigned v) { u8(v & 0xFF), u8(v >> 8 & 0xFF); }
  void le32(uint32_t v) { le16(v & 0xFFFF), le16(v >> 16); }
  void be16(unsigned v) { u8(v >> 8 & 0xFF), u8(v & 0xFF); }
  void text(const char *s, size_t width) {
    for (size_t i = 0; i < width; ++i)
      u8(i < std::strlen(s) ? static_cast<unsigned char>(s[i]) : 0);
  }
  void zeros(size_t n) { data.insert(data.end(), n, 0); }
  void alignTo(size_t unit) { zeros((unit - size() % unit) % unit); }
  void put16(size_t at, unsigned v) { data[at] = v & 0xFF, data[at + 1] = v >> 8 & 0xFF; }
  void put32(size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); }
};

// A square wave: signed or unsigned 8-bit, or deltas of signed (XM).
void squareWave(Bytes &out, bool isUnsigned, bool delta) {
  int previous = 0;
  for (int i = 0; i < kSampleBytes; ++i) {
    const int value = (i / 25) % 2 ? 60 : -60;
    out.u8(static_cast<unsigned>(delta ? value - previous : isUnsigned ? value + 128 : value) & 0xFF);
    previous = value;
  }
}

std::vector<unsigned char> makeMod() {
  Bytes b;
  b.text("lystrel test", 20);
  for (int s = 0; s < 31; ++s) {
    b.text(s == 0 ? "square" : "", 22);
    b.be16(s == 0 ? kSampleBytes / 2 : 0); // length in words
    b.u8(0);                               // finetune
    b.u8(s == 0 ? 64 : 0);                 // volume
    b.be16(0);                             // loop start
    b.be16(s == 0 ? kSampleBytes / 2 : 1); // loop length
  }
  b.u8(1);   // song length
  b.u8(127); // restart
  b.zeros(128);
  b.text("M.K.", 4);
  for (int row = 0; row < kRows; ++row)
    for (int channel = 0; channel < 4; ++channel) {
      const bool note = row == 0 && channel == 0;
      b.u8(note ? (428 >> 8) : 0); // sample high nibble 0, period high
      b.u8(note ? (428 & 0xFF) : 0);
      b.u8(note ? 0x10 : 0); // sample 1, no effect
      b.u8(0);
    }
  squareWave(b, false, false);
  return b.data;
}

std::vector<unsigned char> makeS3m() {
  Bytes b;
  b.text("lystrel test", 28);
  b.u8(0x1A), b.u8(16), b.le16(0);
  b.le16(2), b.le16(1), b.le16(1); // orders, instruments, patterns
  b.le16(0), b.le16(0x1320), b.le16(2);
  b.text("SCRM", 4);
  b.u8(64), b.u8(6), b.u8(125), b.u8(0xB0), b.u8(0), b.u8(0);
  b.zeros(8);
  b.le16(0);
  for (int c = 0; c < 32; ++c)
    b.u8(c == 0 ? 0 : c == 1 ? 8 : 255);
  b.u8(0), b.u8(0xFF); // orders
  const size_t instrumentPointer = b.size();
  b.le16(0);
  const size_t patternPointer = b.size();
  b.le16(0);

  b.alignTo(16);
  b.put16(instrumentPointer, static_cast<unsigned>(b.size() / 16));
  const size_t instrument = b.size();
  b.u8(1);
  b.text("SQUARE.SMP", 12);
  b.zeros(3); // sample pointer, filled below
  b.le32(kSampleBytes), b.le32(0), b.le32(kSampleBytes);
  b.u8(64), b.u8(0), b.u8(0), b.u8(1); // volume, reserved, packing, looped
  b.le32(8363);
  b.zeros(12);
  b.text("square", 28);
  b.text("SCRS", 4);

  b.alignTo(16);
  b.put16(patternPointer, static_cast<unsigned>(b.size() / 16));
  const size_t pattern = b.size();
  b.le16(0);
  b.u8(0x20), b.u8(0x40), b.u8(1); // channel 0: note C-4, instrument 1
  b.u8(0);
  for (int row = 1; row < kRows; ++row)
    b.u8(0);
  b.put16(pattern, static_cast<unsigned>(b.size() - pattern));

  b.alignTo(16);
  const size_t sampleParagraph = b.size() / 16;
  b.data[instrument + 13] = static_cast<unsigned char>(sampleParagraph >> 16);
  b.put16(instrument + 14, static_cast<unsigned>(sampleParagraph & 0xFFFF));
  squareWave(b, true, false);
  return b.data;
}

std::vector<unsigned char> makeXm() {
  Bytes b;
  b.text("Extended Module: ", 17);
  b.text("lystrel test", 20);
  b.u8(0x1A);
  b.text("lystrel", 20);
  b.le16(0x0104);
  b.le32(276);
  b.le16(1), b.le16(0), b.le16(2), b.le16(1), b.le16(1), b.le16(1), b.le16(6), b.le16(125);
  b.zeros(256); // order 0 plays pattern 0

  b.le32(9), b.u8(0), b.le16(kRows);
  const size_t packedSize = b.size();
  b.le16(0);
  const size_t packedStart = b.size();
  b.u8(0x83), b.u8(49), b.u8(1); // channel 0: C-4, instrument 1
  b.u8(0x80);                    // channel 1: empty
  for (int row = 1; row < kRows; ++row)
    b.u8(0x80), b.u8(0x80);
  b.put16(packedSize, static_cast<unsigned>(b.size() - packedStart));

  b.le32(263);
  b.text("square", 22);
  b.u8(0), b.le16(1);
  b.le32(40);
  b.zeros(96 + 48 + 48);
  b.zeros(2 + 6 + 2 + 4);
  b.le16(0);
  b.zeros(22);

  b.le32(kSampleBytes), b.le32(0), b.le32(kSampleBytes);
  b.u8(64), b.u8(0), b.u8(1), b.u8(128), b.u8(0), b.u8(0);
  b.text("square", 22);
  squareWave(b, false, true);
  return b.data;
}

std::vector<unsigned char> makeIt() {
  Bytes b;
  b.text("IMPM", 4);
  b.text("lystrel test", 26);
  b.le16(0x1004);
  b.le16(2), b.le16(0), b.le16(1), b.le16(1); // orders, instruments, samples, patterns
  b.le16(0x0214), b.le16(0x0200), b.le16(1), b.le16(0);
  b.u8(128), b.u8(48), b.u8(6), b.u8(125), b.u8(128), b.u8(0);
  b.le16(0), b.le32(0), b.le32(0);
  for (int c = 0; c < 64; ++c)
    b.u8(c == 0 ? 32 : 32 + 128);
  for (int c = 0; c < 64; ++c)
    b.u8(64);
  b.u8(0), b.u8(0xFF);
  const size_t samplePointer = b.size();
  b.le32(0);
  const size_t patternPointer = b.size();
  b.le32(0);

  b.put32(samplePointer, static_cast<uint32_t>(b.size()));
  b.text("IMPS", 4);
  b.text("SQUARE.SMP", 12);
  b.u8(0), b.u8(64), b.u8(0x11), b.u8(64); // global volume, sample present + looped, volume
  b.text("square", 26);
  b.u8(1), b.u8(32); // signed samples, default pan
  b.le32(kSampleBytes), b.le32(0), b.le32(kSampleBytes);
  b.le32(8363), b.le32(0), b.le32(0);
  const size_t sampleData = b.size();
  b.le32(0);
  b.zeros(4);

  b.put32(patternPointer, static_cast<uint32_t>(b.size()));
  b.le16(5 + kRows - 1), b.le16(kRows), b.zeros(4);
  b.u8(0x81), b.u8(0x03), b.u8(60), b.u8(1); // channel 1, note C-5, sample 1
  b.u8(0);
  for (int row = 1; row < kRows; ++row)
    b.u8(0);

  b.put32(sampleData, static_cast<uint32_t>(b.size()));
  squareWave(b, false, false);
  return b.data;
}

std::vector<unsigned char> makeMtm() {
  Bytes b;
  b.text("MTM", 3);
  b.u8(0x10);
  b.text("lystrel test", 20);
  b.le16(1); // tracks stored
  b.u8(0);   // last pattern
  b.u8(0);   // last order
  b.le16(0); // comment length
  b.u8(1);   // samples
  b.u8(0);   // attributes
  b.u8(kRows);
  b.u8(1); // channels
  for (int c = 0; c < 32; ++c)
    b.u8(8);
  b.text("square", 22);
  b.le32(kSampleBytes), b.le32(0), b.le32(kSampleBytes);
  b.u8(0), b.u8(64), b.u8(0);
  b.zeros(128); // order 0 plays pattern 0
  for (int row = 0; row < kRows; ++row) {
    const bool note = row == 0;
    const unsigned pitch = 25, instrument = 1;
    b.u8(note ? (pitch << 2 | instrument >> 4) : 0);
    b.u8(note ? (instrument & 0xF) << 4 : 0);
    b.u8(0);
  }
  for (int c = 0; c < 32; ++c)
    b.le16(c == 0 ? 1 : 0);
  squareWave(b, true, false);
  return b.data;
}

} // namespace

std::vector<unsigned char> makeModule(ModuleKind kind) {
  switch (kind) {
  case ModuleKind::Mod:
    return makeMod();
  case ModuleKind::S3m:
    return makeS3m();
  case ModuleKind::Xm:
    return makeXm();
  case ModuleKind::It:
    return makeIt();
  case ModuleKind::Mtm:
    return makeMtm();
  }
  return {};
}

const char *moduleExtension(ModuleKind kind) {
  static constexpr const char *kExtensions[] = {"mod", "s3m", "xm", "it", "mtm"};
  return kExtensions[static_cast<int>(kind)];
}

} // namespace lyt::test
