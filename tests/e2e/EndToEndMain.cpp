// GoogleTest main for the program under X: a session bus of the tests' own, on which the program
// offers its media-player interface and nothing of the user's desktop is reached.
#include "PrivateBus.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv) {
  const pid_t bus = startPrivateSessionBus();
  if (bus < 0) {
    std::fprintf(stderr, "dbus-daemon --session could not be started (tools/install-deps.sh installs it)\n");
    return 1;
  }
  int result = 1;
  {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  stopPrivateSessionBus(bus);
  return result;
}
