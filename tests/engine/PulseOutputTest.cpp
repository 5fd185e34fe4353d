// The engine at a real sound server: a private PulseAudio with a null sink, whose monitor is what a
// listener would hear.
#include "Bass.h"
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/LevelSteps.h"
#include "support/PulseServer.h"
#include "support/WaitUntil.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <thread>

namespace lyt::test {
namespace {

using namespace std::chrono_literals;

bool sounding(int step) {
  return step >= 0;
}

std::atomic<int> gEnds{0};
void noteEnd(HSYNC, DWORD, DWORD, DWORD) {
  ++gEnds;
}

double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

class AtTheSoundServer : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server_.start()) << "pulseaudio did not start";
    setenv("PULSE_SERVER", server_.address().c_str(), 1);
    unsetenv("SDL_AUDIODRIVER");
  }
  void TearDown() override {
    BASS_Free();
    unsetenv("PULSE_SERVER");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  void init() {
    ASSERT_TRUE(BASS_Init(BASS_DEVICE_DEFAULT, kRate, 0, nullptr, nullptr));
    ASSERT_EQ(LYT_OutputProblem(), nullptr);
  }
  void open(const std::string &path) {
    source_ = openLikeThePlayer(path).source;
    ASSERT_NE(source_, 0u);
    ASSERT_TRUE(BASS_FX_TempoCreate(source_, 0));
    output_ = BASS_FX_TempoGetResampledHandle(source_);
  }
  double seconds() const { return BASS_ChannelBytes2Seconds(source_, BASS_ChannelGetPosition(source_)); }
  void playFrom(double at) {
    ASSERT_TRUE(BASS_ChannelSetPosition(source_, BASS_ChannelSeconds2Bytes(source_, static_cast<float>(at))));
    ASSERT_TRUE(BASS_StreamPlay(output_, FALSE, 0));
  }
  // Waits until the monitor has played a frame of `step` after frame `from`; its index.
  static std::optional<size_t> heardStep(const MonitorRecording &monitor, int step, size_t from = 0) {
    return firstHeard(monitor, [step](int heard) { return heard == step; }, from);
  }

  // Plays 20 s of level steps from `at`; once half a second has been heard the server dies.
  void playThenLoseTheServer(const std::string &name, double at) {
    init();
    open(levelSteps(name, 20));
    playFrom(at);
    ASSERT_TRUE(waitUntil([&] { return seconds() > at + 0.5; }));
    server_.kill();
    ASSERT_TRUE(waitUntil([] { return LYT_DeviceAsleep() != FALSE; }));
  }

  PulseServer server_;
  DWORD source_ = 0;
  DWORD output_ = 0;
};

TEST_F(AtTheSoundServer, AStopCorksTheStreamAndAPlayUncorksIt) {
  init();
  open(levelSteps("corks.wav", 10));
  playFrom(0);
  ASSERT_TRUE(waitUntil([&] { return server_.hasStream() && !server_.streamCorked(); }));
  const std::string inputs = server_.pactl("list sink-inputs");
  EXPECT_NE(inputs.find("media.name = \"corks.wav\""), std::string::npos) << "named for the recording";
  EXPECT_NE(inputs.find("application.icon_name = \"lystrel2\""), std::string::npos) << inputs;
  ASSERT_TRUE(BASS_ChannelStop(output_));
  EXPECT_TRUE(waitUntil([&] { return server_.streamCorked(); }, 2s)) << "at once, not after a while of silence";
  ASSERT_TRUE(BASS_StreamPlay(output_, FALSE, 0));
  EXPECT_TRUE(waitUntil([&] { return !server_.streamCorked(); }, 2s));
}

TEST_F(AtTheSoundServer, AfterASeekTheFirstNewSoundIsFromTheNewPlaceAndNothingOldFollows) {
  init();
  open(levelSteps("seek.wav", 20));
  MonitorRecording monitor(server_);
  ASSERT_TRUE(monitor.recording());
  playFrom(1.0);
  const std::optional<size_t> heard = heardStep(monitor, 4);
  ASSERT_TRUE(heard) << "the first place sounds";
  const size_t first = *heard;
  ASSERT_TRUE(BASS_ChannelSetPosition(source_, BASS_ChannelSeconds2Bytes(source_, 15.0f)));
  const std::optional<size_t> heardAfterJump = heardStep(monitor, 60, first);
  ASSERT_TRUE(heardAfterJump) << "the new place sounds";
  const size_t jumped = *heardAfterJump;
  ASSERT_TRUE(waitUntil([&] { return monitor.frames() > jumped + kRate / 2; }));
  const std::vector<float> left = monitor.left();
  int last = 4;
  for (size_t i = first; i < jumped; ++i) {
    const int step = stepOf(left[i]);
    if (step < 0)
      continue;
    EXPECT_TRUE(step == last || step == last + 1) << "the old place plays on in order until the jump, at " << i;
    last = step;
  }
  for (size_t i = jumped; i < left.size(); ++i)
    ASSERT_GE(stepOf(left[i]), 60) << "nothing from before the jump after it, at " << i;
}

