// The window modes, the settings dialog and its key-binding editor.
#include "AudioProp.h"
#include "CommonTypes.h"
#include "KeyBindingTab.h"
#include "MainWindowFixture.h"
#include "about.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace lyt::test;

namespace {

TEST_F(MainWindowTest, SizesTooSmallToSeeOrLargerThanTheScreenTakeTheirDefaults) {
  for (const char *sizes : {"SelfWidth=1\nSelfHeight=32767\n", "SelfWidth=99999\nSelfHeight=99\n"}) {
    writeSettings(std::string("[Window]\n") + sizes);
    start();
    EXPECT_EQ(Settings.SelfWidth, 320) << sizes;
    EXPECT_EQ(Settings.SelfHeight, 250) << sizes;
    EXPECT_EQ(window->ClientArea->size(), QSize(314, 198)) << sizes;
    close();
  }
  writeSettings("[Window]\nSelfWidth=400\nSelfHeight=300\n");
  start();
  EXPECT_EQ(window->ClientArea->size(), QSize(394, 248));
}

TEST_F(MainWindowTest, TheModesMoveTheCountersAndKeepTheNativeWindow) {
  writeSettings("[Window]\nlblPosition2Top=80\n");
  start();
  window->show();
  const WId native = window->windowHandle()->winId();
  EXPECT_EQ(window->lblPosition2->pos(), QPoint(186, 80));
  EXPECT_EQ(window->lblPosition->pos(), QPoint(186, 98));
  EXPECT_EQ(window->ClientArea->size(), QSize(314, 198));
  EXPECT_TRUE(window->ItemFullMode->isChecked());
  window->ItemDspCntMode->trigger();
  EXPECT_EQ(window->lblPosition2->pos(), QPoint(4, 2));
  EXPECT_EQ(window->lblPosition->pos(), QPoint(122, 2));
  EXPECT_EQ(window->FileInformation->pos(), QPoint(100, 100));
  EXPECT_EQ(window->ClientArea->size(), QSize(245, 18));
  EXPECT_FALSE(window->MainMenu1->isVisible());
  EXPECT_TRUE(window->windowHandle()->flags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(window->ItemDspCntMode->isChecked() && !window->ItemFullMode->isChecked());
  window->ItemFullMode->trigger();
  EXPECT_EQ(window->lblPosition2->pos(), QPoint(186, 80));
  EXPECT_EQ(window->ClientArea->size(), QSize(314, 198));
  EXPECT_FALSE(window->windowHandle()->flags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window->FileInformation->pos(), QPoint(8, 2));
  window->ItemTopMost->trigger();
  EXPECT_TRUE(Settings.TopMost);
  EXPECT_TRUE(window->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  window->ItemTopMost->trigger();
  EXPECT_FALSE(Settings.TopMost);
  EXPECT_FALSE(window->ItemTopMost->isChecked());
  EXPECT_FALSE(window->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(window->windowHandle()->winId(), native) << "the hook's window is still the live one";
  window->FormDestroy();
  EXPECT_NE(settingsText().find("TopMost=0\n"), std::string::npos);
  EXPECT_NE(settingsText().find("DspMode=0\n"), std::string::npos) << "the mode chosen is not remembered";
}

class SettingsDialog : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    writeSettings("[WaveFile]\nRevSec=25\nFfRwSec=7\nChangeSpeed=130\n[KeyMap]\n2=008,112, 2\n");
    start();
  }
  // Opens the dialog, lets `act` work in it, then closes it with OK or Cancel.
  void inDialog(const std::function<void(TfrmAudioProp *)> &act, bool ok) {
    QTimer::singleShot(0, [&] {
      act(frmAudioProp);
      if (ok)
        QTest::mouseClick(frmAudioProp->BtnWavePropOK, Qt::LeftButton);
      else
        QTest::mouseClick(frmAudioProp->BtnWavePropCancel, Qt::LeftButton);
    });
    window->N1Click();
  }
  KeyBindingTab *keys() const { return frmAudioProp->TabSheet6; }
};

TEST_F(SettingsDialog, ShowsStoredValuesWithinTheRangesAndOkAppliesThemWithoutWriting) {
  const std::string before = settingsText();
  inDialog(
      [](TfrmAudioProp *d) {
        EXPECT_EQ(d->RevSecUpDown->value(), 20) << "25 shows as the bound";
        EXPECT_EQ(d->UpDownFfRw->value(), 7);
        EXPECT_EQ(d->UpDownChangeSpeed->value(), 120);
        QTest::keyClick(d->UpDownFfRw, Qt::Key_Up);
        d->ChkBoxTopMost->setChecked(true);
        d->ChkBoxNonLockMode->setChecked(true);
        d->ChkBoxResumeAnyOpening->setChecked(true);
        EXPECT_FALSE(d->ChkBoxRewindToPause->isChecked()) << "off by default";
        d->ChkBoxRewindToPause->setChecked(true);
      },
      true);
  EXPECT_EQ(Settings.RevSec, 20);
  EXPECT_EQ(Settings.FfRwSec, 8);
  EXPECT_EQ(Settings.ChangeSpeed, 120);
  EXPECT_TRUE(Settings.NonLockMode);
  EXPECT_TRUE(Settings.ResumeAnyOpening);
  EXPECT_TRUE(Settings.RewindToPause);
  EXPECT_TRUE(Settings.TopMost);
  EXPECT_TRUE(window->ItemTopMost->isChecked());
  EXPECT_EQ(settingsText(), before) << "OK does not write the file";
}

TEST_F(SettingsDialog, ARepeatSoundPathThatIsNotUtf8SurvivesOk) {
  Settings.DelimiterFileName = "/rec/d\xe9part.wav";
  inDialog([](TfrmAudioProp *) {}, true);
  EXPECT_EQ(Settings.DelimiterFileName, "/rec/d\xe9part.wav");
}

TEST_F(SettingsDialog, CancelDropsEveryChangeKeyBindingsIncluded) {
  const TKeyMap keyMap = KeyMap;
  inDialog(
      [this](TfrmAudioProp *d) {
        QTest::keyClick(d->RevSecUpDown, Qt::Key_Down);
        d->BtnRepFnResetClick();
        d->PageControl1->setCurrentIndex(1);
        keys()->ListBoxFunc->setCurrentRow(1);
        keys()->ListBoxFuncClick();
        keys()->BtnReliseClick();
        EXPECT_EQ(keys()->EditKeyMap.slot(2).Command, 0);
      },
      false);
  EXPECT_EQ(Settings.RevSec, 25);
  EXPECT_EQ(KeyMap, keyMap);
  inDialog([](TfrmAudioProp *d) { EXPECT_EQ(d->PageControl1->currentIndex(), 1) << "the last tab stays"; },
           false);
}

TEST_F(SettingsDialog, TheArrowKeysInTheCommandListMoveTheFieldsWithTheRowAndKeepTheFocus) {
  inDialog(
      [this](TfrmAudioProp *d) {
        d->PageControl1->setCurrentIndex(1);
        KeyBindingTab *k = keys();
        k->ListBoxFunc->setFocus();
        QTest::keyClick(k->ListBoxFunc, Qt::Key_Down);
        ASSERT_EQ(k->ListBoxFunc->currentRow(), 1);
        EXPECT_FALSE(k->StaticTextCurrentKeyDef->text().isEmpty()) << "command 2 is bound";
        EXPECT_TRUE(k->BtnRelise->isEnabled());
        EXPECT_EQ(d->focusWidget(), k->ListBoxFunc) << "the next arrow key moves the row again";
        QTest::keyClick(k->ListBoxFunc, Qt::Key_Down);
        EXPECT_TRUE(k->StaticTextCurrentKeyDef->text().isEmpty());
        EXPECT_FALSE(k->BtnRelise->isEnabled());
        EXPECT_EQ(d->focusWidget(), k->ListBoxFunc) << "not the field, where it would be captured";
      },
      false);
}

TEST_F(SettingsDialog, CapturedCombinationsAreNamedAndSetAsTheHookWouldReportThem) {
  inDialog(
      [this](TfrmAudioProp *d) {
        d->PageControl1->setCurrentIndex(1);
        KeyBindingTab *k = keys();
        k->ListBoxFunc->setCurrentRow(4);
        k->ListBoxFuncClick();
        EXPECT_TRUE(k->EditKeyDef->isEnabled());
        EXPECT_FALSE(k->BtnKeySet->isEnabled()) << "not before a capture";
        EXPECT_FALSE(k->BtnRelise->isEnabled());
        QTest::keyPress(k->EditKeyDef, Qt::Key_Shift);
        EXPECT_EQ(k->EditKeyDef->text(), QStringLiteral("Shift"));
        QTest::keyPress(k->EditKeyDef, Qt::Key_F1, Qt::ShiftModifier);
        QTest::keyRelease(k->EditKeyDef, Qt::Key_F1, Qt::ShiftModifier);
        QTest::keyRelease(k->EditKeyDef, Qt::Key_Shift);
        EXPECT_EQ(k->EditKeyDef->text(), QStringLiteral("Shift+F1"));
        k->BtnKeySetClick();
        EXPECT_EQ(k->EditKeyMap.slot(5), (KeyBinding{4, 0x70, 5}));
        EXPECT_EQ(k->StaticTextCurrentKeyDef->text(), QStringLiteral("Shift+F1"));
        EXPECT_FALSE(k->EditKeyDef->isEnabled());
        EXPECT_TRUE(k->BtnRelise->isEnabled() && !k->BtnKeySet->isEnabled());

        const auto capture = [&](int row, int key, Qt::KeyboardModifiers mods) {
          k->ListBoxFunc->setCurrentRow(row);
          k->ListBoxFuncClick();
          QTest::keyClick(k->EditKeyDef, static_cast<Qt::Key>(key), mods);
          const QString name = k->EditKeyDef->text();
          k->BtnKeySetClick();
          return std::make_pair(name, k->EditKeyMap.slot(row + 1));
        };
        EXPECT_EQ(capture(6, Qt::Key_Control, Qt::NoModifier),
                  std::make_pair(QStringLiteral("Ctrl"), KeyBinding{8, 0x11, 7}));
        EXPECT_EQ(capture(7, Qt::Key_F10, Qt::NoModifier),
                  std::make_pair(QStringLiteral("Alt+F10"), KeyBinding{16, 0x79, 8}));
        EXPECT_EQ(capture(8, Qt::Key_5, Qt::KeypadModifier),
                  std::make_pair(QStringLiteral("5"), KeyBinding{0, 0x65, 9}));
        EXPECT_EQ(capture(9, Qt::Key_5, Qt::NoModifier),
                  std::make_pair(QStringLiteral("5"), KeyBinding{0, 0x35, 10}));
        EXPECT_EQ(capture(10, Qt::Key_Left, Qt::ControlModifier | Qt::AltModifier),
                  std::make_pair(QStringLiteral("Ctrl+Alt+←"), KeyBinding{24, 0x25, 11}));
        EXPECT_EQ(capture(11, Qt::Key_F13, Qt::NoModifier),
                  std::make_pair(QStringLiteral("F13"), KeyBinding{0, 0x7C, 12}))
            << "a pedal's key";
      },
      true);
  EXPECT_EQ(KeyMap.slot(5), (KeyBinding{4, 0x70, 5}));
  EXPECT_EQ(KeyMap.slot(10), (KeyBinding{0, 0x35, 10}));
}

TEST_F(SettingsDialog, ADuplicateIsRefusedAndLettersAreNeverTyped) {
  inDialog(
      [this](TfrmAudioProp *d) {
        d->PageControl1->setCurrentIndex(1);
        KeyBindingTab *k = keys();
        k->ListBoxFunc->setCurrentRow(0);
        k->ListBoxFuncClick();
        QTest::keyClicks(k->EditKeyDef, QStringLiteral("ab"));
        EXPECT_EQ(k->EditKeyDef->text(), QStringLiteral("B")) << "the name of the last key, not text";
        QTest::keyClick(k->EditKeyDef, Qt::Key_F1, Qt::ControlModifier);
        EXPECT_TRUE(k->EditKeyDef->text().isEmpty()) << "Ctrl+F1 belongs to the fast forward";
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, QStringLiteral("Lystrel2"));
        EXPECT_EQ(boxes[0].text, QStringLiteral("このｷｰは既に他の機能に割り当てれれています"));
        EXPECT_EQ(boxes[0].icon, BoxIcon::None);
        k->ListBoxFunc->setCurrentRow(1);
        k->ListBoxFuncClick();
        EXPECT_EQ(k->StaticTextCurrentKeyDef->text(), QStringLiteral("Ctrl+F1"));
        EXPECT_FALSE(k->EditKeyDef->isEnabled());
        EXPECT_EQ(k->toolTip(), QStringLiteral("新しいｷｰ設定をするにはまず現在のｷｰを解除して下さい"));
        k->BtnReliseClick();
        EXPECT_TRUE(k->EditKeyDef->isEnabled());
        EXPECT_FALSE(k->BtnKeySet->isEnabled()) << "until a key is pressed";
      },
      true);
  EXPECT_EQ(KeyMap.slot(2), KeyBinding{}) << "released on OK";
}

} // namespace

