// Start-up and shutdown of the main window, and the ways a file reaches the player: the Open
// command, a drop, and the hand-off of a second instance.
#include "U_Main.h"

#include "CommonTypes.h"
#include "GuardedApplication.h"
#include "MessageBox.h"
#include "PedalMonitor.h"
#include "RecordingAnalysis.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "WindowMessages.h"
#include "spectrum_vis.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <dlfcn.h>

#include <cstdio>

namespace {

const char kHookLibrary[] = "libTarvix2.so";

// The file system's bytes of a dropped or chosen file, whatever they are.
std::string localBytes(const QUrl &url) {
  const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
  return QByteArray::fromPercentEncoding(encoded).toStdString();
}

// What the engine plays, all together first (the stated kinds, then the rest), then by kind.
QStringList openDialogFilters() {
  const QString sound =
      QStringLiteral("*.mp3 *.mp2 *.mp1 *.ogg *.oga *.opus *.wav *.flac *.aif *.aiff *.aifc *.wma "
                     "*.m4a *.aac *.amr *.3gp *.3g2");
  const QString video = QStringLiteral("*.mp4 *.m4v *.mov *.mkv *.webm");
  const QString modules = QStringLiteral("*.mo3 *.xm *.mod *.s3m *.it *.mtm *.mptm *.umx");
  const auto entry = [](const QString &name, const QString &patterns) {
    return name + QStringLiteral(" (") + patterns + QStringLiteral(")");
  };
  const QString playable =
      QStringLiteral("*.mo3 *.xm *.mod *.s3m *.it *.mtm *.mp3 *.mp2 *.mp1 *.ogg *.wav *.wma "
                     "*.oga *.opus *.flac *.aif *.aiff *.aifc *.m4a *.aac *.amr *.3gp *.3g2 "
                     "*.mptm *.umx ") +
      video;
  return {entry(QCoreApplication::translate("TfrmMain", "Playable files"), playable),
          entry(QCoreApplication::translate("TfrmMain", "音声ファイル"), sound),
          entry(QCoreApplication::translate("TfrmMain", "動画の音声"), video),
          entry(QCoreApplication::translate("TfrmMain", "トラッカーモジュール"), modules),
          entry(QCoreApplication::translate("TfrmMain", "All files"), QStringLiteral("*"))};
}

QPixmap buttonStrip(const char *resource) {
  return QPixmap(QString::fromLatin1(resource));
}

} // namespace

void TfrmMain::FormCreate(const std::string &commandLineFile) {
  if (BASS_GetVersion() < 2) {
    showMessageBox(this, QStringLiteral("Error: BASS version 2.0 or greater was not loaded!"),
                   QStringLiteral("BASS.DLL"), BoxIcon::Error);
    TerminateRequested = true;
  }
  if (!BASS_Init(BASS_DEVICE_DEFAULT, 44100, 0, nullptr, nullptr)) {
    Error(QStringLiteral("Couldnt Initialize Digital Output"));
    TerminateRequested = true;
  } else if (const char *problem = LYT_OutputProblem()) {
    // The player works without sound, and the engine keeps looking for a sound server.
    std::fprintf(stderr, "lystrel2: no sound output: %s\n", problem);
    showMessageBox(this, tr("音声を出力できません。サウンドサーバーが現れると、すぐに音が出ます。\n\n%1").arg(QString::fromUtf8(problem)),
                   tr("音声出力"), BoxIcon::Warning);
  }
  Playing = 0;

  HookLibrary = dlopen(kHookLibrary, RTLD_NOW | RTLD_LOCAL);
  if (HookLibrary) {
    using GetName = const char *(*)();
    if (auto name = reinterpret_cast<GetName>(dlsym(HookLibrary, "GetHookMsgString"))) {
      HookMessage = registerWindowMessage(name());
      if (HookMessage == 0)
        throw HandlerError(QStringLiteral("Can't Regist Message "));
    }
    if (dlsym(HookLibrary, "SetHook")) {
      AimHook();
      if (!HookInstalled)
        std::fprintf(stderr, "lystrel2: no X display can be watched here; the hot keys do nothing.\n");
    }
  } else {
    std::fprintf(stderr, "lystrel2: cannot load %s: %s\n", kHookLibrary, dlerror());
    showMessageBox(this, QStringLiteral("Cant Load Library(libTarvix2.so)"), QStringLiteral("Lystrel2"),
                   BoxIcon::Error);
    TerminateRequested = true;
  }

  StartPedals();

  for (int band = 0; band < 6; ++band)
    EqBandSliders[band] = ClientArea->findChild<TrackBar *>(QStringLiteral("tbEQBand%1").arg(band));
  LoadSettings();
  setAcceptDrops(true);
  hsPosition->scrollHook = [this](int code, int position) { return BarGesture(code, position); };
  LoadWindowPosition();

  const std::string &toOpen = !commandLineFile.empty() ? commandLineFile : Settings.AudioFileName;
  if (!toOpen.empty()) {
    OpenMediaFile(toOpen);
    RestorePlaybackPosition();
  }

  SpdBtn_PlayStop->setGlyph(buttonStrip(":/PLAY_BLUE.xpm"));
  SpdBtn_Reset->setGlyph(buttonStrip(":/RST_BLUE.xpm"));
  Spectrum = std::make_unique<TSpectrum>(PaintFrame->width(), PaintFrame->height());

  RestoreRepeatSection(Settings.RepeatFlag, false);
  if (!commandLineFile.empty() && Settings.ResumeAnyOpening)
    ResumeListedPlace(commandLineFile);

  ItemTopMost->setChecked(Settings.TopMost);
  ItemWaveform->setChecked(Settings.ShowWaveform);
  ApplyTopMost();
  if (Settings.DspMode == 0)
    ItemFullModeClick();
  else if (Settings.DspMode == 1)
    ItemDspCntModeClick();
}

