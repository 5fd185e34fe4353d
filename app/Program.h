// The running program: the main window started as at a real start, its three dialogs, and the
// filter that hands the hook library's messages to the window.
#pragma once

#include "WindowMessages.h"

class QWidget;
class SingleInstance;

#include <memory>
#include <string>

class Program {
public:
  // Creates and starts the main window (FormCreate, with `commandLineFile` or the remembered
  // file), then the dialogs, and shows the window unless a fatal start-up error asked the program
  // to end (terminateRequested()). Needs the application object.
  explicit Program(const std::string &commandLineFile);
  bool terminateRequested() const;
  // Runs FormDestroy when it has not run yet, and releases the window.
  ~Program();
  Program(const Program &) = delete;
  Program &operator=(const Program &) = delete;

  // Runs the commands that `lystrel2 --command` sends through the instance's socket.
  static void runSentCommands(SingleInstance &instance);
  // The window's three dialogs: the settings dialog with its key tab, the about box and the
  // counter entry.
  static void createDialogs(QWidget *window);

private:
  std::unique_ptr<WindowMessageFilter> filter_;
};
