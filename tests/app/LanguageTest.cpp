// The two languages: which one the locale chooses, the window's texts in each, that they fit, and
// the pictures of both for a person to look at.
#include "Language.h"
#include "AudioProp.h"
#include "KeyBindingTab.h"
#include "MainWindowFixture.h"
#include "MediaLoading.h"
#include "SpeedButton.h"
#include "about.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdlib>

using namespace lyt::test;

namespace {

TEST(Language, TheLocaleChoosesJapaneseOrEnglishAndTheVariableOverridesIt) {
  struct Case {
    const char *lcAll, *lang, *language, *forced;
    Language expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, nullptr, Language::Japanese},
      {"C", "en_GB.UTF-8", nullptr, nullptr, Language::Japanese},
      {nullptr, "POSIX", "en", nullptr, Language::Japanese},
      {nullptr, "C.UTF-8", nullptr, nullptr, Language::Japanese},
      {nullptr, "ja_JP.UTF-8", nullptr, nullptr, Language::Japanese},
      {nullptr, "en_US.UTF-8", nullptr, nullptr, Language::English},
      {nullptr, "de_DE.UTF-8", nullptr, nullptr, Language::English},
      {"fr_FR.UTF-8", "ja_JP.UTF-8", nullptr, nullptr, Language::English},
      {nullptr, "en_US.UTF-8", "ja:en", nullptr, Language::Japanese},
      {nullptr, "ja_JP.UTF-8", nullptr, "en", Language::English},
      {nullptr, "en_US.UTF-8", nullptr, "ja", Language::Japanese},
  };
  const auto put = [](const char *name, const char *value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  };
  for (const Case &c : cases) {
    put("LC_ALL", c.lcAll);
    put("LC_MESSAGES", nullptr);
    put("LANG", c.lang);
    put("LANGUAGE", c.language);
    put("LYSTREL2_LANG", c.forced);
    EXPECT_EQ(chosenLanguage(), c.expected)
        << (c.lcAll ? c.lcAll : "-") << " " << (c.lang ? c.lang : "-") << " "
        << (c.language ? c.language : "-") << " " << (c.forced ? c.forced : "-");
  }
  for (const char *name : {"LC_ALL", "LANG", "LANGUAGE", "LYSTREL2_LANG"})
    unsetenv(name);
}

// The standard buttons and the open dialog are Qt's own: they follow the player's language too.
TEST(Language, QtsOwnTextsFollowThePlayersLanguage) {
  const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
  useLanguage(Language::English);
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
  useLanguage(Language::Japanese);
  EXPECT_EQ(cancel(), QStringLiteral("キャンセル")) << "needs the package qt6-translations-l10n";
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("開く"));
}

class InLanguage : public MainWindowTest {
protected:
  void startIn(Language language, const std::string &file = "") {
    useLanguage(language);
    start(file);
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    useLanguage(Language::Japanese);
  }
  QStringList menuTitles() const {
    QStringList titles;
    for (QAction *menu : window->MainMenu1->actions())
      titles << menu->text();
    return titles;
  }
  QStringList tabCaptions() const {
    QStringList captions;
    for (int tab = 0; tab < frmAudioProp->PageControl1->count(); ++tab)
      captions << frmAudioProp->PageControl1->tabText(tab);
    return captions;
  }
  // Every caption of the window and the settings dialog is drawn whole in its designed box.
  void expectEveryCaptionFits() const {
    window->show();
    frmAudioProp->show();
    for (QWidget *top : {static_cast<QWidget *>(window), static_cast<QWidget *>(frmAudioProp)})
      for (QLabel *label : top->findChildren<QLabel *>()) {
        if (label->text().isEmpty() || label->text().startsWith(QStringLiteral("━")) ||
            !label->isVisibleTo(top))
          continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
            << label->text().toStdString();
      }
    frmAudioProp->PageControl1->setCurrentIndex(1);
    EXPECT_FALSE(frmAudioProp->TabSheet6->ListBoxFunc->horizontalScrollBar()->isVisible())
        << "the function names fit";
    frmAudioProp->hide();
    EXPECT_LE(window->MainMenu1->sizeHint().width(), window->width()) << "the menus fit in one row";
  }
};

TEST_F(InLanguage, TheJapaneseTextsAreTheStatedOnes) {
  startIn(Language::Japanese);
  EXPECT_EQ(menuTitles(), (QStringList{QStringLiteral("ファイル(&F)"), QStringLiteral("プレーヤ(&P)"),
                                       QStringLiteral("オプション(&O)"), QStringLiteral("ヘルプ(&H)")}));
  EXPECT_EQ(tabCaptions(),
            (QStringList{QStringLiteral("再生"), QStringLiteral("ｷｰ設定"), QStringLiteral("表示")}));
  EXPECT_EQ(frmAudioProp->TabSheet6->ListBoxFunc->item(0)->text(), QStringLiteral("再生・停止"));
  EXPECT_EQ(frmAboutBox->windowTitle(), QStringLiteral("バージョン情報"));
  expectEveryCaptionFits();
}

