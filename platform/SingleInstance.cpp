// The instance lock and the hand-off socket.
#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kDone = 'K';

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

std::unique_ptr<SingleInstance> SingleInstance::acquire() {
  const std::string dir = folder();
  if (dir.empty())
    return std::unique_ptr<SingleInstance>(new SingleInstance(-1)); // no safe place: run alone
  const int fd = ::open((dir + "/instance.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<SingleInstance>(new SingleInstance(fd));
}

// A path never holds a NUL byte, so a message that starts with one is a command: NUL, then its id.
bool SingleInstance::handOff(const std::string &path) {
  return send(path);
}

bool SingleInstance::sendCommand(int command) {
  return send(std::string{'\0', static_cast<char>(command)});
}

bool SingleInstance::send(const std::string &path) {
  const std::string address = socketPath();
  sockaddr_un peer{};
  peer.sun_family = AF_UNIX;
  if (address.size() >= sizeof peer.sun_path)
    return false;
  std::memcpy(peer.sun_path, address.c_str(), address.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  bool handled = false;
  if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0) {
    const uint32_t length = static_cast<uint32_t>(path.size());
    char reply = 0;
    handled = writeAll(fd, reinterpret_cast<const char *>(&length), sizeof length) &&
              writeAll(fd, path.data(), path.size()) && ::read(fd, &reply, 1) == 1 && reply == kDone;
  }
  ::close(fd);
  return handled;
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
  pending_.push_back({socket, std::string(path.constData(), static_cast<size_t>(path.size()))});
  handlePending();
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
      if (handleCommand_)
        handleCommand_(static_cast<unsigned char>(request.path[1]));
    } else if (handle_) {
      handle_(request.path);
    }
    if (request.socket) {
      request.socket->write(&kDone, 1);
      request.socket->flush();
      request.socket->disconnectFromServer();
    }
  }
  handling_ = false;
}
