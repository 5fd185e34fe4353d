// The File menu's recent recordings: each comes back at its place, across a restart too.
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"

#include <QAction>
#include <QMenu>

using namespace lyt::test;

namespace {

class RecentFiles : public MainWindowTest {
protected:
  // The items of the recent-files menu as it is about to show, without the separator and the
  // clearing item.
  QList<QAction *> listedItems() {
    Q_EMIT window->RecentFiles1->aboutToShow();
    QList<QAction *> items = window->RecentFiles1->actions();
    items.resize(items.size() - 2);
    return items;
  }
  void choose(QAction *item) {
    item->trigger();
    runPosted();
  }
  // Leaves the loaded recording at a place: position, an A-B section, a tempo.
  void leaveAt(int position, int pointA, int pointB, int tempo) {
    window->hsPosition->setPosition(pointA);
    window->A1Click();
    window->hsPosition->setPosition(pointB);
    window->B1Click();
    window->hsPosition->setPosition(position);
    window->tbTempo->setPosition(tempo);
  }
  void expectPlace(int position, int pointA, int pointB, int tempo, const std::string &what) {
    EXPECT_EQ(window->hsPosition->Position(), position) << what;
    EXPECT_EQ(BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel)), position) << what;
    EXPECT_EQ(window->RepeatState, 3) << what;
    EXPECT_EQ(window->hsPosition->SelStart(), pointA) << what;
    EXPECT_EQ(window->hsPosition->SelEnd(), pointB) << what;
    EXPECT_TRUE(window->SpdBtn_RepStart->Down() && window->A1->isChecked()) << what;
    EXPECT_TRUE(window->SpdBtn_RepEnd->Down() && window->B1->isChecked()) << what;
    EXPECT_EQ(window->tbTempo->Position(), tempo) << what;
  }
};

TEST_F(RecentFiles, ThreeRecordingsKeepTheirPlacesAcrossSwitchesAndARestart) {
  const std::string first = quietTone(60), second = quietTone(70), third = quietTone(80);
  start();
  window->OpenMediaFile(first);
  leaveAt(40, 30, 50, 20);
  window->OpenMediaFile(second);
  EXPECT_EQ(window->hsPosition->Position(), 0) << "opened without the list, it starts as ever";
  leaveAt(12, 5, 15, -30);
  window->OpenMediaFile(third);
  leaveAt(65, 61, 70, 100);
  QList<QAction *> items = listedItems();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->text(), QStringLiteral("&1 ") + QString::fromStdString(third)) << "newest first";
  EXPECT_EQ(items[2]->text(), QStringLiteral("&3 ") + QString::fromStdString(first));
  choose(items[2]);
  expectPlace(40, 30, 50, 20, "the first, after switching");
  window->hsPosition->setPosition(45);

  close();
  start();
  EXPECT_EQ(Settings.AudioFileName, first) << "the last one opened comes back at start-up";
  ASSERT_NE(Settings.RecentFiles.find(first), nullptr);
  EXPECT_EQ(*Settings.RecentFiles.find(first), (TRecentFile{first, 45, 3, 30, 50, 20})) << "kept at exit";
  items = listedItems();
  ASSERT_EQ(items.size(), 3);
  choose(items[2]);
  expectPlace(12, 5, 15, -30, "the second, after a restart");
  choose(listedItems()[2]);
  expectPlace(65, 61, 70, 100, "the third, after a restart");
  choose(listedItems()[1]);
  expectPlace(12, 5, 15, -30, "the second again");
}

TEST_F(RecentFiles, AMissingRecordingIsGreyedAndTheListCanBeCleared) {
  const std::string missing = scratchPath("moved away.mp3");
  writeSettings("[RecentFiles]\n1=0,0,0,0,0," + quietTone(60) + "\n2=7,0,0,0,0," + missing + "\n");
  start();
  const QList<QAction *> items = listedItems();
  ASSERT_EQ(items.size(), 2);
  EXPECT_TRUE(items[0]->isEnabled());
  EXPECT_FALSE(items[1]->isEnabled());
  EXPECT_EQ(items[1]->text(), QStringLiteral("&2 ") + QString::fromStdString(missing));
  window->ClearRecent1->trigger();
  EXPECT_TRUE(listedItems().isEmpty());
  EXPECT_FALSE(window->ClearRecent1->isEnabled());
  close();
  EXPECT_EQ(settingsText().find(missing), std::string::npos);
}

TEST_F(RecentFiles, OpenedAnotherWayAListedRecordingResumesOnlyWhenAsked) {
  const std::string recording = quietTone(60);
  writeSettings("[RecentFiles]\nResumeAnyOpening=1\n1=33,3,20,40,50," + recording + "\n");
  start(quietTone(70));
  window->CopyDataReceived(recording);
  expectPlace(33, 20, 40, 50, "handed over by a second start");
  Settings.ResumeAnyOpening = false;
  window->OpenMediaFile(quietTone(70));
  window->DroppedFiles({recording});
  EXPECT_EQ(window->hsPosition->Position(), 0);
  EXPECT_EQ(window->RepeatState, 0);
  EXPECT_EQ(window->tbTempo->Position(), 0);
}

} // namespace
