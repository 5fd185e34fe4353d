// Every format opens through the right one of the three tries, with a length that matches what
// it really decodes to.
#include "EngineFixture.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <sndfile.h>

#include <unistd.h>

#include <cmath>
#include <fstream>

namespace lyt::test {
namespace {

class Formats : public OfflineEngine, public ::testing::WithParamInterface<std::string> {};

Opened::By expectedOpener(const Fixture &f) {
  switch (f.openedBy) {
  case Fixture::Opener::Stream:
    return Opened::By::Stream;
  case Fixture::Opener::Wma:
    return Opened::By::Wma;
  case Fixture::Opener::Music:
    return Opened::By::Music;
  }
  return Opened::By::Nothing;
}

TEST_P(Formats, OpenByTheRightTryWithTheLengthItDecodesTo) {
  const Fixture &f = fixture(GetParam());
  const Opened opened = openLikeThePlayer(f.path);
  ASSERT_NE(opened.source, 0u) << "error " << opened.error;
  EXPECT_EQ(opened.by, expectedOpener(f));
  const double length = lengthSeconds(opened);
  // Encoders add a little silence at either end; modules are timed by their rows.
  EXPECT_NEAR(length, f.seconds, f.decoded == Decoded::Exactly ? 1e-6 : 0.12);

  ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
  const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  const std::vector<float> heard = render(output);
  const double heardSeconds = heard.size() / 2.0 / kRate;
  // The position bar's maximum is this length: the sound must end there. Containers that keep
  // time in packets (FFmpeg's) may differ by one codec frame.
  const double tolerance = f.openedBy == Fixture::Opener::Wma ? 2100.0 / f.rate : 1.5 / f.rate;
  EXPECT_NEAR(heardSeconds, length, f.openedBy == Fixture::Opener::Music ? 0.02 : tolerance);
  EXPECT_GT(rms(channel(heard, 2, 0)), 0.05) << "the recording sounds silent";
}

std::vector<std::string> fixtureNames() {
  std::vector<std::string> names;
  for (const Fixture &f : allFixtures())
    names.push_back(f.name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, Formats, ::testing::ValuesIn(fixtureNames()),
                         [](const auto &info) { return testNameOf(info.param); });

TEST_F(OfflineEngine, ALameTaggedMp3IsTheRecordingToTheSample) {
  const std::vector<float> recording = noise(3.0, kRate, 1, 0.3f, 7);
  for (const bool vbr : {false, true}) {
    const std::string path = scratchPath(vbr ? "gapless-vbr.mp3" : "gapless-cbr.mp3");
    writeSndfile(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, recording, kRate, 1, vbr);
    const Opened opened = openLikeThePlayer(path);
    ASSERT_EQ(opened.by, Opened::By::Stream) << "error " << opened.error;
    EXPECT_EQ(BASS_StreamGetLength(opened.source), recording.size() * 2) << "16-bit mono bytes";
    ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
    const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
    ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
    const std::vector<float> heard = channel(render(output), 2, 0);
    EXPECT_EQ(heard.size(), recording.size());
    ASSERT_GT(heard.size(), size_t(kRate + 4096));
    // Neither the encoder's nor the decoder's delay is heard.
    EXPECT_EQ(bestLag(recording, kRate,
                      std::vector<float>(heard.begin() + kRate, heard.begin() + kRate + 4096), 1500),
              0);
    BASS_FX_TempoFree(opened.source);
  }
}

// A 10 s and a 20 s part from a recorder, joined end to end, with a 74 KB picture in the second
// part's ID3v2 tag and an ID3v1 tag at the end. All of it plays but the first part's start: 30.095 s
// (libmpg123 decodes 30.088 s, cutting the first part's 7 ms of padding as well; FFmpeg 30.069 s).
TEST_F(OfflineEngine, Mp3PartsJoinedWithCoverArtBetweenPlayWhole) {
  const DWORD source =
      openAndPlay(std::string(LYT_TEST_RECORDINGS) + "/mp3-two-parts-joined-with-cover-art.mp3");
  ASSERT_TRUE(LYT_AwaitExactLength(source)); // the first part's Info frame gives the estimate
  const double length = BASS_ChannelBytes2Seconds(source, BASS_StreamGetLength(source));
  EXPECT_NEAR(length, 30.09, 0.01);
  const std::vector<float> heard = render(BASS_FX_TempoGetResampledHandle(source));
  EXPECT_NEAR(heard.size() / 2.0 / kRate, length, 1.0 / kRate);
  EXPECT_GT(rms(std::vector<float>(heard.end() - 2 * kRate, heard.end())), 0.01) << "the second part sounds";
  BASS_FX_TempoFree(source);
}

// A phone call in AMR-NB or AMR-WB with discontinuous transmission: speech in the even seconds,
// a comfort-noise frame and then no-data frames in the odd ones. 3,000 frames of 20 ms; any bits
// are valid speech parameters.
std::vector<unsigned char> amrCallWithPauses(bool wideBand) {
  const std::string magic = wideBand ? "#!AMR-WB\n" : "#!AMR\n";
  std::vector<unsigned char> bytes(magic.begin(), magic.end());
  const int speechType = wideBand ? 8 : 7, sidType = speechType + 1; // the highest bit rate, SID
  const int speechBytes = wideBand ? 60 : 31;
  uint32_t seed = 5;
  for (int frame = 0; frame < 3000; ++frame) {
    const bool speech = (frame / 50) % 2 == 0;
    const int type = speech ? speechType : frame % 50 == 0 ? sidType : 15; // 15: no data
    bytes.push_back(static_cast<unsigned char>(type << 3 | 0x04));
    const int payload = type == speechType ? speechBytes : type == sidType ? 5 : 0;
    for (int i = 0; i < payload; ++i) {
      seed = seed * 1664525u + 1013904223u;
      bytes.push_back(static_cast<unsigned char>(seed >> 24));
    }
  }
  return bytes;
}

// In its storage format (.amr) and in 3GP, as call recorders write it: FFmpeg's decoder would drop
// the no-data frames and the container's time would drift from what is heard.
TEST_F(OfflineEngine, AnAmrCallPlaysEveryFrameIncludingItsPauses) {
  for (const std::string name : {"call.amr", "call-wb.amr", "call.3gp", "call-wb.3gp"}) {
    const bool wideBand = name.find("wb") != std::string::npos;
    const std::string stored = scratchPath(wideBand ? "call-wb.amr" : "call.amr");
    writeBytes(stored, amrCallWithPauses(wideBand));
    const std::string path = scratchPath(name);
    if (path != stored)
      remuxWithFfmpeg(stored, path);
    const Opened opened = openLikeThePlayer(path);
    ASSERT_NE(opened.source, 0u) << name << ": error " << opened.error;
    EXPECT_DOUBLE_EQ(lengthSeconds(opened), 60.0) << name;
    ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
    const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
    ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
    EXPECT_NEAR(render(output).size() / 2.0 / kRate, 60.0, 1e-4) << name;
    // No drift: late in the call, speech and pause are where the frames put them.
    for (const double second : {50.25, 51.25}) {
      ASSERT_TRUE(
          BASS_ChannelSetPosition(opened.source, BASS_ChannelSeconds2Bytes(opened.source, float(second))));
      ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
      const double level = rms(channel(render(output, kRate / 2), 2, 0));
      if (int(second) % 2 == 0)
        EXPECT_GT(level, 0.01) << name << ": speech at " << second;
      else
        EXPECT_LT(level, 1e-4) << name << ": pause at " << second;
    }
    BASS_FX_TempoFree(opened.source);
  }
}

long residentBytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

// 32 MiB of 1-byte no-data frames: the frame walk keeps one place per 64 frames, where one 8-byte
// place per frame took eight times the file's size.
TEST_F(OfflineEngine, AnAmrFileOfOneByteFramesTakesLessMemoryThanItsSize) {
  const std::string path = scratchPath("no-data.amr");
  const size_t frames = 32u << 20;
  std::vector<unsigned char> bytes = {'#', '!', 'A', 'M', 'R', '\n'};
  bytes.resize(bytes.size() + frames, 15 << 3 | 0x04);
  writeBytes(path, bytes);
  bytes = {};
  const long before = residentBytes();
  const Opened opened = openLikeThePlayer(path);
  ASSERT_NE(opened.source, 0u) << "error " << opened.error;
  EXPECT_LT(residentBytes() - before, long(frames));
  EXPECT_DOUBLE_EQ(lengthSeconds(opened), float(frames * 0.02));
}

} // namespace
} // namespace lyt::test
