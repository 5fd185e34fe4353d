// The once-a-second position timer, the end of the file, and the A-B section repeat.
#include "CommonTypes.h"
#include "MessageBox.h"
#include "Player.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QAction>
#include <QTimer>

#include <cmath>
#include <tuple>

namespace {
const QColor kAqua(0, 255, 255);
} // namespace

void TfrmMain::Timer_PosTimer() {
  if (Playing == 0)
    return;
  if (!ThumbTracking) {
    const double seconds = BASS_ChannelBytes2Seconds(Channel, BASS_ChannelGetPosition(Channel));
    hsPosition->setPosition(static_cast<int>(std::nearbyint(std::max(seconds, 0.0))));
  }
  if (RepeatState != 0) {
    if (EndReached.load() != 0) {
      EndReached.store(0);
      hsPosition->setPosition(static_cast<int>(Settings.RepeatPointA));
      PositionSource(hsPosition->Position());
      BASS_StreamPlay(OutputChannel(), TRUE, 0);
    }
    if (static_cast<int64_t>(hsPosition->Position()) >= Settings.RepeatPointB) {
      hsPosition->setPosition(static_cast<int>(Settings.RepeatPointA));
      PositionSource(hsPosition->Position());
      if (!Settings.DelimiterFileName.empty()) {
        Timer_Pos->stop();
        Timer_RenderTimer->stop();
        BASS_ChannelStop(OutputChannel());
        PlayRepeatStartSound(); // the section plays again once the sound has been heard
      }
    }
  } else if (EndReached.load() != 0) {
    StopAtEndOfFile();
    EndReached.store(0);
  }
}

// The sound plays on an output of its own while the window goes on answering (a long file chosen
// by mistake could otherwise hold it for minutes). A file the engine cannot read gives the short
// default tone, which is played to its end at once.
void TfrmMain::PlayRepeatStartSound() {
  const char *path = Settings.DelimiterFileName.c_str();
  const DWORD source = BASS_StreamCreateFile(FALSE, path, 0, 0, BASS_STREAM_DECODE);
  if (!source || !BASS_FX_TempoCreate(source, 0)) {
    BASS_StreamFree(source);
    LYT_PlaySoundSync(path);
    RepeatStartSoundEnded();
    return;
  }
  RepeatSound = source;
  BASS_StreamPlay(BASS_FX_TempoGetResampledHandle(source), FALSE, 0);
  if (!repeatSoundWatch_) {
    repeatSoundWatch_ = new QTimer(this);
    repeatSoundWatch_->setInterval(10);
    connect(repeatSoundWatch_, &QTimer::timeout, this, [this] {
      if (BASS_ChannelIsActive(BASS_FX_TempoGetResampledHandle(RepeatSound)) == BASS_ACTIVE_STOPPED)
        RepeatStartSoundEnded();
    });
  }
  repeatSoundWatch_->start();
}

// Playing goes on from A, unless the user stopped or played again meanwhile.
void TfrmMain::RepeatStartSoundEnded() {
  if (repeatSoundWatch_)
    repeatSoundWatch_->stop();
  if (RepeatSound) {
    BASS_FX_TempoFree(RepeatSound);
    BASS_StreamFree(RepeatSound);
    RepeatSound = 0;
  }
  if (Playing != 1 || Timer_Pos->isActive())
    return;
  BASS_StreamPlay(OutputChannel(), TRUE, 0);
  Timer_Pos->start();
  Timer_RenderTimer->start();
}

void TfrmMain::StopAtEndOfFile() {
  Timer_Pos->stop();
  Timer_RenderTimer->stop();
  hsPosition->setPosition(hsPosition->Position() - 10);
  PositionSource(hsPosition->Position());
  Playing = 0;
  ThePlayer->announceState();
  SpdBtn_PlayStop->setDown(false);
  UpdatePositionLabel(hsPosition->Position());
  ClearSpectrum();
}

