// One running instance per user: a lock file, and a Unix socket through which a second start
// hands over its file and waits until the running instance has handled it.
//
// Both live in $XDG_RUNTIME_DIR/lystrel2, or in /tmp/lystrel2-UID when that is unset; the folder
// is the user's own with mode 0700, and the running instance answers only peers of the same user.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QLocalServer;

class SingleInstance : public QObject {
  Q_OBJECT
public:
  // The first instance: the lock, or null when another instance holds it.
  static std::unique_ptr<SingleInstance> acquire();
  // A second instance: hands `path` (empty: only show the window) to the running one and waits
  // until it has been handled. False when no running instance answered.
  static bool handOff(const std::string &path);
  // Asks the running instance to run a command (1-22). False when no running instance answered.
  static bool sendCommand(int command);

  ~SingleInstance() override;
  // Starts answering second instances; `handle` runs on this thread for each hand-off.
  void listen(std::function<void(const std::string &path)> handle);
  // `handle` runs on this thread for each command that a second start sends; it is answered once
  // `handle` returns.
  void onCommand(std::function<void(int command)> handle) { handleCommand_ = std::move(handle); }

  static std::string folder();

private:
  explicit SingleInstance(int lockFd) : lockFd_(lockFd) {}
  void answer();
  static bool send(const std::string &message);

  int lockFd_;
  QLocalServer *server_ = nullptr;
  std::function<void(const std::string &)> handle_;
  std::function<void(int)> handleCommand_;
};
