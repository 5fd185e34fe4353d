// The virtual-key code of a Qt key event: from the X keyboard map, exactly as the hook library
// computes it, or from Qt's key code where there is no X connection.
#pragma once

#include <cstdint>

class QKeyEvent;

uint32_t virtualKeyOf(const QKeyEvent *event);
// Shift 4, Ctrl 8, Alt 16 held at the event, the key's own flag included when it is a modifier.
int32_t modifierFlagsOf(const QKeyEvent *event, uint32_t virtualKey);
