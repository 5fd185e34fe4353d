// TfrmMain, the main window: its controls, the player state, and the handlers of every
// subsystem. Each subsystem's folder defines its own handlers.
#pragma once

#include "Bass.h"
#include "CommandTarget.h"
#include "Player.h"
#include "RecentFiles.h"

#include <QMainWindow>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QTimer;
class SpeedButton;
class TrackBar;
class PaintBox;
class TSpectrum;
class TfrmAudioProp;
class TfrmAboutBox;
class PedalMonitor;
class TfrmSetCounter;
class PortalShortcuts;
class MprisService;
class WaveformStrip;
namespace lyt {
class RecordingAnalysis;
}

// tbEQBand0 .. tbEQBand5, index = band.
extern std::array<TrackBar *, 6> EqBandSliders;

class TfrmMain : public QMainWindow, public CommandTarget {
  Q_OBJECT
public:
  explicit TfrmMain(QWidget *parent = nullptr);
  ~TfrmMain() override;

  // --- controls (component names)
  QWidget *ClientArea;
  QMenuBar *MainMenu1;
  QMenu *File1, *Player1, *Option1, *Help1;
  QMenu *RecentFiles1;
  QAction *ClearRecent1;
  QAction *Open1, *Exit1, *MnItmCopyCounter, *MnItmSetCounter, *A1, *B1, *N1, *HelpIndex1, *About1;
  QMenu *PopupMenu1;
  QAction *ItemTopMost, *N4, *ItemFullMode, *ItemDspCntMode;
  QLabel *FileInformation;
  TrackBar *hsPosition;
  SpeedButton *SpdBtn_PlayStop, *SpdBtn_Reset, *SpdBtn_RepStart, *SpdBtn_RepEnd;
  QFrame *Panel1;
  QWidget *Shape1;
  PaintBox *PaintFrame;
  QLabel *lblPosition2, *lblPosition;
  TrackBar *tbTempo, *tbPitch, *tbVolume;
  QLabel *lblTempo, *lblPitch, *lblVolume, *Label4, *Label5, *Label6, *Label8;
  QLabel *Label_speed, *Label_pitch, *Label_volume;
  TrackBar *tbEQBand0, *tbEQBand1, *tbEQBand2, *tbEQBand3, *tbEQBand4, *tbEQBand5;
  QLabel *lbl120Hz, *Lbl200Hz, *Lbl400Hz, *Lbl1200Hz, *Lbl4KHz, *Lbl10KHz, *lblEqualizer, *Label1;
  QTimer *Timer_Pos, *Timer_RenderTimer;

  // The one way in for the commands of every door and of the window's own controls, the owner of the
  // transport's state, and the announcements of what the sound did.
  Player *const ThePlayer;
  // --- player state, the player's own, under the names the handlers use
  DWORD &Channel;
  bool &IsMusic;
  uint8_t &Playing;
  int32_t &RepeatState;
  bool ThumbTracking = false;
  BASS_FXPEAKEQ EqParams{};
  void *HookLibrary = nullptr;
  uint8_t HookInstalled = 0;
  uint32_t HookMessage = 0;
  std::unique_ptr<TSpectrum> Spectrum;
  std::unique_ptr<PedalMonitor> Pedals;
  // The loaded recording's envelope and pauses, worked out in the background from its opening;
  // null when no recording is loaded.
  std::unique_ptr<lyt::RecordingAnalysis> Analysis;

  // --- app: start-up and shutdown
  void FormCreate(const std::string &commandLineFile);
  // The window and its dialogs are all there: hot keys act from now on.
  void FinishStartUp() { startUpFinished_ = true; }
  bool StartUpFinished() const override { return startUpFinished_; }
  // A fatal start-up error asked the program to end once its boxes are closed.
  bool TerminateRequested = false;
  void FormDestroy();
  void FormShow() {}
  void FormActivate() {}
  void Open1Click();
  void Exit1Click();
  // The hand-off of a second instance: open the file and nothing else.
  void CopyDataReceived(const std::string &path);
  void DroppedFiles(const std::vector<std::string> &paths);
  // A file from the open dialog, a drop or a hand-off: opened as it starts, or at its listed place
  // when the user asked for that.
  void OpenChosenFile(const std::string &path);

