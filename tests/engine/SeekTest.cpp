// A seek lands on the sample: what is heard after it is what a linear decode has at that place.
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

namespace lyt::test {
namespace {

class Seeking : public OfflineEngine, public ::testing::WithParamInterface<std::string> {};

TEST_P(Seeking, LandsOnTheSampleOfALinearDecode) {
  const Fixture &f = fixture(GetParam());
  const DWORD linearSource = openAndPlay(f.path);
  const std::vector<float> linear = channel(render(BASS_FX_TempoGetResampledHandle(linearSource)), 2, 0);
  BASS_FX_TempoFree(linearSource);

  const DWORD source = openAndPlay(f.path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  for (const double seconds : {1.2345, 0.5, 2.25}) {
    const QWORD bytes = BASS_ChannelSeconds2Bytes(source, static_cast<float>(seconds));
    ASSERT_TRUE(BASS_ChannelSetPosition(source, bytes));
    EXPECT_EQ(BASS_ChannelGetPosition(source), bytes);
    const size_t at = static_cast<size_t>(seconds * kRate);
    const std::vector<float> heard = channel(render(output, 4096), 2, 0);
    ASSERT_EQ(heard.size(), 4096u);
    EXPECT_EQ(bestLag(linear, at, heard, 200), 0) << "at " << seconds << " s";
    std::vector<float> difference(heard.size());
    for (size_t i = 0; i < heard.size(); ++i)
      difference[i] = heard[i] - linear[at + i];
    // Lossy decoders restart with a little transform noise; lossless ones match exactly.
    EXPECT_LT(rms(difference), f.decoded == Decoded::Exactly ? 1e-6 : 0.02 * rms(heard)) << "at " << seconds;
  }
}

INSTANTIATE_TEST_SUITE_P(SeekableFormats, Seeking,
                         ::testing::Values("pcm16.wav", "tone.flac", "tone.ogg", "cbr.mp3", "vbr.mp3",
                                           "noinfo.mp3", "tone.mp2", "v2.wma", "tone.m4a"),
                         [](const auto &info) {
                           return std::string(info.param).replace(info.param.find('.'), 1, "_");
                         });

TEST_F(OfflineEngine, ModuleSecondsFormSeeksToThatSecond) {
  const Fixture &f = fixture("song.xm");
  const Opened opened = openLikeThePlayer(f.path);
  ASSERT_EQ(opened.by, Opened::By::Music);
  const QWORD secondsForm = 0xFFFFFFFFFFFF0000ull | 3;
  ASSERT_TRUE(BASS_ChannelSetPosition(opened.source, secondsForm));
  EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(opened.source, BASS_ChannelGetPosition(opened.source)), 3.0f);
  EXPECT_FALSE(BASS_ChannelSetPosition(opened.source, 0xFFFFFFFFFFFF0000ull | 60)) << "beyond the end";
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
}

TEST_F(OfflineEngine, APositionBeyondTheEndIsRefusedAndChangesNothing) {
  const DWORD source = openAndPlay(fixture("pcm16.wav").path);
  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 1)));
  EXPECT_FALSE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 4)));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_EQ(BASS_ChannelGetPosition(source), BASS_ChannelSeconds2Bytes(source, 1));
  const QWORD end = BASS_StreamGetLength(source);
  EXPECT_TRUE(BASS_ChannelSetPosition(source, end)) << "the end itself is a position";
}

} // namespace
} // namespace lyt::test
