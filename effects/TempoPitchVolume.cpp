// Tempo, pitch and volume: the three sliders, their value labels, and the engine calls.
#include "TempoFormat.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QLabel>

void TfrmMain::tbTempoChange() {
  const int p = tbTempo->Position();
  lblTempo->setText(tempoCaption(p));
  BASS_FX_TempoSet(Channel, static_cast<float>(p), -1, -100.0f);
  UpdatePositionLabel(hsPosition->Position());
}

void TfrmMain::tbPitchChange() {
  const int p = tbPitch->Position();
  lblPitch->setText(QString::number(p));
  BASS_FX_TempoSet(Channel, -100.0f, -1, static_cast<float>(p));
  UpdatePositionLabel(hsPosition->Position());
}

void TfrmMain::tbVolumeChange() {
  const int p = tbVolume->Position();
  lblVolume->setText(QString::number(p));
  BASS_ChannelSetAttributes(OutputChannel(), -1, p, -101);
}

void TfrmMain::lblTempoClick() {
  tbTempo->setPosition(0);
  lblTempo->setText(QStringLiteral("1.00"));
}

void TfrmMain::lblPitchClick() {
  tbPitch->setPosition(0);
  lblPitch->setText(QStringLiteral("0"));
}

void TfrmMain::lblVolumeClick() {
  tbVolume->setPosition(50);
  lblVolume->setText(QString::number(tbVolume->Position()));
}
