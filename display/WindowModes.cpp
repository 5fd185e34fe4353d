// Full mode and the counter strip, always on top, and moving the window by its background.
#include "CommonTypes.h"
#include "FramePlacement.h"
#include "U_Main.h"
#include "WaveformStrip.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

namespace {

constexpr int kDesignedClientWidth = 314;
constexpr int kDesignedClientHeight = 198;
constexpr int kDesignedOuterWidth = 320;
constexpr int kDesignedOuterHeight = 250;

} // namespace

// A shown window changes its frame and stacking on the existing native window (QWindow::setFlags),
// so its id, which the keyboard hook holds, stays the same. Before the first show the widget's own
// flags are set, so that showing does not replace the window again; the hook follows the window
// that showing makes.
void TfrmMain::setNativeFlag(Qt::WindowType flag, bool on) {
  if (!isVisible()) {
    setWindowFlag(flag, on);
    return;
  }
  QWindow *native = windowHandle();
  const Qt::WindowFlags flags = on ? native->flags() | flag : native->flags() & ~flag;
  if (flags != native->flags())
    native->setFlags(flags);
  FollowNativeWindow();
}

void TfrmMain::ItemFullModeClick() {
  lblPosition2->move(Settings.lblPosition2Left, Settings.lblPosition2Top);
  lblPosition->move(Settings.lblPosition2Left, Settings.lblPosition2Top + 18);
  ShowWaveform(); // sizes the client area, the strip under it when shown
  MainMenu1->show();
  const QPoint corner = frameCorner(this);
  setNativeFlag(Qt::FramelessWindowHint, false);
  moveFrameTo(this, corner); // the outer corner stays where it was
  FileInformation->move(8, 2);
  ItemFullMode->setChecked(true);
  ItemDspCntMode->setChecked(false);
}

// The outer size is kept as the settings say: what differs from the designed 320 x 250 goes to
// the client area.
QSize TfrmMain::FullModeClientSize() const {
  return QSize(kDesignedClientWidth + Settings.SelfWidth - kDesignedOuterWidth,
               kDesignedClientHeight + Settings.SelfHeight - kDesignedOuterHeight);
}

void TfrmMain::ItemDspCntModeClick() {
  Waveform->hide();
  FileInformation->move(100, 100);
  lblPosition2->move(4, 2);
  lblPosition->move(122, 2);
  MainMenu1->hide();
  const QPoint corner = frameCorner(this);
  setNativeFlag(Qt::FramelessWindowHint, true);
  moveFrameTo(this, corner); // the outer corner stays where it was
  ClientArea->setFixedSize(245, 18);
  ItemDspCntMode->setChecked(true);
  ItemFullMode->setChecked(false);
}

void TfrmMain::ItemTopMostClick() {
  ItemTopMost->setChecked(!ItemTopMost->isChecked());
  Settings.TopMost = ItemTopMost->isChecked();
  ApplyTopMost();
}

void TfrmMain::ApplyTopMost() {
  setNativeFlag(Qt::WindowStaysOnTopHint, Settings.TopMost);
}

// A press of the left button on the window's own background moves the window, in both modes.
void TfrmMain::mousePressEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton && windowHandle()) {
    stopPlacing(this);
    windowHandle()->startSystemMove();
    event->accept();
    return;
  }
  QMainWindow::mousePressEvent(event);
}
