// Play, stop with the automatic rewind, reset, and the position bar's user actions as seeks.
#include "CommonTypes.h"
#include "Player.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QTimer>

#include <algorithm>

namespace {
constexpr int32_t kLeftArrow = 0x25, kUpArrow = 0x26, kRightArrow = 0x27, kDownArrow = 0x28;
} // namespace

// The bar's last second may lie past the end, its length being rounded up: the sound goes to the
// end then, so the rest is heard and the end of the file is handled as usual.
void TfrmMain::PositionSource(int64_t seconds) {
  const QWORD bytes = BASS_ChannelSeconds2Bytes(Channel, static_cast<float>(seconds));
  const QWORD length = IsMusic ? BASS_MusicGetLength(Channel, TRUE) : BASS_StreamGetLength(Channel);
  BASS_ChannelSetPosition(Channel, length != QWORD(-1) ? std::min(bytes, length) : bytes);
  ThePlayer->announceJump();
}

void TfrmMain::SeekExact(double seconds) {
  const QWORD length = IsMusic ? BASS_MusicGetLength(Channel, TRUE) : BASS_StreamGetLength(Channel);
  const double last = BASS_ChannelBytes2Seconds(Channel, length);
  seconds = std::clamp(seconds, 0.0, std::max(last, 0.0));
  const int whole = static_cast<int>(seconds);
  hsPosition->setPosition(whole);
  if (hsPosition->Position() != whole)
    seconds = hsPosition->Position(); // kept inside the A-B section, or the bar's range
  if (Playing == 1)
    BASS_ChannelStop(Channel);
  PositionSourceExact(seconds);
  if (Playing == 1)
    BASS_StreamPlay(OutputChannel(), FALSE, 0);
  UpdatePositionLabel(hsPosition->Position());
}

void TfrmMain::PositionSourceExact(double seconds) {
  const QWORD length = IsMusic ? BASS_MusicGetLength(Channel, TRUE) : BASS_StreamGetLength(Channel);
  BASS_ChannelSetPosition(Channel, std::min(BASS_ChannelSeconds2Bytes(Channel, static_cast<float>(seconds)), length));
  ThePlayer->announceJump();
}

// A module's seconds form: high 16 bits of the low word all ones, sign-extended.
void TfrmMain::PositionSourceForm(int seconds) {
  if (IsMusic)
  {
    BASS_ChannelSetPosition(Channel, static_cast<QWORD>(static_cast<int64_t>(static_cast<int32_t>(
                                         0xFFFF0000u | static_cast<uint32_t>(seconds & 0xFFFF)))));
    ThePlayer->announceJump();
  } else
    PositionSource(seconds);
}

void TfrmMain::SpdBtn_PlayStopClick() {
  if (Playing == 0) {
    Timer_Pos->start();
    Timer_RenderTimer->start();
    BASS_StreamPlay(OutputChannel(), FALSE, BASS_SAMPLE_LOOP);
    Playing = 1;
    ThePlayer->announceState();
  } else if (Playing == 1) {
    Timer_Pos->stop();
    Timer_RenderTimer->stop();
    BASS_ChannelStop(OutputChannel());
    EndReached.store(0); // an end noticed before the stop belongs to the sound that was stopped
    if (const std::optional<double> phraseStart = PhraseRewindTarget()) {
      hsPosition->setPosition(static_cast<int32_t>(*phraseStart));
      PositionSourceExact(*phraseStart);
    } else {
      int32_t rewound = hsPosition->Position() - Settings.RevSec;
      if (RepeatState != 0 && rewound < Settings.RepeatPointA)
        rewound = static_cast<int32_t>(Settings.RepeatPointA);
      hsPosition->setPosition(rewound);
      PositionSource(hsPosition->Position());
    }
    UpdatePositionLabel(hsPosition->Position());
    Playing = 0;
    ClearSpectrum();
    ThePlayer->announceState();
  }
}

void TfrmMain::SpdBtn_ResetClick() { ResetPosition(); }

void TfrmMain::ResetPosition() {
  EndReached.store(0);
  const auto start = static_cast<int>(RepeatState == 0 ? 0 : Settings.RepeatPointA);
  if (Playing == 0) {
    hsPosition->setPosition(start);
    PositionSource(hsPosition->Position());
  } else if (Playing == 1) {
    BASS_ChannelStop(Channel);
    hsPosition->setPosition(start);
    PositionSource(hsPosition->Position());
    BASS_StreamPlay(OutputChannel(), FALSE, 0);
  }
  UpdatePositionLabel(hsPosition->Position());
}

// Keeps a position inside the A-B section, moving the sound with the bar.
void TfrmMain::hsPositionChange() {
  if (BASS_ChannelIsActive(Channel) == BASS_ACTIVE_STOPPED)
    return;
  // A section with B before A (only a hand-edited file makes one) has no inside to keep to.
  if (RepeatState != 0 && Settings.RepeatPointB >= Settings.RepeatPointA) {
    const int64_t bar = hsPosition->Position();
    const int64_t bound = bar > Settings.RepeatPointB   ? Settings.RepeatPointB
                          : bar < Settings.RepeatPointA ? Settings.RepeatPointA
                                                        : bar;
    if (bound != bar) {
      if (Playing == 1)
        BASS_ChannelStop(Channel);
      hsPosition->setPosition(static_cast<int>(bound));
      PositionSource(hsPosition->Position());
      if (Playing == 1)
        BASS_StreamPlay(OutputChannel(), FALSE, 0);
    }
  }
  UpdatePositionLabel(hsPosition->Position());
}

bool TfrmMain::SubclassWndProc(int code, int position) {
  const int32_t playKey = KeyMap.slot(1).KeyCode;
  switch (code) {
  case TrackBar::LineUp:
  case TrackBar::LineDown: {
    const bool back = code == TrackBar::LineUp;
    if (Playing == 1 && (back ? (playKey == kLeftArrow || playKey == kUpArrow)
                              : (playKey == kRightArrow || playKey == kDownArrow)))
      return true; // the play/stop hot key already acted on this arrow
    if (Playing == 1)
      BASS_ChannelStop(Channel);
    hsPosition->setPosition(hsPosition->Position() + (back ? -1 : 1));
    PositionSource(hsPosition->Position());
    if (Playing == 1 && back)
      BASS_StreamPlay(OutputChannel(), FALSE, 0);
    UpdatePositionLabel(hsPosition->Position());
    return true;
  }
  case TrackBar::PageUp:
  case TrackBar::PageDown:
    return true;
  case TrackBar::ThumbPosition:
    if (Playing == 1) {
      BASS_ChannelStop(Channel);
      PositionSourceForm(position);
      BASS_StreamPlay(OutputChannel(), FALSE, 0);
    } else {
      PositionSource(position);
    }
    UpdatePositionLabel(position);
    ThumbTracking = false;
    return true;
  case TrackBar::ThumbTrack:
    if (!ThumbTracking)
      ThumbTracking = true;
    else
      UpdatePositionLabel(position);
    return true;
  default:
    return false;
  }
}
