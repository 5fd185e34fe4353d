// Test signals and measurements on interleaved float audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lyt::test {

std::vector<float> sine(double hz, double seconds, int rate, int channels, float amplitude = 0.5f);
// Deterministic white noise, for comparing sample by sample.
std::vector<float> noise(double seconds, int rate, int channels, float amplitude = 0.5f, uint32_t seed = 1);
// Stereo that encodes and stretches about as hard as speech: a tone that swells three times a
// second, over a little hiss.
std::vector<float> speechLike(double seconds, int rate);
// Mono speech with known pauses: `segmentSeconds` alternates phrase, pause, phrase... Phrases are
// tone bursts and noise bursts in turn, swelling at a syllable's pace; a faint hiss lies under all.
std::vector<float> phrasesAndPauses(const std::vector<double> &segmentSeconds, int rate);
std::vector<float> channel(const std::vector<float> &interleaved, int channels, int which);
double rms(const std::vector<float> &mono, size_t from = 0, size_t count = SIZE_MAX);
// Frequency by counting rising zero crossings, ignoring the first and last `skip` samples.
double frequencyByZeroCrossings(const std::vector<float> &mono, int rate, size_t skip = 0);
double decibels(double ratio);
// The lag (within +-maxLag) at which `probe` best matches `reference` starting at `at`.
long bestLag(const std::vector<float> &reference, size_t at, const std::vector<float> &probe, long maxLag);

} // namespace lyt::test
