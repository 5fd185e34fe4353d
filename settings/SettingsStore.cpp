// Reading the settings at start-up and writing them at shutdown, from and to the main window.
#include "AudioProp.h"
#include "CommonTypes.h"
#include "FramePlacement.h"
#include "KeyBindingTab.h"
#include "MessageBox.h"
#include "SettingsFile.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>

namespace {

// A size that would leave the window too small to see or larger than the screen takes its default.
void keepSizeOnScreen(TIniInfo &s) {
  const QSize screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size() : QSize(320, 250);
  const TIniInfo defaults;
  if (s.SelfWidth < 100 || s.SelfWidth > screen.width())
    s.SelfWidth = defaults.SelfWidth;
  if (s.SelfHeight < 100 || s.SelfHeight > screen.height())
    s.SelfHeight = defaults.SelfHeight;
}

// The window's outer corner where it was, unless its title bar and menu would be off every
// screen: then as near to that as the nearest screen allows.
QPoint cornerOnAScreen(QPoint corner) {
  constexpr int kTitleWidth = 100, kTitleHeight = 40;
  const QRect titleBar(corner, QSize(kTitleWidth, kTitleHeight));
  QRect nearest;
  int64_t nearestDistance = INT64_MAX;
  for (const QScreen *screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    if (area.contains(titleBar))
      return corner;
    const int64_t dx = std::max({area.left() - corner.x(), 0, corner.x() - area.right()});
    const int64_t dy = std::max({area.top() - corner.y(), 0, corner.y() - area.bottom()});
    if (dx * dx + dy * dy < nearestDistance) {
      nearestDistance = dx * dx + dy * dy;
      nearest = area;
    }
  }
  if (nearest.isNull())
    return corner;
  return QPoint(std::clamp(corner.x(), nearest.left(), std::max(nearest.left(), nearest.right() + 1 - kTitleWidth)),
                std::clamp(corner.y(), nearest.top(), std::max(nearest.top(), nearest.bottom() + 1 - kTitleHeight)));
}

} // namespace

void TfrmMain::LoadSettings() {
  LoadedExtras extras;
  readSettingsFile(IniFile::load(IniPath()), Settings, KeyMap, extras);
  keepSizeOnScreen(Settings);
  for (int band = 0; band < EqBands; ++band)
    EqBandSliders[band]->setPosition(
        static_cast<int>(std::clamp<int64_t>(extras.eqPositions[band], INT32_MIN, INT32_MAX)));
  ShowClarity();
}

void TfrmMain::LoadWindowPosition() {
  const IniFile file = IniFile::load(IniPath());
  const auto top = static_cast<int>(file.readInteger("Position", "Top", 0));
  const auto left = static_cast<int>(file.readInteger("Position", "Left", 0));
  const QPoint corner = cornerOnAScreen(QPoint(left, top));
  // What is saved is the outer corner (x() and y()): the frame goes back there, not the client
  // area, or the window would creep by its title bar at every start.
  moveFrameTo(this, corner);
}

void TfrmMain::SaveSettings() {
  RememberPlace();
  LiveValues live;
  // A remembered file that did not open keeps the place remembered with it.
  live.position = KeepRememberedPosition ? Settings.Position : hsPosition->Position();
  live.tempo = tbTempo->Position();
  live.pitch = tbPitch->Position();
  live.volume = tbVolume->Position();
  live.repeatState = RepeatState;
  for (int band = 0; band < EqBands; ++band)
    live.eqPositions[band] = EqBandSliders[band]->Position();
  const QPoint corner = frameCorner(this);
  live.windowTop = corner.y();
  live.windowLeft = corner.x();
  const std::string path = IniPath();
  IniFile file = IniFile::load(path);
  writeSettingsFile(file, Settings, KeyMap, live);
  if (!file.save(path))
    showMessageBox(this, tr("%1 に書き込めません.").arg(QFile::decodeName(QByteArray::fromStdString(path))),
                   QStringLiteral("Lystrel2"), BoxIcon::Error);
}

// The values apply as 保存 closes the dialog, before the dialog's own event loop ends: a key typed
// just after it (the play key just bound, say) finds them in force.
void TfrmMain::N1Click() {
  const QMetaObject::Connection applying =
      connect(frmAudioProp, &QDialog::accepted, this, &TfrmMain::ApplySettingsDialog);
  frmAudioProp->exec();
  disconnect(applying);
}

void TfrmMain::ApplySettingsDialog() {
  Settings.RevSec = frmAudioProp->RevSecUpDown->value();
  Settings.FfRwSec = frmAudioProp->UpDownFfRw->value();
  Settings.ChangeSpeed = frmAudioProp->UpDownChangeSpeed->value();
  Settings.DelimiterFileName = frmAudioProp->DelimiterFileName;
  const bool keysChanged = KeyMap != frmAudioProp->TabSheet6->EditKeyMap;
  KeyMap = frmAudioProp->TabSheet6->EditKeyMap;
  Settings.NonLockMode = frmAudioProp->ChkBoxNonLockMode->isChecked();
  Settings.TopMost = frmAudioProp->ChkBoxTopMost->isChecked();
  Settings.ResumeAnyOpening = frmAudioProp->ChkBoxResumeAnyOpening->isChecked();
  Settings.RewindToPause = frmAudioProp->ChkBoxRewindToPause->isChecked();
  ItemTopMost->setChecked(Settings.TopMost);
  ApplyTopMost();
  if (keysChanged)
    RebindDesktopShortcuts();
}
