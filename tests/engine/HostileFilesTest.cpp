// Files that are not what they claim fail cleanly with an error code, or open and play safely.
#include "EngineFixture.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <fstream>

namespace lyt::test {
namespace {

using HostileFiles = OfflineEngine;

std::vector<unsigned char> randomBytes(size_t count, uint32_t seed) {
  std::vector<unsigned char> bytes(count);
  for (unsigned char &b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(seed >> 24);
  }
  return bytes;
}

void expectRefused(const std::string &path, int expectedError) {
  const Opened opened = openLikeThePlayer(path);
  EXPECT_EQ(opened.source, 0u) << path;
  EXPECT_EQ(opened.error, expectedError) << path;
}

TEST_F(HostileFiles, NothingOpensAMissingEmptyOrRandomFile) {
  expectRefused(scratchPath("missing.mp3"), BASS_ERROR_FILEOPEN);
  expectRefused(scratchDir(), BASS_ERROR_FILEFORM);
  writeBytes(scratchPath("empty.wav"), {});
  expectRefused(scratchPath("empty.wav"), BASS_ERROR_FILEFORM);
  for (const char *extension : {"mp3", "wav", "ogg", "wma", "mod", "xm", "m4a", "flac"}) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      const std::string path = scratchPath("random" + std::to_string(seed) + "." + extension);
      writeBytes(path, randomBytes(20000 * seed, seed));
      expectRefused(path, BASS_ERROR_FILEFORM);
    }
  }
}

// Whatever opens must play to its reported end without crashing.
void expectSafe(const std::string &path) {
  const Opened opened = openLikeThePlayer(path);
  if (!opened.source)
    return;
  const double length = lengthSeconds(opened);
  ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
  const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  const double heard = renderOutput(output).size() / 2.0 / kRate;
  EXPECT_LE(heard, length + 0.05) << path;
  BASS_FX_TempoFree(opened.source);
}

TEST_F(HostileFiles, TruncatedFilesOpenOnlyWhatIsThere) {
  for (const char *name :
       {"pcm16.wav", "tone.flac", "tone.ogg", "cbr.mp3", "v2.wma", "tone.m4a", "song.it"}) {
    std::vector<unsigned char> bytes = readBytes(fixture(name).path);
    for (const double keep : {0.5, 0.05}) {
      const std::string path = scratchPath(std::string("cut") + std::to_string(int(keep * 100)) + name);
      writeBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.begin() + long(bytes.size() * keep)));
      expectSafe(path);
    }
  }
}

TEST_F(HostileFiles, AWavHeaderClaimingGigabytesOpensWithTheRealLength) {
  std::vector<unsigned char> bytes = readBytes(fixture("pcm16.wav").path);
  for (size_t i = 12; i + 8 < bytes.size(); ++i) {
    if (std::equal(bytes.begin() + long(i), bytes.begin() + long(i) + 4, "data")) {
      bytes[i + 4] = bytes[i + 5] = bytes[i + 6] = 0xF0; // about four gigabytes
      bytes[i + 7] = 0xFF;
      break;
    }
  }
  const std::string path = scratchPath("huge.wav");
  writeBytes(path, bytes);
  const Opened opened = openLikeThePlayer(path);
  ASSERT_NE(opened.source, 0u);
  EXPECT_NEAR(lengthSeconds(opened), 3.0, 0.01);
  BASS_StreamFree(opened.source);
  expectSafe(path);
}

TEST_F(HostileFiles, AFileNameThatIsNotUtf8Opens) {
  const std::string path = scratchPath("\xff\xfe\x81 take \x8b.wav");
  writeBytes(path, readBytes(fixture("pcm16.wav").path));
  const Opened opened = openLikeThePlayer(path);
  ASSERT_NE(opened.source, 0u) << "error " << opened.error;
  EXPECT_NEAR(lengthSeconds(opened), 3.0, 1e-6);
}

} // namespace
} // namespace lyt::test