void TfrmMain::FormDestroy() {
  if (destroyed_)
    return;
  destroyed_ = true;
  Pedals.reset();
  Analysis.reset(); // no thread of ours outlives the window
  BASS_Free();
  if (HookLibrary) {
    auto freeHook = reinterpret_cast<void (*)()>(dlsym(HookLibrary, "FreeHook"));
    if (freeHook && HookInstalled)
      freeHook();
    dlclose(HookLibrary);
    HookLibrary = nullptr;
  }
  SaveSettings();
}

// The hook follows the live native window, which Qt replaces when some window flags change.
void TfrmMain::AimHook() {
  if (!HookLibrary)
    return;
  auto setHook = reinterpret_cast<int (*)(unsigned long)>(dlsym(HookLibrary, "SetHook"));
  if (!setHook)
    return;
  winId();
  aimedWindow_ = nativeWindowId(this);
  HookInstalled = static_cast<uint8_t>(setHook(aimedWindow_) & 0xFF);
}

// Qt may give the main window a new native window (a change of the on-top flag before it is
// shown does): the hook is aimed at the live one again.
void TfrmMain::FollowNativeWindow() {
  if (HookInstalled && nativeWindowId(this) != aimedWindow_)
    AimHook();
}

bool TfrmMain::event(QEvent *event) {
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WinIdChange)
    FollowNativeWindow();
  else if (event->type() == QEvent::Show) // the native window of a first show comes after the event
    QTimer::singleShot(0, this, &TfrmMain::FollowNativeWindow);
  return handled;
}

void TfrmMain::Open1Click() {
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(openDialogFilters());
  dialog.selectFile(QString());
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedUrls().isEmpty())
    OpenChosenFile(localBytes(dialog.selectedUrls().first()));
}

void TfrmMain::Exit1Click() {
  close();
}

void TfrmMain::CopyDataReceived(const std::string &path) {
  if (destroyed_)
    return; // a hand-off that waited behind a box while the program was ended
  if (isMinimized())
    showNormal();
  raise();
  activateWindow();
  if (!path.empty())
    OpenChosenFile(path);
}

void TfrmMain::DroppedFiles(const std::vector<std::string> &paths) {
  if (!paths.empty())
    OpenChosenFile(paths.front());
}

void TfrmMain::dragEnterEvent(QDragEnterEvent *event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent *event) {
  std::vector<std::string> paths;
  for (const QUrl &url : event->mimeData()->urls())
    if (url.isLocalFile())
      paths.push_back(localBytes(url));
  event->acceptProposedAction();
  DroppedFiles(paths);
}
