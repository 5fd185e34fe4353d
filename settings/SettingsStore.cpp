// Reading the settings at start-up and writing them at shutdown, from and to the main window.
#include "AudioProp.h"
#include "CommonTypes.h"
#include "KeyBindingTab.h"
#include "MessageBox.h"
#include "SettingsFile.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QSpinBox>

TIniInfo Settings;
TKeyMap KeyMap;

void TfrmMain::LoadSettings() {
  LoadedExtras extras;
  readSettingsFile(IniFile::load(IniPath()), Settings, KeyMap, extras);
  for (int band = 0; band < EqBands; ++band)
    EqBandSliders[band]->setPosition(
        static_cast<int>(std::clamp<int64_t>(extras.eqPositions[band], INT32_MIN, INT32_MAX)));
}

void TfrmMain::LoadWindowPosition() {
  const IniFile file = IniFile::load(IniPath());
  const auto top = static_cast<int>(file.readInteger("Position", "Top", 0));
  const auto left = static_cast<int>(file.readInteger("Position", "Left", 0));
  move(x(), top);
  move(left, top);
}

void TfrmMain::SaveSettings() {
  LiveValues live;
  live.position = hsPosition->Position();
  live.tempo = tbTempo->Position();
  live.pitch = tbPitch->Position();
  live.volume = tbVolume->Position();
  live.repeatState = RepeatState;
  for (int band = 0; band < EqBands; ++band)
    live.eqPositions[band] = EqBandSliders[band]->Position();
  live.windowTop = y();
  live.windowLeft = x();
  const std::string path = IniPath();
  IniFile file = IniFile::load(path);
  writeSettingsFile(file, Settings, KeyMap, live);
  if (!file.save(path))
    showMessageBox(this, tr("%1 に書き込めません.").arg(QFile::decodeName(QByteArray::fromStdString(path))),
                   QStringLiteral("Lystrel2"), BoxIcon::Error);
}

void TfrmMain::N1Click() {
  if (frmAudioProp->exec() != QDialog::Accepted)
    return;
  Settings.RevSec = frmAudioProp->RevSecUpDown->value();
  Settings.FfRwSec = frmAudioProp->UpDownFfRw->value();
  Settings.ChangeSpeed = frmAudioProp->UpDownChangeSpeed->value();
  Settings.DelimiterFileName = QFile::encodeName(frmAudioProp->StaticText1->text()).toStdString();
  const bool keysChanged = KeyMap != frmAudioProp->TabSheet6->EditKeyMap;
  KeyMap = frmAudioProp->TabSheet6->EditKeyMap;
  Settings.NonLockMode = frmAudioProp->ChkBoxNonLockMode->isChecked();
  Settings.TopMost = frmAudioProp->ChkBoxTopMost->isChecked();
  ItemTopMost->setChecked(Settings.TopMost);
  ApplyTopMost();
  if (keysChanged)
    RebindDesktopShortcuts();
}
