// The desktop's active window, read and asked back through EWMH (_NET_ACTIVE_WINDOW) on X11.
#pragma once

// The active window's X id, 0 when unknown (no X11, or no window manager that says).
unsigned long foregroundWindow();
// Asks the window manager to activate `window`; nothing without X11 or for 0.
void setForegroundWindow(unsigned long window);
