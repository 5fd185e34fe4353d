// A long MP3 opens from its first frames: its length is an estimate until the frames have been
// counted in the background, and a place past the estimate is reached all the same.
#include "EngineFixture.h"
#include "decoders/MpegDecoder.h"
#include "decoders/MpegFrameIndex.h"
#include "support/AudioFiles.h"

#include <condition_variable>
#include <mutex>

namespace lyt::test {
namespace {

// Two parts joined end to end: the first part's Info frame counts 10 s of its frames, the whole
// decodes to 30.09 s. The open sees only the first part's frames.
const std::string kJoined = std::string(LYT_TEST_RECORDINGS) + "/mp3-two-parts-joined-with-cover-art.mp3";

// Bytes whose reads wait until the test lets them through: the background count stands still.
class GatedBytes final : public ByteSource {
public:
  explicit GatedBytes(std::vector<uint8_t> data) : bytes_(std::move(data)) {}
  int64_t size() const override { return bytes_.size(); }
  bool read(int64_t offset, uint8_t *out, int n) override {
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
    return bytes_.read(offset, out, n);
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }

private:
  OwnedBytes bytes_;
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

class HeldCount : public ::testing::Test {
protected:
  void SetUp() override {
    const std::vector<unsigned char> file = readBytes(kJoined);
    bytes_.assign(file.begin(), file.end());
    MemoryBytes whole(bytes_.data(), bytes_.size());
    exact_ = indexMpegFrames(whole);
    auto gate = std::make_unique<GatedBytes>(bytes_);
    gate_ = gate.get();
    decoder_ = openMpegDecoder(std::make_unique<OwnedBytes>(bytes_), std::move(gate));
    ASSERT_NE(decoder_, nullptr);
  }
  void TearDown() override {
    gate_->open(); // the count ends with the decoder
    decoder_.reset();
  }

  std::vector<float> readAt(Decoder &decoder, int64_t frame, int64_t frames) {
    std::vector<float> out(static_cast<size_t>(frames * decoder.channels()));
    EXPECT_EQ(decoder.seek(frame), frame);
    out.resize(static_cast<size_t>(decoder.read(out.data(), frames) * decoder.channels()));
    return out;
  }

  std::vector<uint8_t> bytes_;
  MpegFrameIndex exact_;
  GatedBytes *gate_ = nullptr;
  std::unique_ptr<Decoder> decoder_;
};

TEST_F(HeldCount, TheOpenIsAnsweredWithAnEstimateThatTheCountCorrects) {
  const int rate = decoder_->sampleRate();
  EXPECT_FALSE(decoder_->lengthExact());
  EXPECT_NEAR(double(decoder_->lengthFrames()) / rate, 10.0, 0.05) << "the Info frame's count";
  gate_->open();
  decoder_->awaitExactLength();
  EXPECT_TRUE(decoder_->lengthExact());
  EXPECT_EQ(decoder_->lengthFrames(), exact_.lengthSamples);
  EXPECT_NEAR(double(exact_.lengthSamples) / rate, 30.09, 0.01);
}

// The decoder walks on to the place itself and, having walked to the end, knows the length
// before the count does.
TEST_F(HeldCount, APlacePastTheEstimateIsReachedAndTheEndSettlesTheLength) {
  const int64_t place = 25 * int64_t(decoder_->sampleRate());
  const std::vector<float> heard = readAt(*decoder_, place, 4096);
  EXPECT_FALSE(decoder_->lengthExact()) << "the end lies past the place";

  auto counted = openMpegDecoder(std::make_unique<OwnedBytes>(bytes_), std::make_unique<OwnedBytes>(bytes_));
  counted->awaitExactLength();
  EXPECT_EQ(heard, readAt(*counted, place, 4096)) << "the same samples as from the whole index";

  std::vector<float> rest(size_t(8192) * decoder_->channels());
  int64_t end = place + 4096;
  for (int64_t got; (got = decoder_->read(rest.data(), 8192)) > 0;)
    end += got;
  EXPECT_TRUE(decoder_->lengthExact());
  EXPECT_EQ(decoder_->lengthFrames(), exact_.lengthSamples);
  EXPECT_EQ(end, exact_.lengthSamples) << "reading stops at the exact length";
}

// Through the engine: a place set before the count lands (the remembered place at start-up) is
// neither refused nor clamped to the estimate; the sound goes on from there.
TEST_F(OfflineEngine, APlacePastAnEstimatedLengthIsKeptUntilTheLengthIsExact) {
  const DWORD source = openAndPlay(kJoined);
  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 20.0f)));
  ASSERT_TRUE(LYT_AwaitExactLength(source));
  EXPECT_TRUE(LYT_LengthExact(source));
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(source, BASS_StreamGetLength(source)), 30.09, 0.01);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source)), 20.0, 1e-3);
  const std::vector<float> heard = render(BASS_FX_TempoGetResampledHandle(source));
  EXPECT_NEAR(heard.size() / 2.0 / kRate, 10.09, 0.01);
  BASS_FX_TempoFree(source);
}

} // namespace
} // namespace lyt::test
