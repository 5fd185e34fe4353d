// A short generated tone: the sound played when a sound file cannot be.
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

std::unique_ptr<Decoder> makeDefaultTone(int rate);

} // namespace lyt
