// Decoder for AMR-NB and AMR-WB in their storage format (".amr", as phones record calls) and in
// containers (3GP, MP4, as call recorders write them).
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// Null when the file neither begins with the storage format's magic line nor holds an AMR track
// that FFmpeg's demuxer reads. Every 20 ms frame plays as 20 ms: speech through FFmpeg's decoder,
// the comfort-noise and no-data frames of discontinuous transmission as silence, so the length and
// every position follow the frames.
std::unique_ptr<Decoder> openAmrDecoder(const char *path);

} // namespace lyt
