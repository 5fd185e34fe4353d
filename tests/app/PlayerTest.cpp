// The player as the one way in: what the doors post runs later, never on their stack, not before
// start-up has finished; every jump is announced, and a jump drops an end noticed before it.
#include "Bass.h"
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "PedalWindowFixture.h"
#include "PedalMonitor.h"
#include "Player.h"
#include "SetCounter.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace lyt::test;

namespace {

constexpr uint32_t kFirstPedalSwitch = 0x88;
constexpr int kEnterCounter = 6, kVolumeUp = 15;

class OneWayIn : public PedalWindow {
protected:
  // Runs `whileOpen` once the counter dialog, opened by the pedal's first switch, is up; then
  // closes the dialog.
  void withCounterDialogFromThePedal(const std::function<void()> &whileOpen) {
    KeyMap.slot(1) = {0, static_cast<int32_t>(kFirstPedalSwitch), kEnterCounter};
    bool ran = false;
    auto *watch = new QTimer(window);
    QObject::connect(watch, &QTimer::timeout, [&, watch] {
      if (!frmSetCounter->isVisible())
        return;
      watch->stop();
      whileOpen();
      ran = true;
      frmSetCounter->reject();
    });
    watch->start(5);
    writeKey(pedal, BTN_0, 1);
    writeKey(pedal, BTN_0, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }, 10000)) << "the pedal opened the counter dialog";
    delete watch;
  }
};

// The pedal's reader is not on the stack while the dialog is open: freeing it is safe (the
// address sanitizer's run would report a use after free otherwise).
TEST_F(OneWayIn, APedalUnpluggedOrStoppedWhileItsCounterDialogIsOpenFreesNothingInUse) {
  start(quietTone(90));
  withCounterDialogFromThePedal([&] {
    input.unplug("event4");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Pedals->openPedals().isEmpty(); }, 5000));
  });
  pedal = plugPedal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Pedals->openPedals().isEmpty(); }, 5000));
  withCounterDialogFromThePedal([&] { window->Pedals.reset(); }); // as the program's end does
  EXPECT_FALSE(window->Pedals);
}

TEST_F(OneWayIn, NothingRunsBeforeStartUpHasFinished) {
  KeyMap.slot(1) = {0, static_cast<int32_t>(kFirstPedalSwitch), kVolumeUp};
  window = new TfrmMain;
  frmMain = window;
  window->FormCreate("");
  const int volume = window->tbVolume->Position();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Pedals->openPedals().isEmpty(); }, 5000));
  QSignalSpy switched(window->Pedals.get(), &PedalMonitor::switchChanged);
  writeKey(pedal, BTN_0, 1);
  writeKey(pedal, BTN_0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return switched.count() == 2; }, 5000)) << "the pedal was read";
  window->ThePlayer->post(kVolumeUp, Player::Key::Sent);
  runPosted();
  EXPECT_EQ(window->tbVolume->Position(), volume) << "neither the pedal nor a sent command";
  window->FinishStartUp();
  window->ThePlayer->post(kVolumeUp, Player::Key::Sent);
  EXPECT_EQ(window->tbVolume->Position(), volume) << "posted, not run on the caller's stack";
  runPosted();
  EXPECT_EQ(window->tbVolume->Position(), volume + 10);
}

class Announcements : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    start(quietTone(90));
    Settings.RevSec = 3;
    Settings.FfRwSec = 5;
  }
};

TEST_F(Announcements, EveryJumpIsAnnouncedWhoeverMadeIt) {
  QSignalSpy spy(window->ThePlayer, &Player::jumped);
  const auto last = [&] {
    const double seconds = spy.isEmpty() ? -1 : spy.takeLast().at(0).toLongLong() / 1e6;
    spy.clear();
    return seconds;
  };
  window->hsPosition->setPosition(20);
  window->SubclassWndProc(TrackBar::ThumbPosition, 20);
  EXPECT_DOUBLE_EQ(last(), 20) << "a drag of the bar";
  window->FastForward();
  EXPECT_DOUBLE_EQ(last(), 25) << "fast forward";
  window->SpdBtn_PlayStop->setDown(false);
  window->SpdBtn_PlayStopClick();
  EXPECT_DOUBLE_EQ(last(), 22) << "the rewind of a stop";
  window->Rewind();
  EXPECT_DOUBLE_EQ(last(), 17) << "rewind";
  window->SpdBtn_PlayStop->setDown(false);
  window->SpdBtn_PlayStopClick();
  QTimer::singleShot(0, [] {
    frmSetCounter->Edit1->setText(QStringLiteral("00:01:00"));
    frmSetCounter->accept();
  });
  window->EnterCounter();
  EXPECT_DOUBLE_EQ(last(), 60) << "the counter entry";
  window->hsPosition->setPosition(30);
  window->SpdBtn_RepStart->setDown(true);
  window->SpdBtn_RepStartClick();
  window->hsPosition->setPosition(40);
  window->SpdBtn_RepEnd->setDown(true);
  window->SpdBtn_RepEndClick();
  spy.clear();
  window->SpdBtn_PlayStop->setDown(true);
  window->SpdBtn_PlayStopClick();
  window->PositionSource(40);
  spy.clear();
  window->Timer_PosTimer();
  EXPECT_DOUBLE_EQ(last(), 30) << "the A-B section's loop";
}

// The buttons and menu items post like any other door; the readouts follow the announcements,
// whoever made the jump.
TEST_F(Announcements, TheWindowsOwnControlsPostAndTheReadoutFollowsEveryJump) {
  window->SpdBtn_PlayStop->click();
  window->A1->trigger();
  EXPECT_EQ(window->Playing, 0) << "not run on the button's stack";
  EXPECT_EQ(window->RepeatState, 0) << "nor on the menu's";
  runPosted();
  EXPECT_EQ(window->Playing, 1);
  EXPECT_NE(window->RepeatState, 0);
  window->ThePlayer->post([&] { window->PositionSource(50); });
  runPosted();
  EXPECT_TRUE(window->lblPosition2->text().startsWith(QStringLiteral("00:00:50")))
      << window->lblPosition2->text().toStdString();
}

// Fast forward to the end, and back at once: the end noticed meanwhile belongs to a place that was
// left, and playback goes on.
TEST_F(Announcements, AJumpDropsAnEndNoticedBeforeIt) {
  Settings.FfRwSec = 90;
  window->hsPosition->setPosition(80);
  window->SpdBtn_PlayStop->setDown(true);
  window->SpdBtn_PlayStopClick();
  window->FastForward();
  ASSERT_TRUE(QTest::qWaitFor([] { return EndReached.load() != 0; }, 10000)) << "the end was heard";
  window->Rewind();
  const auto engineSeconds = [&] {
    return BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel));
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return engineSeconds() > 1.5; }, 10000)) << "a position tick has passed";
  EXPECT_EQ(window->Playing, 1) << "it plays on";
}

} // namespace
