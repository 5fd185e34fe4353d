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

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace {

PedalMonitor *gRunning = nullptr;
constexpr uint32_t kFirstPedalKey = 0x88;
// A pedal whose reads fail is read again after a pause growing by this much, and given up when
// the last of its tries fails.
constexpr int kReadRetryPauseMs = 100;
constexpr int kReadTries = 4;
constexpr int kGrabRetryMs = 1000;

bool isEventNode(const std::string &name) {
  return name.rfind("event", 0) == 0;
}

} // namespace

struct PedalMonitor::Device {
  Device(int descriptor, const PedalIdentity &pedal) : fd(descriptor), stream(pedal.buttons),
                                                       switchCount(pedal.buttons.size()) {}
  ~Device() {
    // It may be going from within its own notifier's signal.
    if (notifier) {
      notifier->setEnabled(false);
      notifier.release()->deleteLater();
    }
    if (evdev) {
      libevdev_grab(evdev, LIBEVDEV_UNGRAB);
      libevdev_free(evdev);
    }
    ::close(fd);
  }
  int fd;
  PedalStream stream;
  size_t switchCount;
  libevdev *evdev = nullptr;
  std::unique_ptr<QSocketNotifier> notifier;
  int failedReads = 0;
};

PedalMonitor::PedalMonitor(const QString &deviceFolder, const QString &sysfsRoot, QObject *parent)
    : QObject(parent), folder_(deviceFolder.toStdString()), sysfs_(sysfsRoot.toStdString()) {
  gRunning = this;
  grabRetry_.setInterval(kGrabRetryMs);
  connect(&grabRetry_, &QTimer::timeout, this, &PedalMonitor::retryGrabs);
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

QString PedalMonitor::pathOf(const std::string &node) const {
  return QString::fromStdString(folder_ + "/" + node);
}

QStringList PedalMonitor::openPedals() const {
  QStringList list;
  for (const auto &[node, device] : devices_)
    list << pathOf(node);
  return list;
}

QStringList PedalMonitor::unreadablePedals() const {
  QStringList list;
  for (const auto &[node, problem] : problems_)
    if (problem.kind == PedalProblem::Kind::NoAccess)
      list << problem.device;
  return list;
}

QList<PedalProblem> PedalMonitor::problems() const {
  QList<PedalProblem> list;
  for (const auto &[node, problem] : problems_)
    list << problem;
  for (const auto &[node, device] : devices_)
    if (device->switchCount > PedalStream::kMaxSwitches)
      list << PedalProblem{PedalProblem::Kind::TooManySwitches, pathOf(node), static_cast<int>(device->switchCount)};
  return list;
}

void PedalMonitor::scan() {
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(folder_, error))
    if (isEventNode(entry.path().filename().string()))
      consider(entry.path().filename().string());
}

// The folder's changes were more than the kernel kept: what is there now is all there is to go by.
void PedalMonitor::rescan() {
  std::vector<std::string> known;
  for (const auto &[node, device] : devices_)
    known.push_back(node);
  for (const auto &[node, problem] : problems_)
    known.push_back(node);
  for (const std::string &node : known)
    if (!std::filesystem::exists(folder_ + "/" + node))
      forget(node);
  scan();
}

// A device file appears, changes its permissions (udev grants access just after creating it) or
// goes away.
void PedalMonitor::readFolderChanges() {
  alignas(inotify_event) char buffer[4096];
  ssize_t got;
  bool overflowed = false;
  while ((got = ::read(inotify_, buffer, sizeof buffer)) > 0) {
    for (char *at = buffer; at < buffer + got;) {
      const auto *event = reinterpret_cast<const inotify_event *>(at);
      at += sizeof(inotify_event) + event->len;
      overflowed |= (event->mask & IN_Q_OVERFLOW) != 0;
      const std::string node = event->len ? event->name : "";
      if (!isEventNode(node))
        continue;
      if (event->mask & (IN_DELETE | IN_MOVED_FROM))
        forget(node);
      else
        consider(node);
    }
  }
  if (overflowed)
    rescan();
}

