// Opening files in the main window: the state table, the failure boxes, start-up and shutdown.
#include "CommonTypes.h"
#include "GuardedApplication.h"
#include "MainWindowFixture.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace lyt::test;

namespace {

std::string wavOfSeconds(double seconds) {
  return writeWav("len" + std::to_string(int(seconds * 10)) + ".wav", sine(440, seconds, 44100, 1), 44100, 1);
}

const QString kCrLf = QStringLiteral("\r\n");

TEST_F(MainWindowTest, StartsEmptyWithThePerFileControlsDisabled) {
  start();
  EXPECT_EQ(window->ClientArea->size(), QSize(314, 198));
  EXPECT_EQ(window->Channel, 0u);
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:00:00 / 00:00:00"));
  EXPECT_EQ(window->tbEQBand3->geometry(), QRect(78, 120, 16, 62));
  EXPECT_EQ(window->tbTempo->geometry(), QRect(159, 129, 150, 17));
  for (QWidget *w : std::initializer_list<QWidget *>{window->SpdBtn_PlayStop, window->SpdBtn_Reset, window->tbTempo,
                                                      window->tbPitch, window->hsPosition, window->SpdBtn_RepStart,
                                                      window->SpdBtn_RepEnd})
    EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
  EXPECT_TRUE(window->tbVolume->isEnabled());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, AGoodFileIsLoadedStoppedAtZeroWithEverythingReset) {
  start();
  window->tbTempo->setPosition(7);
  window->RepeatState = 3;
  window->SpdBtn_RepStart->setDown(true);
  window->A1->setChecked(true);
  const std::string path = fixture("pcm16.wav").path;
  window->OpenMediaFile(path);
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(window->Channel, 0u);
  EXPECT_FALSE(window->IsMusic);
  EXPECT_EQ(window->Playing, 0);
  EXPECT_EQ(window->hsPosition->Max(), 3);
  EXPECT_EQ(window->hsPosition->Position(), 0);
  EXPECT_EQ(window->tbTempo->minimum(), -50);
  EXPECT_EQ(window->tbTempo->maximum(), 300);
  EXPECT_EQ(window->tbTempo->Position(), 0);
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("1.00"));
  EXPECT_EQ(window->RepeatState, 0);
  EXPECT_FALSE(window->SpdBtn_RepStart->Down());
  EXPECT_FALSE(window->A1->isChecked());
  EXPECT_EQ(window->FileInformation->text(), QStringLiteral("pcm16.wav"));
  EXPECT_EQ(Settings.AudioFileName, path);
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:00:00 / 00:00:03"));
  EXPECT_TRUE(window->hsPosition->isEnabled());
  EXPECT_TRUE(window->SpdBtn_PlayStop->isEnabled());
  EXPECT_EQ(BASS_ChannelIsActive(window->Channel), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(MainWindowTest, AModuleOpensByTheThirdTry) {
  start();
  window->OpenMediaFile(fixture("song.s3m").path);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(window->IsMusic);
  EXPECT_EQ(window->hsPosition->Max(), 8) << "7.68 s";
}

TEST_F(MainWindowTest, TheBarsMaximumIsTheLengthRoundedHalfToEven) {
  start();
  for (const auto &[seconds, max] : {std::pair{0.4, 0}, {2.5, 2}, {3.5, 4}, {1.6, 2}}) {
    window->OpenMediaFile(wavOfSeconds(seconds));
    EXPECT_EQ(window->hsPosition->Max(), max) << seconds << " s";
  }
}

TEST_F(MainWindowTest, AMissingFileShowsTheReadErrorAndLeavesNothingLoaded) {
  start();
  window->OpenMediaFile(fixture("pcm16.wav").path);
  const std::string missing = scratchPath("gone/interview.mp3");
  window->OpenMediaFile(missing);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Error"));
  EXPECT_EQ(boxes[0].icon, BoxIcon::Error);
  EXPECT_EQ(boxes[0].text, QStringLiteral("ファイル読み込み時にエラーが発生しました") + kCrLf +
                               QStringLiteral("ファイル名＝") + QString::fromStdString(missing) + kCrLf +
                               kCrLf + QStringLiteral("BASS Error Code: 2") + kCrLf +
                               QStringLiteral("ファイルを開けません。"));
  EXPECT_EQ(window->Channel, 0u);
  EXPECT_TRUE(window->IsMusic);
  EXPECT_EQ(window->hsPosition->Max(), 3) << "the old maximum stays";
  EXPECT_TRUE(window->hsPosition->isEnabled()) << "the controls keep their state";
  EXPECT_EQ(window->FileInformation->text(), QStringLiteral("interview.mp3"));
  EXPECT_EQ(Settings.AudioFileName, missing) << "tried again at the next start";
}

TEST_F(MainWindowTest, AFileNoEngineReadsShowsItsCodesWithoutTheReadErrorLine) {
  start();
  const std::string path = scratchPath("notes.mp3");
  writeBytes(path, std::vector<unsigned char>(5000, 0x41));
  window->OpenMediaFile(path);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("ファイル名＝") + QString::fromStdString(path) + kCrLf + kCrLf +
                               QStringLiteral("BASS Error Code: 41") + kCrLf +
                               QStringLiteral("BASS_FX Error Code: 5") + kCrLf +
                               QStringLiteral("ファイルの形式に対応していません。"));
}

TEST_F(MainWindowTest, OnlyTheFirstOfThreeDroppedFilesOpens) {
  start();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(fixture("tone.flac").path)),
                QUrl::fromLocalFile(QString::fromStdString(fixture("pcm16.wav").path)),
                QUrl::fromLocalFile(QString::fromStdString(fixture("song.xm").path))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  EXPECT_EQ(window->FileInformation->text(), QStringLiteral("tone.flac"));
  EXPECT_NE(window->Channel, 0u);
  EXPECT_FALSE(window->IsMusic);
}

