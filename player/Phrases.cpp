// Phrase starts from the recording's pauses of speech: where the rewind of a stop lands, and the
// previous- and next-phrase commands.
#include "CommonTypes.h"
#include "RecordingAnalysis.h"
#include "U_Main.h"

#include <algorithm>

namespace {

// The rewind goes on from RevSec back to the phrase's start only when that lies this near.
constexpr double kFurthestPhraseStart = 2.0;
// Pressed this soon after a phrase began, "previous phrase" goes to the one before, as a player's
// previous-track button does; later it goes back to the start of the phrase being heard.
constexpr double kPreviousPhraseGrace = 1.0;
// "Next phrase" looks from a little ahead of the place heard, so that a place just set on a
// phrase start (and read back through the engine's rounding) does not find that phrase again.
constexpr double kNextPhraseLead = 0.05;

} // namespace

double TfrmMain::HeardSeconds() const {
  const QWORD position = BASS_ChannelGetPosition(Channel);
  return position == QWORD(-1) ? 0.0 : std::max(0.0, double(BASS_ChannelBytes2Seconds(Channel, position)));
}

// RevSec back from the place heard (not below A in an active A-B section), then on to the start
// of the phrase there, the end of the pause before it, when that is no more than two seconds
// further. A place inside a pause goes to the pause's end if that was heard already: the phrase
// after it is heard from its first word, without the silence before it.
std::optional<double> TfrmMain::PhraseRewindTarget() const {
  if (!Settings.RewindToPause || !Analysis || Channel == 0)
    return std::nullopt;
  const double heard = HeardSeconds();
  const double floor = RepeatState != 0 ? double(Settings.RepeatPointA) : 0.0;
  const double back = std::max(heard - Settings.RevSec, floor);
  const std::optional<double> start = Analysis->phraseStartAtOrBefore(back);
  if (!start)
    return std::nullopt;
  const std::vector<lyt::Pause> around = Analysis->pauses(back, back);
  if (!around.empty())
    return around.front().endSeconds <= heard ? around.front().endSeconds : back;
  return back - *start <= kFurthestPhraseStart && *start >= floor ? *start : back;
}

void TfrmMain::PreviousPhrase() {
  if (!Analysis || Channel == 0)
    return;
  if (const std::optional<double> start = Analysis->phraseStartAtOrBefore(HeardSeconds() - kPreviousPhraseGrace))
    SeekExact(*start);
}

void TfrmMain::NextPhrase() {
  if (!Analysis || Channel == 0)
    return;
  if (const std::optional<double> start = Analysis->nextPhraseStart(HeardSeconds() + kNextPhraseLead))
    SeekExact(*start);
}