void TfrmMain::SpdBtn_RepStartClick() {
  const int p = hsPosition->Position();
  if (SpdBtn_RepStart->Down()) {
    // Besides the stated refusals, A may not lie at or after a set B: no section runs backwards.
    const bool atB = p != 0 && p == Settings.RepeatPointB;
    const bool afterSetB = SpdBtn_RepEnd->Down() && p >= Settings.RepeatPointB;
    if (atB || p == hsPosition->Max() || afterSetB) {
      SpdBtn_RepStart->setDown(false);
      informationBeep();
      return;
    }
    hsPosition->setSelection(p, SpdBtn_RepEnd->Down() ? hsPosition->SelEnd() : hsPosition->Max());
    RepeatState += 1;
    SpdBtn_RepStart->setCaptionColor(kAqua);
  } else {
    hsPosition->setSelection(hsPosition->minimum(), SpdBtn_RepEnd->Down() ? hsPosition->SelEnd() : 0);
    RepeatState -= 1;
    SpdBtn_RepStart->setCaptionColor(palette().color(QPalette::ButtonText));
  }
  Settings.RepeatPointA = hsPosition->SelStart();
  Settings.RepeatPointB = hsPosition->SelEnd();
  A1->setChecked(!A1->isChecked());
}

void TfrmMain::SpdBtn_RepEndClick() {
  const int p = hsPosition->Position();
  if (SpdBtn_RepEnd->Down()) {
    // Besides the stated refusal, B may not lie at or before a set A.
    const bool atA = p == Settings.RepeatPointA;
    const bool beforeSetA = SpdBtn_RepStart->Down() && p <= Settings.RepeatPointA;
    if (atA || beforeSetA) {
      SpdBtn_RepEnd->setDown(false);
      informationBeep();
      return;
    }
    hsPosition->setSelection(SpdBtn_RepStart->Down() ? hsPosition->SelStart() : 0, p);
    RepeatState += 2;
    if (Playing == 1)
      BASS_ChannelStop(Channel);
    PositionSource(hsPosition->SelStart());
    if (Playing == 1)
      BASS_StreamPlay(OutputChannel(), FALSE, 0);
    SpdBtn_RepEnd->setCaptionColor(kAqua);
  } else {
    hsPosition->setSelection(hsPosition->SelStart(), SpdBtn_RepStart->Down() ? hsPosition->Max() : 0);
    RepeatState -= 2;
    SpdBtn_RepEnd->setCaptionColor(palette().color(QPalette::ButtonText));
  }
  Settings.RepeatPointA = hsPosition->SelStart();
  Settings.RepeatPointB = hsPosition->SelEnd();
  B1->setChecked(!B1->isChecked());
}

void TfrmMain::RestoreRepeatSection(int32_t state, bool showAsSet) {
  RepeatState = state;
  // A hand-edited section that runs backwards cannot be played; it is not restored.
  if (RepeatState >= 1 && RepeatState <= 3 && Settings.RepeatPointB < Settings.RepeatPointA)
    RepeatState = 0;
  if (RepeatState < 1 || RepeatState > 3)
    return;
  hsPosition->setSelection(static_cast<int>(Settings.RepeatPointA), static_cast<int>(Settings.RepeatPointB));
  for (auto [button, item, bit] : {std::tuple{SpdBtn_RepStart, A1, 1}, std::tuple{SpdBtn_RepEnd, B1, 2}}) {
    const bool set = RepeatState & bit;
    button->setDown(set);
    item->setChecked(set);
    if (showAsSet && set)
      button->setCaptionColor(kAqua);
  }
}

void TfrmMain::A1Click() {
  SpdBtn_RepStart->setDown(!SpdBtn_RepStart->Down());
  SpdBtn_RepStartClick();
}

void TfrmMain::B1Click() {
  SpdBtn_RepEnd->setDown(!SpdBtn_RepEnd->Down());
  SpdBtn_RepEndClick();
}
