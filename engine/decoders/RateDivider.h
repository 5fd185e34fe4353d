// A recording above the highest rate the chain takes, brought down by a whole factor through a
// low-pass filter: 384 kHz plays at 192 kHz, 705.6 kHz at 176.4 kHz.
#pragma once

#include "decoders/Decoder.h"

namespace lyt {

// `inner` itself when its rate is at most `highestRate`; else the same recording at its rate
// divided by the smallest whole factor (up to 4) that brings it within `highestRate`, with the same
// length in seconds (to the frame) and sample-accurate seeks. Throws EngineError(BASS_ERROR_FREQ)
// when no such factor divides the rate.
std::unique_ptr<Decoder> withinRate(std::unique_ptr<Decoder> inner, int highestRate);

} // namespace lyt
