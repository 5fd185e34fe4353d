// The once-a-second position timer, the end of the file, and the A-B section repeat.
#include "U_Main.h"

void TfrmMain::Timer_PosTimer() {}
void TfrmMain::StopAtEndOfFile() {}
void TfrmMain::SpdBtn_RepStartClick() {}
void TfrmMain::SpdBtn_RepEndClick() {}
void TfrmMain::A1Click() {}
void TfrmMain::B1Click() {}
