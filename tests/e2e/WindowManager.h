// The window manager of a user's desktop (openbox) for the time of a test or a benchmark, and what
// the root window says about it.
#pragma once

#include <xcb/xcb.h>

#include <sys/types.h>

namespace lyt::test {

// The window a property of the root names, or 0.
xcb_window_t namedOnRoot(xcb_connection_t *x, const char *property);
// Whether a window manager runs: it names a window of its own on the root, which is gone when the
// manager has ended.
bool managed(xcb_connection_t *x);
// The same, on a connection of its own.
bool windowManagerRunning();

// Starts openbox on $DISPLAY and waits until it manages the screen; ends it when gone.
class WindowManager {
public:
  WindowManager();
  ~WindowManager();
  WindowManager(const WindowManager &) = delete;
  WindowManager &operator=(const WindowManager &) = delete;
  bool running() const { return running_; }

private:
  pid_t pid_ = -1;
  bool running_ = false;
};

} // namespace lyt::test
