// The Windows virtual-key codes that hot keys are stored as, from X keysyms. Shared by the hook
// library and the key-binding editor, so both give the same code for the same key.
#pragma once

#include <cstdint>

namespace vk {

constexpr uint32_t Shift = 0x10;
constexpr uint32_t Control = 0x11;
constexpr uint32_t Alt = 0x12;

// `unshifted` and `shifted` are the key's keysyms without and with Shift (the first two columns of
// the keyboard map); `keycode` tells apart the two backslash keys of a JIS keyboard. 0 when the
// key has no code.
uint32_t fromKeysyms(uint32_t unshifted, uint32_t shifted, uint32_t keycode);

// The modifier flag (4 Shift, 8 Ctrl, 16 Alt) that a virtual-key code itself stands for, or 0.
int32_t modifierFlagOf(uint32_t virtualKey);

} // namespace vk
