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
  // The first instance: the lock, or null when another instance holds it, or when the lock file
  // cannot be opened, which `unusable` then names with the reason.
  static std::unique_ptr<SingleInstance> acquire(std::string &unusable);
  // A second instance: hands `path` (empty: only show the window) to the running one and waits
  // until it has been handled. False when no running instance answered.
  static bool handOff(const std::string &path);
  // Asks the running instance to run a command (1-24); the answer comes at once, or within
  // kCommandWaitMs, or is taken for none.
  enum class Answer { Taken, Busy, Silent, NoInstance };
  static constexpr int kCommandWaitMs = 2000;
  static Answer sendCommand(int command);

  ~SingleInstance() override;
  // Starts taking hand-offs; `handle` runs on this thread for each, in the order they came, once
  // setReady() has been called. Until then they wait, and so do their second instances.
  void listen(std::function<void(const std::string &path)> handle);
  // `handle` runs on this thread for each command that a second start sends, and says whether it
  // took it; it is answered at once. A command that comes while a hand-off is being handled (its
  // box open) is answered as busy without asking. Before setReady() commands wait with the
  // hand-offs.
  void onCommand(std::function<bool(int command)> handle) { handleCommand_ = std::move(handle); }
  void setReady();

  // The folder of the lock and the socket; empty when there is none that is safe to use.
  static std::string folder();
  // The fallback folder when it exists but is not the user's own with mode 0700, else empty.
  static std::string refusedFolder();

private:
  explicit SingleInstance(int lockFd) : lockFd_(lockFd) {}
  void answer();
  static char send(const std::string &message, int waitMs);
  void answerCommand(QLocalSocket *socket, int command, bool busy);
  void readRequest(QLocalSocket *socket);
  void handlePending();

  struct Request {
    QPointer<QLocalSocket> socket;
    std::string path;
  };
  int lockFd_;
  QLocalServer *server_ = nullptr;
  std::function<void(const std::string &)> handle_;
  std::function<bool(int)> handleCommand_;
  std::deque<Request> pending_;
  bool ready_ = false;
  bool handling_ = false;
};