namespace {

// Pictures of the window in both modes and of each tab of the dialog, for a person to look at.
// A picture that is one flat colour would mean nothing was drawn.
bool hasContent(const QImage &image) {
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3)
      if (image.pixel(x, y) != first)
        return true;
  return false;
}

TEST_F(MainWindowTest, PicturesOfTheModesAndTheDialogTabs) {
  start(fixture("pcm16.wav").path);
  window->show();
  const std::string folder = LYT_SCREENSHOTS;
  QDir().mkpath(QString::fromStdString(folder));
  const auto save = [&](QWidget *widget, const char *name) {
    const QImage picture = widget->grab().toImage();
    EXPECT_TRUE(hasContent(picture)) << name;
    EXPECT_TRUE(picture.save(QString::fromStdString(folder + "/" + name + ".png"))) << name;
  };
  save(window, "full-mode");
  window->ItemDspCntModeClick();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == QSize(245, 18); }, 5000)) << "the strip itself";
  save(window, "counter-mode");
  window->ItemFullModeClick();
  frmAudioProp->show();
  for (int tab = 0; tab < 3; ++tab) {
    frmAudioProp->PageControl1->setCurrentIndex(tab);
    save(frmAudioProp, ("settings-tab-" + std::to_string(tab + 1)).c_str());
  }
  frmAudioProp->hide();
}

} // namespace

