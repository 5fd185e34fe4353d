// Play, stop with the rewind, reset, the position bar's notifications, and the readouts.
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "PositionReadout.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

#include <sndfile.h>

using namespace lyt::test;

namespace {

class Transport : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    start(quietTone(60));
  }
  double engineSeconds() const {
    return BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel));
  }
  void play() {
    ASSERT_EQ(window->Playing, 0);
    window->SpdBtn_PlayStop->setDown(true);
    window->SpdBtn_PlayStopClick();
  }
  void stop() {
    window->SpdBtn_PlayStop->setDown(false);
    window->SpdBtn_PlayStopClick();
  }
  // Where the timer would put the bar, and the sound with it.
  void at(int seconds) {
    window->PositionSource(seconds);
    window->hsPosition->setPosition(seconds);
  }
  void setSection(int a, int b) {
    at(a);
    window->A1Click();
    at(b);
    window->B1Click();
    ASSERT_EQ(window->RepeatState, 3);
  }
  int bar() const { return window->hsPosition->Position(); }
};

TEST_F(Transport, PlayRunsTheTimersAndStopRewindsNeverBeforeTheStartOrA) {
  Settings.RevSec = 3;
  play();
  EXPECT_EQ(window->Playing, 1);
  EXPECT_TRUE(window->Timer_Pos->isActive() && window->Timer_RenderTimer->isActive());
  EXPECT_EQ(BASS_ChannelIsActive(window->OutputChannel()), DWORD(BASS_ACTIVE_PLAYING));
  at(42);
  stop();
  EXPECT_EQ(bar(), 39);
  EXPECT_EQ(engineSeconds(), 39.0);
  EXPECT_FALSE(window->Timer_Pos->isActive() || window->Timer_RenderTimer->isActive());
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:00:39 / 00:01:00"));
  play();
  at(2);
  stop();
  EXPECT_EQ(bar(), 0) << "not before the start";
  setSection(40, 50);
  play();
  at(42);
  stop();
  EXPECT_EQ(bar(), 40) << "not before A";
  Settings.RevSec = 0;
  play();
  at(45);
  stop();
  EXPECT_EQ(bar(), 45);
}

TEST_F(Transport, ResetGoesToTheStartOrToAAndKeepsPlaying) {
  at(20);
  window->ResetPosition();
  EXPECT_EQ(bar(), 0);
  EXPECT_EQ(engineSeconds(), 0.0);
  setSection(10, 30);
  at(25);
  play();
  window->SpdBtn_ResetClick();
  EXPECT_EQ(bar(), 10);
  EXPECT_EQ(engineSeconds(), 10.0);
  EXPECT_EQ(window->Playing, 1);
}

TEST_F(Transport, StepsOfTheBarSeekExceptThePlayKeysOwnArrowWhilePlaying) {
  at(20);
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::LineUp, 20));
  EXPECT_EQ(bar(), 19);
  EXPECT_EQ(engineSeconds(), 19.0);
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::LineDown, 19));
  EXPECT_EQ(bar(), 20);
  KeyMap.slot(1) = {0, 0x25, 1};
  play();
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::LineUp, 20));
  EXPECT_EQ(bar(), 20) << "the left arrow is the play/stop key";
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::LineDown, 20));
  EXPECT_EQ(bar(), 21);
  EXPECT_EQ(engineSeconds(), 21.0) << "a step forward repositions the playing source";
  KeyMap.slot(1) = {0, 0x27, 1};
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::LineDown, 21));
  EXPECT_EQ(bar(), 21) << "the right arrow is the play/stop key now";
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::LineUp, 21));
  EXPECT_EQ(bar(), 20);
  EXPECT_EQ(BASS_ChannelIsActive(window->OutputChannel()), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(Transport, PageStepsAreSwallowedAndJumpsAndEndsArePassedOn) {
  at(20);
  for (int code : {TrackBar::PageUp, TrackBar::PageDown})
    EXPECT_TRUE(window->SubclassWndProc(code, 20));
  for (int code : {int(TrackBar::Top), int(TrackBar::Bottom), int(TrackBar::EndScroll), 9})
    EXPECT_FALSE(window->SubclassWndProc(code, 20));
  // Through the real bar: Page Up moves the thumb but not the sound while stopped.
  window->hsPosition->setPageStep(5);
  QTest::keyClick(window->hsPosition, Qt::Key_PageUp);
  EXPECT_EQ(bar(), 15);
  EXPECT_EQ(engineSeconds(), 20.0);
}

TEST_F(Transport, ADragShowsFromItsSecondNotificationAndSeeksAtTheRelease) {
  at(5);
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::ThumbTrack, 30));
  EXPECT_TRUE(window->ThumbTracking);
  EXPECT_TRUE(window->lblPosition2->text().startsWith(QStringLiteral("00:00:05")));
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::ThumbTrack, 31));
  EXPECT_TRUE(window->lblPosition2->text().startsWith(QStringLiteral("00:00:31")));
  EXPECT_EQ(engineSeconds(), 5.0) << "the sound follows only at the release";
  EXPECT_TRUE(window->SubclassWndProc(TrackBar::ThumbPosition, 33));
  EXPECT_FALSE(window->ThumbTracking);
  EXPECT_EQ(engineSeconds(), 33.0);
  EXPECT_EQ(bar(), 5) << "the release does not set the bar itself";
}

TEST_F(Transport, AReleaseBeyondBIsPulledBackToB) {
  setSection(10, 20);
  play();
  window->SubclassWndProc(TrackBar::ThumbPosition, 40);
  EXPECT_EQ(engineSeconds(), 40.0);
  window->hsPosition->setPosition(40);
  window->hsPosition->defaultScroll(TrackBar::EndScroll);
  EXPECT_EQ(bar(), 20);
  EXPECT_EQ(engineSeconds(), 20.0);
}

TEST_F(Transport, AModuleIsSeekedInItsSecondsForm) {
  window->OpenMediaFile(fixture("song.it").path);
  ASSERT_TRUE(window->IsMusic);
  play();
  window->SubclassWndProc(TrackBar::ThumbPosition, 3);
  EXPECT_EQ(engineSeconds(), 3.0);
}

TEST_F(Transport, TheReadoutsShowRecordingAndPlayingTime) {
  EXPECT_EQ(FormatHms(0), QStringLiteral("00:00:00"));
  EXPECT_EQ(FormatHms(3725), QStringLiteral("01:02:05"));
  EXPECT_EQ(FormatHms(86399), QStringLiteral("23:59:59"));
  EXPECT_EQ(FormatHms(360000), QStringLiteral("100:00:00"));
  window->tbTempo->setPosition(50);
  window->UpdatePositionLabel(83);
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:01:23 / 00:01:00"));
  EXPECT_EQ(window->lblPosition->text(), QStringLiteral("00:00:55 / 00:00:40")) << "83 / 1.5 truncated";
  window->tbTempo->setPosition(-50);
  EXPECT_EQ(window->lblPosition->text(), QStringLiteral("00:00:00 / 00:02:00")) << "the bar's own position";
  window->tbPitch->setPosition(3);
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:00:00 / 00:01:00"));
}

} // namespace
