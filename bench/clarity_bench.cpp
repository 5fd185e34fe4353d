// How much clearer a poor recording becomes: speech spoken by espeak-ng, mixed with noise, rendered
// through the engine offline as the player sounds it, with and without noise reduction, automatic
// level and a channel choice; measured against the clean speech by short-time objective
// intelligibility and by level, in the speech and in its pauses.
#include "Bass.h"
#include "Stoi.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace lyt::test;
using lyt::bench::stoi;

constexpr int kEngineRate = 44100;
constexpr int kVoiceRate = 22050; // espeak-ng's
constexpr double kSnrDb = 5;

const char kText[] =
    "The meeting started at nine. Everyone agreed that the budget was too small. "
    "We will need another three months to finish the second building. "
    "Please send the report to the office before Friday. Thank you all for coming today.";

std::vector<float> spokenSpeech() {
  const std::string path = scratchPath("clarity-speech.wav");
  const std::string command = "espeak-ng -s 150 -g 6 -w '" + path + "' \"" + kText + " " + kText + "\"";
  if (std::system(command.c_str()) != 0)
    return {};
  int channels = 0;
  return decodeWithSndfile(path, channels);
}

// Per sample of the clean speech: whether it is speech, by 20 ms frames within 35 dB of the
// loudest. A pause is what lies 60 ms and more from speech; the rest is neither (the mask holds
// speech, and levelWhere(.., false) reads the pauses).
struct Mask {
  std::vector<bool> speech, pause;
};

Mask speechMask(const std::vector<float> &clean) {
  const size_t frame = kVoiceRate / 50;
  constexpr long kMargin = 3;
  std::vector<bool> loud;
  std::vector<double> energy;
  for (size_t at = 0; at + frame <= clean.size(); at += frame)
    energy.push_back(decibels(rms(clean, at, frame)));
  const double loudest = *std::max_element(energy.begin(), energy.end());
  for (double e : energy)
    loud.push_back(e > loudest - 35);
  Mask mask{std::vector<bool>(clean.size(), false), std::vector<bool>(clean.size(), false)};
  for (long f = 0; f < long(loud.size()); ++f) {
    bool nearSpeech = false;
    for (long g = std::max(0L, f - kMargin); g <= std::min(long(loud.size()) - 1, f + kMargin); ++g)
      nearSpeech = nearSpeech || loud[g];
    std::fill(mask.speech.begin() + f * long(frame), mask.speech.begin() + (f + 1) * long(frame), bool(loud[f]));
    std::fill(mask.pause.begin() + f * long(frame), mask.pause.begin() + (f + 1) * long(frame), !nearSpeech);
  }
  return mask;
}

// Level in dB of `mono` (at the voice rate) in the speech, or in its pauses.
double levelWhere(const std::vector<float> &mono, const Mask &mask, bool speech, size_t from = 0,
                  size_t to = SIZE_MAX) {
  const std::vector<bool> &where = speech ? mask.speech : mask.pause;
  double sum = 0;
  size_t n = 0;
  for (size_t i = from; i < std::min({mono.size(), where.size(), to}); ++i)
    if (where[i]) {
      sum += double(mono[i]) * mono[i];
      ++n;
    }
  return n ? 10 * std::log10(sum / n + 1e-20) : -200;
}

std::vector<float> pinkNoise(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<float> white(0, 1);
  std::vector<float> out(n);
  double b0 = 0, b1 = 0, b2 = 0;
  for (float &x : out) {
    const float w = white(random);
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    x = static_cast<float>(b0 + b1 + b2 + w * 0.1848);
  }
  return out;
}

// A fan: brown noise and a 100 Hz hum with its harmonics.
std::vector<float> fanNoise(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<float> white(0, 1);
  std::vector<float> out(n);
  double brown = 0;
  for (size_t i = 0; i < n; ++i) {
    brown = 0.995 * brown + 0.05 * white(random);
    const double t = double(i) / kVoiceRate;
    const double hum = std::sin(2 * M_PI * 100 * t) + 0.5 * std::sin(2 * M_PI * 200 * t) + 0.25 * std::sin(2 * M_PI * 300 * t);
    out[i] = static_cast<float>(brown + 0.3 * hum);
  }
  return out;
}

// `noise` scaled so that the speech stands `snrDb` above it.
std::vector<float> noiseUnder(const std::vector<float> &speech, const Mask &mask, std::vector<float> noise,
                              double snrDb) {
  const auto gain =
      static_cast<float>(std::pow(10, (levelWhere(speech, mask, true) - snrDb - decibels(rms(noise))) / 20));
  for (float &x : noise)
    x *= gain;
  return noise;
}

std::vector<float> mixed(const std::vector<float> &speech, const Mask &mask, const std::vector<float> &noise,
                         double snrDb) {
  std::vector<float> out = noiseUnder(speech, mask, noise, snrDb);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] += speech[i];
  return out;
}

// The recording as the player sounds it, left channel back at the voice rate, and stereo as rendered.
std::vector<float> played(const std::vector<float> &interleaved, int channels, LYT_CLARITY clarity,
                          std::vector<float> *stereo = nullptr) {
  const std::string path = writeWav("clarity-in.wav", interleaved, kVoiceRate, channels);
  const DWORD source = LYT_OpenFile(path.c_str(), BASS_STREAM_DECODE, 0, nullptr);
  BASS_FX_TempoCreate(source, 0);
  LYT_SetClarity(source, &clarity);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  BASS_StreamPlay(output, FALSE, 0);
  std::vector<float> all, chunk(2 * 8192);
  for (DWORD got; (got = LYT_RenderOffline(output, chunk.data(), 8192)) > 0;)
    all.insert(all.end(), chunk.begin(), chunk.begin() + 2 * got);
  BASS_FX_TempoFree(source);
  BASS_StreamFree(source);
  if (stereo)
    *stereo = all;
  return lyt::bench::resampled(channel(all, 2, 0), kEngineRate, kVoiceRate);
}

