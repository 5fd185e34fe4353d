// The engine against a clocked device: real time, threads, and commands heard at once.
#include "Bass.h"
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace lyt::test {
namespace {

using namespace std::chrono_literals;

std::atomic<int> gEnds{0};
std::atomic<bool> gEndOnCallerThread{false};
std::thread::id gCallerThread;

void noteEnd(HSYNC, DWORD, DWORD, DWORD) {
  ++gEnds;
  gEndOnCallerThread = std::this_thread::get_id() == gCallerThread;
}

class Realtime : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ASSERT_TRUE(BASS_Init(GetParam(), kRate, 0, nullptr, nullptr)) << "error " << BASS_ErrorGetCode();
    gCallerThread = std::this_thread::get_id();
  }
  void TearDown() override { BASS_Free(); }

  DWORD open(const std::string &path) {
    const Opened opened = openLikeThePlayer(path);
    EXPECT_NE(opened.source, 0u);
    EXPECT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
    return opened.source;
  }
  static double seconds(DWORD source) {
    return BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source));
  }
};

TEST_P(Realtime, PlaysAtTheSpeedOfTheClockAndStopsWhereItWasHeard) {
  const DWORD source = open(fixture("pcm16.wav").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, BASS_SAMPLE_LOOP));
  std::this_thread::sleep_for(400ms);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // The dummy driver of SDL runs a few percent fast, and a period may be in flight.
  EXPECT_NEAR(seconds(source), elapsed, 0.15);
  ASSERT_TRUE(BASS_ChannelStop(output));
  const double stoppedAt = seconds(source);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(seconds(source), stoppedAt) << "nothing moves while stopped";
  EXPECT_EQ(BASS_ChannelIsActive(output), DWORD(BASS_ACTIVE_STOPPED));
}

TEST_P(Realtime, ASeekWhilePlayingIsHeardWithinAPeriodAndNothingStaleFollows) {
  const DWORD source = open(fixture("pcm16.wav").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  ASSERT_TRUE(lyt::test::waitUntil([&] { return seconds(source) > 0.1; }, 1000ms));
  const uint32_t before = LYT_OutputGeneration(output);
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(BASS_ChannelStop(source));
  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 2)));
  uint32_t heardGeneration = 0;
  ASSERT_TRUE(lyt::test::waitUntil(
      [&] {
        LYT_OutputStartNanoseconds(output, &heardGeneration);
        return heardGeneration > before;
      },
      1000ms));
  const int64_t heardNs = static_cast<int64_t>(LYT_OutputStartNanoseconds(output, &heardGeneration));
  const double latency =
      (heardNs - std::chrono::duration_cast<std::chrono::nanoseconds>(asked.time_since_epoch()).count()) /
      1e9;
  EXPECT_LT(latency, 0.2) << "generous here; the benchmark measures it";
  // Heard from 2 s on, never from before: the file holds 3 s.
  ASSERT_TRUE(lyt::test::waitUntil([&] { return seconds(source) > 2.0; }, 1000ms));
  EXPECT_LT(seconds(source), 3.0) << "continues from the new position";
}

TEST_P(Realtime, AfterTheDeviceHasSleptPlayIsHeardAtOnceFromWhereItStopped) {
  const DWORD source = open(fixture("pcm16.wav").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  ASSERT_TRUE(lyt::test::waitUntil([&] { return seconds(source) > 0.1; }, 1000ms));
  ASSERT_TRUE(BASS_ChannelStop(output));
  const double stoppedAt = seconds(source);
  ASSERT_TRUE(lyt::test::waitUntil([] { return LYT_DeviceAsleep(); }, 5000ms));
  const auto asked = std::chrono::steady_clock::now();
  const int64_t askedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(asked.time_since_epoch()).count();
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  const uint32_t playing = LYT_OutputGeneration(output);
  uint32_t heardGeneration = 0;
  int64_t heardNs = 0;
  ASSERT_TRUE(lyt::test::waitUntil(
      [&] {
        heardNs = static_cast<int64_t>(LYT_OutputStartNanoseconds(output, &heardGeneration));
        return heardGeneration == playing && heardNs > askedNs;
      },
      1000ms));
  EXPECT_LT((heardNs - askedNs) / 1e9, 0.1) << "generous here; the benchmark measures it";
  EXPECT_FALSE(LYT_DeviceAsleep());
  ASSERT_TRUE(lyt::test::waitUntil([&] { return seconds(source) > stoppedAt; }, 1000ms));
  EXPECT_LT(seconds(source), stoppedAt + 0.1) << "goes on from where it stopped";
}

TEST_P(Realtime, TheEndIsNotifiedOnAnEngineThreadAndTheOutputFallsSilent) {
  const std::string path = writeWav("short.wav", sine(440, 0.3, kRate, 1), kRate, 1);
  const DWORD source = open(path);
  gEnds = 0;
  BASS_ChannelSetSync(source, BASS_SYNC_END, 0, noteEnd, 0);
  ASSERT_TRUE(BASS_StreamPlay(BASS_FX_TempoGetResampledHandle(source), FALSE, BASS_SAMPLE_LOOP));
  ASSERT_TRUE(lyt::test::waitUntil([] { return gEnds.load() > 0; }, 2000ms));
  EXPECT_FALSE(gEndOnCallerThread.load());
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(gEnds.load(), 1);
  EXPECT_EQ(BASS_ChannelIsActive(source), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_NEAR(seconds(source), 0.3, 0.01) << "the whole recording was heard";
}

// Commands from the caller's thread while the engine's threads play: run under the thread sanitizer.
TEST_P(Realtime, CommandsWhilePlayingAreSafe) {
  const DWORD source = open(fixture("tone.ogg").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  DWORD rate = 0;
  BASS_ChannelGetAttributes(source, &rate, nullptr, nullptr);
  BASS_FX_DSP_Set(source, BASS_FX_DSPFX_PEAKEQ, 0);
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  float spectrum[513];
  for (int i = 0; i < 60; ++i) {
    BASS_FX_TempoSet(source, float(i % 7 * 20 - 40), -1, float(i % 5 - 2));
    BASS_FXPEAKEQ band{i % 6, rate, 2.5f, 0, 400.0f * (1 + i % 6), float(i % 12 - 6)};
    EXPECT_TRUE(BASS_FX_DSP_SetParameters(source, BASS_FX_DSPFX_PEAKEQ, &band));
    BASS_ChannelSetAttributes(output, -1, i % 101, -101);
    if (i % 4 == 0)
      BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, float(i % 3)));
    if (i % 9 == 0) {
      BASS_ChannelStop(output);
      BASS_StreamPlay(output, i % 2, 0);
    }
    EXPECT_NE(BASS_ChannelGetData(output, spectrum, BASS_DATA_FFT1024), DWORD(-1));
    std::this_thread::sleep_for(3ms);
  }
  EXPECT_TRUE(BASS_FX_TempoFree(source));
}

INSTANTIATE_TEST_SUITE_P(Devices, Realtime, ::testing::Values(BASS_DEVICE_NOSOUND, BASS_DEVICE_DEFAULT),
                         [](const auto &info) {
                           return info.param == BASS_DEVICE_NOSOUND ? "NoSound" : "SdlDummy";
                         });

} // namespace
} // namespace lyt::test
