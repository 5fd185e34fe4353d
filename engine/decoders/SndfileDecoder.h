// Decoder for what libsndfile reads: WAV, AIFF, FLAC, Ogg Vorbis, Opus and MPEG layers I-III.
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// Throws EngineError: BASS_ERROR_FILEOPEN when the file cannot be read at all,
// BASS_ERROR_FILEFORM when libsndfile does not decode it.
std::unique_ptr<Decoder> openSndfileDecoder(const char *path);

} // namespace lyt
