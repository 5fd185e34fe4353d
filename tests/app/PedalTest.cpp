// Foot pedals: their event streams, finding them among the input devices as they come and go, and
// their switches bound and dispatched as keys.
#include "AudioProp.h"
#include "CommonTypes.h"
#include "KeyBindingTab.h"
#include "MainWindowFixture.h"
#include "PedalWindowFixture.h"
#include "InputDevices.h"
#include "PedalMonitor.h"
#include "PedalStream.h"
#include "FakeEvdev.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"
#include "support/WithoutPermissionOverride.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <fstream>
#include <utility>
#include <vector>

using namespace lyt::test;
namespace fs = std::filesystem;

namespace {

using Reports = std::vector<std::pair<int, bool>>;

PedalStream::Report collect(Reports &into) {
  return [&into](int n, bool pressed) { into.emplace_back(n, pressed); };
}

// A stand-in device opened as the pedal reader opens one.
class PedalStreamTest : public ::testing::Test {
protected:
  void TearDown() override {
    if (device)
      libevdev_free(device);
    if (fd >= 0)
      ::close(fd);
  }
  int plug(const std::string &node) {
    const int writer = input.plug(node, "05f3", "00ff", "VEC VEC USB Footpedal", kThreeButtons);
    fd = ::open(input.path(node).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(libevdev_new_from_fd(fd, &device), 0);
    return writer;
  }
  InputDevices input;
  int fd = -1;
  libevdev *device = nullptr;
};

TEST_F(PedalStreamTest, ReportsPressesReleasesRepeatsAndTwoSwitchesHeldAtOnce) {
  const int pedal = plug("event0");
  PedalStream stream({BTN_0, BTN_1, BTN_2});
  Reports got;
  writeKey(pedal, BTN_0, 1);
  writeKey(pedal, BTN_2, 1);
  writeKey(pedal, BTN_2, 2); // held: the device repeats
  writeKey(pedal, KEY_A, 1); // not one of its switches
  writeKey(pedal, BTN_0, 0);
  EXPECT_EQ(stream.readFrom(device, collect(got)), 0);
  writeKey(pedal, BTN_2, 0);
  EXPECT_EQ(stream.readFrom(device, collect(got)), 0);
  EXPECT_EQ(got, (Reports{{1, true}, {3, true}, {3, true}, {1, false}, {3, false}}));
}

TEST_F(PedalStreamTest, UnpluggedWhileHeldIsReleased) {
  const int pedal = plug("event0");
  PedalStream stream({BTN_0, BTN_1});
  Reports got;
  writeKey(pedal, BTN_1, 1);
  EXPECT_EQ(stream.readFrom(device, collect(got)), 0);
  input.unplug("event0");
  EXPECT_EQ(stream.readFrom(device, collect(got)), -ENODEV) << "the device is gone";
  stream.releaseAll(collect(got));
  EXPECT_EQ(got, (Reports{{2, true}, {2, false}}));
}

TEST(PedalMonitorTest, TakesKnownPedalsIgnoresKeyboardsAndFollowsPlugging) {
  InputDevices input;
  input.plug("event0", "046d", "c31c", "Logitech USB Keyboard", kKeysAndAButton);
  input.plug("event1", "0c45", "7403", "PCsensor FootSwitch Keyboard", kKeysAndAButton);
  input.plug("event2", "05f3", "00ff", "VEC VEC USB Footpedal", kThreeButtons);
  PedalMonitor monitor(input.devices(), input.sysfs());
  QSignalSpy switches(&monitor, &PedalMonitor::switchChanged);
  EXPECT_EQ(monitor.openPedals(), QStringList{input.devices() + QStringLiteral("/event2")});

  const int plugged = input.plug("event7", "1a86", "e026", "Generic Foot Pedal", kThreeButtons);
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.openPedals().size() == 2; }, 5000)) << "hot-plugged";
  writeKey(plugged, BTN_2, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return switches.size() == 1; }, 5000));
  EXPECT_EQ(switches[0], (QVariantList{0x8Au, true})) << "its third switch";
  input.unplug("event7");
  ASSERT_TRUE(QTest::qWaitFor([&] { return switches.size() == 2; }, 5000));
  EXPECT_EQ(switches[1], (QVariantList{0x8Au, false})) << "unplugged while held: released";
  EXPECT_EQ(monitor.openPedals().size(), 1);
}

