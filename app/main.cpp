// Program entry: one instance per user, the main window and its dialogs, the message loop.
#include "AbsolutePath.h"
#include "GuardedApplication.h"
#include "MessageBox.h"
#include "Program.h"
#include "SingleInstance.h"
#include "U_Main.h"

#include <QSocketNotifier>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(gSignalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP (the end of a session) are noted from the first moment and close the
// window as the user would once it is up, so the settings are saved.
void catchTerminationSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
    return;
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool gEndRequestedWhileStarting = false;

// Once the window is up it is closed; while it is being built, the program ends as soon as the
// start-up is through, and a box of the start-up that waits for the user is closed.
void closeOnTerminationSignals() {
  if (gSignalPipe[0] < 0)
    return;
  auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char byte;
    [[maybe_unused]] const ssize_t ignored = ::read(gSignalPipe[0], &byte, 1);
    if (frmMain && frmMain->StartUpFinished()) {
      frmMain->close();
      return;
    }
    gEndRequestedWhileStarting = true;
    if (QWidget *box = QApplication::activeModalWidget())
      box->close();
  });
}

// Qt ends the process with exit() when the X server goes away: the settings are saved then with
// what the window knew before, and a failure can only be told on the terminal.
void saveWhenTheDisplayIsLost() {
  std::atexit([] {
    if (!frmMain)
      return;
    setMessageBoxRecorder([](const ShownBox &box) {
      std::fprintf(stderr, "lystrel2: %s\n", box.text.toLocal8Bit().constData());
    });
    frmMain->SaveSettings();
  });
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, frmMain, [] { frmMain->SaveSettings(); });
}

// While the running instance starts it holds the lock but may not listen yet: a second start
// waits for it, or becomes the instance when the first one has gone. `handedOff` tells whether a
// second start's file reached the running instance.
std::unique_ptr<SingleInstance> becomeInstanceOrHandOff(const std::string &file, bool &handedOff) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  handedOff = false;
  for (;;) {
    if (std::unique_ptr<SingleInstance> instance = SingleInstance::acquire())
      return instance;
    handedOff = SingleInstance::handOff(file);
    if (handedOff || std::chrono::steady_clock::now() > deadline)
      return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void refuseFolder(const std::string &folder) {
  const QString text = QStringLiteral("%1 は自分専用のフォルダではないため使えません.")
                           .arg(QString::fromLocal8Bit(folder.c_str()));
  std::fprintf(stderr, "lystrel2: %s\n", text.toLocal8Bit().constData());
  showMessageBox(nullptr, text, QStringLiteral("Lystrel2"), BoxIcon::Error);
}

} // namespace

int main(int argc, char **argv) {
  // The engine's sound library would take the termination signals for itself.
  setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
  // The hot keys and always-on-top need X11; under Wayland this runs through XWayland.
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  const std::string file = argc > 1 ? absolutePath(argv[1]) : "";
  if (const std::string refused = SingleInstance::refusedFolder(); !refused.empty()) {
    GuardedApplication app(argc, argv);
    refuseFolder(refused);
    return EXIT_FAILURE;
  }
  bool handedOff = false;
  std::unique_ptr<SingleInstance> instance = becomeInstanceOrHandOff(file, handedOff);
  if (!instance) {
    if (!handedOff)
      std::fprintf(stderr, "lystrel2: the running instance did not answer.\n");
    return handedOff ? 0 : EXIT_FAILURE;
  }
  catchTerminationSignals();
  GuardedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lystrel2"));
  // Hand-offs that come while the window is being built wait, in order, until it is up.
  instance->listen([](const std::string &path) { frmMain->CopyDataReceived(path); });

  closeOnTerminationSignals();
  Program program(file);
  if (program.terminateRequested())
    return EXIT_FAILURE;
  if (gEndRequestedWhileStarting)
    return 0; // the settings are saved as the program closes
  instance->setReady();
  saveWhenTheDisplayIsLost();
  return QApplication::exec();
}