namespace {

TEST_F(MainWindowTest, TheVersionDialogShowsTheBuildsVersion) {
  start();
  EXPECT_EQ(frmAboutBox->LabelVersion->text(), QStringLiteral("Ver ") + QStringLiteral(LYT_VERSION));
  EXPECT_EQ(frmAboutBox->windowTitle(), QStringLiteral("バージョン情報"));
  const QLabel *link = frmAboutBox->LblUrl;
  EXPECT_GE(link->width(), link->sizeHint().width()) << "the whole link shows";
  EXPECT_LT(link->geometry().right(), frmAboutBox->OKButton->geometry().left());
  EXPECT_LE(frmAboutBox->OKButton->geometry().right(), frmAboutBox->width());
  QTimer::singleShot(0, [] { QTest::keyClick(frmAboutBox, Qt::Key_Escape); });
  EXPECT_EQ(frmAboutBox->exec(), QDialog::Rejected) << "Esc closes it";
  QTimer::singleShot(0, [] { QTest::keyClick(frmAboutBox, Qt::Key_Return); });
  EXPECT_EQ(frmAboutBox->exec(), QDialog::Accepted) << "Enter presses OK";
}

TEST_F(MainWindowTest, HelpSaysSoWhenNoOpenerCanBeStarted) {
  start();
  const std::string path = std::getenv("PATH");
  const std::string fake = scratchPath("opener");
  QDir().mkpath(QString::fromStdString(fake));
  {
    std::ofstream script(fake + "/xdg-open");
    script << "#!/bin/sh\nexit 0\n";
  }
  std::filesystem::permissions(fake + "/xdg-open", std::filesystem::perms::owner_all);
  setenv("PATH", fake.c_str(), 1);
  window->HelpIndex1Click();
  EXPECT_TRUE(boxes.empty()) << "an opener that starts: no message, whatever it finds";
  setenv("PATH", scratchPath("nothing-here").c_str(), 1);
  window->HelpIndex1Click();
  setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            QStringLiteral("HTMLヘルプが起動出来ませんでした\r\nヘルプのファイルはここにあります: ") +
                QCoreApplication::applicationDirPath() + QStringLiteral("/Lyt2Help.html"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("Lystrel2"));

  // A script of its own: the first opener may still be running its own.
  const std::string findsNothing = scratchPath("opener-finds-nothing");
  QDir().mkpath(QString::fromStdString(findsNothing));
  {
    std::ofstream script(findsNothing + "/xdg-open");
    script << "#!/bin/sh\nexit 3\n"; // what xdg-open says when no program opens the file
  }
  std::filesystem::permissions(findsNothing + "/xdg-open", std::filesystem::perms::owner_all);
  setenv("PATH", findsNothing.c_str(), 1);
  window->HelpIndex1Click();
  setenv("PATH", path.c_str(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 2; }, 10000)) << "an opener that finds nothing";
  EXPECT_EQ(boxes.back().text, boxes[0].text);
}

} // namespace

