// Foot pedals: their event streams, finding them among the input devices as they come and go, and
// their switches bound and dispatched as keys.
#include "AudioProp.h"
#include "CommonTypes.h"
#include "KeyBindingTab.h"
#include "MainWindowFixture.h"
#include "InputDevices.h"
#include "PedalMonitor.h"
#include "PedalStream.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <linux/capability.h>
#include <linux/input.h>
#include <sys/syscall.h>
#include <sndfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
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

int nonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

TEST(PedalStreamTest, ReportsPressesReleasesRepeatsAndTwoSwitchesHeldAtOnce) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  PedalStream stream({BTN_4, BTN_5, BTN_6});
  Reports got;
  writeKey(pipeEnds[1], BTN_4, 1);
  writeKey(pipeEnds[1], BTN_6, 1);
  writeKey(pipeEnds[1], BTN_6, 2); // held: the device repeats
  writeKey(pipeEnds[1], KEY_A, 1); // not one of its switches
  writeKey(pipeEnds[1], BTN_4, 0);
  // An event split between two reads.
  input_event last{};
  last.type = EV_KEY;
  last.code = BTN_6;
  ASSERT_EQ(::write(pipeEnds[1], &last, 10), 10);
  EXPECT_TRUE(stream.readFrom(nonBlocking(pipeEnds[0]), collect(got)));
  ASSERT_EQ(::write(pipeEnds[1], reinterpret_cast<char *>(&last) + 10, sizeof last - 10),
            static_cast<ssize_t>(sizeof last - 10));
  EXPECT_TRUE(stream.readFrom(pipeEnds[0], collect(got)));
  EXPECT_EQ(got, (Reports{{1, true}, {3, true}, {3, true}, {1, false}, {3, false}}));
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(PedalStreamTest, UnpluggedWhileHeldIsReleased) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  PedalStream stream({BTN_0, BTN_1});
  Reports got;
  writeKey(ends[1], BTN_1, 1);
  EXPECT_TRUE(stream.readFrom(nonBlocking(ends[0]), collect(got)));
  ::close(ends[1]);
  EXPECT_FALSE(stream.readFrom(ends[0], collect(got))) << "the device is gone";
  EXPECT_EQ(got, (Reports{{2, true}, {2, false}}));
  ::close(ends[0]);
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

// File permissions hold for this thread as they do for the user at the seat, root or not.
class WithoutPermissionOverride {
public:
  WithoutPermissionOverride() {
    ::syscall(SYS_capget, &header_, saved_);
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header_, reduced);
  }
  ~WithoutPermissionOverride() { ::syscall(SYS_capset, &header_, saved_); }

private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
};

class PedalKeys : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    setenv("LYSTREL2_INPUT_DIR", input.devices().toUtf8().constData(), 1);
    setenv("LYSTREL2_SYSFS", input.sysfs().toUtf8().constData(), 1);
    pedal = input.plug("event4", "05f3", "00ff", "VEC VEC USB Footpedal", kThreeButtons);
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    unsetenv("LYSTREL2_INPUT_DIR");
    unsetenv("LYSTREL2_SYSFS");
  }
  InputDevices input;
  int pedal = -1;
};

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
    QLabel *note = frmAudioProp->TabSheet6->PedalAccessNote;
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