TEST_F(MainWindowTest, ADroppedPathWithBytesThatAreNotUtf8OpensThatFile) {
  start();
  const std::string path = scratchPath("r\xe9union \xff.wav");
  writeBytes(path, readBytes(fixture("pcm16.wav").path));
  window->DroppedFiles({path});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Settings.AudioFileName, path);
  EXPECT_NE(window->Channel, 0u);
}

TEST_F(MainWindowTest, StartUpRestoresTheLastRun) {
  writeSettings("[WaveFile]\nAudioFileName=" + fixture("pcm16.wav").path +
                "\nPosition=2\nTempo=40\nPitch=-3\nVolume=70\nRepeatFlag=3\nRepeatPointA=1\nRepeatPointB=2\n"
                "[Equalizer]\nRange3=25\n");
  start();
  EXPECT_TRUE(boxes.empty());
  EXPECT_NE(window->Channel, 0u);
  EXPECT_EQ(window->hsPosition->Position(), 2);
  EXPECT_EQ(BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel)), 2.0f);
  EXPECT_EQ(window->tbTempo->Position(), 40);
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("1.4 "));
  EXPECT_EQ(window->tbPitch->Position(), -3);
  EXPECT_EQ(window->tbVolume->Position(), 70);
  EXPECT_EQ(window->tbEQBand3->Position(), 19) << "clamped by the slider";
  EXPECT_EQ(window->RepeatState, 3);
  EXPECT_EQ(window->hsPosition->SelStart(), 1);
  EXPECT_EQ(window->hsPosition->SelEnd(), 2);
  EXPECT_TRUE(window->SpdBtn_RepStart->Down() && window->SpdBtn_RepEnd->Down());
  EXPECT_TRUE(window->A1->isChecked() && window->B1->isChecked());
  EXPECT_TRUE(window->ItemFullMode->isChecked());
}

TEST_F(MainWindowTest, ARememberedPositionBeyondTheEndLeavesTheBarAtItsMaximum) {
  writeSettings("[WaveFile]\nPosition=50\n");
  start(fixture("pcm16.wav").path);
  EXPECT_EQ(window->hsPosition->Position(), 3);
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:00:50 / 00:00:03"));
}

