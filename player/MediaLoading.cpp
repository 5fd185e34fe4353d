// Opening a file: the load order, the per-file reset, the engine error report.
#include "MediaLoading.h"

#include "AbsolutePath.h"
#include "CommonTypes.h"
#include "MessageBox.h"
#include "Player.h"
#include "RecordingAnalysis.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr float MinTempoFactor = 0.5f;
constexpr float MaxTempoFactor = 4.0f;
constexpr DWORD kModuleFlags = BASS_STREAM_DECODE | BASS_MUSIC_CALCLEN | BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP;
const char kCrLf[] = "\r\n";

QString fileNamePart(const std::string &path) {
  const size_t slash = path.rfind('/');
  return QFile::decodeName(
      QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
}

// The envelopes of recordings opened before: $XDG_CACHE_HOME/lystrel2 (~/.cache/lystrel2).
std::string analysisCacheFolder() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  return base.isEmpty() ? std::string() : QFile::encodeName(base + QStringLiteral("/lystrel2")).toStdString();
}

} // namespace

QString engineErrorText(const QString &message, int engineCode, int effectsCode) {
  const QString engine = QString::number(static_cast<uint32_t>(engineCode));
  const QString effects = QString::number(static_cast<uint32_t>(effectsCode));
  QString text;
  if (engine == QLatin1String("2"))
    text += QCoreApplication::translate("Error", "ファイル読み込み時にエラーが発生しました") +
            QLatin1String(kCrLf);
  text += message + QLatin1String(kCrLf) + QLatin1String(kCrLf) + QStringLiteral("BASS Error Code: ") +
          engine + QLatin1String(kCrLf);
  if (effects != QLatin1String("0"))
    text += QStringLiteral("BASS_FX Error Code: ") + effects;
  const QString cause = engineErrorCause(engineCode != 0 ? engineCode : effectsCode);
  if (!cause.isEmpty())
    text += (effects != QLatin1String("0") ? QLatin1String(kCrLf) : QLatin1String()) + cause;
  return text;
}

QString engineErrorCause(int code) {
  switch (code) {
  case BASS_ERROR_MEM:
    return QCoreApplication::translate("Error", "メモリが足りません。");
  case BASS_ERROR_FILEOPEN:
    return QCoreApplication::translate("Error", "ファイルを開けません。");
  case BASS_ERROR_DRIVER:
  case BASS_ERROR_DEVICE:
    return QCoreApplication::translate("Error", "サウンドデバイスを開けませんでした。");
  case BASS_ERROR_HANDLE:
    return QCoreApplication::translate("Error", "開いているファイルがありません。");
  case BASS_ERROR_FORMAT:
    return QCoreApplication::translate("Error", "サウンドデバイスがこの音の形式に対応していません。");
  case BASS_ERROR_POSITION:
    return QCoreApplication::translate("Error", "その位置はファイルの範囲外です。");
  case BASS_ERROR_INIT:
    return QCoreApplication::translate("Error", "サウンド出力が準備されていません。");
  case BASS_ERROR_ALREADY:
    return QCoreApplication::translate("Error", "サウンド出力はすでに準備されています。");
  case BASS_ERROR_ILLPARAM:
    return QCoreApplication::translate("Error", "不正な値が指定されました。");
  case BASS_ERROR_NOPLAY:
    return QCoreApplication::translate("Error", "再生されていません。");
  case BASS_ERROR_NOTAVAIL:
    return QCoreApplication::translate("Error", "求められたデータがありません。");
  case BASS_ERROR_FILEFORM:
    return QCoreApplication::translate("Error", "ファイルの形式に対応していません。");
  case 0:
    return {};
  default:
    return QCoreApplication::translate("Error", "原因不明のエラーです。");
  }
}

void EndSyncCallback(HSYNC, DWORD, DWORD, DWORD) {
  EndReached.store(-1);
}

int wholeSecondsOfLength(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0)
    return 0;
  return static_cast<int>(std::min(std::nearbyint(seconds), 2147483647.0));
}

void TfrmMain::Error(const QString &message) {
  showMessageBox(this, engineErrorText(message, BASS_ErrorGetCode(), BASS_FX_ErrorGetCode()),
                 QStringLiteral("Error"), BoxIcon::Error);
}

DWORD TfrmMain::OutputChannel() const {
  return BASS_FX_TempoGetResampledHandle(Channel);
}