TEST_F(AtTheSoundServer, NothingIsHeardAfterTheEndHasStoppedThePlayer) {
  init();
  open(levelSteps("end.wav", 2));
  gEnds = 0;
  BASS_ChannelSetSync(source_, BASS_SYNC_END, 0, noteEnd, 0);
  MonitorRecording monitor(server_);
  playFrom(1.0);
  ASSERT_TRUE(waitUntil([] { return gEnds.load() > 0; }, 5s));
  const size_t atEnd = monitor.frames();
  // As the window does at the end: stop, and go back to a place before it.
  BASS_ChannelStop(output_);
  BASS_ChannelStop(source_);
  ASSERT_TRUE(BASS_ChannelSetPosition(source_, BASS_ChannelSeconds2Bytes(source_, 1.0f)));
  ASSERT_TRUE(waitUntil([&] { return monitor.frames() > atEnd + kRate / 2; }));
  const std::vector<float> left = monitor.left();
  size_t heard = 0, lastSound = 0;
  for (size_t i = 0; i < left.size(); ++i)
    if (stepOf(left[i]) >= 0) {
      ++heard;
      lastSound = i;
    }
  EXPECT_NEAR(static_cast<double>(heard) / kRate, 1.0, 0.02) << "the second that was left, once";
  EXPECT_LE(lastSound, atEnd + kRate / 50) << "the end is notified once its last frame is heard";
  EXPECT_NEAR(seconds(), 1.0, 0.01);
}

TEST_F(AtTheSoundServer, AfterTheServerRestartsTheSoundGoesOnFromWhereItWasHeard) {
  ASSERT_NO_FATAL_FAILURE(playThenLoseTheServer("restart.wav", 2.0));
  const double heardBefore = seconds();
  ASSERT_TRUE(server_.start());
  MonitorRecording monitor(server_);
  const int expected = static_cast<int>(heardBefore / kStepSeconds);
  const std::optional<size_t> at = firstHeard(monitor, sounding);
  ASSERT_TRUE(at) << "the sound comes back without a play";
  const int step = stepOf(monitor.left()[*at]);
  EXPECT_GE(step, expected) << "nothing heard twice beyond a step";
  EXPECT_LE(step, expected + 1) << "nothing skipped beyond a step";
}

// Generous bounds: a call that waited for the server would wait for as long as it is stalled. The
// benchmark measures how long they take.
TEST_F(AtTheSoundServer, CommandsDoNotWaitForAStalledServer) {
  init();
  open(levelSteps("stalled.wav", 20));
  playFrom(0);
  ASSERT_TRUE(waitUntil([&] { return server_.hasStream() && !server_.streamCorked(); }));
  server_.stall(true);
  const auto quick = [](auto call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::steady_clock::now() - start < 500ms;
  };
  EXPECT_TRUE(quick([&] { BASS_ChannelStop(output_); }));
  EXPECT_TRUE(quick([&] { BASS_StreamPlay(output_, FALSE, 0); }));
  EXPECT_TRUE(quick([&] { BASS_ChannelSetPosition(source_, BASS_ChannelSeconds2Bytes(source_, 5.0f)); }));
  EXPECT_TRUE(quick([&] { BASS_ChannelSetAttributes(output_, -1, 50, -101); }));
  EXPECT_TRUE(quick([&] { BASS_ChannelGetPosition(source_); }));
  EXPECT_TRUE(quick([&] { BASS_ChannelStop(output_); }));
  server_.stall(false);
}

TEST_F(AtTheSoundServer, TheFeederRestsWhileTheOutputIsGone) {
  ASSERT_NO_FATAL_FAILURE(playThenLoseTheServer("gone.wav", 0));
  for (int press = 0; press < 3; ++press) {
    BASS_ChannelStop(output_);
    BASS_StreamPlay(output_, FALSE, 0);
  }
  const double before = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  // Nothing happens here, which takes a while to show.
  std::this_thread::sleep_for(1s);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT((cpuSeconds() - before) / wall, 0.1) << "no spinning on stale blocks";
}

TEST(NoSoundServer, TheEngineStartsAnywayAndSoundComesWhenAServerAppears) {
  PulseServer server;
  const std::string alsaConfig = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/lyt-no-alsa.conf";
  std::ofstream(alsaConfig) << "\n";
  setenv("ALSA_CONFIG_PATH", alsaConfig.c_str(), 1); // and no sound card either
  setenv("PULSE_SERVER", server.address().c_str(), 1);
  unsetenv("SDL_AUDIODRIVER");
  ASSERT_TRUE(BASS_Init(BASS_DEVICE_DEFAULT, kRate, 0, nullptr, nullptr));
  const char *problem = LYT_OutputProblem();
  ASSERT_NE(problem, nullptr);
  EXPECT_NE(std::string(problem).find("sound server"), std::string::npos) << problem;
  const DWORD source = openLikeThePlayer(levelSteps("appears.wav", 20)).source;
  ASSERT_TRUE(BASS_FX_TempoCreate(source, 0));
  ASSERT_TRUE(BASS_StreamPlay(BASS_FX_TempoGetResampledHandle(source), FALSE, 0));
  EXPECT_TRUE(LYT_DeviceAsleep());
  ASSERT_TRUE(server.start());
  MonitorRecording monitor(server);
  EXPECT_TRUE(firstHeard(monitor, sounding)) << "sound as soon as the server is there";
  BASS_Free();
  unsetenv("PULSE_SERVER");
  unsetenv("ALSA_CONFIG_PATH");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

} // namespace
} // namespace lyt::test
