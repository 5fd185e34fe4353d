// The AMR frames that a container (3GP, MP4, as phone call recorders write) holds, taken from
// FFmpeg's demuxer, for our own frame walk.
#pragma once

#include "decoders/ByteSource.h"

#include <memory>

namespace lyt {

// The packets of the file's first AMR-NB or AMR-WB track joined into the storage format's frames
// (without its magic line), and in `wideBand` which of the two; null when FFmpeg reads no such
// track from the file.
std::unique_ptr<ByteSource> amrFramesInContainer(const char *path, bool &wideBand);

} // namespace lyt
