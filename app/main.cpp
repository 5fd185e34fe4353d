// Program entry: one instance per user, the main window and its dialogs, the message loop.
#include "AudioProp.h"
#include "GuardedApplication.h"
#include "SetCounter.h"
#include "SingleInstance.h"
#include "U_Main.h"
#include "WindowMessages.h"
#include "about.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(gSignalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT close the window as the user would, so the settings are saved.
void closeOnTerminationSignals(TfrmMain *window) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
    return;
  auto *notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    char byte;
    [[maybe_unused]] const ssize_t ignored = ::read(gSignalPipe[0], &byte, 1);
    window->close();
  });
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char **argv) {
  const std::string file = argc > 1 ? argv[1] : "";
  std::unique_ptr<SingleInstance> instance = SingleInstance::acquire();
  if (!instance) {
    SingleInstance::handOff(file);
    return 0;
  }
  // The hot keys and always-on-top need X11; under Wayland this runs through XWayland.
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  GuardedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lystrel2"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lystrel2"));

  frmMain = new TfrmMain;
  WindowMessageFilter filter([](uint32_t message, uint32_t wParam, uint32_t lParam) {
    frmMain->WndProc(message, wParam, static_cast<int32_t>(lParam));
  });
  app.installNativeEventFilter(&filter);
  try {
    frmMain->FormCreate(file);
  } catch (const std::exception &e) {
    showHandlerError(QString::fromUtf8(e.what()));
  }
  frmAudioProp = new TfrmAudioProp(frmMain);
  frmAboutBox = new TfrmAboutBox(frmMain);
  frmSetCounter = new TfrmSetCounter(frmMain);
  frmMain->show();
  instance->listen([](const std::string &path) { frmMain->CopyDataReceived(path); });
  closeOnTerminationSignals(frmMain);

  const int status = QApplication::exec();
  frmMain->FormDestroy();
  app.removeNativeEventFilter(&filter);
  delete frmMain;
  return status;
}
