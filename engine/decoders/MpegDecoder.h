// Decoder for MPEG audio layers I-III on libmpg123: gapless, with an exact frame index.
#pragma once

#include "decoders/ByteSource.h"
#include "decoders/Decoder.h"

namespace lyt {

// Null when the file does not begin (after an ID3v2 tag) with chained MPEG frames. Throws
// EngineError(BASS_ERROR_FILEOPEN) when it cannot be read at all.
// Reads no more than the first frames: a longer stream's exact length is counted on a thread of
// its own (see Decoder::lengthExact).
std::unique_ptr<Decoder> openMpegDecoder(const char *path);
// The same on any bytes: the decoder reads `bytes`, the count of a long stream's frames reads
// `countBytes`, which holds the same bytes.
std::unique_ptr<Decoder> openMpegDecoder(std::unique_ptr<ByteSource> bytes,
                                         std::unique_ptr<ByteSource> countBytes);

} // namespace lyt
