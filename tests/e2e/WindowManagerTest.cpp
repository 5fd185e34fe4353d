// Under a window manager: always on top as the window manager sees it, and hot keys that keep
// working through every change of mode and stacking.
#include "ProgramUnderX.h"
#include "WindowManager.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace lyt::test;
using namespace keysym;

namespace {

class UnderAWindowManager : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "needs an X server (make test runs these under xvfb-run)";
    wm_ = std::make_unique<WindowManager>();
    ASSERT_TRUE(wm_->running()) << "openbox did not start";
  }
  std::unique_ptr<WindowManager> wm_;
};

TEST_F(UnderAWindowManager, OnTopFollowsTheSettingAndHotKeysSurviveEveryChange) {
  const std::string file = scratchPath("wm.wav");
  writeSndfile(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, 60, 8000, 1, 0.05f), 8000, 1);
  ProgramUnderX program("[KeyMap]\n2=000,113, 2\n[WaveFile]\nFfRwSec=10\nRevSec=0\nTopMost=1\nDspMode=1\n",
                        file);
  ASSERT_TRUE(program.started());
  ASSERT_NE(program.mainWindow(), 0u);
  EXPECT_TRUE(program.keptAbove()) << "on top from the settings";
  program.tap(F2); // 10, playing
  // The pop-up menu on the counter strip, its first item: always on top, off.
  ASSERT_TRUE(program.chooseFromMenu(20, 8, 1));
  EXPECT_TRUE(waitUntil([&] { return !program.keptAbove(); }));
  program.tap(F2); // 20
  const auto stripCorner = program.frameCorner(program.mainWindow());
  ASSERT_TRUE(program.chooseFromMenu(20, 8, 2)); // full mode: a frame, its corner where the strip's was
  ASSERT_TRUE(waitUntil([&] { return program.framed() && program.frameCorner(program.mainWindow()) == stripCorner; }));
  program.tap(F2);                                 // 30
  ASSERT_TRUE(program.chooseFromMenu(150, 120, 1)); // on top again, in full mode
  EXPECT_TRUE(waitUntil([&] { return program.keptAbove(); }));
  program.tap(F2); // 40
  ASSERT_TRUE(waitUntil([&] { return program.player().playingFrom(40); }));
  ASSERT_TRUE(program.closeThroughWindow());
  const IniFile saved = program.settings();
  // Four skips of 10 s, and the position timer's ticks of the few seconds of playing.
  const int64_t position = saved.readInteger("WaveFile", "Position", -1);
  EXPECT_GE(position, 40) << "every fast forward arrived";
  EXPECT_LE(position, 44);
  EXPECT_EQ(saved.readInteger("WaveFile", "TopMost", -1), 1);
  EXPECT_EQ(saved.readInteger("WaveFile", "DspMode", -1), 1);
}

TEST_F(UnderAWindowManager, TheWindowReopensWhereItWasAndNeverOffTheScreen) {
  const std::string file = scratchPath("wm-place.wav");
  writeSndfile(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, 5, 8000, 1, 0.05f), 8000, 1);
  std::string settings = "[Position]\nTop=-400\nLeft=-300\n";
  for (int run = 0; run < 5; ++run) {
    ProgramUnderX program(settings, file, "wm-place");
    ASSERT_TRUE(program.started());
    if (run == 4) {
      std::filesystem::create_directories(LYT_BUILD_DIR "/screenshots");
      program.screenshot(LYT_BUILD_DIR "/screenshots/after-five-starts-under-openbox.png");
    }
    ASSERT_TRUE(program.closeThroughWindow());
    EXPECT_EQ(program.settings().readInteger("Position", "Top", -1), run == 0 ? 0 : 130) << run;
    EXPECT_EQ(program.settings().readInteger("Position", "Left", -1), run == 0 ? 0 : 210) << run;
    settings = run == 0 ? "[Position]\nTop=130\nLeft=210\n" : "keep";
  }
}

TEST_F(UnderAWindowManager, TheCounterEntryGivesTheKeysBackToTheEditor) {
  const std::string file = scratchPath("wm-counter.wav");
  writeSndfile(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, 60, 8000, 1, 0.05f), 8000, 1);
  ProgramUnderX program("[KeyMap]\n6=000,115, 6\n", file);
  ASSERT_TRUE(program.started());
  for (const uint32_t last : {0x39u, 0x30u}) { // 00:00:09, then 00:00:20 at a second opening
    ASSERT_TRUE(program.otherHasFocus());
    program.tap(F4); // the counter dialog, in front, on the main window's corner
    ASSERT_TRUE(waitUntil([&] { return program.window("ｶｳﾝﾀ指定") != 0; })) << "titled exactly";
    EXPECT_TRUE(waitUntil([&] { return !program.otherHasFocus(); })) << "the dialog takes the keys";
    EXPECT_TRUE(waitUntil([&] {
      return program.frameCorner(program.window("ｶｳﾝﾀ指定")) == program.frameCorner(program.mainWindow());
    })) << "dialog at " << program.frameCorner(program.window("ｶｳﾝﾀ指定")).first << ","
        << program.frameCorner(program.window("ｶｳﾝﾀ指定")).second << ", main window at "
        << program.frameCorner(program.mainWindow()).first << "," << program.frameCorner(program.mainWindow()).second;
    for (uint32_t digit : {0x30u, 0x30u, 0x30u, 0x30u, last == 0x39u ? 0x30u : 0x32u, last})
      program.tap(digit);
    EXPECT_TRUE(waitUntil([&] { return program.otherHasFocus(); })) << "the editor has the keys again";
  }
  ASSERT_TRUE(program.closeThroughWindow());
  EXPECT_EQ(program.settings().readInteger("WaveFile", "Position", -1), 20);
}

TEST_F(UnderAWindowManager, DraggingTheBackgroundMovesTheWindowInBothModes) {
  const std::string file = scratchPath("wm-drag.wav");
  writeSndfile(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, 5, 8000, 1, 0.05f), 8000, 1);
  ProgramUnderX program("[WaveFile]\nDspMode=1\n", file);
  ASSERT_TRUE(program.started());
  const auto [left, top] = program.windowPosition();
  program.drag(120, 1, 200, 150); // on the counters of the strip: they are its background
  const auto [movedLeft, movedTop] = program.windowPosition();
  EXPECT_NEAR(movedLeft - left, 200, 20);
  EXPECT_NEAR(movedTop - top, 150, 20);
  const auto stripCorner = program.frameCorner(program.mainWindow());
  ASSERT_TRUE(program.chooseFromMenu(20, 8, 2)); // full mode: a frame, its corner where the strip's was
  EXPECT_TRUE(waitUntil([&] { return program.framed() && program.frameCorner(program.mainWindow()) == stripCorner; }))
      << "the window stays where it was moved";
  const auto [fullLeft, fullTop] = program.windowPosition();
  program.drag(150, 112, -100, 80); // between the equaliser and the tempo slider
  const auto [endLeft, endTop] = program.windowPosition();
  EXPECT_NEAR(endLeft - fullLeft, -100, 20);
  EXPECT_NEAR(endTop - fullTop, 80, 20);
  ASSERT_TRUE(program.closeThroughWindow());
}

} // namespace
