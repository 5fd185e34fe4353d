// The position timer, the end of the file, and the A-B section in each of its states.
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <functional>
#include <sndfile.h>

using namespace lyt::test;

namespace {

class Repeat : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    start(quietTone(90));
  }
  double engineSeconds() const {
    return BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel));
  }
  void play() {
    window->SpdBtn_PlayStop->setDown(true);
    window->SpdBtn_PlayStopClick();
  }
  // The sound at a second, then one tick of the position timer.
  void tickAt(int seconds) {
    window->PositionSource(seconds);
    window->Timer_PosTimer();
  }
  void setA(int at) {
    window->hsPosition->setPosition(at);
    window->A1Click();
  }
  void setB(int at) {
    window->hsPosition->setPosition(at);
    window->B1Click();
  }
  int bar() const { return window->hsPosition->Position(); }
  // Lets the window run until `done` holds, for at most ten seconds.
  static bool runUntil(const std::function<bool()> &done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < until)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }
};

TEST_F(Repeat, TheTickMovesTheBarOnlyWhilePlayingAndNotWhileDragging) {
  tickAt(12);
  EXPECT_EQ(bar(), 0);
  play();
  tickAt(12);
  EXPECT_EQ(bar(), 12);
  EXPECT_TRUE(window->lblPosition2->text().startsWith(QStringLiteral("00:00:12")));
  window->ThumbTracking = true;
  tickAt(20);
  EXPECT_EQ(bar(), 12);
}

TEST_F(Repeat, WithoutASectionTheEndStopsTenSecondsBefore) {
  play();
  tickAt(85); // the engine's own end notification is stood in for, so that it cannot come late
  EndReached = -1;
  window->Timer_PosTimer();
  EXPECT_EQ(window->Playing, 0);
  EXPECT_EQ(EndReached.load(), 0);
  EXPECT_EQ(bar(), 75);
  EXPECT_EQ(engineSeconds(), 75.0);
  EXPECT_FALSE(window->SpdBtn_PlayStop->Down());
  EXPECT_FALSE(window->Timer_Pos->isActive());
}

TEST_F(Repeat, TheRealEndOfAShortFileIsNoticedByTheTimer) {
  window->OpenMediaFile(writeWav("second.wav", sine(300, 1.0, 8000, 1), 8000, 1));
  play();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (EndReached.load() == 0 && std::chrono::steady_clock::now() < until)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_NE(EndReached.load(), 0) << "the engine's end notification";
  window->Timer_PosTimer();
  EXPECT_EQ(window->Playing, 0);
  EXPECT_EQ(bar(), 0);
}

TEST_F(Repeat, ASeekOntoTheRoundedUpLastSecondPlaysTheRestAndThenTheEndIsHandled) {
  window->OpenMediaFile(writeWav("two-and-a-half.wav", sine(300, 2.6, 8000, 1), 8000, 1));
  ASSERT_EQ(window->hsPosition->Max(), 3);
  play();
  window->SubclassWndProc(TrackBar::ThumbPosition, 3); // the thumb let go on the last second
  EXPECT_TRUE(runUntil([this] { return window->Playing == 0; })) << "not left playing in silence";
  window->hsPosition->setPosition(2);
  play();
  window->SubclassWndProc(TrackBar::LineDown, 0); // the right arrow onto it
  EXPECT_TRUE(runUntil([this] { return window->Playing == 0; }));
}

TEST_F(Repeat, AnEndNoticedBeforeAStopResetOrOpenDoesNotStopTheNextPlayback) {
  const std::vector<std::function<void()>> actions{[this] { window->SpdBtn_PlayStopClick(); },
                                                   [this] { window->ResetPosition(); },
                                                   [this] { window->OpenMediaFile(fixture("pcm16.wav").path); }};
  for (const auto &act : actions) {
    play();
    EndReached.store(-1);
    act();
    EXPECT_EQ(EndReached.load(), 0);
  }
}

