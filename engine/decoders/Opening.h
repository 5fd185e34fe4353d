// Which decoder takes a file for each of the engine's three kinds of open, and the guards that
// every opened decoder gets.
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// Each throws EngineError: BASS_ERROR_FILEOPEN when the path is not a readable regular file,
// BASS_ERROR_FILEFORM when the kind does not decode it, BASS_ERROR_FREQ when its rate is above what
// the tempo stream takes (192 kHz) and no whole factor brings it within. What they return plays silence where
// the file holds non-finite samples; a recording above 192 kHz plays at its rate divided by 2 to 4.

// MPEG audio through libmpg123, else what libsndfile reads (WAV, AIFF, FLAC, Ogg Vorbis, Opus).
std::unique_ptr<Decoder> openPlainStream(const char *path);
// AMR in its storage format, else what FFmpeg reads (WMA, M4A/AAC, video sound tracks).
std::unique_ptr<Decoder> openWmaStream(const char *path);
// Tracker modules through libopenmpt, rendered at `rate`.
std::unique_ptr<Decoder> openModule(const char *path, int rate);
// The first of the three kinds, in the order above, that takes the file; throws the last kind's error.
std::unique_ptr<Decoder> openAnyKind(const char *path, int moduleRate);

} // namespace lyt
