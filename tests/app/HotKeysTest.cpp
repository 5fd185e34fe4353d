// The hot-key dispatch and the commands it runs, driven with the hook library's messages.
#include "Bass.h"
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QAction>
#include <QLabel>

#include <sndfile.h>

using namespace lyt::test;

namespace {

constexpr int32_t F1 = 0x70, F2 = 0x71, kCtrl = 0x11;

class HotKeys : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    file = quietTone(90);
  }
  void bind(int slot, int32_t modifiers, int32_t key, int32_t command) { KeyMap.slot(slot) = {modifiers, key, command}; }
  void press(int32_t key, int32_t modifiers = 0) {
    window->WndProc(window->HookMessage, static_cast<uint32_t>(key | modifiers << 16), 0);
    runPosted();
  }
  void release(int32_t key, int32_t modifiers = 0) {
    window->WndProc(window->HookMessage, static_cast<uint32_t>(key | modifiers << 16), static_cast<int32_t>(0x80000000u));
    runPosted();
  }
  void at(int seconds) {
    window->PositionSource(seconds);
    window->hsPosition->setPosition(seconds);
  }
  double engineSeconds() const {
    return BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel));
  }
  int bar() const { return window->hsPosition->Position(); }
  std::string file;
};

TEST_F(HotKeys, ABindingMatchesOnlyItsExactModifiers) {
  start(file);
  ASSERT_NE(window->HookMessage, 0u);
  bind(15, ModCtrl, F1, 15);
  press(F1);
  press(F1, ModCtrl | ModShift);
  press(F1, ModCtrl | ModAlt);
  window->WndProc(window->HookMessage + 1, F1 | ModCtrl << 16, 0); // some other message
  EXPECT_EQ(window->tbVolume->Position(), 50);
  press(F1, ModCtrl);
  EXPECT_EQ(window->tbVolume->Position(), 60);
  release(F1, ModCtrl);
  EXPECT_EQ(window->tbVolume->Position(), 60) << "releases run nothing";
}

TEST_F(HotKeys, ALoneModifierAndTwoSlotsWithOneCombinationAllRunInSlotOrder) {
  start(file);
  bind(16, ModCtrl, kCtrl, 16);
  press(kCtrl, ModCtrl);
  EXPECT_EQ(window->tbVolume->Position(), 40);
  bind(7, 0, F2, 7);
  bind(15, 0, F2, 15);
  bind(3, 0, F2, 23); // out of range, from a hand-edited file: ignored
  press(F2);
  EXPECT_EQ(window->tbEQBand0->Position(), 9);
  EXPECT_EQ(window->tbVolume->Position(), 50);
}

TEST_F(HotKeys, ThePlayKeyTogglesOnEachPress) {
  start(file);
  bind(1, 0, F1, 1);
  Settings.RevSec = 2;
  press(F1);
  EXPECT_EQ(window->Playing, 1);
  EXPECT_TRUE(window->SpdBtn_PlayStop->Down());
  release(F1);
  EXPECT_EQ(window->Playing, 1);
  at(30);
  press(F1);
  EXPECT_EQ(window->Playing, 0);
  EXPECT_FALSE(window->SpdBtn_PlayStop->Down());
  EXPECT_EQ(bar(), 28);
}

TEST_F(HotKeys, InTheNonLockModeThePlayKeyPlaysOnlyWhileHeld) {
  start(file);
  bind(1, 0, F1, 1);
  Settings.NonLockMode = true;
  Settings.RevSec = 3;
  press(F1);
  press(F1); // the key repeats while held
  press(F1);
  EXPECT_EQ(window->Playing, 1);
  at(20);
  release(F1);
  EXPECT_EQ(window->Playing, 0);
  EXPECT_EQ(bar(), 17);
  // Started with the button: a press changes nothing, the release stops.
  window->SpdBtn_PlayStop->setDown(true);
  window->SpdBtn_PlayStopClick();
  press(F1);
  EXPECT_EQ(window->Playing, 1);
  release(F1);
  EXPECT_EQ(window->Playing, 0);
}

TEST_F(HotKeys, AReleaseAfterTheEndOfTheFileWhileHeldPlaysAgain) {
  start(file);
  bind(1, 0, F1, 1);
  Settings.NonLockMode = true;
  press(F1);
  at(89);
  EndReached = -1;
  window->Timer_PosTimer();
  ASSERT_EQ(window->Playing, 0);
  release(F1);
  EXPECT_EQ(window->Playing, 1);
  EXPECT_EQ(engineSeconds(), 79.0);
}

