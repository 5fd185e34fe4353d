// Short-time objective intelligibility (Taal, Hendriks, Heusdens and Jensen, 2011): how well a
// processed or noisy speech signal keeps the short-time envelopes of the clean one, from 0 to 1.
#pragma once

#include <vector>

namespace lyt::bench {

// `clean` and `heard`: mono at `rate` Hz, aligned, of the same length.
double stoi(const std::vector<float> &clean, const std::vector<float> &heard, int rate);
// Mono at `from` Hz, resampled to `to` Hz.
std::vector<float> resampled(const std::vector<float> &mono, int from, int to);

} // namespace lyt::bench
