// The two time readouts: recording time, and playing time at the current tempo.
#include "PositionReadout.h"

#include "TrackBar.h"
#include "U_Main.h"

#include <QLabel>

QString FormatHms(int32_t v) {
  return QString::asprintf("%2.2d:%2.2d:%2.2d", v / 3600, (v / 60) % 60, v % 60);
}

void TfrmMain::UpdatePositionLabel(int32_t t) {
  const QString separator = QStringLiteral(" / ");
  lblPosition2->setText(FormatHms(t) + separator + FormatHms(hsPosition->Max()));
  const auto playedElapsed =
      static_cast<int32_t>(BASS_FX_TempoGetApproxSeconds(Channel, static_cast<float>(t)));
  const auto playedTotal =
      static_cast<int32_t>(BASS_FX_TempoGetApproxSeconds(Channel, static_cast<float>(hsPosition->Max())));
  lblPosition->setText(FormatHms(playedElapsed) + separator + FormatHms(playedTotal));
}
