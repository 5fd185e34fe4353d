// Decoder for MPEG audio layers I-III on libmpg123: gapless, with an exact frame index.
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// Null when the file does not begin (after an ID3v2 tag) with chained MPEG frames. Throws
// EngineError(BASS_ERROR_FILEOPEN) when it cannot be read at all.
std::unique_ptr<Decoder> openMpegDecoder(const char *path);

} // namespace lyt
