// The names of keys and key combinations, as the key-binding editor shows them.
#pragma once

#include <QString>

#include <cstdint>

// The commands' names in the key-binding editor's list, by command id - 1.
QString functionName(int index);

// The name of a virtual-key code: the 89 named keys, then readable names for the keys that foot
// pedals and extended keyboards send (F13-F24, Pause, NumLock, keypad operators, media keys).
// Empty for a key with no name.
QString keyName(uint32_t virtualKey);
// Whether the key is one of the 89 keys of the name table.
bool inKeyNameTable(uint32_t virtualKey);
// "Shift+Ctrl+Alt+" as held, then the key's name; a modifier key alone is just its name.
QString bindingName(int32_t modifiers, uint32_t virtualKey);
