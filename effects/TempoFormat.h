// The tempo label's text for a slider position.
#pragma once

#include <QString>

// The factor (p + 100) / 100 as "0.0#" (one or two decimals, with a point), a blank after it, cut
// to four characters: 1.05, "0.5 ", "4.0 ", 2.23.
QString tempoCaption(int position);