void TfrmMain::OpenMediaFile(const std::string &path) {
  RememberPlace();
  lyt::RecordingAnalysis::discard(std::move(Analysis)); // the last recording's, cancelled without a wait
  KeepRememberedPosition = false;
  FileLoaded = false;
  tbVolumeChange();
  tbTempo->setRange(static_cast<int>(std::lround((MinTempoFactor - 1) * 100)),
                    static_cast<int>(std::lround((MaxTempoFactor - 1) * 100)));
  tbTempo->setPageStep(1);

  RepeatState = 0;
  hsPosition->setSelection(0, 0);
  for (auto [button, item] : {std::pair{SpdBtn_RepStart, A1}, std::pair{SpdBtn_RepEnd, B1}}) {
    button->setDown(false);
    button->setCaptionColor(palette().color(QPalette::ButtonText));
    item->setChecked(false);
  }
  hsPosition->setPosition(0);
  lblTempoClick();
  lblPitchClick();
  FileInformation->setText(fileNamePart(path));
  Settings.AudioFileName = path;
  if (Playing == 1) {
    SpdBtn_PlayStopClick();
    SpdBtn_PlayStop->setDown(false);
  }

  if (lengthWatch_)
    lengthWatch_->stop();
  BASS_FX_DSP_Remove(Channel, BASS_FX_DSPFX_PEAKEQ);
  BASS_FX_TempoFree(Channel);
  EndReached.store(0);
  IsMusic = false;
  DWORD tries = 0;
  Channel = LYT_OpenFile(path.c_str(), BASS_STREAM_DECODE, kModuleFlags, &tries);
  IsMusic = tries == 3;
  if (!Channel) {
    ThePlayer->announceRecording();
    Error(tr("ファイル名＝") + QFile::decodeName(QByteArray::fromStdString(path)));
    return;
  }
  if (!BASS_FX_TempoCreate(Channel, 0)) {
    BASS_StreamFree(Channel);
    BASS_MusicFree(Channel);
    Channel = 0;
    ThePlayer->announceRecording();
    Error(QStringLiteral("Couldn't create a resampled stream!"));
    return;
  }
  SetDSP_EQ(0, LYT_EQ_BANDWIDTH_OCTAVES, 0, LYT_EQ_CENTRES_HZ[0], LYT_EQ_CENTRES_HZ[1], LYT_EQ_CENTRES_HZ[2],
            LYT_EQ_CENTRES_HZ[3], LYT_EQ_CENTRES_HZ[4], LYT_EQ_CENTRES_HZ[5]);
  ApplyClarity();

  const QWORD lengthBytes = IsMusic ? BASS_MusicGetLength(Channel, TRUE) : BASS_StreamGetLength(Channel);
  hsPosition->setMax(wholeSecondsOfLength(BASS_ChannelBytes2Seconds(Channel, lengthBytes)));
  WatchForExactLength();
  UpdatePositionLabel(hsPosition->Position());
  BASS_ChannelSetSync(Channel, BASS_SYNC_END, 0, EndSyncCallback, 0);
  for (QWidget *perFile : std::initializer_list<QWidget *>{SpdBtn_PlayStop, SpdBtn_Reset, tbTempo, tbPitch,
                                                           hsPosition, SpdBtn_RepStart, SpdBtn_RepEnd})
    perFile->setEnabled(true);
  BASS_ChannelSetAttributes(OutputChannel(), -1, tbVolume->Position(), -101);
  Analysis = std::make_unique<lyt::RecordingAnalysis>(path, analysisCacheFolder());
  FileLoaded = true;
  Settings.RecentFiles.putFirst(absolutePath(path));
  ThePlayer->announceRecording();
}

// A long MP3 opens with an estimated length: a light timer watches for the exact one.
void TfrmMain::WatchForExactLength() {
  if (!lengthWatch_) {
    lengthWatch_ = new QTimer(this);
    lengthWatch_->setInterval(50);
    connect(lengthWatch_, &QTimer::timeout, this, &TfrmMain::FollowExactLength);
  }
  if (LYT_LengthExact(Channel))
    lengthWatch_->stop();
  else
    lengthWatch_->start();
}

void TfrmMain::FollowExactLength() {
  if (!LYT_LengthExact(Channel))
    return;
  lengthWatch_->stop();
  hsPosition->setMax(wholeSecondsOfLength(BASS_ChannelBytes2Seconds(Channel, BASS_StreamGetLength(Channel))));
  UpdatePositionLabel(hsPosition->Position());
}

// A length that is still an estimate may fall short of the remembered place and section: the bar
// reaches them until the exact length lands, which then clamps them if it must. The exact length
// may have landed since the open: the bar takes it first.
void TfrmMain::RestorePlaybackPosition() {
  KeepRememberedPosition = !FileLoaded;
  if (FileLoaded)
    FollowExactLength();
  if (FileLoaded && lengthWatch_->isActive())
    hsPosition->setMax(static_cast<int>(std::clamp<int64_t>(
        std::max({int64_t(hsPosition->Max()), Settings.Position, Settings.RepeatPointB}), 0, INT32_MAX)));
  hsPosition->setPosition(static_cast<int>(Settings.Position));
  BASS_ChannelSetPosition(Channel, BASS_ChannelSeconds2Bytes(Channel, static_cast<float>(Settings.Position)));
  ThePlayer->announceJump();
  UpdatePositionLabel(static_cast<int32_t>(Settings.Position));
  tbTempo->setPosition(Settings.Tempo);
  tbPitch->setPosition(Settings.Pitch);
  tbVolume->setPosition(Settings.Volume);
}
