// Making poor recordings clearer, measured on what the chain renders: noise down in the pauses,
// quiet speakers up, one channel on both ears.
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lyt::test {
namespace {

constexpr int kVoiceRate = 16000;

// Mono: `seconds` of a swelling 300 Hz tone that speaks for a second and pauses for a second, at
// `level` (a gain per spoken second, in turn), over steady noise at `noiseLevel`.
std::vector<float> turns(double seconds, const std::vector<float> &levels, float noiseLevel) {
  std::vector<float> mono = noise(seconds, kVoiceRate, 1, noiseLevel, 7);
  const std::vector<float> tone = sine(300, seconds, kVoiceRate, 1, 1.0f);
  for (size_t i = 0; i < mono.size(); ++i) {
    const double t = static_cast<double>(i) / kVoiceRate;
    const auto second = static_cast<size_t>(t);
    if (second % 2 == 0) {
      const float swell = static_cast<float>(0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
      mono[i] += levels[(second / 2) % levels.size()] * swell * tone[i];
    }
  }
  return mono;
}

// RMS in dB of the left channel of stereo `rendered` (at the engine's rate) over [from, to) seconds,
// within every other second starting at `first`: the spoken seconds (first 0) or the pauses (1).
double levelOf(const std::vector<float> &rendered, int first, double from, double to) {
  std::vector<float> picked;
  for (double s = from + first; s + 1 <= to; s += 2) {
    // The middle of the second: no edge of a word.
    const auto begin = static_cast<size_t>((s + 0.2) * kRate), end = static_cast<size_t>((s + 0.8) * kRate);
    for (size_t i = begin; i < end && 2 * i < rendered.size(); ++i)
      picked.push_back(rendered[2 * i]);
  }
  return decibels(rms(picked));
}

class Clarity : public OfflineEngine {
protected:
  std::vector<float> renderWith(const std::string &path, LYT_CLARITY clarity) {
    const DWORD source = openAndPlay(path);
    EXPECT_TRUE(LYT_SetClarity(source, &clarity));
    return render(BASS_FX_TempoGetResampledHandle(source));
  }
};

TEST_F(Clarity, NoiseReductionTakesTheNoiseDownInThePausesAndLeavesTheWords) {
  const std::string path = writeWav("noisy-turns.wav", turns(20, {0.3f}, 0.05f), kVoiceRate, 1);
  const std::vector<float> plain = renderWith(path, {FALSE, FALSE, LYT_CHANNEL_BOTH});
  const std::vector<float> cleaned = renderWith(path, {TRUE, FALSE, LYT_CHANNEL_BOTH});
  // After the first seconds, in which the noise is learnt.
  EXPECT_LT(levelOf(cleaned, 1, 4, 20), levelOf(plain, 1, 4, 20) - 10) << "the pauses";
  EXPECT_NEAR(levelOf(cleaned, 0, 4, 20), levelOf(plain, 0, 4, 20), 3) << "the words";
}

TEST_F(Clarity, NoiseReductionLearnsANoiseThatStartsAfterDigitalSilence) {
  // A recorder that writes silence before the microphone comes on: the noise estimate, taken down
  // to nothing by the silence, must still rise to the noise.
  std::vector<float> mono = turns(20, {0.3f}, 0.05f);
  std::fill(mono.begin(), mono.begin() + 2 * kVoiceRate, 0.0f);
  const std::string path = writeWav("silence-then-noise.wav", mono, kVoiceRate, 1);
  const std::vector<float> plain = renderWith(path, {FALSE, FALSE, LYT_CHANNEL_BOTH});
  const std::vector<float> cleaned = renderWith(path, {TRUE, FALSE, LYT_CHANNEL_BOTH});
  EXPECT_LT(levelOf(cleaned, 1, 6, 20), levelOf(plain, 1, 6, 20) - 10) << "the pauses";
}

TEST_F(Clarity, AutomaticLevelBringsAQuietSpeakerUpWithoutClippingOrPumpingThePauses) {
  // A near speaker and a far one, 24 dB apart, taking turns.
  const std::string path = writeWav("two-speakers.wav", turns(24, {0.5f, 0.03f}, 0.002f), kVoiceRate, 1);
  const std::vector<float> plain = renderWith(path, {FALSE, FALSE, LYT_CHANNEL_BOTH});
  const std::vector<float> levelled = renderWith(path, {FALSE, TRUE, LYT_CHANNEL_BOTH});
  // Spoken seconds 0, 4, 8 ... are the near speaker, 2, 6, 10 ... the far one.
  const double nearAfter = levelOf(levelled, 0, 8, 24.0 - 2), farAfter = levelOf(levelled, 2, 8, 24);
  EXPECT_LT(std::fabs(nearAfter - farAfter), 6) << nearAfter << " against " << farAfter;
  float peak = 0;
  for (float x : levelled)
    peak = std::max(peak, std::fabs(x));
  EXPECT_LT(peak, 1.0f) << "nothing clipped";
  EXPECT_LT(levelOf(levelled, 1, 8, 24), levelOf(plain, 1, 8, 24) + 6) << "the pauses are not pumped up";
}

TEST_F(Clarity, AutomaticLevelAfterNoiseReductionKeepsThePausesDown) {
  // What noise reduction leaves in a pause flickers far under the words: the level must not take
  // it for a quiet speaker and bring it back up.
  const std::string path = writeWav("noisy-turns.wav", turns(20, {0.3f}, 0.05f), kVoiceRate, 1);
  const std::vector<float> plain = renderWith(path, {FALSE, FALSE, LYT_CHANNEL_BOTH});
  const std::vector<float> both = renderWith(path, {TRUE, TRUE, LYT_CHANNEL_BOTH});
  EXPECT_LT(levelOf(both, 1, 4, 20), levelOf(plain, 1, 4, 20) - 10) << "the pauses";
}

TEST_F(Clarity, AChosenChannelIsHeardOnBothEars) {
  const std::vector<float> left = sine(440, 2, kRate, 1, 0.3f), right = noise(2, kRate, 1, 0.3f);
  std::vector<float> stereo(2 * left.size());
  for (size_t i = 0; i < left.size(); ++i) {
    stereo[2 * i] = left[i];
    stereo[2 * i + 1] = right[i];
  }
  const std::string path = writeWav("left-and-right.wav", stereo, kRate, 2);
  for (int chosen : {LYT_CHANNEL_LEFT, LYT_CHANNEL_RIGHT}) {
    const std::vector<float> rendered = renderWith(path, {FALSE, FALSE, chosen});
    const std::vector<float> &source = chosen == LYT_CHANNEL_LEFT ? left : right;
    ASSERT_GE(rendered.size(), stereo.size());
    for (size_t i = 0; i < left.size(); i += 997) {
      EXPECT_NEAR(rendered[2 * i], source[i], 1e-3) << "frame " << i;
      EXPECT_EQ(rendered[2 * i], rendered[2 * i + 1]) << "frame " << i;
    }
  }
  LYT_CLARITY unknown{FALSE, FALSE, 3};
  EXPECT_FALSE(LYT_SetClarity(openAndPlay(path), &unknown));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

} // namespace
} // namespace lyt::test
