// GoogleTest main for the desktop doors: a private session bus, a Wayland session as far as the
// program can tell, an offscreen application.
#include "GuardedApplication.h"
#include "PrivateBus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  const pid_t bus = startPrivateSessionBus();
  if (bus < 0) {
    std::fprintf(stderr, "dbus-daemon --session could not be started (tools/install-deps.sh installs it)\n");
    return 1;
  }
  setenv("XDG_SESSION_TYPE", "wayland", 1);
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  int result = 1;
  {
    GuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  stopPrivateSessionBus(bus);
  return result;
}
