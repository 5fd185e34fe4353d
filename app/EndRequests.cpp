// Termination signals through a socket pair into the event loop, and the saves at logout and
// when the X server goes away.
#include "EndRequests.h"

#include "MessageBox.h"
#include "U_Main.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

bool gEndRequestedWhileStarting = false;

// From a termination signal or the loss of the display on, nobody may be there to close a box:
// what a box would say goes to standard error, which the session's journal keeps.
void tellBoxesOnStandardError() {
  setMessageBoxRecorder([](const ShownBox &box) {
    std::fprintf(stderr, "lystrel2: %s\n", box.text.toLocal8Bit().constData());
  });
}

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

void catchTerminationSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
    return;
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void closeOnTerminationSignals() {
  if (gSignalPipe[0] < 0)
    return;
  auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char byte;
    [[maybe_unused]] const ssize_t ignored = ::read(gSignalPipe[0], &byte, 1);
    tellBoxesOnStandardError();
    if (frmMain && frmMain->StartUpFinished()) {
      frmMain->close();
      return;
    }
    gEndRequestedWhileStarting = true;
    if (QWidget *box = QApplication::activeModalWidget())
      box->close();
  });
}

bool endRequestedWhileStarting() {
  return gEndRequestedWhileStarting;
}

// Qt ends the process with exit() when the X server goes away: the settings are saved then.
void saveOnLogoutAndDisplayLoss() {
  std::atexit([] {
    if (!frmMain)
      return;
    tellBoxesOnStandardError();
    frmMain->SaveSettings();
  });
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, frmMain, [] { frmMain->SaveSettings(); });
}
