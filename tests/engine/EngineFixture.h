// A test fixture with the engine started offline, and helpers to open and render recordings.
#pragma once

#include "Bass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lyt::test {

constexpr int kRate = 44100;

struct Opened {
  DWORD source = 0;
  enum class By { Nothing, Stream, Wma, Music } by = By::Nothing;
  int error = 0;
};

// Opens as the player does (LYT_OpenFile), noting which try took the file.
Opened openLikeThePlayer(const std::string &path);
// The exact length, once a long MP3's frames have been counted.
double lengthSeconds(const Opened &opened);
// Renders up to maxFrames (all by default) of a playing output as stereo frames.
std::vector<float> renderOutput(DWORD output, size_t maxFrames = SIZE_MAX);

class OfflineEngine : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(LYT_InitOffline(kRate)); }
  void TearDown() override { BASS_Free(); }

  // Opens, attaches the tempo stream and starts its output; fails the test when that is impossible.
  DWORD openAndPlay(const std::string &path);
  static std::vector<float> render(DWORD output, size_t maxFrames = SIZE_MAX) {
    return renderOutput(output, maxFrames);
  }
};

} // namespace lyt::test
