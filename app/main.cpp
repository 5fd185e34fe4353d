// Program entry: one instance per user, the main window and its dialogs, the message loop.
#include "AbsolutePath.h"
#include "CommandLine.h"
#include "EndRequests.h"
#include "GuardedApplication.h"
#include "Language.h"
#include "MessageBox.h"
#include "Program.h"
#include "SingleInstance.h"
#include "U_Main.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

// While the running instance starts it holds the lock but may not listen yet: a second start
// waits for it, or becomes the instance when the first one has gone. `handedOff` tells whether a
// second start's file reached the running instance.
std::unique_ptr<SingleInstance> becomeInstanceOrHandOff(const std::string &file, bool &handedOff,
                                                        std::string &unusableLock) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  handedOff = false;
  for (;;) {
    if (std::unique_ptr<SingleInstance> instance = SingleInstance::acquire(unusableLock))
      return instance;
    if (!unusableLock.empty())
      return nullptr;
    handedOff = SingleInstance::handOff(file);
    if (handedOff || std::chrono::steady_clock::now() > deadline)
      return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void refuse(const QString &text) {
  std::fprintf(stderr, "lystrel2: %s\n", text.toLocal8Bit().constData());
  showMessageBox(nullptr, text, QStringLiteral("Lystrel2"), BoxIcon::Error);
}

void refuseFolder(const std::string &folder) {
  refuse(QCoreApplication::translate("main", "%1 は自分専用のフォルダではないため使えません.")
             .arg(QString::fromLocal8Bit(folder.c_str())));
}

void refuseLock(const std::string &lock) {
  refuse(QCoreApplication::translate("main", "起動中かどうかを確かめるロックファイルを開けません: %1")
             .arg(QString::fromLocal8Bit(lock.c_str())));
}

// Said on the terminal, in the language installed with useLanguage().
void tell(const char *text) {
  std::fprintf(stderr, "lystrel2: %s\n", QCoreApplication::translate("main", text).toLocal8Bit().constData());
}

int sendCommand(int command) {
  switch (SingleInstance::sendCommand(command)) {
  case SingleInstance::Answer::Taken:
    return 0;
  case SingleInstance::Answer::Busy:
    tell(QT_TRANSLATE_NOOP("main", "プレーヤーはダイアログかメッセージを開いています. 閉じてからやり直して下さい."));
    return 3;
  case SingleInstance::Answer::Silent:
    tell(QT_TRANSLATE_NOOP("main", "起動中のプレーヤーが 2 秒以内に応答しませんでした."));
    return 1;
  case SingleInstance::Answer::NoInstance:
    break;
  }
  tell(QT_TRANSLATE_NOOP("main", "起動中のプレーヤーがありません. 先に起動して下さい."));
  return 1;
}

// --help, --version and --command end here, without a window, with the exit code. The command
// line is read again once the user's language is in place, for its texts.
int answerWithoutWindow(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  useLanguage(chosenLanguage());
  const CommandLine line = parseCommandLine(argc, argv);
  switch (line.action) {
  case CommandLine::Action::Print:
    std::fputs(line.text.c_str(), stdout);
    return 0;
  case CommandLine::Action::Refuse:
    std::fputs(line.text.c_str(), stderr);
    return line.exitCode;
  case CommandLine::Action::Command:
    return sendCommand(line.command);
  case CommandLine::Action::Start:
    break;
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  // The engine's sound library would take the termination signals for itself.
  setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
  const CommandLine line = parseCommandLine(argc, argv);
  if (line.action != CommandLine::Action::Start)
    return answerWithoutWindow(argc, argv);
  // The hot keys and always-on-top need X11; under Wayland this runs through XWayland.
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  const std::string file = line.file.empty() ? std::string() : absolutePath(line.file);
  if (const std::string refused = SingleInstance::refusedFolder(); !refused.empty()) {
    GuardedApplication app(argc, argv);
    useLanguage(chosenLanguage());
    refuseFolder(refused);
    return EXIT_FAILURE;
  }
  bool handedOff = false;
  std::string unusableLock;
  std::unique_ptr<SingleInstance> instance = becomeInstanceOrHandOff(file, handedOff, unusableLock);
  if (!unusableLock.empty()) {
    GuardedApplication app(argc, argv);
    useLanguage(chosenLanguage());
    refuseLock(unusableLock);
    return EXIT_FAILURE;
  }
  if (!instance) {
    if (handedOff)
      return 0;
    QCoreApplication app(argc, argv);
    useLanguage(chosenLanguage());
    tell(QT_TRANSLATE_NOOP("main", "起動中のプレーヤーが応答しませんでした."));
    return EXIT_FAILURE;
  }
  catchTerminationSignals();
  GuardedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lystrel2"));
  QApplication::setDesktopFileName(QStringLiteral("lystrel2"));
  useLanguage(chosenLanguage());
  // Hand-offs and commands that come while the window is being built wait, in order, until it is up.
  instance->listen([](const std::string &path) { frmMain->CopyDataReceived(path); });
  Program::runSentCommands(*instance);

  closeOnTerminationSignals();
  Program program(file);
  if (program.terminateRequested())
    return EXIT_FAILURE;
  if (endRequestedWhileStarting())
    return 0; // the settings are saved as the program closes
  instance->setReady();
  saveOnLogoutAndDisplayLoss();
  return QApplication::exec();
}
