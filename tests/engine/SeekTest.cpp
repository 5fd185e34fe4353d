// A seek lands on the sample: what is heard after it is what a linear decode has at that place.
#include "EngineFixture.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include "decoders/Opening.h"

#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>

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
  // A joined MP3 opens with its first part's length: a place past it reads as that length until
  // the frames have been counted.
  ASSERT_TRUE(LYT_AwaitExactLength(source));
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
                                           "noinfo.mp3", "joined.mp3", "joined-junk-between.mp3", "tone.mp2",
                                           "v2.wma", "tone.m4a"),
                         [](const auto &info) { return testNameOf(info.param); });

// Without a Xing header the length cannot be read from the start; every frame counts.
TEST_F(OfflineEngine, AVbrMp3WithoutAnInfoFramePlaysWholeAndStartsNearItsEnd) {
  std::vector<float> signal = sine(440, 60, kRate, 2, 0.4f);
  const std::vector<float> hiss = noise(60, kRate, 2, 0.2f);
  for (size_t i = 0; i < signal.size(); ++i)
    signal[i] = signal[i] * float(1 + (i / 2 / kRate) % 3) / 3 + hiss[i] * float(i / 2 % kRate > kRate / 2);
  const std::string tagged = scratchPath("long-vbr.mp3"), bare = scratchPath("long-vbr-bare.mp3");
  writeSndfile(tagged, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, signal, kRate, 2, true);
  stripInfoFrame(tagged, bare);
  const DWORD source = openAndPlay(bare);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  ASSERT_TRUE(LYT_AwaitExactLength(source)); // estimated from the first frames' size until counted
  const double length = BASS_ChannelBytes2Seconds(source, BASS_StreamGetLength(source));
  EXPECT_NEAR(length, 60.05, 0.06) << "the recording and the codec's delay and padding";
  EXPECT_NEAR(render(output).size() / 2.0 / kRate, length, 1e-4);

  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, float(length - 1.5))));
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  const std::vector<float> tail = render(output);
  EXPECT_NEAR(tail.size() / 2.0 / kRate, 1.5, 1e-3);
  EXPECT_GT(rms(channel(tail, 2, 0)), 0.1);
}

// Recordings away from the device's rate, whose frames the device's grid falls between, compared
// at the decoder: a 384 kHz one brought down to 192 kHz, and GSM 6.10, in which libsndfile cannot
// seek, read from the start (again, for a frame behind).
class DecoderSeeking : public ::testing::TestWithParam<std::string> {};

TEST_P(DecoderSeeking, LandsOnTheSampleOfALinearRead) {
  const std::unique_ptr<Decoder> linear = openPlainStream(fixture(GetParam()).path.c_str());
  const int64_t length = linear->lengthFrames();
  std::vector<float> all(static_cast<size_t>(length));
  ASSERT_EQ(linear->read(all.data(), length), length);
  const std::unique_ptr<Decoder> seeking = openPlainStream(fixture(GetParam()).path.c_str());
  for (const int64_t frame : {length * 3 / 5 + 1, length / 100, length - 100}) {
    ASSERT_EQ(seeking->seek(frame), frame);
    std::vector<float> heard(100);
    ASSERT_EQ(seeking->read(heard.data(), 100), 100);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), all.begin() + frame)) << "at " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(AwayFromTheDeviceRate, DecoderSeeking,
                         ::testing::Values("mono384k.wav", "gsm610.wav"),
                         [](const auto &info) { return testNameOf(info.param); });

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

// Modules seek by rows: the position after a seek is where libopenmpt landed, not the one asked.
TEST_F(OfflineEngine, AModuleReportsWhereItsSeekLanded) {
  const Fixture &f = fixture("song.xm");
  const std::vector<unsigned char> bytes = readBytes(f.path);
  openmpt_module *reference = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                                 nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(reference, nullptr);
  const DWORD source = openAndPlay(f.path);
  for (const double seconds : {1.2345, 2.71}) {
    const QWORD asked = BASS_ChannelSeconds2Bytes(source, static_cast<float>(seconds));
    ASSERT_TRUE(BASS_ChannelSetPosition(source, asked));
    const double landed =
        openmpt_module_set_position_seconds(reference, BASS_ChannelBytes2Seconds(source, asked));
    EXPECT_GT(landed - seconds, 0.001) << "these times fall between rows";
    render(BASS_FX_TempoGetResampledHandle(source), 1000);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source)), landed + 1000.0 / kRate,
                1.0 / kRate);
  }
  openmpt_module_destroy(reference);
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
