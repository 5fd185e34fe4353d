// Starting and stopping the private session bus.
#include "PrivateBus.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// The daemon prints its address as its first line once it listens.
pid_t startPrivateSessionBus() {
  int out[2];
  if (pipe(out) != 0)
    return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
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

void stopPrivateSessionBus(pid_t bus) {
  kill(bus, SIGTERM);
  waitpid(bus, nullptr, 0);
}