TEST_F(Repeat, TheWindowAnswersWhileTheRepeatStartSoundPlaysAndClosingStopsIt) {
  setA(30);
  setB(50);
  Settings.DelimiterFileName = writeWav("long-delimiter.wav", sine(440, 2.0, 8000, 1), 8000, 1);
  play();
  tickAt(51);
  EXPECT_FALSE(window->Timer_Pos->isActive()) << "the tick came back while the sound plays";
  ASSERT_NE(window->RepeatSound, 0u);
  EXPECT_EQ(BASS_ChannelIsActive(BASS_FX_TempoGetResampledHandle(window->RepeatSound)), DWORD(BASS_ACTIVE_PLAYING));
  ASSERT_TRUE(runUntil([this] { return window->Timer_Pos->isActive(); })) << "the section plays again";
  EXPECT_EQ(window->RepeatSound, 0u);
  EXPECT_EQ(BASS_ChannelIsActive(window->OutputChannel()), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_GE(engineSeconds(), 30.0);
  tickAt(51);
  ASSERT_NE(window->RepeatSound, 0u);
  close();
  EXPECT_NE(settingsText().find("Position=30\n"), std::string::npos) << settingsText();
}

TEST_F(Repeat, WithOnlyAPointATheEndGoesBackToA) {
  setA(30);
  EXPECT_EQ(window->RepeatState, 1);
  EXPECT_EQ(Settings.RepeatPointA, 30);
  EXPECT_EQ(Settings.RepeatPointB, 90) << "B is the end of the file";
  play();
  tickAt(89);
  EndReached = -1;
  window->Timer_PosTimer();
  EXPECT_EQ(window->Playing, 1);
  EXPECT_EQ(bar(), 30);
  EXPECT_EQ(engineSeconds(), 30.0);
}

TEST_F(Repeat, WithOnlyBPlaybackJumpsBackToTheStart) {
  setB(50);
  EXPECT_EQ(window->RepeatState, 2);
  play();
  tickAt(50);
  EXPECT_EQ(bar(), 0);
  EXPECT_EQ(engineSeconds(), 0.0);
  EXPECT_EQ(window->Playing, 1);
}

TEST_F(Repeat, ReachingBJumpsToAAfterTheRepeatStartSound) {
  setA(30);
  setB(50);
  Settings.DelimiterFileName = scratchPath("no-such-sound.wav"); // the default tone plays instead
  play();
  const auto before = std::chrono::steady_clock::now();
  tickAt(51);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  EXPECT_GE(waited, 0.2) << "the tick waits for the sound";
  EXPECT_EQ(bar(), 30);
  EXPECT_EQ(engineSeconds(), 30.0);
  EXPECT_TRUE(window->Timer_Pos->isActive() && window->Timer_RenderTimer->isActive());
  EXPECT_EQ(BASS_ChannelIsActive(window->OutputChannel()), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(Repeat, SettingBWhileStoppedSendsTheSoundToAButLeavesTheBar) {
  setA(30);
  window->hsPosition->setPosition(80);
  window->B1Click();
  EXPECT_EQ(window->RepeatState, 3);
  EXPECT_EQ(bar(), 80);
  EXPECT_EQ(engineSeconds(), 30.0);
  EXPECT_EQ(window->hsPosition->SelStart(), 30);
  EXPECT_EQ(window->hsPosition->SelEnd(), 80);
  EXPECT_EQ(window->SpdBtn_RepEnd->captionColor(), QColor(0, 255, 255));
  play();
  window->Timer_PosTimer();
  EXPECT_EQ(bar(), 30) << "the first tick shows where the sound is";
}

TEST_F(Repeat, RefusedPointsBeepAndChangeNothing) {
  setA(90);
  EXPECT_EQ(beeps, 1) << "A at the end of the file";
  EXPECT_FALSE(window->SpdBtn_RepStart->Down());
  EXPECT_FALSE(window->A1->isChecked());
  setB(0);
  EXPECT_EQ(beeps, 2) << "B on the stored A, both 0";
  setA(40);
  setB(40);
  EXPECT_EQ(beeps, 3) << "B on A";
  setB(20);
  EXPECT_EQ(beeps, 4) << "B before A would run backwards";
  setB(60);
  window->A1Click(); // clear A
  setA(70);
  EXPECT_EQ(beeps, 5) << "A after B would run backwards";
  EXPECT_EQ(window->RepeatState, 2);
  EXPECT_TRUE(window->B1->isChecked());
  EXPECT_FALSE(window->A1->isChecked());
}

TEST_F(Repeat, ClearingAWithBSetLeavesTheSectionFromTheStartToB) {
  setA(30);
  setB(50);
  window->A1Click();
  EXPECT_EQ(window->RepeatState, 2);
  EXPECT_EQ(window->hsPosition->SelStart(), 0);
  EXPECT_EQ(window->hsPosition->SelEnd(), 50);
  EXPECT_EQ(Settings.RepeatPointA, 0);
  window->B1Click();
  EXPECT_EQ(window->RepeatState, 0);
  EXPECT_EQ(window->hsPosition->SelEnd(), 0);
  EXPECT_FALSE(window->B1->isChecked());
}

TEST_F(Repeat, TheMenuMarkFollowsTheButtonWhenChosenFromTheMenu) {
  window->hsPosition->setPosition(10);
  window->A1->trigger();
  runPosted();
  EXPECT_TRUE(window->SpdBtn_RepStart->Down());
  EXPECT_TRUE(window->A1->isChecked());
  window->A1->trigger();
  runPosted();
  EXPECT_FALSE(window->SpdBtn_RepStart->Down());
  EXPECT_FALSE(window->A1->isChecked());
}

TEST_F(Repeat, ASectionRunningBackwardsFromAHandEditedFileIsNotRestored) {
  window->FormDestroy();
  delete window;
  window = nullptr;
  writeSettings("[WaveFile]\nRepeatFlag=3\nRepeatPointA=60\nRepeatPointB=20\n");
  start(quietTone(90));
  EXPECT_EQ(window->RepeatState, 0);
  play();
  tickAt(40);
  window->hsPosition->setPosition(70);
  EXPECT_EQ(bar(), 70) << "no bouncing between the points";
}

} // namespace
