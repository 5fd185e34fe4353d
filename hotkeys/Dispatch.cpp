// The hook library's messages, matched against the key map and run as commands.
#include "U_Main.h"

void TfrmMain::WndProc(uint32_t, uintptr_t, intptr_t) {}
