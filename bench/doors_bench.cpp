// Door-to-audible latency of the doors besides the hook: from the portal's Activated signal, and
// from starting `lystrel2 --command play-stop`, to the first frame of the change handed to the
// sound device. A private session bus and the stand-in portal of the tests serve the desktop.
#include "CommonTypes.h"
#include "Audible.h"
#include "Bass.h"
#include "FakePortal.h"
#include "GuardedApplication.h"
#include "PrivateBus.h"
#include "Program.h"
#include "SingleInstance.h"
#include "SpeedButton.h"
#include "U_Main.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QTest>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kActivations = 200, kCommands = 40;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// `lystrel2 --command NAME`, or `lystrel2 --version` without a name.
void runProgram(const char *program, const char *command) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (command)
      execl(program, program, "--command", command, nullptr);
    freopen("/dev/null", "w", stdout);
    execl(program, program, "--version", nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

} // namespace

int main(int argc, char **argv) {
  const pid_t bus = startPrivateSessionBus();
  if (bus < 0) {
    std::printf("doors_bench needs dbus-daemon (tools/install-deps.sh)\n");
    return 1;
  }
  setenv("XDG_SESSION_TYPE", "wayland", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string runtime = lyt::test::scratchPath("doors-bench-run");
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("LYSTREL2_INI", lyt::test::scratchPath("doors-bench.ini").c_str(), 1);
  GuardedApplication app(argc, argv);
  const std::string path = lyt::test::scratchPath("doors-bench.wav");
  lyt::test::writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, lyt::test::noise(120, 44100, 2, 0.2f), 44100, 2);

  FakePortal portal;
  std::string unusableLock;
  auto instance = SingleInstance::acquire(unusableLock);
  auto program = std::make_unique<Program>(path);
  instance->listen([](const std::string &) {});
  Program::runSentCommands(*instance);
  instance->setReady(); // the window is up: requests are answered from now on
  KeyMap.slot(2) = {0, 0x71, 2};
  Settings.FfRwSec = 0;
  frmMain->RebindDesktopShortcuts();
  if (!QTest::qWaitFor([&] { return portal.sessionsCreated == 2 && frmMain->DesktopShortcuts->bound(); })) {
    std::printf("the portal session did not start\n");
    return 1;
  }
  frmMain->SpdBtn_PlayStop->setDown(true);
  frmMain->SpdBtn_PlayStopClick();

  std::vector<double> activated, commanded, started;
  std::thread user([&] {
    const DWORD output = frmMain->OutputChannel();
    // Fast forward by 0 s while playing: a seek to the bar's second, heard at once.
    for (int i = 0; i < kActivations; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(20000 + 1300 * (i % 11)));
      activated.push_back(lyt::bench::msUntilHeard(output, [&] { portal.activate(QStringLiteral("slot-2")); }));
      portal.deactivate(QStringLiteral("slot-2"));
    }
    // Stop, then time each start.
    const char *self = LYT_PROGRAM;
    runProgram(self, "play-stop");
    for (int i = 0; i < kCommands; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      commanded.push_back(lyt::bench::msUntilHeard(output, [&] { runProgram(self, "play-stop"); }));
      runProgram(self, "play-stop");
      const int64_t before = nowNs();
      runProgram(self, nullptr);
      started.push_back((nowNs() - before) / 1e6);
    }
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  QApplication::exec();
  user.join();
  program.reset();
  instance.reset();
  stopPrivateSessionBus(bus);
  lyt::bench::printLatencies("Portal Activated to audible", activated, kActivations);
  lyt::bench::printLatencies("lystrel2 --command play-stop to audible", commanded, kCommands);
  lyt::bench::printLatencies("lystrel2 --version, the program's start and end alone, for comparison", started, kCommands);
  return 0;
}
