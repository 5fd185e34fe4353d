// TfrmAudioProp, the settings dialog: playback options, the repeat start sound, the key bindings
// and always on top, edited on copies that only OK applies.
#pragma once

#include <QDialog>

#include <string>

class KeyBindingTab;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

class TfrmAudioProp : public QDialog {
  Q_OBJECT
public:
  // The key tab is the hot keys' own editor, made by the program and shown as the second tab.
  explicit TfrmAudioProp(QWidget *keyTab, QWidget *parent = nullptr);

  QTabWidget *PageControl1;
  QWidget *TabSheet1, *TabSheet7;
  KeyBindingTab *TabSheet6 = nullptr;
  QSpinBox *RevSecUpDown, *UpDownFfRw, *UpDownChangeSpeed;
  QLabel *LblSpeed, *StaticText1;
  QGroupBox *RepeatSoundGroup;
  QPushButton *BtnRepFnReset, *BtnRepFnRef, *BtnWavePropOK, *BtnWavePropCancel;
  QCheckBox *ChkBoxNonLockMode, *ChkBoxTopMost, *ChkBoxRewindToPause, *ChkBoxResumeAnyOpening;
  // The repeat start sound's path as the file system spells it; StaticText1 shows it.
  std::string DelimiterFileName;

  // Fills the controls from Settings.
  void LoadDialogValues();
  void BtnRepFnResetClick();
  void BtnRepFnRefClick();

Q_SIGNALS:
  // The dialog is about to show the settings: the key tab starts editing the key map.
  void opening();

protected:
  void showEvent(QShowEvent *event) override;
};

extern TfrmAudioProp *frmAudioProp;