// A monitor of the stand-in input devices, and the key tab that shows their problems.
class PedalReaderTest : public ::testing::Test {
protected:
  int plugPedal(const std::string &node, const std::string &keyBitmap = kThreeButtons) {
    return input.plug(node, "05f3", "00ff", "VEC VEC USB Footpedal", keyBitmap);
  }
  void startMonitor() {
    monitor = std::make_unique<PedalMonitor>(input.devices(), input.sysfs());
    switches = std::make_unique<QSignalSpy>(monitor.get(), &PedalMonitor::switchChanged);
  }
  bool switchesReach(qsizetype count) {
    return QTest::qWaitFor([&] { return switches->size() >= count; }, 5000);
  }
  QLabel *shownPedalNote() {
    tab = std::make_unique<KeyBindingTab>();
    tab->show();
    return tab->PedalNote;
  }
  InputDevices input;
  std::unique_ptr<PedalMonitor> monitor;
  std::unique_ptr<QSignalSpy> switches;
  std::unique_ptr<KeyBindingTab> tab;
};

TEST_F(PedalReaderTest, ASwitchTwoPedalsSendIsHeldWhileEitherHoldsIt) {
  const int left = plugPedal("event1"), right = plugPedal("event2");
  startMonitor();
  writeKey(left, BTN_0, 1);
  writeKey(right, BTN_0, 1);
  ASSERT_TRUE(switchesReach(2));
  writeKey(left, BTN_0, 0);
  writeKey(left, BTN_1, 1); // comes after the release
  ASSERT_TRUE(switchesReach(3));
  EXPECT_EQ(switches->at(2), (QVariantList{0x89u, true})) << "the first switch is still held by the other pedal";
  writeKey(right, BTN_0, 0);
  ASSERT_TRUE(switchesReach(4));
  EXPECT_EQ(switches->at(3), (QVariantList{0x88u, false}));
}

TEST_F(PedalReaderTest, AfterLostEventsTheSwitchesFollowTheDevice) {
  const int pedal = plugPedal("event1");
  startMonitor();
  writeKey(pedal, BTN_0, 1);
  ASSERT_TRUE(switchesReach(1));
  // The first switch was let go and the second pressed while the kernel's buffer was full.
  fakeevdev::setKeysDown(input.path("event1"), {BTN_1});
  writeEvent(pedal, EV_SYN, SYN_DROPPED, 0);
  ASSERT_TRUE(switchesReach(3));
  EXPECT_EQ(switches->at(1), (QVariantList{0x88u, false}));
  EXPECT_EQ(switches->at(2), (QVariantList{0x89u, true}));
}

TEST_F(PedalReaderTest, AFailedReadIsTriedAgainAndAPedalIsGivenUpOnlyWhenGoneOrFailingOn) {
  const int kept = plugPedal("event1"), failing = plugPedal("event2"), unplugged = plugPedal("event3");
  startMonitor();
  fakeevdev::failReads(input.path("event1"), EIO, 1);
  writeKey(kept, BTN_0, 1);
  ASSERT_TRUE(switchesReach(1)) << "read on the next try";
  fakeevdev::failReads(input.path("event2"), EIO, 1000);
  fakeevdev::failReads(input.path("event3"), ENODEV, 1);
  writeKey(failing, BTN_0, 1);
  writeKey(unplugged, BTN_0, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->openPedals().size() == 1; }, 5000));
  EXPECT_EQ(monitor->openPedals(), QStringList{QString::fromStdString(input.path("event1"))});
  const QList<PedalProblem> problems = monitor->problems();
  ASSERT_EQ(problems.size(), 1) << "an unplugged pedal is no problem";
  EXPECT_EQ(problems[0].kind, PedalProblem::Kind::ReadFailed);
  EXPECT_EQ(problems[0].device, QString::fromStdString(input.path("event2")));
  EXPECT_EQ(problems[0].detail, EIO);
}

TEST_F(PedalReaderTest, APedalPluggedWhileFolderChangesOverflowIsFound) {
  startMonitor();
  int queued = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  const std::string other = input.path("other");
  for (int i = 0; i <= queued / 2; ++i) {
    ::close(::creat(other.c_str(), 0600));
    ::unlink(other.c_str());
  }
  plugPedal("event1"); // its creation is not among the changes kept
  EXPECT_TRUE(QTest::qWaitFor([&] { return monitor->openPedals().size() == 1; }, 5000));
}

