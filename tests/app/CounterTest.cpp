// Copying the counter and jumping to a typed time.
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "SetCounter.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <sndfile.h>

using namespace lyt::test;

namespace {

TEST(CounterTime, AcceptsSixAndEightCharacterTimes) {
  EXPECT_EQ(parseCounterTime(QStringLiteral("001234")), 754);
  EXPECT_EQ(parseCounterTime(QStringLiteral("00:12:34")), 754);
  EXPECT_EQ(parseCounterTime(QStringLiteral("00:12.34")), 754) << "separators are not examined";
  EXPECT_EQ(parseCounterTime(QStringLiteral("99:59:59")), 99 * 3600 + 59 * 60 + 59);
  EXPECT_EQ(parseCounterTime(QStringLiteral(" 1 2 3")), 3600 + 120 + 3) << "leading blanks";
  EXPECT_EQ(parseCounterTime(QStringLiteral("+1+2+3")), 3600 + 120 + 3);
}

TEST(CounterTime, RefusesEverythingElse) {
  for (const char *text : {"00.12.", "006000", "000060", "-10000", "0012", "0012345", "", "ab1234", "00:1234",
                           "1 2345", "00:60:00"})
    EXPECT_FALSE(parseCounterTime(QString::fromLatin1(text))) << text;
}

class Counter : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    static const std::string path = [] {
      const std::string p = scratchPath("fourteen-minutes.wav");
      writeSndfile(p, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, sine(100, 14 * 60, 1000, 1, 0.1f), 1000, 1);
      return p;
    }();
    start(path);
  }
  // Types into the dialog once it is up; returns whether the dialog was still open after `open`.
  bool enter(const QString &typed, const QString &thenTyped = QString()) {
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
      QTest::keyClicks(frmSetCounter->Edit1, typed);
      stillOpen = frmSetCounter->isVisible();
      if (!thenTyped.isEmpty())
        QTest::keyClicks(frmSetCounter->Edit1, thenTyped);
      if (frmSetCounter->isVisible())
        frmSetCounter->reject(); // the close box
    });
    window->EnterCounter();
    return stillOpen;
  }
  double engineSeconds() const {
    return BASS_ChannelBytes2Seconds(window->Channel, BASS_ChannelGetPosition(window->Channel));
  }
};

TEST_F(Counter, SixCharactersCloseTheDialogAndJump) {
  EXPECT_FALSE(enter(QStringLiteral("001234")));
  EXPECT_EQ(window->hsPosition->Position(), 754);
  EXPECT_EQ(engineSeconds(), 754.0);
  EXPECT_TRUE(window->lblPosition2->text().startsWith(QStringLiteral("00:12:34")));
}

TEST_F(Counter, AColonAsThirdCharacterWaitsForEight) {
  EXPECT_TRUE(enter(QStringLiteral("00:123"), QStringLiteral("45")));
  EXPECT_EQ(window->hsPosition->Position(), 765);
}

TEST_F(Counter, WhilePlayingTheSoundGoesThereAndPlayingGoesOn) {
  window->SpdBtn_PlayStop->setDown(true);
  window->SpdBtn_PlayStopClick();
  enter(QStringLiteral("00:02:05"));
  EXPECT_EQ(engineSeconds(), 125.0);
  EXPECT_EQ(window->Playing, 1);
  EXPECT_EQ(BASS_ChannelIsActive(window->OutputChannel()), DWORD(BASS_ACTIVE_PLAYING));
}

TEST_F(Counter, InvalidOrTooLateTimesAndTheCloseBoxChangeNothing) {
  window->PositionSource(10);
  window->hsPosition->setPosition(10);
  for (const char *typed : {"00.12.", "006000", "1234", "001401"}) {
    enter(QString::fromLatin1(typed));
    EXPECT_EQ(window->hsPosition->Position(), 10) << typed;
    EXPECT_EQ(engineSeconds(), 10.0) << typed;
  }
  enter(QStringLiteral("001400"));
  EXPECT_EQ(window->hsPosition->Position(), 840) << "the exact end is accepted";
  EXPECT_TRUE(frmSetCounter->Edit1->text() == QStringLiteral("001400"));
  QTimer::singleShot(0, [] {
    EXPECT_TRUE(frmSetCounter->Edit1->text().isEmpty()) << "the next opening starts empty";
    frmSetCounter->reject();
  });
  window->EnterCounter();
}

TEST_F(Counter, CopyPutsTheElapsedTimeOnTheClipboard) {
  window->UpdatePositionLabel(3723);
  window->CopyCounter();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("01:02:03"));
}

} // namespace
