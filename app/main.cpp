// Program entry: one instance per user, the main window and its dialogs, the message loop.
#include "CommandLine.h"
#include "GuardedApplication.h"
#include "Language.h"
#include "Program.h"
#include "SingleInstance.h"
#include "U_Main.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
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

// --help, --version and --command end here, without a window, with the exit code; -1 to go on.
int answerWithoutWindow(const CommandLine &line) {
  switch (line.action) {
  case CommandLine::Action::Print:
    std::fputs(line.text.c_str(), stdout);
    return 0;
  case CommandLine::Action::Refuse:
    std::fputs(line.text.c_str(), stderr);
    return line.exitCode;
  case CommandLine::Action::Command:
    if (SingleInstance::sendCommand(line.command))
      return 0;
    std::fputs("lystrel2: no running player answered; start it first.\n", stderr);
    return 1;
  case CommandLine::Action::Start:
    break;
  }
  return -1;
}

} // namespace

int main(int argc, char **argv) {
  const CommandLine line = parseCommandLine(argc, argv);
  if (const int code = answerWithoutWindow(line); code >= 0)
    return code;
  const std::string &file = line.file;
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
  QApplication::setDesktopFileName(QStringLiteral("lystrel2"));
  useLanguage(chosenLanguage());

  Program program(file);
  instance->listen([](const std::string &path) { frmMain->CopyDataReceived(path); });
  Program::runSentCommands(*instance);
  closeOnTerminationSignals(frmMain);
  return QApplication::exec();
}
