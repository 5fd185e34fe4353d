// Decoder for what FFmpeg reads and the other decoders do not: WMA, M4A/AAC, AMR, video sound tracks.
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// Throws EngineError: BASS_ERROR_FILEOPEN when the file cannot be read at all,
// BASS_ERROR_FILEFORM when it holds no audio that FFmpeg decodes. Tracker modules are refused, so
// that they reach the module decoder.
std::unique_ptr<Decoder> openFfmpegDecoder(const char *path);

} // namespace lyt