// A long MP3 opens with an estimated length (the first of these two joined parts says 10 s of the
// 30): the remembered place past the estimate is kept, and the bar takes the exact length once
// the engine has counted the frames.
TEST_F(MainWindowTest, ARememberedPlacePastAnEstimatedLengthIsKeptUntilTheLengthLands) {
  const std::string joined = std::string(LYT_TEST_RECORDINGS) + "/mp3-two-parts-joined-with-cover-art.mp3";
  writeSettings("[WaveFile]\nAudioFileName=" + joined + "\nPosition=25\n");
  start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->hsPosition->Max() == 30; }, 10000));
  EXPECT_EQ(window->hsPosition->Position(), 25);
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel)), 25.0,
              1e-3);
  EXPECT_EQ(window->lblPosition2->text(), QStringLiteral("00:00:25 / 00:00:30"));
}

TEST_F(MainWindowTest, ARememberedFileThatFailsToOpenKeepsItsPlaceUntilAnotherFileOpens) {
  const std::string missing = scratchPath("unplugged/interview.mp3");
  writeSettings("[WaveFile]\nAudioFileName=" + missing + "\nPosition=754\n");
  start();
  close();
  EXPECT_NE(settingsText().find("Position=754\n"), std::string::npos) << settingsText();
  start();
  window->OpenMediaFile(fixture("pcm16.wav").path);
  close();
  EXPECT_NE(settingsText().find("Position=0\n"), std::string::npos) << settingsText();
}

TEST_F(MainWindowTest, HotKeysWaitUntilTheWindowAndItsDialogsAreUp) {
  writeSettings("[KeyMap]\n1=000,115, 6\n2=000,116, 7\n"); // the counter entry, an equaliser band
  KeyMap.slot(1) = {0, 0x73, 6};
  KeyMap.slot(2) = {0, 0x74, 7};
  window = new TfrmMain;
  frmMain = window;
  window->HookMessage = 0xC000; // as registered, before FormCreate has found the sliders
  for (uint32_t key : {0x73u, 0x74u})
    window->WndProc(window->HookMessage, key, 0);
  window->FormCreate("");
  const int band = window->tbEQBand0->Position();
  for (uint32_t key : {0x73u, 0x74u})
    window->WndProc(window->HookMessage, key, 0); // the counter dialog does not exist yet
  runPosted();
  EXPECT_EQ(window->tbEQBand0->Position(), band);
  window->EnterCounter();
  window->FinishStartUp();
  window->WndProc(window->HookMessage, 0x74, 0);
  runPosted();
  EXPECT_NE(window->tbEQBand0->Position(), band) << "hot keys act once started";
}

TEST_F(MainWindowTest, WithoutAFileTheRememberedSectionStillShowsItsButtons) {
  writeSettings("[WaveFile]\nRepeatFlag=1\nRepeatPointA=30\nRepeatPointB=90\nDspMode=2\n");
  start();
  EXPECT_EQ(window->Channel, 0u);
  EXPECT_TRUE(window->SpdBtn_RepStart->Down());
  EXPECT_FALSE(window->SpdBtn_RepStart->isEnabled());
  EXPECT_FALSE(window->ItemFullMode->isChecked() || window->ItemDspCntMode->isChecked());
}

TEST_F(MainWindowTest, ShutdownWritesTheLiveValues) {
  start(fixture("pcm16.wav").path);
  window->tbVolume->setPosition(65);
  window->tbEQBand0->setPosition(2);
  window->hsPosition->setPosition(2);
  KeyMap.slot(1) = {8, 0x70, 1};
  window->FormDestroy();
  const std::string text = settingsText();
  for (const char *line : {"Volume=65\n", "Range0=2\n", "Position=2\n", "1=008,112, 1\n", "Version=ver0.1\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  EXPECT_NE(text.find("AudioFileName=" + fixture("pcm16.wav").path + "\n"), std::string::npos);
}

TEST_F(MainWindowTest, AnErrorInAHandlerIsShownWithAFullStopAndTheProgramGoesOn) {
  start();
  QObject thrower;
  QObject::connect(&thrower, &QObject::objectNameChanged, [] { throw HandlerError(QStringLiteral("Can't Regist Message")); });
  QTimer::singleShot(0, &thrower, [&] { thrower.setObjectName(QStringLiteral("x")); });
  QCoreApplication::processEvents();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Lystrel2"));
  EXPECT_EQ(boxes[0].text, QStringLiteral("Can't Regist Message."));
}

} // namespace
