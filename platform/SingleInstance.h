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

  ~SingleInstance() override;
  // Starts answering second instances; `handle` runs on this thread for each hand-off.
  void listen(std::function<void(const std::string &path)> handle);

  static std::string folder();

private:
  explicit SingleInstance(int lockFd) : lockFd_(lockFd) {}
  void answer();

  int lockFd_;
  QLocalServer *server_ = nullptr;
  std::function<void(const std::string &)> handle_;
};
