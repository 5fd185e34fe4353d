// Pauses of speech from the envelope's levels, measured against the recording's own noise floor.
#pragma once

#include "analysis/RecordingAnalysis.h"

#include <vector>

namespace lyt {

// The floor is a low percentile of the steps' levels, the speech a high one; a pause is a run of
// steps near the floor (a click of up to 30 ms inside it does not break it) lasting at least
// kMinPauseSeconds. A recording whose levels barely spread (steady noise, music without rests)
// has no pauses. In order, not overlapping.
std::vector<Pause> findPauses(const std::vector<EnvelopeStep> &steps);

} // namespace lyt
