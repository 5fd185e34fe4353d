// The trackbar and speed button rules that the handlers rely on.
#include "SpeedButton.h"
#include "TrackBar.h"

#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

struct Recorder {
  int changes = 0;
  std::vector<std::pair<int, int>> scrolls; // code, position
  std::vector<int> consume;
  void attach(TrackBar &bar) {
    bar.onChange = [this] { ++changes; };
    bar.scrollHook = [this](int code, int position) {
      scrolls.emplace_back(code, position);
      return std::find(consume.begin(), consume.end(), code) != consume.end();
    };
  }
};

TEST(TrackBarRules, TheProgramChangesRunTheHandlerOnceAndClamp) {
  TrackBar bar(Qt::Horizontal);
  bar.setRange(-50, 300);
  Recorder r;
  r.attach(bar);
  bar.setPosition(10);
  bar.setPosition(10);
  EXPECT_EQ(r.changes, 1) << "not again when the value stays";
  bar.setPosition(500);
  EXPECT_EQ(bar.Position(), 300);
  bar.setPosition(400);
  EXPECT_EQ(r.changes, 2) << "clamped to the bound it already had";
  EXPECT_TRUE(r.scrolls.empty()) << "no scroll notifications for the program's changes";
}

TEST(TrackBarRules, EveryNotificationOfAGestureRunsTheHandlerEvenWithoutAChange) {
  TrackBar bar(Qt::Horizontal);
  bar.setRange(0, 5);
  bar.setPosition(5);
  int changes = 0;
  bar.onChange = [&] { ++changes; };
  QTest::keyClick(&bar, Qt::Key_Right);
  EXPECT_EQ(bar.Position(), 5);
  EXPECT_EQ(changes, 2) << "the step and the end of the action";
  QTest::keyClick(&bar, Qt::Key_Left);
  EXPECT_EQ(bar.Position(), 4);
  EXPECT_EQ(changes, 4);
}

TEST(TrackBarRules, TheHookSeesEachCodeAndMayConsumeIt) {
  TrackBar bar(Qt::Horizontal);
  bar.setRange(0, 100);
  bar.setPageStep(10);
  bar.setPosition(50);
  Recorder r;
  r.attach(bar);
  r.consume = {TrackBar::LineUp, TrackBar::PageUp};
  QTest::keyClick(&bar, Qt::Key_Left);
  EXPECT_EQ(bar.Position(), 50) << "a consumed step does not move the bar";
  QTest::keyClick(&bar, Qt::Key_PageUp);
  EXPECT_EQ(bar.Position(), 40) << "a page step moves the thumb before it is reported";
  QTest::keyClick(&bar, Qt::Key_End);
  EXPECT_EQ(bar.Position(), 100);
  const std::vector<std::pair<int, int>> expected{{TrackBar::LineUp, 50},  {TrackBar::EndScroll, 50},
                                                  {TrackBar::PageUp, 40},  {TrackBar::EndScroll, 40},
                                                  {TrackBar::Bottom, 100}, {TrackBar::EndScroll, 100}};
  EXPECT_EQ(r.scrolls, expected);
  EXPECT_EQ(r.changes, 4) << "the end notifications and End, not the consumed ones";
}

TEST(TrackBarRules, VerticalBarsHaveTheirMinimumAtTheTop) {
  TrackBar bar(Qt::Vertical);
  bar.setRange(0, 19);
  bar.setPosition(10);
  QTest::keyClick(&bar, Qt::Key_Up);
  EXPECT_EQ(bar.Position(), 9) << "up is one step toward 0";
  QTest::keyClick(&bar, Qt::Key_Down);
  QTest::keyClick(&bar, Qt::Key_Down);
  EXPECT_EQ(bar.Position(), 11);
}

TEST(TrackBarRules, DraggingTheThumbReportsTrackingThenThePositionAtRelease) {
  TrackBar bar(Qt::Horizontal);
  bar.resize(300, 24);
  bar.setRange(0, 100);
  bar.show();
  Recorder r;
  r.attach(bar);
  r.consume = {TrackBar::ThumbTrack, TrackBar::ThumbPosition};
  const QPoint thumb(bar.style()->pixelMetric(QStyle::PM_SliderLength) / 2 + 1, 12);
  QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
  QTest::mouseMove(&bar, QPoint(150, 12));
  QTest::mouseMove(&bar, QPoint(200, 12));
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(200, 12));
  ASSERT_GE(r.scrolls.size(), 4u);
  EXPECT_EQ(r.scrolls.front().first, TrackBar::ThumbTrack);
  EXPECT_EQ(r.scrolls[r.scrolls.size() - 2].first, TrackBar::ThumbPosition);
  EXPECT_EQ(r.scrolls.back().first, TrackBar::EndScroll);
  EXPECT_GT(r.scrolls.back().second, 50);
  EXPECT_EQ(r.changes, 1) << "only the end of the action reached the handler";
}

TEST(TrackBarRules, TheThumbPositionOfANotificationHasSixteenBits) {
  TrackBar bar(Qt::Horizontal);
  bar.setRange(0, 70000);
  bar.setPosition(66000);
  Recorder r;
  r.attach(bar);
  QTest::keyClick(&bar, Qt::Key_Home);
  QTest::keyClick(&bar, Qt::Key_End);
  EXPECT_EQ(r.scrolls[2], std::make_pair(int(TrackBar::Bottom), 70000 & 0xFFFF));
}

TEST(SpeedButtonRules, AClickFlipsAToggleBeforeItsHandlerAndTheProgramDoesNotClick) {
  SpeedButton button(true);
  bool downSeen = false;
  int clicks = 0;
  button.onClick = [&] {
    ++clicks;
    downSeen = button.Down();
  };
  button.setDown(true);
  EXPECT_EQ(clicks, 0);
  button.setDown(false);
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(downSeen);
  SpeedButton plain(false);
  QTest::mouseClick(&plain, Qt::LeftButton);
  EXPECT_FALSE(plain.Down());
}

} // namespace
