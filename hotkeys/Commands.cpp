// The player commands that only hot keys run: skips, equaliser steps, volume and tempo steps.
#include "CommonTypes.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <algorithm>

namespace {

// The second `seconds` away from `position`, reckoned without overflow; the bar clamps it.
int steppedSecond(int position, int64_t seconds) {
  return static_cast<int>(std::clamp<int64_t>(position + seconds, INT32_MIN, INT32_MAX));
}

} // namespace

// The step goes onto the bar's whole second, so a skip always lands on a whole second.
void TfrmMain::SkipBy(int64_t seconds) {
  if (Playing == 0) {
    hsPosition->setPosition(steppedSecond(hsPosition->Position(), seconds));
    PositionSource(hsPosition->Position());
    SpdBtn_PlayStop->setDown(true);
    SpdBtn_PlayStopClick();
    UpdatePositionLabel(hsPosition->Position());
  } else if (Playing == 1) {
    BASS_ChannelStop(Channel);
    hsPosition->setPosition(steppedSecond(hsPosition->Position(), seconds));
    PositionSource(hsPosition->Position());
    BASS_StreamPlay(OutputChannel(), FALSE, 0);
    UpdatePositionLabel(hsPosition->Position());
  }
}

void TfrmMain::FastForward() { SkipBy(Settings.FfRwSec); }

void TfrmMain::Rewind() { SkipBy(-int64_t{Settings.FfRwSec}); }

void TfrmMain::StepEqBand(int band) {
  TrackBar *slider = EqBandSliders[band];
  if (!slider)
    return;
  slider->setPosition(slider->Position() == 0 ? 19 : slider->Position() - 1);
}

void TfrmMain::StepVolume(bool up) {
  tbVolume->setPosition(tbVolume->Position() + (up ? 10 : -10));
  if (tbVolume->Position() > 100)
    tbVolume->setPosition(100);
  if (tbVolume->Position() < 0)
    tbVolume->setPosition(0);
  tbVolumeChange();
}

void TfrmMain::SetTempoPreset(int preset) {
  static constexpr int kPositions[4] = {-50, 0, 50, 100};
  tbTempo->setPosition(kPositions[preset]);
}

void TfrmMain::StepTempo(bool up) {
  tbTempo->setPosition(tbTempo->Position() + (up ? Settings.ChangeSpeed : -Settings.ChangeSpeed));
}
