// The length of an Ogg stream from its last whole page, for files cut off before their end.
#pragma once

#include "decoders/ByteSource.h"

#include <cstdint>

namespace lyt {

// The granule position of the last complete, intact page in the bytes, -1 when there is none.
int64_t lastOggGranule(ByteSource &bytes);
// An Opus stream's pre-skip (samples at 48 kHz before the first heard one); 0 for other codecs.
int64_t opusPreSkip(ByteSource &bytes);

} // namespace lyt
