// The tempo stream's bookkeeping on its own: what is rendered ahead, what is heard, what is dropped.
#include "TempoStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace lyt {
namespace {

// A mono source whose every sample is its own frame number.
class CountingDecoder final : public Decoder {
public:
  explicit CountingDecoder(int64_t length) : length_(length) {}
  int channels() const override { return 1; }
  int sampleRate() const override { return 44100; }
  int64_t lengthFrames() const override { return length_; }
  int64_t read(float *out, int64_t frames) override {
    const int64_t n = std::min(frames, length_ - next_);
    for (int64_t i = 0; i < n; ++i)
      out[i] = static_cast<float>(next_ + i);
    next_ += n;
    return n;
  }
  int64_t seek(int64_t frame) override {
    next_ = frame;
    return frame;
  }

private:
  int64_t length_;
  int64_t next_ = 0;
};

class TempoStreamTest : public ::testing::Test {
protected:
  static constexpr int kTargetBlocks = 4;
  SourceChannel source{std::make_unique<CountingDecoder>(1000000), false};
  TempoStream stream{source, 44100};

  void SetUp() override {
    stream.setTargetFrames(kTargetBlocks * AudioBlock::kFrames);
    stream.play(false);
  }
  int renderUntilFull() {
    int blocks = 0;
    while (stream.wantsAudio() && stream.renderBlock() > 0)
      ++blocks;
    return blocks;
  }
  std::vector<float> consume(int frames) {
    std::vector<float> out(2 * frames);
    EXPECT_EQ(stream.consume(out.data(), frames).leading, frames);
    return out;
  }
};

TEST_F(TempoStreamTest, RendersAheadByItsTargetAgainAfterEveryRestart) {
  EXPECT_EQ(renderUntilFull(), kTargetBlocks);
  consume(100);
  // A device period between restarts, as the device drains the ring.
  for (int restart = 0; restart < 40; ++restart) {
    stream.restartAt(1000 * restart);
    EXPECT_EQ(renderUntilFull(), kTargetBlocks) << "restart " << restart;
    const std::vector<float> heard = consume(441);
    EXPECT_EQ(heard[0], 1000.0f * restart);
  }
}

TEST_F(TempoStreamTest, AfterARestartOnlyTheNewPlaceIsHeardAndTracked) {
  renderUntilFull();
  consume(300);
  EXPECT_EQ(stream.heardFrame(), 300);
  stream.restartAt(50000);
  EXPECT_EQ(stream.heardFrame(), 50000) << "before anything new was heard";
  renderUntilFull();
  const std::vector<float> heard = consume(10);
  EXPECT_EQ(heard[0], 50000.0f) << "nothing stale before the new place";
  EXPECT_EQ(heard[2 * 9], 50009.0f);
  EXPECT_EQ(stream.heardFrame(), 50010);
}

TEST_F(TempoStreamTest, StopPutsTheSourceBackToWhatWasHeard) {
  renderUntilFull();
  consume(700);
  EXPECT_GT(source.readFrame(), 700) << "rendered ahead";
  stream.stop();
  EXPECT_EQ(source.position(), 700);
  EXPECT_EQ(stream.heardFrame(), 700);
  EXPECT_FALSE(stream.wantsAudio());
}

} // namespace
} // namespace lyt