void PedalMonitor::consider(const std::string &node) {
  if (devices_.count(node))
    return;
  const std::optional<PedalIdentity> pedal = identifyPedal(sysfs_, node);
  if (!pedal)
    return;
  const int fd = ::open((folder_ + "/" + node).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM)
      setProblem(node, PedalProblem::Kind::NoAccess, errno);
    return;
  }
  auto device = std::make_unique<Device>(fd, *pedal);
  if (!startReading(node, *device))
    return;
  problems_.erase(node);
  devices_.emplace(node, std::move(device));
  Q_EMIT pedalsChanged();
}

// Grabbed, the pedal's clicks reach no other program; one that another program holds would never
// reach us, so it waits until it is let go.
bool PedalMonitor::startReading(const std::string &node, Device &device) {
  if (const int error = libevdev_new_from_fd(device.fd, &device.evdev); error < 0) {
    device.evdev = nullptr;
    setProblem(node, PedalProblem::Kind::ReadFailed, -error);
    return false;
  }
  if (const int error = libevdev_grab(device.evdev, LIBEVDEV_GRAB); error < 0) {
    setProblem(node, PedalProblem::Kind::GrabRefused, -error);
    grabRetry_.start();
    return false;
  }
  device.notifier = std::make_unique<QSocketNotifier>(device.fd, QSocketNotifier::Read);
  connect(device.notifier.get(), &QSocketNotifier::activated, this, [this, node] { readDevice(node); });
  return true;
}

void PedalMonitor::retryGrabs() {
  std::vector<std::string> refused;
  for (const auto &[node, problem] : problems_)
    if (problem.kind == PedalProblem::Kind::GrabRefused)
      refused.push_back(node);
  if (refused.empty())
    grabRetry_.stop();
  for (const std::string &node : refused)
    consider(node);
}

void PedalMonitor::setProblem(const std::string &node, PedalProblem::Kind kind, int detail) {
  const auto found = problems_.find(node);
  if (found != problems_.end() && found->second.kind == kind && found->second.detail == detail)
    return;
  problems_.insert_or_assign(node, PedalProblem{kind, pathOf(node), detail});
  Q_EMIT pedalsChanged();
}

void PedalMonitor::forget(const std::string &node) {
  const bool hadProblem = problems_.erase(node) > 0;
  const bool wasOpen = devices_.count(node) > 0;
  drop(node);
  if (hadProblem || wasOpen)
    Q_EMIT pedalsChanged();
}

// Stops reading the pedal; its held switches are released.
void PedalMonitor::drop(const std::string &node) {
  const auto found = devices_.find(node);
  if (found == devices_.end())
    return;
  found->second->stream.releaseAll(reporter());
  devices_.erase(found);
}

void PedalMonitor::readDevice(const std::string &node) {
  const auto found = devices_.find(node);
  if (found == devices_.end())
    return;
  Device &device = *found->second;
  const int result = device.stream.readFrom(device.evdev, reporter());
  if (result == 0)
    device.failedReads = 0;
  else if (result == -ENODEV) // unplugged
    forget(node);
  else
    readFailed(node, -result);
}

// A pedal still plugged in may fail a read now and then: it is read again after a pause, and only
// given up when the failures go on.
void PedalMonitor::readFailed(const std::string &node, int error) {
  Device &device = *devices_.at(node);
  if (++device.failedReads >= kReadTries) {
    drop(node);
    setProblem(node, PedalProblem::Kind::ReadFailed, error);
    return;
  }
  device.notifier->setEnabled(false);
  QTimer::singleShot(kReadRetryPauseMs * device.failedReads, this, [this, node] {
    const auto found = devices_.find(node);
    if (found == devices_.end())
      return;
    found->second->notifier->setEnabled(true);
    readDevice(node);
  });
}

PedalStream::Report PedalMonitor::reporter() {
  return [this](int switchNumber, bool pressed) { report(switchNumber, pressed); };
}

bool PedalMonitor::anyPedalHolds(int switchNumber) const {
  return std::any_of(devices_.begin(), devices_.end(),
                     [&](const auto &entry) { return entry.second->stream.holds(switchNumber); });
}

void PedalMonitor::report(int switchNumber, bool pressed) {
  if (!pressed && anyPedalHolds(switchNumber))
    return; // another pedal still holds it
  const uint32_t key = kFirstPedalKey + static_cast<uint32_t>(switchNumber) - 1;
  Q_EMIT switchChanged(key, pressed);
  if (!pressed)
    return;
  if (QWidget *focus = QApplication::focusWidget()) {
    PedalEvent event(key);
    QCoreApplication::sendEvent(focus, &event);
  }
}