// `processed` moved to line up with `reference`: noise reduction delays the sound by a frame.
std::vector<float> alignedTo(const std::vector<float> &reference, std::vector<float> processed) {
  const size_t at = reference.size() / 3, length = std::min<size_t>(reference.size() / 3, 2 * kVoiceRate);
  const long lag = bestLag(reference, at, std::vector<float>(processed.begin() + long(at), processed.begin() + long(at + length)),
                           kVoiceRate / 20);
  if (lag < 0)
    processed.erase(processed.begin(), processed.begin() - lag);
  else
    processed.insert(processed.begin(), static_cast<size_t>(lag), 0.0f);
  return processed;
}

void denoising(const std::vector<float> &speech, const Mask &mask, const char *name,
               const std::vector<float> &noise) {
  const std::vector<float> noisy = mixed(speech, mask, noise, kSnrDb);
  const std::vector<float> before = played(noisy, 1, {FALSE, FALSE, LYT_CHANNEL_BOTH});
  const std::vector<float> after = alignedTo(before, played(noisy, 1, {TRUE, FALSE, LYT_CHANNEL_BOTH}));
  std::printf("  %s at %.0f dB SNR, --denoise: pauses %.1f dB lower (aim >= 10), STOI %.3f -> %.3f "
              "(aim: falls <= 0.02), speech level %+.1f dB (aim within 3)\n",
              name, kSnrDb, levelWhere(before, mask, false) - levelWhere(after, mask, false),
              stoi(speech, before, kVoiceRate), stoi(speech, after, kVoiceRate),
              levelWhere(after, mask, true) - levelWhere(before, mask, true));
}

// Turns of five seconds, the far speaker 24 dB under the near one.
void levelling(const std::vector<float> &speech, const Mask &mask) {
  const size_t turn = 5 * kVoiceRate;
  std::vector<float> turns(speech);
  for (size_t i = 0; i < turns.size(); ++i)
    if ((i / turn) % 2 == 1)
      turns[i] *= 0.063f;
  const std::vector<float> noise = pinkNoise(turns.size(), 3);
  for (size_t i = 0; i < turns.size(); ++i)
    turns[i] += 0.0005f * noise[i];
  std::vector<float> stereo;
  const std::vector<float> before = played(turns, 1, {FALSE, FALSE, LYT_CHANNEL_BOTH});
  const std::vector<float> after = played(turns, 1, {FALSE, TRUE, LYT_CHANNEL_BOTH}, &stereo);
  const auto spread = [&](const std::vector<float> &x) {
    double lowest = 1e9, highest = -1e9;
    for (size_t at = turn; at + turn <= x.size(); at += turn) { // the first turn is the level's start
      const double level = levelWhere(x, mask, true, at, at + turn);
      lowest = std::min(lowest, level);
      highest = std::max(highest, level);
    }
    return highest - lowest;
  };
  size_t clipped = 0;
  for (float x : stereo)
    clipped += std::fabs(x) >= 1.0f;
  std::printf("  two speakers 24 dB apart in 5 s turns, --level: %.1f dB apart before, %.1f dB after "
              "(aim <= 6); %zu samples clipped; pauses %+.1f dB (aim <= +6)\n",
              spread(before), spread(after), clipped,
              levelWhere(after, mask, false) - levelWhere(before, mask, false));
}

// The mono mix a listener hears of speech on the left and noise on the right.
void channelChoice(const std::vector<float> &speech, const Mask &mask) {
  const std::vector<float> noise = noiseUnder(speech, mask, pinkNoise(speech.size(), 5), 0);
  std::vector<float> stereo(2 * speech.size());
  for (size_t i = 0; i < speech.size(); ++i) {
    stereo[2 * i] = speech[i];
    stereo[2 * i + 1] = noise[i];
  }
  const auto heardMix = [&](int choice) {
    std::vector<float> out;
    played(stereo, 2, {FALSE, FALSE, choice}, &out);
    std::vector<float> mix(out.size() / 2);
    for (size_t i = 0; i < mix.size(); ++i)
      mix[i] = 0.5f * (out[2 * i] + out[2 * i + 1]);
    return lyt::bench::resampled(mix, kEngineRate, kVoiceRate);
  };
  std::printf("  speech on the left, as loud a noise on the right, heard as one: STOI both %.3f, "
              "--channel left %.3f (aim >= 0.95)\n",
              stoi(speech, heardMix(LYT_CHANNEL_BOTH), kVoiceRate), stoi(speech, heardMix(LYT_CHANNEL_LEFT), kVoiceRate));
}

} // namespace

int main() {
  if (!LYT_InitOffline(kEngineRate))
    return 1;
  const std::vector<float> speech = spokenSpeech();
  if (speech.empty()) {
    std::printf("clarity bench: espeak-ng did not speak\n");
    return 1;
  }
  const Mask mask = speechMask(speech);
  std::printf("== Clearer recordings: %.1f s of espeak-ng speech at %d Hz, through the engine at %d Hz\n",
              speech.size() / double(kVoiceRate), kVoiceRate, kEngineRate);
  denoising(speech, mask, "pink noise", pinkNoise(speech.size(), 1));
  denoising(speech, mask, "a fan (brown noise and a 100 Hz hum)", fanNoise(speech.size(), 2));
  levelling(speech, mask);
  channelChoice(speech, mask);
  BASS_Free();
  return 0;
}
