// The keysym to virtual-key table, for the US and the Japanese (JIS) layouts.
#include "VirtualKeys.h"

namespace vk {
namespace {

struct Entry {
  uint32_t keysym;
  uint32_t code;
};

// Keys whose code does not depend on the layout.
constexpr Entry kFixed[] = {
    {0x0020, 0x20}, // space
    {0xff08, 0x08}, // BackSpace
    {0xff09, 0x09}, // Tab
    {0xff0d, 0x0D}, // Return
    {0xff13, 0x13}, // Pause
    {0xff14, 0x91}, // Scroll_Lock
    {0xff1b, 0x1B}, // Escape
    {0xff50, 0x24}, // Home
    {0xff51, 0x25}, // Left
    {0xff52, 0x26}, // Up
    {0xff53, 0x27}, // Right
    {0xff54, 0x28}, // Down
    {0xff55, 0x21}, // Prior
    {0xff56, 0x22}, // Next
    {0xff57, 0x23}, // End
    {0xff61, 0x2C}, // Print
    {0xff63, 0x2D}, // Insert
    {0xffff, 0x2E}, // Delete
    {0xff67, 0x5D}, // Menu
    {0xff7f, 0x90}, // Num_Lock
    {0xffe1, Shift},
    {0xffe2, Shift},
    {0xffe3, Control},
    {0xffe4, Control},
    {0xffe9, Alt},
    {0xffea, Alt},
    {0xffe7, Alt},
    {0xffe8, Alt},
    {0xffeb, 0x5B},
    {0xffec, 0x5C}, // Super_L, Super_R
    {0xffe5, 0xF0}, // Caps_Lock: the 英数 key of a JIS keyboard
    {0xff30, 0xF0}, // Eisu_toggle
    {0xff22, 0x1D}, // Muhenkan
    {0xff23, 0x1C}, // Henkan_Mode
    {0xff27, 0xF2}, // Hiragana_Katakana
    {0xff2a, 0xF4}, // Zenkaku_Hankaku
    // Keypad without Num Lock.
    {0xff95, 0x24},
    {0xff96, 0x25},
    {0xff97, 0x26},
    {0xff98, 0x27},
    {0xff99, 0x28},
    {0xff9a, 0x21},
    {0xff9b, 0x22},
    {0xff9c, 0x23},
    {0xff9d, 0x0C},
    {0xff9e, 0x2D},
    {0xff9f, 0x2E},
    {0xff8d, 0x0D}, // KP_Enter
    {0xffaa, 0x6A},
    {0xffab, 0x6B},
    {0xffac, 0x6C},
    {0xffad, 0x6D},
    {0xffae, 0x6E},
    {0xffaf, 0x6F},
    // Punctuation whose code does not depend on the shifted character.
    {0x002c, 0xBC}, // comma
    {0x002e, 0xBE}, // period
    {0x002f, 0xBF}, // slash
    {0x003a, 0xBA}, // colon (JIS ":*")
    {0x003d, 0xBB}, // equal (US "=+")
    {0x002d, 0xBD}, // minus
    {0x0027, 0xDE}, // apostrophe (US)
    {0x005e, 0xDE}, // asciicircum (JIS "^~")
    {0x0060, 0xC0}, // grave (US)
    {0x0040, 0xC0}, // at (JIS "@`")
    {0x005b, 0xDB}, // bracketleft
    {0x005d, 0xDD}, // bracketright
    {0x00a5, 0xDC}, // yen
};

constexpr uint32_t kSemicolon = 0x003b, kPlus = 0x002b, kBackslash = 0x005c, kUnderscore = 0x005f;
constexpr uint32_t kJisRoKeycode = 97; // AB11, the "\_" key left of the right Shift
// The evdev keys F13..F24. Layouts give them other keysyms (XF86Tools, XF86Launch5 ...), so they
// are known by their place: pedals and keyboards that send them then bind like any function key.
constexpr uint32_t kF13Keycode = 191, kF24Keycode = 202;

} // namespace

uint32_t fromKeysyms(uint32_t unshifted, uint32_t shifted, uint32_t keycode) {
  if (keycode >= kF13Keycode && keycode <= kF24Keycode)
    return 0x7C + (keycode - kF13Keycode);
  if (unshifted >= 'a' && unshifted <= 'z')
    return unshifted - 'a' + 'A';
  if ((unshifted >= 'A' && unshifted <= 'Z') || (unshifted >= '0' && unshifted <= '9'))
    return unshifted;
  if (unshifted >= 0xffbe && unshifted <= 0xffd5) // F1..F24
    return 0x70 + (unshifted - 0xffbe);
  if (unshifted >= 0xffb0 && unshifted <= 0xffb9) // KP_0..KP_9
    return 0x60 + (unshifted - 0xffb0);
  if (unshifted == kSemicolon) // US ";:" is OEM_1, JIS ";+" is OEM_PLUS
    return shifted == kPlus ? 0xBB : 0xBA;
  if (unshifted == kBackslash) // JIS "\_" (ro) is OEM_102; "\|" and "¥|" are OEM_5
    return shifted == kUnderscore || keycode == kJisRoKeycode ? 0xE2 : 0xDC;
  for (const Entry &e : kFixed)
    if (e.keysym == unshifted)
      return e.code;
  return 0;
}

int32_t modifierFlagOf(uint32_t virtualKey) {
  switch (virtualKey) {
  case Shift:
    return 4;
  case Control:
    return 8;
  case Alt:
    return 16;
  default:
    return 0;
  }
}

} // namespace vk
