// Tempo, pitch, equaliser, volume and spectrum, measured on rendered sound.
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <cmath>

namespace lyt::test {
namespace {

constexpr double kToneHz = 440;

struct Rendered {
  std::vector<float> left;
  double seconds;
};

class Shaping : public OfflineEngine {
protected:
  DWORD toneSource(double hz = kToneHz, int rate = kRate, int channels = 1, float amplitude = 0.5f,
                   double seconds = 4) {
    const std::string name = "tone" + std::to_string(int(hz)) + "_" + std::to_string(rate) + ".wav";
    return openAndPlay(writeWav(name, sine(hz, seconds, rate, channels, amplitude), rate, channels));
  }
  static Rendered renderAll(DWORD source) {
    const std::vector<float> stereo = render(BASS_FX_TempoGetResampledHandle(source));
    return {channel(stereo, 2, 0), stereo.size() / 2.0 / kRate};
  }
};

TEST_F(Shaping, TempoChangesTheLengthButNotThePitch) {
  for (const float percent : {100.0f, -50.0f, 300.0f}) {
    const DWORD source = toneSource();
    ASSERT_TRUE(BASS_FX_TempoSet(source, percent, -1, -100.0f));
    const Rendered out = renderAll(source);
    const double factor = 1 + percent / 100;
    EXPECT_NEAR(out.seconds, 4 / factor, 0.02 * 4 / factor) << percent << " %";
    EXPECT_NEAR(frequencyByZeroCrossings(out.left, kRate, 4096), kToneHz, kToneHz * 0.01) << percent << " %";
    EXPECT_NEAR(BASS_FX_TempoGetApproxSeconds(source, 10), 10 / factor, 1e-3);
    BASS_FX_TempoFree(source);
  }
}

TEST_F(Shaping, PitchMovesTheToneByItsSemitonesAndKeepsTheLength) {
  for (const float semitones : {5.0f, -5.0f, 2.0f}) {
    const DWORD source = toneSource();
    ASSERT_TRUE(BASS_FX_TempoSet(source, -100.0f, -1, semitones));
    const Rendered out = renderAll(source);
    EXPECT_NEAR(out.seconds, 4, 0.04) << semitones;
    const double expected = kToneHz * std::pow(2.0, semitones / 12);
    EXPECT_NEAR(frequencyByZeroCrossings(out.left, kRate, 4096), expected, expected * 0.01) << semitones;
    BASS_FX_TempoFree(source);
  }
}

TEST_F(Shaping, MinusOneAndMinusHundredKeepTheOtherSettings) {
  const DWORD source = toneSource();
  ASSERT_TRUE(BASS_FX_TempoSet(source, 100, -1, -100.0f));
  ASSERT_TRUE(BASS_FX_TempoSet(source, -100.0f, -1, 5));
  const Rendered out = renderAll(source);
  EXPECT_NEAR(out.seconds, 2, 0.04) << "the tempo was kept";
  EXPECT_NEAR(frequencyByZeroCrossings(out.left, kRate, 4096), kToneHz * std::pow(2.0, 5.0 / 12), 6);
}

TEST_F(Shaping, AnotherSampleRateIsResampledToTheDeviceRate) {
  const DWORD source = toneSource(kToneHz, 22050);
  const Rendered out = renderAll(source);
  EXPECT_NEAR(out.seconds, 4, 0.02);
  EXPECT_NEAR(frequencyByZeroCrossings(out.left, kRate, 4096), kToneHz, 2);
}

// The equaliser as the player installs it: six bands flat, then one band's gain.
void installFlatEqualiser(DWORD source) {
  DWORD rate = 0;
  ASSERT_TRUE(BASS_ChannelGetAttributes(source, &rate, nullptr, nullptr));
  for (int band = 0; band < 6; ++band)
    ASSERT_TRUE(BASS_FX_DSP_Set(source, BASS_FX_DSPFX_PEAKEQ, 0));
  for (int band = 0; band < 6; ++band) {
    BASS_FXPEAKEQ params{band, rate, LYT_EQ_BANDWIDTH_OCTAVES, 0, LYT_EQ_CENTRES_HZ[band], 0};
    ASSERT_TRUE(BASS_FX_DSP_SetParameters(source, BASS_FX_DSPFX_PEAKEQ, &params));
  }
}

double bandLevelChangeDb(double toneHz, int band, float gainDb) {
  const std::string path =
      writeWav("eq" + std::to_string(int(toneHz)) + ".wav", sine(toneHz, 2, kRate, 1, 0.1f), kRate, 1);
  double levels[2];
  for (int pass = 0; pass < 2; ++pass) {
    const Opened opened = openLikeThePlayer(path);
    BASS_FX_TempoCreate(opened.source, 0);
    installFlatEqualiser(opened.source);
    if (pass == 1) {
      BASS_FXPEAKEQ params{};
      params.Band = band;
      EXPECT_TRUE(BASS_FX_DSP_GetParameters(opened.source, BASS_FX_DSPFX_PEAKEQ, &params));
      EXPECT_EQ(params.Rate, DWORD(kRate));
      params.Gain = gainDb;
      EXPECT_TRUE(BASS_FX_DSP_SetParameters(opened.source, BASS_FX_DSPFX_PEAKEQ, &params));
    }
    const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
    BASS_StreamPlay(output, FALSE, 0);
    levels[pass] = rms(channel(renderOutput(output), 2, 0), kRate / 2);
    BASS_FX_TempoFree(opened.source);
  }
  return decibels(levels[1] / levels[0]);
}

TEST_F(Shaping, AnEqualiserBandMovesItsToneByItsGain) {
  EXPECT_NEAR(bandLevelChangeDb(1213, 3, 12), 12, 0.5);
  EXPECT_NEAR(bandLevelChangeDb(120, 0, -8), -8, 0.5);
  EXPECT_NEAR(bandLevelChangeDb(4000, 0, 11), 0, 0.5) << "a band far away leaves the tone alone";
  // Slider 3 at the top (+12 dB) against its middle (+2 dB).
  EXPECT_NEAR(bandLevelChangeDb(1213, 3, 12) - bandLevelChangeDb(1213, 3, 2), 10, 0.5);
}

TEST_F(Shaping, A16kHzMonoRecordingKeepsPitchAndLevelAndBandsAboveItsNyquistDoNothing) {
  const std::string path = writeWav("tone16k.wav", sine(1000, 2, 16000, 1, 0.5f), 16000, 1);
  std::vector<float> rendered[2];
  for (int pass = 0; pass < 2; ++pass) {
    const DWORD source = openAndPlay(path);
    installFlatEqualiser(source);
    BASS_FXPEAKEQ params{5, 16000, 2.5f, 0, 10000, pass == 1 ? 12.0f : 0.0f};
    ASSERT_TRUE(BASS_FX_DSP_SetParameters(source, BASS_FX_DSPFX_PEAKEQ, &params));
    rendered[pass] = render(BASS_FX_TempoGetResampledHandle(source));
    BASS_FX_TempoFree(source);
  }
  const std::vector<float> left = channel(rendered[0], 2, 0);
  EXPECT_NEAR(left.size() / double(kRate), 2, 0.01);
  EXPECT_NEAR(frequencyByZeroCrossings(left, kRate, 4096), 1000, 2);
  EXPECT_NEAR(decibels(rms(left, kRate / 4, kRate) / (0.5 / std::sqrt(2.0))), 0, 0.2);
  EXPECT_EQ(channel(rendered[0], 2, 1), left) << "mono is heard the same on both sides";
  EXPECT_EQ(rendered[1], rendered[0]) << "a band at 10 kHz is above what 16 kHz can hold";
}

TEST_F(Shaping, VolumeScalesTheOutputAndIsKeptByMinusOne) {
  const DWORD source = toneSource();
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  const double full = rms(channel(render(output, kRate), 2, 0));
  ASSERT_TRUE(BASS_ChannelSetAttributes(output, -1, 50, -101));
  ASSERT_TRUE(BASS_ChannelSetAttributes(output, -1, -1, -101));
  DWORD volume = 0;
  ASSERT_TRUE(BASS_ChannelGetAttributes(output, nullptr, &volume, nullptr));
  EXPECT_EQ(volume, 50u);
  const double half = rms(channel(render(output, kRate), 2, 0));
  EXPECT_NEAR(half / full, 0.5, 0.005);
}

TEST_F(Shaping, SpectrumShowsASineAtItsBin) {
  constexpr int kBin = 20;
  const double hz = kBin * double(kRate) / 1024;
  const DWORD source = toneSource(hz, kRate, 2, 1.0f, 1);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  render(output, kRate / 2);
  float magnitudes[513] = {};
  EXPECT_EQ(BASS_ChannelGetData(output, magnitudes, BASS_DATA_FFT1024), 4096u);
  EXPECT_NEAR(magnitudes[kBin], 0.5f, 0.01f);
  EXPECT_NEAR(magnitudes[kBin + 1], 0.25f, 0.01f) << "the Hann window's neighbour";
  EXPECT_LT(magnitudes[kBin + 5], 1e-3f);
  EXPECT_EQ(magnitudes[512], 0.0f) << "only 512 values are written";
  ASSERT_TRUE(BASS_ChannelSetAttributes(output, -1, 50, -101));
  render(output, kRate / 4);
  ASSERT_EQ(BASS_ChannelGetData(output, magnitudes, BASS_DATA_FFT1024), 4096u) << "still playing";
  EXPECT_NEAR(magnitudes[kBin], 0.25f, 0.01f) << "the volume is heard, so it is shown";
  EXPECT_EQ(BASS_ChannelGetData(source, magnitudes, BASS_DATA_FFT1024), DWORD(-1)) << "a source is not heard";
}

} // namespace
} // namespace lyt::test
