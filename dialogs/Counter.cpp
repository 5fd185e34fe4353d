// Copying the elapsed time to the clipboard, and jumping to a typed time.
#include "CommonTypes.h"
#include "Foreground.h"
#include "SetCounter.h"
#include "TrackBar.h"
#include "U_Main.h"
#include "WindowMessages.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

void TfrmMain::CopyCounter() { QGuiApplication::clipboard()->setText(lblPosition2->text().left(8)); }

void TfrmMain::EnterCounter() {
  if (!frmSetCounter || frmSetCounter->isVisible())
    return;
  const unsigned long previous = foregroundWindow();
  const bool elsewhere = previous != 0 && previous != nativeWindowId(this);
  raise();
  activateWindow();
  setForegroundWindow(nativeWindowId(this));
  frmSetCounter->exec();
  if (elsewhere)
    setForegroundWindow(previous);

  const std::optional<int64_t> target = parseCounterTime(frmSetCounter->Edit1->text());
  if (!target || *target > hsPosition->Max())
    return;
  const auto seconds = static_cast<int32_t>(*target);
  if (Playing == 0) {
    PositionSource(seconds);
  } else if (Playing == 1) {
    BASS_ChannelStop(Channel);
    PositionSourceForm(seconds);
    BASS_StreamPlay(OutputChannel(), FALSE, 0);
  }
  UpdatePositionLabel(seconds);
  hsPosition->setPosition(seconds);
}
