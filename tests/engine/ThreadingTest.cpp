// The engine's threads against its callers: nothing the feeder does holds up a call, a failing
// recording ends alone, no notification arrives after its channel was freed, and background work
// runs below its caller's priority.
#include "BackgroundThread.h"
#include "Engine.h"
#include "EngineFixture.h"
#include "output/OutputDevice.h"
#include "support/Fixtures.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace lyt::test {
namespace {

using namespace std::chrono_literals;

// A slow stage of the chain: a mono source whose reads wait, once armed, until they are let go.
// With `throwAt` set, reading past that frame throws instead.
class GatedDecoder final : public Decoder {
public:
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool armed = false;
    bool waiting = false;
    bool open = false;
  };
  GatedDecoder(Gate &gate, int64_t throwAt = -1) : gate_(gate), throwAt_(throwAt) {}
  int channels() const override { return 1; }
  int sampleRate() const override { return kRate; }
  int64_t lengthFrames() const override { return 60 * kRate; }
  int64_t read(float *out, int64_t frames) override {
    std::unique_lock<std::mutex> lock(gate_.mutex);
    if (gate_.armed) {
      gate_.waiting = true;
      gate_.changed.notify_all();
      gate_.changed.wait(lock, [this] { return gate_.open; });
    }
    if (throwAt_ >= 0 && next_ + frames > throwAt_)
      throw std::runtime_error("unreadable");
    frames = std::min(frames, lengthFrames() - next_);
    std::fill(out, out + frames, 0.25f);
    next_ += frames;
    return frames;
  }
  int64_t seek(int64_t frame) override {
    next_ = frame;
    return frame;
  }

private:
  Gate &gate_;
  int64_t throwAt_;
  int64_t next_ = 0;
};

std::atomic<int> gEnds{0};
void countEnd(HSYNC, DWORD, DWORD, DWORD) {
  ++gEnds;
}

class Threading : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(BASS_Init(BASS_DEVICE_NOSOUND, kRate, 0, nullptr, nullptr)); }
  void TearDown() override { BASS_Free(); }

  DWORD openGated(int64_t throwAt = -1) {
    const DWORD source = Engine::instance().open(Engine::Kind::Stream, "gated", [this, throwAt](int) {
      return std::make_unique<GatedDecoder>(gate, throwAt);
    });
    EXPECT_TRUE(BASS_FX_TempoCreate(source, 0));
    return source;
  }
  void letGo() {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.open = true;
    gate.changed.notify_all();
  }

  GatedDecoder::Gate gate;
};

TEST_F(Threading, CallsReturnWhileTheFeederIsStuckAndPositionsAnswerTheTarget) {
  const DWORD source = openGated();
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.armed = true;
  }
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  {
    std::unique_lock<std::mutex> lock(gate.mutex);
    ASSERT_TRUE(gate.changed.wait_for(lock, 5s, [this] { return gate.waiting; }));
  }
  // Every call below returns although the feeder sits inside a read until letGo().
  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 42)));
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source)), 42, 1e-3);
  EXPECT_TRUE(BASS_FX_TempoSet(source, 50, -1, -100));
  EXPECT_TRUE(BASS_ChannelStop(output));
  EXPECT_TRUE(BASS_StreamPlay(output, TRUE, 0));
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source)), 42, 1e-3);
  letGo();
  EXPECT_TRUE(lyt::test::waitUntil(
      [&] { return BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source)) > 42.05; }))
      << "plays on from the target once the feeder is free";
  EXPECT_TRUE(BASS_FX_TempoFree(source));
}

TEST_F(Threading, AThrowingDecoderEndsItsStreamAndTheEngineGoesOn) {
  letGo();
  const DWORD broken = openGated(kRate / 2);
  gEnds = 0;
  BASS_ChannelSetSync(broken, BASS_SYNC_END, 0, countEnd, 0);
  ASSERT_TRUE(BASS_StreamPlay(BASS_FX_TempoGetResampledHandle(broken), FALSE, 0));
  ASSERT_TRUE(lyt::test::waitUntil([] { return gEnds.load() == 1; })) << "ended as at its end";
  EXPECT_TRUE(lyt::test::waitUntil([&] { return BASS_ChannelIsActive(BASS_FX_TempoGetResampledHandle(broken)) == 0; }));

  const DWORD next = openLikeThePlayer(fixture("pcm16.wav").path).source;
  ASSERT_TRUE(BASS_FX_TempoCreate(next, 0));
  ASSERT_TRUE(BASS_StreamPlay(BASS_FX_TempoGetResampledHandle(next), FALSE, 0));
  EXPECT_TRUE(lyt::test::waitUntil([&] { return BASS_ChannelBytes2Seconds(next, BASS_ChannelGetPosition(next)) > 0.05; }))
      << "the feeder lives on";
}

