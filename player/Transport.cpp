// Play, stop with the automatic rewind, reset, and the position bar's seeks.
#include "TrackBar.h"
#include "U_Main.h"

void TfrmMain::PositionSource(int64_t seconds) {
  BASS_ChannelSetPosition(Channel, BASS_ChannelSeconds2Bytes(Channel, static_cast<float>(seconds)));
}

void TfrmMain::SpdBtn_PlayStopClick() {}
void TfrmMain::SpdBtn_ResetClick() {
  ResetPosition();
}
void TfrmMain::ResetPosition() {}
void TfrmMain::hsPositionChange() {}
bool TfrmMain::SubclassWndProc(int, int) {
  return false;
}
