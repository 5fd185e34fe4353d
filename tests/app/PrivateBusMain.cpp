// GoogleTest main for the desktop doors: a private session bus of its own (dbus-daemon), a Wayland
// session as far as the program can tell, an offscreen application.
#include "GuardedApplication.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Starts the bus and returns its process; its address is the first line it prints.
pid_t startSessionBus() {
  int out[2];
  if (pipe(out) != 0)
    return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
    execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address", nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string address;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n')
    address += c;
  close(out[0]);
  if (address.empty())
    return -1;
  setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  return pid;
}

} // namespace

int main(int argc, char **argv) {
  const pid_t bus = startSessionBus();
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
  kill(bus, SIGTERM);
  waitpid(bus, nullptr, 0);
  return result;
}