TEST_F(PedalReaderTest, APedalAnotherProgramHoldsIsShownAndTakenWhenLetGo) {
  const int pedal = plugPedal("event1");
  const int otherReader = ::open(input.path("event1").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(::ioctl(otherReader, EVIOCGRAB, 1), 0);
  startMonitor();
  QLabel *note = shownPedalNote();
  EXPECT_TRUE(monitor->openPedals().isEmpty());
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->toolTip().contains(QString::fromStdString(input.path("event1"))));
  EXPECT_TRUE(note->toolTip().contains(QStringLiteral("他のプログラムが使用中"))) << note->toolTip().toStdString();
  ASSERT_EQ(::ioctl(otherReader, EVIOCGRAB, 0), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !note->isVisible(); }, 5000)) << "taken once let go";
  writeKey(pedal, BTN_0, 1);
  EXPECT_TRUE(switchesReach(1));
  ::close(otherReader);
}

TEST_F(PedalReaderTest, TheSwitchesAreTheFirstFourButtonsAndMoreAreShown) {
  // KEY_ESC, and BTN_0 .. BTN_5.
  const int pedal = plugPedal("event1", "3f 0 0 0 2");
  startMonitor();
  QLabel *note = shownPedalNote();
  writeKey(pedal, KEY_ESC, 1);
  writeKey(pedal, BTN_4, 1);
  writeKey(pedal, BTN_0, 1);
  writeKey(pedal, BTN_3, 1);
  ASSERT_TRUE(switchesReach(2));
  EXPECT_EQ(*switches, (QList<QVariantList>{{0x88u, true}, {0x8Bu, true}}));
  const QList<PedalProblem> problems = monitor->problems();
  ASSERT_EQ(problems.size(), 1);
  EXPECT_EQ(problems[0].kind, PedalProblem::Kind::TooManySwitches);
  EXPECT_EQ(problems[0].detail, 6);
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->toolTip().contains(QString::fromStdString(input.path("event1"))));
}

class PedalKeys : public PedalWindow {};

TEST_F(PedalKeys, TheNonLockModePlaysWhileThePedalIsHeld) {
  const std::string file = scratchPath("pedal-play.wav");
  writeSndfile(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, 30, 8000, 1, 0.05f), 8000, 1);
  start(file);
  KeyMap.slot(1) = {0, 0x89, 1};
  Settings.NonLockMode = true;
  writeKey(pedal, BTN_1, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->Playing == 1; }, 5000));
  writeKey(pedal, BTN_1, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->Playing == 0; }, 5000));
}

TEST_F(PedalKeys, TheKeyFieldCapturesAPedalSwitch) {
  start();
  bool captured = false;
  QTimer::singleShot(0, [&] {
    frmAudioProp->PageControl1->setCurrentIndex(1);
    KeyBindingTab *k = frmAudioProp->TabSheet6;
    k->ListBoxFunc->setCurrentRow(2);
    k->ListBoxFuncClick();
    QApplication::setActiveWindow(frmAudioProp);
    k->EditKeyDef->setFocus();
    writeKey(pedal, BTN_2, 1);
    writeKey(pedal, BTN_2, 0);
    captured = QTest::qWaitFor([&] { return !k->EditKeyDef->text().isEmpty(); }, 5000);
    EXPECT_EQ(k->EditKeyDef->text(), QStringLiteral("ペダル3"));
    k->BtnKeySetClick();
    QTest::mouseClick(frmAudioProp->BtnWavePropOK, Qt::LeftButton);
  });
  window->N1Click();
  EXPECT_TRUE(captured);
  EXPECT_EQ(KeyMap.slot(3), (KeyBinding{0, 0x8A, 3}));
}

TEST_F(PedalKeys, TheKeyTabSaysWhenAPedalCannotBeOpenedUntilItCan) {
  const QString node = input.devices() + QStringLiteral("/event4");
  ASSERT_EQ(::chmod(node.toUtf8().constData(), 0), 0);
  {
    WithoutPermissionOverride seatUser;
    start();
  }
  EXPECT_EQ(window->Pedals->unreadablePedals(), QStringList{node});
  bool told = false, clearedOnAccess = false;
  QTimer::singleShot(0, [&] {
    frmAudioProp->PageControl1->setCurrentIndex(1);
    QLabel *note = frmAudioProp->TabSheet6->PedalNote;
    told = note->isVisible() && note->toolTip().contains(node) &&
           note->toolTip().contains(QStringLiteral("70-lystrel2-pedals.rules"));
    ::chmod(node.toUtf8().constData(), 0600); // as the udev rule grants access
    clearedOnAccess = QTest::qWaitFor([&] { return !note->isVisible(); }, 5000);
    QTest::mouseClick(frmAudioProp->BtnWavePropCancel, Qt::LeftButton);
  });
  window->N1Click();
  EXPECT_TRUE(told);
  EXPECT_TRUE(clearedOnAccess);
  EXPECT_EQ(window->Pedals->openPedals(), QStringList{node});
}

} // namespace
