// The settings dialog's window.
#include "AudioProp.h"

TfrmAudioProp *frmAudioProp = nullptr;

TfrmAudioProp::TfrmAudioProp(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("設定"));
  setFixedSize(385, 245);
}