TEST_F(HotKeys, SkipsLandOnWholeSecondsAndStartPlaybackWhenStopped) {
  start(file);
  Settings.FfRwSec = 5;
  at(60);
  window->RunCommand(2);
  EXPECT_EQ(bar(), 65);
  EXPECT_EQ(engineSeconds(), 65.0);
  EXPECT_EQ(window->Playing, 1);
  EXPECT_TRUE(window->SpdBtn_PlayStop->Down());
  window->RunCommand(3);
  window->RunCommand(3);
  EXPECT_EQ(bar(), 55);
  at(3);
  window->RunCommand(3);
  EXPECT_EQ(bar(), 0);
  EXPECT_EQ(engineSeconds(), 0.0);
  at(87);
  window->RunCommand(2);
  EXPECT_EQ(bar(), 90) << "the end of the file";
  Settings.FfRwSec = 0;
  window->PositionSource(40); // the sound ran on; the bar still shows 90
  window->RunCommand(2);
  EXPECT_EQ(engineSeconds(), 90.0) << "re-seeks to the bar's second";
  for (const int32_t step : {INT32_MAX, INT32_MIN}) {
    Settings.FfRwSec = step;
    at(45);
    window->RunCommand(2);
    EXPECT_EQ(bar(), step > 0 ? 90 : 0) << step;
    at(45);
    window->RunCommand(3);
    EXPECT_EQ(bar(), step > 0 ? 0 : 90) << step;
  }
}

TEST_F(HotKeys, AnEqualiserKeyRaisesItsBandAndWrapsFromTheTop) {
  start(file);
  for (int press = 1; press <= 9; ++press)
    window->RunCommand(10);
  EXPECT_EQ(window->tbEQBand3->Position(), 1);
  window->RunCommand(10);
  EXPECT_EQ(window->tbEQBand3->Position(), 0);
  window->RunCommand(10);
  EXPECT_EQ(window->tbEQBand3->Position(), 19);
}

TEST_F(HotKeys, VolumeStepsStopAtTheLimitsAndApplyAgainThere) {
  start(file);
  window->tbVolume->setPosition(95);
  window->RunCommand(15);
  EXPECT_EQ(window->tbVolume->Position(), 100);
  BASS_ChannelSetAttributes(window->OutputChannel(), -1, 30, -101);
  window->RunCommand(15);
  DWORD volume = 0;
  BASS_ChannelGetAttributes(window->OutputChannel(), nullptr, &volume, nullptr);
  EXPECT_EQ(volume, 100u) << "applied again at the limit";
  window->tbVolume->setPosition(5);
  window->RunCommand(16);
  EXPECT_EQ(window->tbVolume->Position(), 0);
}

TEST_F(HotKeys, TempoPresetsBeforeAnyFileUseTheInitialRange) {
  start();
  const int expected[4] = {-10, 0, 10, 10};
  for (int preset = 0; preset < 4; ++preset) {
    window->RunCommand(17 + preset);
    EXPECT_EQ(window->tbTempo->Position(), expected[preset]);
  }
  window->OpenMediaFile(file);
  window->RunCommand(17);
  EXPECT_EQ(window->tbTempo->Position(), -50);
  window->RunCommand(20);
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("2.0 "));
}

TEST_F(HotKeys, TempoStepsMoveByTheSetStepAndStopAtTheMaximum) {
  start(file);
  window->SpdBtn_PlayStop->setDown(true);
  window->SpdBtn_PlayStopClick();
  Settings.ChangeSpeed = 10;
  window->tbTempo->setPosition(195);
  window->RunCommand(21);
  EXPECT_EQ(window->tbTempo->Position(), 205);
  window->tbTempo->setPosition(300);
  const uint32_t before = LYT_OutputGeneration(window->OutputChannel());
  window->RunCommand(21);
  EXPECT_EQ(window->tbTempo->Position(), 300);
  EXPECT_EQ(LYT_OutputGeneration(window->OutputChannel()), before) << "no engine call";
  window->RunCommand(22);
  EXPECT_EQ(window->tbTempo->Position(), 290);
}

TEST_F(HotKeys, TheAAndBKeysWorkLikeTheMenuItems) {
  start(file);
  at(20);
  window->RunCommand(13);
  EXPECT_TRUE(window->SpdBtn_RepStart->Down());
  EXPECT_TRUE(window->A1->isChecked());
  at(40);
  window->RunCommand(14);
  EXPECT_EQ(window->RepeatState, 3);
  EXPECT_TRUE(window->B1->isChecked());
  window->RunCommand(13);
  EXPECT_FALSE(window->A1->isChecked());
  EXPECT_EQ(window->RepeatState, 2);
}

} // namespace
