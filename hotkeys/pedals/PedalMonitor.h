// Follows the foot pedals among the input devices as they are plugged and unplugged, grabs each
// one (so it stops acting as a mouse elsewhere) and reports its switches as virtual keys.
#pragma once

#include "PedalProblem.h"
#include "PedalStream.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>
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
  // What keeps a plugged-in pedal, or some of its switches, from being used.
  QList<PedalProblem> problems() const;

  // The program's monitor, while there is one.
  static PedalMonitor *running();

Q_SIGNALS:
  // Switch n of a pedal is the virtual key 0x88 + n - 1. A switch that two pedals send is held
  // while either holds it.
  void switchChanged(uint32_t virtualKey, bool pressed);
  void pedalsChanged();

private:
  struct Device;
  void scan();
  void rescan();
  void readFolderChanges();
  void consider(const std::string &node);
  bool startReading(const std::string &node, Device &device);
  void forget(const std::string &node);
  void drop(const std::string &node);
  void readDevice(const std::string &node);
  void readFailed(const std::string &node, int error);
  void retryGrabs();
  void setProblem(const std::string &node, PedalProblem::Kind kind, int detail);
  PedalStream::Report reporter();
  void report(int switchNumber, bool pressed);
  bool anyPedalHolds(int switchNumber) const;
  QString pathOf(const std::string &node) const;

  std::string folder_, sysfs_;
  int inotify_ = -1;
  std::unique_ptr<QSocketNotifier> folderWatch_;
  std::map<std::string, std::unique_ptr<Device>> devices_;
  std::map<std::string, PedalProblem> problems_;
  QTimer grabRetry_;
};
