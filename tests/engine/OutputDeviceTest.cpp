// The output devices on their own: sleeping through silence, waking at once, and riding out the loss
// of the desktop's output. SDL's disk driver writes what the device is handed to a file.
#include "output/OutputDevice.h"
#include "support/AudioFiles.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace lyt::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;

// Counts frames: while sounding, frame n of what it renders holds the value n + 1.
struct Counter final : AudioFeed {
  std::atomic<bool> sounding{false};
  std::atomic<int64_t> rendered{0};
  std::atomic<int> calls{0};

  Rendered render(float *stereo, int frames, int64_t, bool) override {
    ++calls;
    const bool now = sounding.load();
    int64_t next = rendered.load();
    for (int i = 0; i < frames; ++i)
      stereo[2 * i] = stereo[2 * i + 1] = now ? static_cast<float>(++next) : 0.0f;
    rendered.store(next);
    Rendered result;
    result.leading = now ? frames : 0;
    return result;
  }
};

// The left channel of what the disk driver has written since the device was last opened.
std::vector<float> written(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<float> stereo;
  float frame[2];
  while (in.read(reinterpret_cast<char *>(frame), sizeof frame))
    stereo.push_back(frame[0]);
  return stereo;
}

// Leading silence (the device's own start-up), then the first value after it.
float firstSound(const std::vector<float> &left, size_t *at = nullptr) {
  for (size_t i = 0; i < left.size(); ++i)
    if (left[i] != 0.0f) {
      if (at)
        *at = i;
      return left[i];
    }
  return 0.0f;
}

class OutputDevice : public ::testing::Test {
protected:
  void open(bool sdl) {
    diskFile_ = scratchPath("device-output.raw");
    if (const char *driver = std::getenv("SDL_AUDIODRIVER"))
      driver_ = driver;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", diskFile_.c_str(), 1);
    device_ = sdl ? openSdlDevice(kRate, counter_) : openNullDevice(kRate, counter_);
    ASSERT_TRUE(device_);
  }
  void TearDown() override {
    device_.reset();
    simulateSdlOutputLoss(false);
    setenv("SDL_AUDIODRIVER", driver_.c_str(), 1);
  }
  // Returns when the device pulls again after it has slept through silence.
  void sleepThenSound() {
    const int attempts = sdlReopenAttempts();
    ASSERT_TRUE(lyt::test::waitUntil([&] { return device_->asleep(); })) << "silence puts the device to sleep";
    const int callsAsleep = counter_.calls.load();
    EXPECT_EQ(sdlReopenAttempts(), attempts) << "going to sleep is not taken for a lost output";
    const auto asked = std::chrono::steady_clock::now();
    counter_.sounding = true;
    device_->resume();
    ASSERT_TRUE(lyt::test::waitUntil([&] { return counter_.rendered.load() > 0; }));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms) << "generous here; the benchmark measures it";
    EXPECT_FALSE(device_->asleep());
    EXPECT_GT(counter_.calls.load(), callsAsleep);
  }

  Counter counter_;
  std::unique_ptr<lyt::OutputDevice> device_;
  std::string diskFile_;
  std::string driver_ = "dummy";
};

TEST_F(OutputDevice, TheSilentDeviceSleepsThroughSilenceAndWakesAtOnce) {
  open(false);
  sleepThenSound();
}

TEST_F(OutputDevice, TheSdlDeviceSleepsThroughSilenceAndTheFirstFrameAfterIsHeardAtOnce) {
  open(true);
  sleepThenSound();
  if (HasFatalFailure())
    return;
  ASSERT_TRUE(lyt::test::waitUntil([&] { return written(diskFile_).size() > 4u * device_->periodFrames(); }));
  size_t at = 0;
  EXPECT_EQ(firstSound(written(diskFile_), &at), 1.0f) << "the first frame is not lost";
  EXPECT_LE(at, 2u * device_->periodFrames()) << "and only the device's start-up comes before it";
}

TEST_F(OutputDevice, ALostOutputIsReopenedAndGoesOnFromWhereItWasHeard) {
  open(true);
  counter_.sounding = true;
  device_->resume();
  ASSERT_TRUE(lyt::test::waitUntil([&] { return counter_.rendered.load() > 4 * device_->periodFrames(); }));
  const int attempts = sdlReopenAttempts();
  simulateSdlOutputLoss(true);
  ASSERT_TRUE(lyt::test::waitUntil([&] { return device_->asleep(); }));
  const int64_t heard = counter_.rendered.load();
  ASSERT_TRUE(lyt::test::waitUntil([&] { return sdlReopenAttempts() >= attempts + 3; })) << "it keeps trying";
  EXPECT_EQ(counter_.rendered.load(), heard) << "nothing is rendered for an output that is gone";
  simulateSdlOutputLoss(false);
  ASSERT_TRUE(lyt::test::waitUntil([&] { return counter_.rendered.load() > heard + 4 * device_->periodFrames(); }, 1000ms))
      << "back within a second";
  EXPECT_EQ(firstSound(written(diskFile_)), static_cast<float>(heard + 1));
}

} // namespace
} // namespace lyt::test
