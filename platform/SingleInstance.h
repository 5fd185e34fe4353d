// One running instance per user: a lock file, and a Unix socket through which a second start
// hands over its file and waits until the running instance has handled it.
//
// Both live in $XDG_RUNTIME_DIR/lystrel2, or in ${TMPDIR:-/tmp}/lystrel2-UID when that is unset
// or would make the socket's path too long; the folder is the user's own with mode 0700 (another
// folder is refused, never shared), and the running instance answers only peers of the same user.
#pragma once

#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;
class QLocalSocket;

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
  // Starts taking hand-offs; `handle` runs on this thread for each, in the order they came, once
  // setReady() has been called. Until then they wait, and so do their second instances.
  void listen(std::function<void(const std::string &path)> handle);
  // `handle` runs on this thread for each command that a second start sends; it is answered once
  // `handle` returns.
  void onCommand(std::function<void(int command)> handle) { handleCommand_ = std::move(handle); }
  void setReady();

  // The folder of the lock and the socket; empty when there is none that is safe to use.
  static std::string folder();
  // The fallback folder when it exists but is not the user's own with mode 0700, else empty.
  static std::string refusedFolder();

private:
  explicit SingleInstance(int lockFd) : lockFd_(lockFd) {}
  void answer();
  static bool send(const std::string &message);
  void readRequest(QLocalSocket *socket);
  void handlePending();

  struct Request {
    QPointer<QLocalSocket> socket;
    std::string path;
  };
  int lockFd_;
  QLocalServer *server_ = nullptr;
  std::function<void(const std::string &)> handle_;
  std::function<void(int)> handleCommand_;
  std::deque<Request> pending_;
  bool ready_ = false;
  bool handling_ = false;
};
