// Follows the foot pedals among the input devices as they are plugged and unplugged, grabs each
// one (so it stops acting as a mouse elsewhere) and reports its switches as virtual keys.
#pragma once

#include <QObject>
#include <QStringList>

#include <map>
#include <memory>
#include <set>
#include <string>

class QSocketNotifier;

class PedalMonitor : public QObject {
  Q_OBJECT
public:
  // deviceFolder holds the device files ("/dev/input"), sysfsRoot their attributes ("/sys").
  explicit PedalMonitor(const QString &deviceFolder = QStringLiteral("/dev/input"),
                        const QString &sysfsRoot = QStringLiteral("/sys"), QObject *parent = nullptr);
  ~PedalMonitor() override;

  // Device files of the pedals being read, and of those present that could not be opened.
  QStringList openPedals() const;
  QStringList unreadablePedals() const;

  // The program's monitor, while there is one.
  static PedalMonitor *running();

Q_SIGNALS:
  // Switch n of a pedal is the virtual key 0x88 + n - 1.
  void switchChanged(uint32_t virtualKey, bool pressed);
  void pedalsChanged();

private:
  struct Device;
  void scan();
  void readFolderChanges();
  void consider(const std::string &node);
  void forget(const std::string &node);
  void readDevice(const std::string &node);
  void report(int switchNumber, bool pressed);

  std::string folder_, sysfs_;
  int inotify_ = -1;
  std::unique_ptr<QSocketNotifier> folderWatch_;
  std::map<std::string, std::unique_ptr<Device>> devices_;
  std::set<std::string> unreadable_;
};