namespace {

TEST_F(SettingsDialog, BrowsingForTheSoundStartsInTheProgramsFolderOrBesideTheShownFile) {
  const auto browse = [](TfrmAudioProp *d) {
    QString directory, selected;
    QTimer::singleShot(0, [&] {
      auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      directory = dialog->directory().absolutePath();
      selected = dialog->selectedFiles().value(0);
      EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Wave Files (*.WAV)")});
      dialog->reject();
    });
    d->BtnRepFnRefClick();
    return std::make_pair(directory, selected);
  };
  const std::string sound = writeWav("chime.wav", sine(880, 0.2, 8000, 1), 8000, 1);
  inDialog(
      [&](TfrmAudioProp *d) {
        d->BtnRepFnResetClick();
        EXPECT_EQ(browse(d).first, QCoreApplication::applicationDirPath());
        d->DelimiterFileName = sound; // as a choice in the browser leaves it
        d->StaticText1->setText(QString::fromStdString(sound));
        const auto [directory, selected] = browse(d);
        EXPECT_EQ(directory, QFileInfo(QString::fromStdString(sound)).absolutePath());
        EXPECT_EQ(selected, QString::fromStdString(sound));
        EXPECT_EQ(d->StaticText1->text(), QString::fromStdString(sound))
            << "a cancelled choice changes nothing";
      },
      true);
  EXPECT_EQ(Settings.DelimiterFileName, sound);
}

} // namespace
