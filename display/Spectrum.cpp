// The spectrum display's timer and clearing.
#include "U_Main.h"

void TfrmMain::Timer_RenderTimerTimer() {}

void TfrmMain::ClearSpectrum() {}
