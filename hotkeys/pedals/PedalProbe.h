// Which input devices are foot pedals, from the attributes the kernel shows in sysfs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct PedalIdentity {
  std::string name;
  std::vector<uint16_t> buttons; // the buttons among the key codes the device reports, ascending
};

// The pedal behind the device file `node` (such as "event5"), read under sysfsRoot ("/sys");
// nothing when it is not a known pedal.
std::optional<PedalIdentity> identifyPedal(const std::filesystem::path &sysfsRoot, const std::string &node);

// A known pedal: the VEC/Infinity pedal by its USB ids, or a device named as a foot pedal that has
// buttons and no letter keys (those that type letters are keyboards, and reach us as keys).
bool isKnownPedal(uint16_t vendor, uint16_t product, const std::string &name, const std::vector<uint16_t> &keys);

// The key codes set in a sysfs capability bitmap ("capabilities/key"): words of the machine's
// long, the highest first.
std::vector<uint16_t> keyCodesOfBitmap(const std::string &bitmap);

// The button codes among key codes (BTN_MISC up to KEY_OK, and BTN_TRIGGER_HAPPY on), in their order.
std::vector<uint16_t> buttonsAmong(const std::vector<uint16_t> &keys);
