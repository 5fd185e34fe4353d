#include "PedalMonitor.h"

#include "PedalEvent.h"
#include "PedalProbe.h"
#include "PedalStream.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace {

PedalMonitor *gRunning = nullptr;
constexpr uint32_t kFirstPedalKey = 0x88;

bool isEventNode(const std::string &name) {
  return name.rfind("event", 0) == 0;
}

QStringList namesOf(const std::set<std::string> &nodes, const std::string &folder) {
  QStringList list;
  for (const std::string &n : nodes)
    list << QString::fromStdString(folder + "/" + n);
  return list;
}

} // namespace

struct PedalMonitor::Device {
  Device(int descriptor, PedalStream s) : fd(descriptor), stream(std::move(s)) {}
  ~Device() {
    // It may be going from within its own notifier's signal.
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
    if (evdev) {
      libevdev_grab(evdev, LIBEVDEV_UNGRAB);
      libevdev_free(evdev);
    }
    ::close(fd);
  }
  int fd;
  PedalStream stream;
  libevdev *evdev = nullptr;
  std::unique_ptr<QSocketNotifier> notifier;
};

PedalMonitor::PedalMonitor(const QString &deviceFolder, const QString &sysfsRoot, QObject *parent)
    : QObject(parent), folder_(deviceFolder.toStdString()), sysfs_(sysfsRoot.toStdString()) {
  gRunning = this;
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ >= 0 &&
      inotify_add_watch(inotify_, folder_.c_str(), IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) >=
          0) {
    folderWatch_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
    connect(folderWatch_.get(), &QSocketNotifier::activated, this, &PedalMonitor::readFolderChanges);
  }
  scan();
}

PedalMonitor::~PedalMonitor() {
  devices_.clear();
  folderWatch_.reset();
  if (inotify_ >= 0)
    ::close(inotify_);
  if (gRunning == this)
    gRunning = nullptr;
}

PedalMonitor *PedalMonitor::running() {
  return gRunning;
}

QStringList PedalMonitor::openPedals() const {
  std::set<std::string> nodes;
  for (const auto &[node, device] : devices_)
    nodes.insert(node);
  return namesOf(nodes, folder_);
}

QStringList PedalMonitor::unreadablePedals() const {
  return namesOf(unreadable_, folder_);
}

void PedalMonitor::scan() {
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(folder_, error))
    if (isEventNode(entry.path().filename().string()))
      consider(entry.path().filename().string());
}

// A device file appears, changes its permissions (udev grants access just after creating it) or
// goes away.
void PedalMonitor::readFolderChanges() {
  alignas(inotify_event) char buffer[4096];
  ssize_t got;
  while ((got = ::read(inotify_, buffer, sizeof buffer)) > 0) {
    for (char *at = buffer; at < buffer + got;) {
      const auto *event = reinterpret_cast<const inotify_event *>(at);
      at += sizeof(inotify_event) + event->len;
      const std::string node = event->len ? event->name : "";
      if (!isEventNode(node))
        continue;
      if (event->mask & (IN_DELETE | IN_MOVED_FROM))
        forget(node);
      else
        consider(node);
    }
  }
}

void PedalMonitor::consider(const std::string &node) {
  if (devices_.count(node))
    return;
  const std::optional<PedalIdentity> pedal = identifyPedal(sysfs_, node);
  if (!pedal)
    return;
  const std::string path = folder_ + "/" + node;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if ((errno == EACCES || errno == EPERM) && unreadable_.insert(node).second)
      Q_EMIT pedalsChanged();
    return;
  }
  unreadable_.erase(node);
  auto device = std::make_unique<Device>(fd, PedalStream(pedal->buttons));
  // Grabbed, the pedal's clicks reach no other program. A stand-in stream is not a device and has
  // nothing to grab.
  if (libevdev_new_from_fd(fd, &device->evdev) == 0)
    libevdev_grab(device->evdev, LIBEVDEV_GRAB);
  else
    device->evdev = nullptr;
  device->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(device->notifier.get(), &QSocketNotifier::activated, this, [this, node] { readDevice(node); });
  devices_.emplace(node, std::move(device));
  Q_EMIT pedalsChanged();
}

void PedalMonitor::forget(const std::string &node) {
  const bool wasUnreadable = unreadable_.erase(node) > 0;
  const auto found = devices_.find(node);
  if (found != devices_.end()) {
    found->second->stream.releaseAll([this](int n, bool pressed) { report(n, pressed); });
    devices_.erase(found);
  } else if (!wasUnreadable) {
    return;
  }
  Q_EMIT pedalsChanged();
}

void PedalMonitor::readDevice(const std::string &node) {
  const auto found = devices_.find(node);
  if (found == devices_.end())
    return;
  if (!found->second->stream.readFrom(found->second->fd, [this](int n, bool pressed) { report(n, pressed); })) {
    devices_.erase(node);
    Q_EMIT pedalsChanged();
  }
}

void PedalMonitor::report(int switchNumber, bool pressed) {
  const uint32_t key = kFirstPedalKey + static_cast<uint32_t>(switchNumber) - 1;
  Q_EMIT switchChanged(key, pressed);
  if (!pressed)
    return;
  if (QWidget *focus = QApplication::focusWidget()) {
    PedalEvent event(key);
    QCoreApplication::sendEvent(focus, &event);
  }
}
