// The settings dialog's layout, loading its controls, and choosing the repeat start sound.
#include "AudioProp.h"

#include "CommonTypes.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

TfrmAudioProp *frmAudioProp = nullptr;

namespace {

template <typename W> W *place(W *widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

// A read-only number box with its spin buttons: the value changes only by them or the arrow keys.
QSpinBox *numberBox(QWidget *parent, int left, int top, int height, int max) {
  auto *box = place(new QSpinBox(parent), left, top, 25 + 18, height);
  box->setRange(0, max);
  box->findChild<QLineEdit *>()->setReadOnly(true);
  return box;
}

} // namespace

TfrmAudioProp::TfrmAudioProp(QWidget *keyTab, QWidget *parent) : QDialog(parent) {
  setWindowTitle(tr("設定"));
  setFixedSize(385, 245);
  QFont small = font();
  small.setPixelSize(11); // the designed layout is tight
  setFont(small);
  PageControl1 = place(new QTabWidget(this), 8, 2, 372, 204);

  TabSheet1 = new QWidget;
  place(new QLabel(tr("自動巻き戻し秒数"), TabSheet1), 10, 26, 95, 14);
  RevSecUpDown = numberBox(TabSheet1, 107, 19, 20, 20);
  place(new QLabel(tr("早送・巻戻秒数"), TabSheet1), 10, 66, 95, 14);
  UpDownFfRw = numberBox(TabSheet1, 107, 58, 20, 50);
  // The two options share the row above the repeat sound's box.
  ChkBoxRewindToPause =
      place(new QCheckBox(tr("停止時の巻き戻しを話の切れ目（フレーズの頭）に合わせる"), TabSheet1), 10, 79, 345, 14);
  LblSpeed = place(new QLabel(tr("速度変更(単位：0.01)"), TabSheet1), 188, 26, 112, 14);
  UpDownChangeSpeed = numberBox(TabSheet1, 300, 19, 19, 120);
  ChkBoxResumeAnyOpening =
      place(new QCheckBox(tr("最近使ったファイルは、どの開き方でも前回の位置から再生"), TabSheet1), 10, 93, 345, 14);
  RepeatSoundGroup = place(new QGroupBox(tr("リピート開始音"), TabSheet1), 3, 107, 353, 62);
  StaticText1 = place(new QLabel(RepeatSoundGroup), 8, 17, 337, 16);
  StaticText1->setFrameShape(QFrame::Panel);
  StaticText1->setFrameShadow(QFrame::Sunken);
  BtnRepFnReset = place(new QPushButton(tr("リセット"), RepeatSoundGroup), 248, 37, 49, 17);
  BtnRepFnRef = place(new QPushButton(tr("参照"), RepeatSoundGroup), 312, 37, 32, 17);
  PageControl1->addTab(TabSheet1, tr("再生"));

  ChkBoxNonLockMode =
      place(new QCheckBox(tr("ノンロックモードを有効にする（再生・停止キーのみ）"), keyTab), 16, 150, 325, 14);
  PageControl1->addTab(keyTab, tr("ｷｰ設定"));

  TabSheet7 = new QWidget;
  ChkBoxTopMost = place(new QCheckBox(tr("常に手前に表示"), TabSheet7), 10, 24, 117, 14);
  PageControl1->addTab(TabSheet7, tr("表示"));

  BtnWavePropOK = place(new QPushButton(tr("保存"), this), 218, 212, 65, 23);
  BtnWavePropCancel = place(new QPushButton(tr("ｷｬﾝｾﾙ"), this), 289, 212, 65, 23);
  BtnWavePropOK->setDefault(true);
  for (QPushButton *button : {BtnRepFnReset, BtnRepFnRef, BtnWavePropCancel})
    button->setAutoDefault(false);
  connect(BtnWavePropOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BtnWavePropCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(BtnRepFnReset, &QPushButton::clicked, this, &TfrmAudioProp::BtnRepFnResetClick);
  connect(BtnRepFnRef, &QPushButton::clicked, this, &TfrmAudioProp::BtnRepFnRefClick);
}

void TfrmAudioProp::showEvent(QShowEvent *event) {
  LoadDialogValues();
  Q_EMIT opening();
  QDialog::showEvent(event);
}

void TfrmAudioProp::LoadDialogValues() {
  RevSecUpDown->setValue(Settings.RevSec);
  UpDownFfRw->setValue(Settings.FfRwSec);
  UpDownChangeSpeed->setValue(Settings.ChangeSpeed);
  DelimiterFileName = Settings.DelimiterFileName;
  StaticText1->setText(QFile::decodeName(QByteArray::fromStdString(DelimiterFileName)));
  ChkBoxNonLockMode->setChecked(Settings.NonLockMode);
  ChkBoxTopMost->setChecked(Settings.TopMost);
  ChkBoxResumeAnyOpening->setChecked(Settings.ResumeAnyOpening);
  ChkBoxRewindToPause->setChecked(Settings.RewindToPause);
}

void TfrmAudioProp::BtnRepFnResetClick() {
  DelimiterFileName.clear();
  StaticText1->clear();
}

void TfrmAudioProp::BtnRepFnRefClick() {
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QStringLiteral("Wave Files (*.WAV)"));
  dialog.setOption(QFileDialog::DontUseNativeDialog); // its filter matches without regard to case
  const QString shown = StaticText1->text();
  if (shown.isEmpty()) {
    dialog.setDirectory(QCoreApplication::applicationDirPath());
  } else {
    dialog.setDirectory(QFileInfo(shown).absolutePath());
    dialog.selectFile(QFileInfo(shown).fileName());
  }
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    DelimiterFileName = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
    StaticText1->setText(dialog.selectedFiles().first());
  }
}
