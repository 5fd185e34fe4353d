// Decoder for tracker modules (MO3, XM, MOD, S3M, IT, MTM and the rest that libopenmpt reads).
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// Renders at `rate` Hz, stereo, once through (a module's own loop does not repeat it).
// Throws EngineError: BASS_ERROR_FILEOPEN when the file cannot be read, BASS_ERROR_FILEFORM when
// it is no module.
std::unique_ptr<Decoder> openOpenmptDecoder(const char *path, int rate);

} // namespace lyt
