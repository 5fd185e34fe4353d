// The three-hour MP3 that the benchmarks open, decode and play.
#pragma once

#include <string>

namespace lyt::bench {

// Three hours of speech-like MP3 at `rate` Hz, `channels` channels, without an info frame (the
// case where the length must be counted), made by repeating the frames of a ten-second encoding.
// Written into the scratch folder.
std::string longMp3(int rate = 44100, int channels = 2);

} // namespace lyt::bench
