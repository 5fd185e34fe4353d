// Key combinations in the trigger syntax of the desktop's shortcut service ("CTRL+SHIFT+F9").
#pragma once

#include <QString>

#include <cstdint>

// The modifiers (4 Shift, 8 Ctrl, 16 Alt) as CTRL, ALT, SHIFT, then the key's X keysym name; a
// modifier key alone is its keysym name only. Empty for a key that has no keysym here.
QString portalTrigger(int32_t modifiers, uint32_t virtualKey);