std::atomic<bool> gFreed{false};
std::atomic<int> gLate{0};
void noteLateEnd(HSYNC, DWORD, DWORD, DWORD) {
  if (gFreed.load())
    ++gLate;
}

TEST_F(Threading, NoEndNotificationArrivesAfterTheFreeReturned) {
  const std::string path = writeWav("blip.wav", sine(440, 0.01, kRate, 1), kRate, 1);
  gLate = 0;
  for (int round = 0; round < 60; ++round) {
    const Opened opened = openLikeThePlayer(path);
    ASSERT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
    BASS_ChannelSetSync(opened.source, BASS_SYNC_END, 0, noteLateEnd, 0);
    gFreed = false;
    ASSERT_TRUE(BASS_StreamPlay(BASS_FX_TempoGetResampledHandle(opened.source), FALSE, 0));
    // Free at a different moment of the ending each round: a chosen moment, not a wait for a result.
    std::this_thread::sleep_for(std::chrono::microseconds(50 * round));
    ASSERT_TRUE(round % 2 ? BASS_FX_TempoFree(opened.source) : BASS_StreamFree(opened.source));
    gFreed = true;
  }
  BASS_Free(); // joins the feeder: every notification that was going to run has run
  EXPECT_EQ(gLate.load(), 0);
}

// The no-sound device after its thread was held up: it goes on in time, not in a burst.
TEST(NoSoundDevice, CatchesUpAfterAStallInsteadOfRenderingTheMissedPeriods) {
  struct Pulls final : AudioFeed {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::chrono::steady_clock::time_point> at;

    Rendered render(float *stereo, int frames, int64_t, bool) override {
      std::fill(stereo, stereo + 2 * frames, 0.0f);
      std::lock_guard<std::mutex> lock(mutex);
      at.push_back(std::chrono::steady_clock::now());
      if (at.size() == 3)
        std::this_thread::sleep_for(150ms); // the stall
      changed.notify_all();
      Rendered sounded;
      sounded.leading = frames;
      return sounded;
    }
  } pulls;
  auto device = openNullDevice(kRate, pulls);
  std::unique_lock<std::mutex> lock(pulls.mutex);
  ASSERT_TRUE(pulls.changed.wait_for(lock, 5s, [&] { return pulls.at.size() >= 8; }));
  // Without catching up, the 15 missed 10 ms periods would follow the stall back to back.
  EXPECT_GE(pulls.at[7] - pulls.at[3], 30ms);
  lock.unlock();
  device.reset();
}

int niceOfThisThread() {
  return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

// Counting frames and analysing run niced from their first instruction, whoever starts them, and
// a joined thread has finished its work when its owner is gone.
TEST(BackgroundThread, RunsItsWorkNicedFromTheStartAndIsJoinedByItsOwner) {
  std::atomic<int> joinedNice{-100}, detachedNice{-100};
  std::atomic<bool> joinedFinished{false};
  const int callerNice = niceOfThisThread();
  {
    BackgroundThread thread([&] {
      joinedNice = niceOfThisThread();
      joinedFinished = true;
    });
  }
  EXPECT_TRUE(joinedFinished);
  BackgroundThread::detach([&] { detachedNice = niceOfThisThread(); });
  ASSERT_TRUE(waitUntil([&] { return detachedNice != -100; }));
  EXPECT_GE(joinedNice.load(), 10);
  EXPECT_GE(detachedNice.load(), 10);
  EXPECT_EQ(niceOfThisThread(), callerNice) << "the caller keeps its own priority";
}

// A cancelled analysis is let go by the window without waiting for its thread.
TEST(BackgroundThread, WhatIsFinishedInTheBackgroundDoesNotHoldUpItsCaller) {
  std::promise<void> callerReturned;
  const std::shared_future<void> returned = callerReturned.get_future().share();
  std::atomic<int> outcome{0}; // 1: it ran once its caller had returned; 2: its caller waited for it
  BackgroundThread::finishInBackground([returned, &outcome] {
    outcome = returned.wait_for(20s) == std::future_status::ready ? 1 : 2;
  });
  callerReturned.set_value();
  ASSERT_TRUE(waitUntil([&] { return outcome != 0; }, 30s));
  EXPECT_EQ(outcome.load(), 1);
}

} // namespace
} // namespace lyt::test
