// The help command and the version dialog.
#include "U_Main.h"

void TfrmMain::HelpIndex1Click() {}
void TfrmMain::About1Click() {}
