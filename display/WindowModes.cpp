// Full mode, counter display mode, and always on top.
#include "U_Main.h"

#include <QAction>

void TfrmMain::ItemFullModeClick() {
  ItemFullMode->setChecked(true);
  ItemDspCntMode->setChecked(false);
}

void TfrmMain::ItemDspCntModeClick() {
  ItemDspCntMode->setChecked(true);
  ItemFullMode->setChecked(false);
}

void TfrmMain::ItemTopMostClick() {}

void TfrmMain::ApplyTopMost() {}