TEST_F(InLanguage, TheEnglishTextsLabelAMediaPlayerAndFit) {
  startIn(Language::English);
  EXPECT_EQ(menuTitles(), (QStringList{QStringLiteral("&File"), QStringLiteral("&Player"),
                                       QStringLiteral("&Options"), QStringLiteral("&Help")}));
  EXPECT_EQ(window->Open1->text(), QStringLiteral("&Open..."));
  EXPECT_EQ(window->N1->text(), QStringLiteral("&Settings..."));
  EXPECT_EQ(window->SpdBtn_PlayStop->toolTip(), QStringLiteral("Play/Stop"));
  EXPECT_EQ(tabCaptions(),
            (QStringList{QStringLiteral("Playback"), QStringLiteral("Hot Keys"), QStringLiteral("Display")}));
  EXPECT_EQ(frmAudioProp->TabSheet6->ListBoxFunc->item(0)->text(), QStringLiteral("Play/Stop"));
  EXPECT_EQ(frmAboutBox->windowTitle(), QStringLiteral("About Lystrel2"));
  EXPECT_TRUE(frmAboutBox->LblUrl->text().endsWith(QStringLiteral("/Lyt2Help-en.html")));
  EXPECT_FALSE(window->windowIcon().pixmap(32).isNull()) << "the window shows the program's icon";
  expectEveryCaptionFits();
}

TEST_F(InLanguage, TheErrorBoxEndsWithTheCauseInTheUsersLanguage) {
  const QString crLf = QStringLiteral("\r\n");
  startIn(Language::Japanese);
  EXPECT_EQ(engineErrorText(QStringLiteral("Couldnt Initialize Digital Output"), 23, 0),
            QStringLiteral("Couldnt Initialize Digital Output") + crLf + crLf +
                QStringLiteral("BASS Error Code: 23") + crLf +
                QStringLiteral("サウンドデバイスを開けませんでした。"));
  useLanguage(Language::English);
  EXPECT_EQ(engineErrorText(QStringLiteral("File: x.mp3"), 41, 5),
            QStringLiteral("File: x.mp3") + crLf + crLf + QStringLiteral("BASS Error Code: 41") + crLf +
                QStringLiteral("BASS_FX Error Code: 5") + crLf +
                QStringLiteral("The file's format is not supported."));
  EXPECT_TRUE(engineErrorText(QStringLiteral("x"), 2, 0)
                  .endsWith(crLf + QStringLiteral("The file cannot be opened.")));
  EXPECT_TRUE(
      engineErrorText(QStringLiteral("x"), 0, 0).endsWith(QStringLiteral("BASS Error Code: 0") + crLf))
      << "no code, no cause";
  for (int code : {1, 2, 3, 5, 6, 7, 8, 14, 20, 23, 24, 37, 41})
    EXPECT_NE(engineErrorCause(code), engineErrorCause(-1)) << "code " << code << " has a cause of its own";
}

// The filter lists each kind the engine plays; the first entry holds them all and matches the
// names of real recordings whatever their case.
TEST_F(InLanguage, TheOpenDialogOffersEveryKindTheEnginePlays) {
  startIn(Language::English);
  QStringList filters;
  QTimer::singleShot(0, [&] {
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    dialog->reject();
  });
  window->Open1Click();
  ASSERT_EQ(filters.size(), 5) << filters.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(
      filters[0].startsWith(QStringLiteral("Playable files (*.mo3 *.xm *.mod *.s3m *.it *.mtm *.mp3 *.mp2 "
                                           "*.mp1 *.ogg *.wav *.wma *.oga *.opus *.flac")))
      << filters[0].toStdString();
  EXPECT_EQ(filters[4], QStringLiteral("All files (*)"));
  const QString all = filters[0].section(QLatin1Char('('), 1).chopped(1);
  for (const char *name :
       {"interview.flac", "Memo 01.OPUS", "take.aiff", "call.m4a", "voice.amr", "clip.3gp", "lecture.mp4",
        "talk.mkv", "talk.webm", "song.xm", "old.MP3", "notes.wma", "raw.aac"})
    EXPECT_TRUE(QDir::match(all, QString::fromUtf8(name))) << name;
  QStringList grouped;
  for (int group = 1; group <= 3; ++group)
    grouped << filters[group].section(QLatin1Char('('), 1).chopped(1).split(QLatin1Char(' '));
  QStringList together = all.split(QLatin1Char(' '));
  grouped.sort();
  together.sort();
  EXPECT_EQ(grouped, together) << "the kinds together are the first entry";
}

// Pictures of the main window, the three tabs, the version dialog and an error box in each language.
TEST_F(InLanguage, PicturesInBothLanguages) {
  const QString folder = QStringLiteral(LYT_SCREENSHOTS);
  for (Language language : {Language::Japanese, Language::English}) {
    startIn(language, fixture("pcm16.wav").path);
    const QString prefix =
        folder + (language == Language::English ? QStringLiteral("/en-") : QStringLiteral("/ja-"));
    QDir().mkpath(folder);
    const auto save = [&](QWidget *widget, const QString &name) {
      widget->show();
      EXPECT_TRUE(widget->grab().save(prefix + name + QStringLiteral(".png"))) << name.toStdString();
      widget->hide();
    };
    save(window, QStringLiteral("main-window"));
    window->show();
    window->ItemDspCntModeClick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == QSize(245, 18); }, 5000))
        << "the strip's own size";
    save(window, QStringLiteral("counter-mode"));
    window->ItemFullModeClick();
    for (int tab = 0; tab < 3; ++tab) {
      frmAudioProp->PageControl1->setCurrentIndex(tab);
      save(frmAudioProp, QStringLiteral("settings-tab-%1").arg(tab + 1));
    }
    save(frmAboutBox, QStringLiteral("version"));
    QMessageBox box(
        QMessageBox::Critical, QStringLiteral("Error"),
        engineErrorText(TfrmMain::tr("ファイル名＝") + QStringLiteral("/home/me/Interview 3.m4a"), 41, 5),
        QMessageBox::Ok);
    save(&box, QStringLiteral("error"));
    window->FormDestroy();
    delete window;
    window = nullptr;
    useLanguage(Language::Japanese);
  }
}

} // namespace
