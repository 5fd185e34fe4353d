// The recordings the engine tests share, written once per test process.
#pragma once

#include "ModuleWriter.h"

#include <string>
#include <vector>

namespace lyt::test {

enum class Decoded { Exactly, Lossy };

struct Fixture {
  std::string name;
  std::string path;
  int rate;
  int channels;
  double seconds; // of the signal written
  Decoded decoded;
  enum class Opener { Stream, Wma, Music } openedBy;
};

// A 440 Hz tone with noise under it, 3 seconds, in every format the player opens.
const std::vector<Fixture> &allFixtures();
const Fixture &fixture(const std::string &name);
// A fixture's name as a test's name: letters and digits, the rest made underscores.
std::string testNameOf(std::string fixtureName);
// A plain 16-bit WAV of the given signal.
std::string writeWav(const std::string &name, const std::vector<float> &interleaved, int rate, int channels);

} // namespace lyt::test
