// Decoding UTF-16 with a byte-order mark into UTF-8.
#include "Utf16Text.h"

#include <cstdint>

namespace {

void appendUtf8(std::string &out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool isHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string utf8FromUtf16WithMark(const std::string &bytes) {
  const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])); };
  if (bytes.size() < 2)
    return bytes;
  const bool little = byte(0) == 0xFF && byte(1) == 0xFE;
  const bool big = byte(0) == 0xFE && byte(1) == 0xFF;
  if (!little && !big)
    return bytes;
  const auto unitAt = [&](size_t i) { return little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1); };
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    uint32_t c = unitAt(i);
    if (isHighSurrogate(c) && i + 3 < bytes.size() && isLowSurrogate(unitAt(i + 2))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
      i += 2;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      c = 0xFFFD;
    }
    appendUtf8(text, c);
  }
  return text;
}
