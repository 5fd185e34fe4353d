// The waveform strip under the window: shown or hidden from the Options menu, fed with the
// loaded recording's analysis, the playing place and the A-B section; its clicks seek.
#include "CommonTypes.h"
#include "Player.h"
#include "RecordingAnalysis.h"
#include "TrackBar.h"
#include "U_Main.h"
#include "WaveformStrip.h"

#include <QAction>

#include <algorithm>

namespace {

constexpr int kStripHeight = 44;
constexpr int kStripMargin = 2;

WaveformStrip::Marks marksOf(const TfrmMain &window) {
  WaveformStrip::Marks marks;
  if (!window.FileLoaded)
    return marks;
  marks.placeSeconds = window.HeardSeconds();
  if (window.RepeatState >= 1 && window.RepeatState <= 3) {
    marks.sectionFromSeconds = window.hsPosition->SelStart();
    marks.sectionToSeconds = window.hsPosition->SelEnd();
  }
  return marks;
}

double lengthOf(const TfrmMain &window) {
  if (!window.FileLoaded)
    return 0;
  const DWORD channel = window.Channel;
  const QWORD length = window.IsMusic ? BASS_MusicGetLength(channel, TRUE) : BASS_StreamGetLength(channel);
  return std::max<double>(BASS_ChannelBytes2Seconds(channel, length), 0.0);
}

} // namespace

void TfrmMain::createWaveform() {
  Waveform = new WaveformStrip(ClientArea);
  Waveform->hide();
  Waveform->analysis = [this] { return Analysis.get(); };
  Waveform->marks = [this] { return marksOf(*this); };
  // The seek runs from the player's queue, as the commands of every other door do.
  Waveform->onSeek = [this](double seconds) { ThePlayer->post([this, seconds] { SeekExact(seconds); }); };
  connect(ThePlayer, &Player::recordingChanged, this, [this] { Waveform->setRecording(lengthOf(*this)); });
  connect(ThePlayer, &Player::jumped, Waveform, &WaveformStrip::poll);
}

// Under the full mode's controls; the window grows by the strip's height.
void TfrmMain::ShowWaveform() {
  const QSize designed = FullModeClientSize();
  Waveform->setGeometry(kStripMargin, designed.height(), designed.width() - 2 * kStripMargin, kStripHeight);
  Waveform->setVisible(Settings.ShowWaveform);
  ClientArea->setFixedSize(designed.width(),
                           designed.height() + (Settings.ShowWaveform ? kStripHeight + kStripMargin : 0));
}

void TfrmMain::ItemWaveformClick() {
  ItemWaveform->setChecked(!ItemWaveform->isChecked());
  Settings.ShowWaveform = ItemWaveform->isChecked();
  if (!ItemDspCntMode->isChecked())
    ShowWaveform();
}
