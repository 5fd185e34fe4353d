// The instance lock and the hand-off socket.
#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kDone = 'K';
constexpr char kBusy = 'B';
constexpr char kNoReply = 0;

constexpr char kSocketName[] = "/instance.sock";

bool ownPrivateFolder(const std::string &dir) {
  mkdir(dir.c_str(), 0700);
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 0077) == 0;
}

bool socketPathFits(const std::string &dir) {
  return dir.size() + sizeof kSocketName <= sizeof sockaddr_un::sun_path;
}

std::string fallbackFolder() {
  const char *tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/lystrel2-" + std::to_string(getuid());
}

std::string runtimeFolder() {
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime)
    return {};
  const std::string dir = std::string(runtime) + "/lystrel2";
  return socketPathFits(dir) && ownPrivateFolder(dir) ? dir : std::string();
}

std::string socketPath() {
  return SingleInstance::folder() + kSocketName;
}

bool writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

} // namespace

std::string SingleInstance::folder() {
  if (std::string dir = runtimeFolder(); !dir.empty())
    return dir;
  const std::string dir = fallbackFolder();
  return socketPathFits(dir) && ownPrivateFolder(dir) ? dir : std::string();
}

std::string SingleInstance::refusedFolder() {
  if (!runtimeFolder().empty())
    return {};
  const std::string dir = fallbackFolder();
  return socketPathFits(dir) && ownPrivateFolder(dir) ? std::string() : dir;
}

std::unique_ptr<SingleInstance> SingleInstance::acquire(std::string &unusable) {
  unusable.clear();
  const std::string dir = folder();
  if (dir.empty())
    return std::unique_ptr<SingleInstance>(new SingleInstance(-1)); // no safe place: run alone
  const std::string lock = dir + "/instance.lock";
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    // Without the lock two windows would overwrite each other's settings.
    unusable = lock + ": " + std::strerror(errno);
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<SingleInstance>(new SingleInstance(fd));
}

// A path never holds a NUL byte, so a message that starts with one is a command: NUL, then its id.
bool SingleInstance::handOff(const std::string &path) {
  return send(path, -1) == kDone;
}

SingleInstance::Answer SingleInstance::sendCommand(int command) {
  switch (send(std::string{'\0', static_cast<char>(command)}, kCommandWaitMs)) {
  case kDone:
    return Answer::Taken;
  case kBusy:
    return Answer::Busy;
  case kNoReply:
    return Answer::NoInstance;
  default:
    return Answer::Silent;
  }
}

namespace {

// The running instance's one-byte reply; waitMs < 0 waits as long as it takes. -1 when it
// connected but gave no reply in time.
char readReply(int fd, int waitMs) {
  pollfd ready{fd, POLLIN, 0};
  int polled;
  while ((polled = ::poll(&ready, 1, waitMs)) < 0 && errno == EINTR) {
  }
  char reply = kNoReply;
  if (polled <= 0 || ::read(fd, &reply, 1) != 1)
    return -1;
  return reply;
}

} // namespace

// The reply, kNoReply when no instance listens, -1 when one took the request but did not answer.
char SingleInstance::send(const std::string &path, int waitMs) {
  const std::string address = socketPath();
  sockaddr_un peer{};
  peer.sun_family = AF_UNIX;
  if (address.size() >= sizeof peer.sun_path)
    return kNoReply;
  std::memcpy(peer.sun_path, address.c_str(), address.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return kNoReply;
  char reply = kNoReply;
  if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0) {
    const uint32_t length = static_cast<uint32_t>(path.size());
    const bool sent = writeAll(fd, reinterpret_cast<const char *>(&length), sizeof length) &&
                      writeAll(fd, path.data(), path.size());
    reply = sent ? readReply(fd, waitMs) : char(-1);
  }
  ::close(fd);
  return reply;
}

SingleInstance::~SingleInstance() {
  if (server_)
    server_->close();
  if (lockFd_ >= 0)
    ::close(lockFd_);
}

void SingleInstance::listen(std::function<void(const std::string &path)> handle) {
  handle_ = std::move(handle);
  if (lockFd_ < 0)
    return;
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = QString::fromLocal8Bit(socketPath().c_str());
  QLocalServer::removeServer(name); // ours to remove: we hold the lock
  if (!server_->listen(name))
    return;
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

void SingleInstance::setReady() {
  ready_ = true;
  handlePending();
}

void SingleInstance::answer() {
  while (QLocalSocket *socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) !=
            0 ||
        peer.uid != getuid()) {
      socket->abort();
      continue;
    }
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { readRequest(socket); });
    readRequest(socket); // what came with the connection
  }
}

// A request is a 32-bit length and that many bytes of path, or of a NUL and a command number (a
// path never holds a NUL).
void SingleInstance::readRequest(QLocalSocket *socket) {
  if (socket->property("taken").toBool())
    return;
  const QByteArray head = socket->peek(4);
  if (head.size() < 4)
    return;
  uint32_t length = 0;
  std::memcpy(&length, head.constData(), 4);
  if (length > 1u << 20) {
    socket->abort();
    return;
  }
  if (socket->bytesAvailable() < 4 + static_cast<qint64>(length))
    return;
  socket->read(4);
  const QByteArray path = socket->read(length);
  socket->setProperty("taken", true);
  if (ready_ && path.size() == 2 && path[0] == '\0') {
    answerCommand(socket, static_cast<unsigned char>(path[1]), handling_);
    return;
  }
  pending_.push_back({socket, std::string(path.constData(), static_cast<size_t>(path.size()))});
  // From the event loop, not on the socket's stack: the open may show a box, and a second start
  // that goes away meanwhile takes its socket with it.
  QMetaObject::invokeMethod(this, &SingleInstance::handlePending, Qt::QueuedConnection);
}

void SingleInstance::answerCommand(QLocalSocket *socket, int command, bool busy) {
  const bool taken = !busy && handleCommand_ && handleCommand_(command);
  socket->write(taken ? &kDone : &kBusy, 1);
  socket->flush();
  socket->disconnectFromServer();
}

// In order of arrival; a hand-off that comes while one is being handled (behind its error box)
// waits for it.
void SingleInstance::handlePending() {
  if (!ready_ || handling_)
    return;
  handling_ = true;
  while (!pending_.empty()) {
    const Request request = pending_.front();
    pending_.pop_front();
    if (request.path.size() == 2 && request.path[0] == '\0') {
      if (request.socket)
        answerCommand(request.socket, static_cast<unsigned char>(request.path[1]), false);
      continue;
    }
    if (handle_)
      handle_(request.path);
    if (request.socket) {
      request.socket->write(&kDone, 1);
      request.socket->flush();
      request.socket->disconnectFromServer();
    }
  }
  handling_ = false;
}
