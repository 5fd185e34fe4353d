#include "PedalProbe.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr uint16_t kVecVendor = 0x05f3, kVecProduct = 0x00ff;
const char *const kPedalNames[] = {"Footpedal", "Foot Pedal", "FootSwitch"};
constexpr uint16_t kLetterKeys[] = {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O,
                                    KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K,
                                    KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M};

std::string firstLine(const std::filesystem::path &file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

uint16_t hexAttribute(const std::filesystem::path &file) {
  try {
    return static_cast<uint16_t>(std::stoul(firstLine(file), nullptr, 16));
  } catch (const std::exception &) {
    return 0;
  }
}

bool isButton(uint16_t code) {
  return (code >= BTN_MISC && code < KEY_OK) || code >= BTN_TRIGGER_HAPPY;
}

bool hasLetters(const std::vector<uint16_t> &keys) {
  return std::any_of(std::begin(kLetterKeys), std::end(kLetterKeys),
                     [&](uint16_t letter) { return std::binary_search(keys.begin(), keys.end(), letter); });
}

} // namespace

std::vector<uint16_t> keyCodesOfBitmap(const std::string &bitmap) {
  std::vector<std::string> words;
  std::istringstream in(bitmap);
  for (std::string word; in >> word;)
    words.push_back(word);
  std::vector<uint16_t> codes;
  constexpr unsigned kBits = sizeof(unsigned long) * 8;
  for (size_t w = 0; w < words.size(); ++w) {
    unsigned long bits = 0;
    try {
      bits = std::stoul(words[words.size() - 1 - w], nullptr, 16);
    } catch (const std::exception &) {
      return {};
    }
    for (unsigned b = 0; b < kBits; ++b)
      if (bits & (1ul << b))
        codes.push_back(static_cast<uint16_t>(w * kBits + b));
  }
  return codes;
}

std::vector<uint16_t> buttonsAmong(const std::vector<uint16_t> &keys) {
  std::vector<uint16_t> buttons;
  std::copy_if(keys.begin(), keys.end(), std::back_inserter(buttons), isButton);
  return buttons;
}

bool isKnownPedal(uint16_t vendor, uint16_t product, const std::string &name, const std::vector<uint16_t> &keys) {
  if (keys.empty())
    return false;
  if (vendor == kVecVendor && product == kVecProduct)
    return true;
  const bool named = std::any_of(std::begin(kPedalNames), std::end(kPedalNames),
                                 [&](const char *n) { return name.find(n) != std::string::npos; });
  return named && !buttonsAmong(keys).empty() && !hasLetters(keys);
}

std::optional<PedalIdentity> identifyPedal(const std::filesystem::path &sysfsRoot, const std::string &node) {
  const std::filesystem::path device = sysfsRoot / "class" / "input" / node / "device";
  const std::string name = firstLine(device / "name");
  const std::vector<uint16_t> keys = keyCodesOfBitmap(firstLine(device / "capabilities" / "key"));
  if (!isKnownPedal(hexAttribute(device / "id" / "vendor"), hexAttribute(device / "id" / "product"), name, keys))
    return std::nullopt;
  return PedalIdentity{name, buttonsAmong(keys)};
}