  // --- player: media loading
  void OpenMediaFile(const std::string &path);
  void RestorePlaybackPosition();
  // True from the start-up restore of a file that could not be opened until another file is opened.
  bool KeepRememberedPosition = false;
  // The last open succeeded.
  bool FileLoaded = false;
  // A long MP3 opens with an estimated length: the bar's maximum and the readout take the exact
  // one when the engine has it.
  void FollowExactLength();
  void Error(const QString &message);
  // --- player: the recent recordings and their places
  TRecentFile CurrentPlace() const;
  // Keeps the loaded recording's place in its entry of the list.
  void RememberPlace();
  // Puts the just-opened recording at its listed place: A-B section, position and tempo.
  void ResumeListedPlace(const std::string &path);
  void OpenRecentFile(const std::string &path);
  void FillRecentMenu();
  void ClearRecent1Click();
  // --- player: transport, position timer, A-B repeat
  void SpdBtn_PlayStopClick();
  void SpdBtn_ResetClick();
  void ResetPosition();
  void hsPositionChange();
  bool SubclassWndProc(int code, int position);
  // A gesture on the position bar: the thumb's drag moves the readout at once, the rest is posted.
  bool BarGesture(int code, int position);
  void Timer_PosTimer();
  void StopAtEndOfFile();
  void SpdBtn_RepStartClick();
  void SpdBtn_RepEndClick();
  void A1Click();
  void B1Click();
  // Puts back the A-B section `state` with Settings.RepeatPointA and B: RepeatState, the bar's
  // selection, the buttons and the menu marks. A section that runs backwards is not restored.
  // `showAsSet` colours the set points' captions as when they are set by hand.
  void RestoreRepeatSection(int32_t state, bool showAsSet);
  // Positions the source at a second of the recording, through the seconds-to-bytes conversion.
  void PositionSource(int64_t seconds);
  // Positions the source at an exact place, the position bar on its second, as a drag of the bar
  // would (within the A-B section while one is active).
  void SeekExact(double seconds);
  // The same, in the engine's seconds form when the file is a module.
  void PositionSourceForm(int seconds);
  // Positions the source at an exact place and nothing else (the bar and the sound's state stay).
  void PositionSourceExact(double seconds);
  // The place being heard, in seconds of the recording.
  double HeardSeconds() const;
  // Where the rewind of a stop lands with Settings.RewindToPause: see player/Phrases.cpp. Nothing
  // when the option is off or the recording's pauses are not known yet.
  std::optional<double> PhraseRewindTarget() const;
  // Commands 23 and 24: to the start of the phrase before or after the place heard.
  void PreviousPhrase();
  void NextPhrase();
  // Starts the repeat start sound; RepeatStartSoundEnded plays the section again once it is heard.
  void PlayRepeatStartSound();
  void RepeatStartSoundEnded();
  // The repeat start sound's source while it plays, else 0.
  DWORD RepeatSound = 0;
  DWORD OutputChannel() const;

  // --- effects
  void tbTempoChange();
  void tbPitchChange();
  void tbVolumeChange();
  void lblTempoClick();
  void lblPitchClick();
  void lblVolumeClick();
  void SetDSP_EQ(float gain, float bandwidth, float q, float c0, float c1, float c2, float c3, float c4,
                 float c5);
  void UpdateFX(int band, int position);
  void tbEQBandChange(int band);
  void EqLabelClick(int band);
  // Noise reduction, automatic level and the channel heard, as Settings has them.
  QMenu *ClarityMenu = nullptr;
  QAction *ItemDenoise, *ItemAutoLevel, *ItemChannelBoth, *ItemChannelLeft, *ItemChannelRight;
  QLabel *lblClarity;
  void ClarityItemClick();
  void ApplyClarity();
  void ShowClarity();

  // --- display
  void UpdatePositionLabel(int32_t t);
  void Timer_RenderTimerTimer();
  void ClearSpectrum();
  void ItemFullModeClick();
  void ItemDspCntModeClick();
  void ItemTopMostClick();
  void ApplyTopMost();
  // The client area of the full mode as the settings size it, without the waveform strip.
  QSize FullModeClientSize() const;
  // The waveform strip under the window, shown as Settings.ShowWaveform says (full mode only).
  WaveformStrip *Waveform = nullptr;
  QAction *ItemWaveform;
  void ShowWaveform();
  void ItemWaveformClick();

  // --- hot keys
  void WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void DispatchKey(int32_t key, int32_t modifiers, bool released);
  void PedalSwitched(uint32_t virtualKey, bool pressed);
  void StartPedals();
  void AimHook();
  void FollowNativeWindow();
  void RunCommand(int32_t command) override;
  void PlayStopKeyPressed();
  void PlayStopKeyReleased() override;
  void TogglePlayStop();
  // A slot's key pressed or released, as the hook or the desktop's shortcut service reports it.
  void SlotKeyEvent(int slot, bool released);
  // A command sent by `lystrel2 --command`.
  void RunSentCommand(int32_t command) override;
  // The doors besides the hook: MPRIS on the session bus, and on Wayland the shortcut portal.
  void OpenDoors();
  // Binds the desktop's shortcuts again after the key map was saved.
  void RebindDesktopShortcuts();
  void ShowDesktopShortcuts();
  PortalShortcuts *DesktopShortcuts = nullptr;
  MprisService *Mpris = nullptr;
  void FastForward();
  void Rewind();
  void StepEqBand(int band);
  void TogglePointA() { A1Click(); }
  void TogglePointB() { B1Click(); }
  void StepVolume(bool up);
  void SetTempoPreset(int preset);
  void StepTempo(bool up);

  // --- settings
  void LoadSettings();
  void LoadWindowPosition();
  void SaveSettings();
  void N1Click();
  void ApplySettingsDialog();

  // --- dialogs
  void CopyCounter();
  void EnterCounter();
  void HelpIndex1Click();
  void About1Click();

protected:
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dropEvent(QDropEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  bool event(QEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

private:
  void createMenus();
  void createControls();
  void createEffectControls();
  void createClarityItems();
  void createWaveform();
  void connectHandlers();
  void connectCheckItem(QAction *item, std::function<void()> handler);
  std::function<void()> posted(void (TfrmMain::*handler)());
  void setNativeFlag(Qt::WindowType flag, bool on);
  void SkipBy(int64_t seconds);
  bool destroyed_ = false;
  bool startUpFinished_ = false;
  QTimer *repeatSoundWatch_ = nullptr;
  QTimer *lengthWatch_ = nullptr; // runs while the open file's length is an estimate
  void WatchForExactLength();
  unsigned long aimedWindow_ = 0;
};

extern TfrmMain *frmMain;
