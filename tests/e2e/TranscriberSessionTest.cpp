// A transcriber's session, end to end: a file handed over by a second start, hot keys pressed in
// another window, a slower speed, a section, the counter copied and a typed time, the counter strip,
// and everything back after a restart.
#include "ProgramUnderX.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cstdio>
#include <cstdlib>

using namespace lyt::test;
using namespace keysym;

namespace {

std::string clipboard() {
  std::array<char, 64> text{};
  FILE *pipe = popen("xclip -o -selection clipboard 2>/dev/null", "r");
  const size_t n = pipe ? fread(text.data(), 1, text.size() - 1, pipe) : 0;
  if (pipe)
    pclose(pipe);
  return std::string(text.data(), n);
}

TEST(TranscriberSession, WorksFromTheKeyboardAndIsRememberedAcrossARestart) {
  if (!std::getenv("DISPLAY"))
    GTEST_SKIP() << "needs an X server (make test runs these under xvfb-run)";
  const std::string interview = scratchPath("interview.wav");
  writeSndfile(interview, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(180, 60, 8000, 1, 0.1f), 8000, 1);
  // F1 play/stop, F2 fast forward, F3 copy counter, F4 counter entry, F5 A, F6 B, F7 speed 0.5.
  const std::string settings = "[KeyMap]\n1=000,112, 1\n2=000,113, 2\n5=000,114, 5\n6=000,115, 6\n"
                               "13=000,116,13\n14=000,117,14\n17=000,118,17\n[WaveFile]\nRevSec=0\nFfRwSec=10\n";
  {
    ProgramUnderX program(settings, "", "session");
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.secondStart(interview), 0) << "the second start hands the file over";
    ASSERT_TRUE(waitUntil([&] { return program.player().stopped(); })) << "the file is open";
    program.tap(F2); // 10, playing
    program.tap(F5); // A at 10
    program.tap(F2); // 20
    program.tap(F6); // B at 20: the sound goes back to A
    program.tap(F1); // stop: the bar shows 20
    program.tap(F7); // half speed
    program.tap(F3); // the counter to the clipboard
    EXPECT_TRUE(waitUntil([] { return clipboard() == "00:00:20"; })) << clipboard();
    program.tap(F4); // the counter entry, in front
    ASSERT_TRUE(waitUntil([&] { return program.hasKeys(program.window("ｶｳﾝﾀ指定")); }));
    for (uint32_t digit : {0x30u, 0x30u, 0x30u, 0x30u, 0x31u, 0x35u})
      program.tap(digit); // 00:00:15
    ASSERT_TRUE(waitUntil([&] { return !program.window("ｶｳﾝﾀ指定") && program.player().stoppedAt(15); }));
    const int fullHeight = program.windowSize().second;
    ASSERT_TRUE(program.chooseFromMenu(150, 110, 3)); // the counter strip
    ASSERT_TRUE(waitUntil([&] { return program.windowSize().second < fullHeight; }));
    ASSERT_TRUE(program.closeThroughWindow());
    const IniFile saved = program.settings();
    EXPECT_EQ(saved.readString("WaveFile", "AudioFileName", ""), interview);
    EXPECT_EQ(saved.readInteger("WaveFile", "Position", -1), 15);
    EXPECT_EQ(saved.readInteger("WaveFile", "Tempo", -1), -50);
    EXPECT_EQ(saved.readInteger("WaveFile", "RepeatFlag", -1), 3);
    EXPECT_EQ(saved.readInteger("WaveFile", "RepeatPointA", -1), 10);
    EXPECT_EQ(saved.readInteger("WaveFile", "RepeatPointB", -1), 20);
  }
  ProgramUnderX again("keep", "", "session");
  ASSERT_TRUE(again.started());
  again.tap(F3); // the restored place, on the clipboard
  EXPECT_TRUE(waitUntil([] { return clipboard() == "00:00:15"; })) << clipboard();
  ASSERT_TRUE(again.closeThroughWindow());
  const IniFile saved = again.settings();
  EXPECT_EQ(saved.readInteger("WaveFile", "Position", -1), 15);
  EXPECT_EQ(saved.readInteger("WaveFile", "Tempo", -1), -50);
  EXPECT_EQ(saved.readInteger("WaveFile", "RepeatFlag", -1), 3);
  EXPECT_EQ(saved.readString("KeyMap", "17", ""), "000,118,17");
}

} // namespace
