// The waveform strip under the window, on pictures of it: a click moves the playing place's line
// there, the wheel zooms around the pointer.
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "RecordingAnalysis.h"
#include "TrackBar.h"
#include "WaveformStrip.h"
#include "support/Fixtures.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QWheelEvent>

using namespace lyt::test;

namespace {

constexpr int kRate = 8000;
constexpr int kTopRow = 0; // above the envelope: only the shading shows there

class Waveform : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // Ten phrases of 3 s, each followed by a pause of 1 s: pauses from 3 to 4 s, 7 to 8 s ...
    std::vector<double> segments;
    for (int i = 0; i < 10; ++i)
      segments.insert(segments.end(), {3.0, 1.0});
    const std::string recording = writeWav("phrases.wav", phrasesAndPauses(segments, kRate), kRate, 1);
    writeSettings("[Waveform]\nShown=1\n");
    start(recording);
    window->show();
    ASSERT_TRUE(waitUntil([this] {
      QApplication::processEvents();
      return window->Analysis->state() == lyt::RecordingAnalysis::State::Ready;
    }));
    strip = window->Waveform;
    strip->poll();
  }
  QImage picture() const { return strip->grab().toImage(); }
  // The columns of the top row in `colour`.
  static std::vector<int> columnsIn(const QImage &image, QRgb colour) {
    std::vector<int> found;
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, kTopRow) == colour)
        found.push_back(x);
    return found;
  }
  // The width in columns of the shaded pause that holds column `x`.
  static int pauseWidthAround(const QImage &image, int x) {
    int from = x, to = x;
    while (from > 0 && image.pixel(from - 1, kTopRow) == WaveformStrip::kPauseColour)
      --from;
    while (to + 1 < image.width() && image.pixel(to + 1, kTopRow) == WaveformStrip::kPauseColour)
      ++to;
    return image.pixel(x, kTopRow) == WaveformStrip::kPauseColour ? to - from + 1 : 0;
  }
  void wheel(int x, int notches) {
    QWheelEvent event(QPointF(x, 20), strip->mapToGlobal(QPointF(x, 20)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(strip, &event);
  }

  WaveformStrip *strip = nullptr;
};

TEST_F(Waveform, ShownItGrowsTheWindowAClickMovesThePlaceThereAndTheSectionIsTinted) {
  EXPECT_TRUE(window->ItemWaveform->isChecked());
  EXPECT_EQ(window->ClientArea->height(), 198 + strip->height() + 2);
  EXPECT_EQ(columnsIn(picture(), WaveformStrip::kPlaceColour), std::vector<int>{0});
  for (int x : {200, 37}) {
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(x, 20));
    runPosted();
    EXPECT_EQ(columnsIn(picture(), WaveformStrip::kPlaceColour), std::vector<int>{x});
    EXPECT_EQ(window->hsPosition->Position(), int(strip->secondsAt(x + 0.5)));
  }
  window->hsPosition->setPosition(1);
  window->A1Click();
  window->hsPosition->setPosition(2);
  window->B1Click();
  strip->poll();
  const QImage withSection = picture();
  EXPECT_EQ(QColor(withSection.pixel(strip->columnOf(1.5), kTopRow)), QColor(0, 64, 64)) << "tinted aqua";
  EXPECT_EQ(QColor(withSection.pixel(strip->columnOf(2.5), kTopRow)), QColor(Qt::black));
  window->ItemWaveform->trigger();
  EXPECT_FALSE(strip->isVisible());
  EXPECT_EQ(window->ClientArea->height(), 198);
  close();
  EXPECT_NE(settingsText().find("[Waveform]\nShown=0\n"), std::string::npos);
}

TEST_F(Waveform, TheWheelZoomsAroundThePointerDownToTenSeconds) {
  const int x = strip->columnOf(11.5); // in the pause from 11 to 12 s
  const int wholeWidth = pauseWidthAround(picture(), x);
  EXPECT_NEAR(wholeWidth, strip->width() / 40.0, 1.5);
  wheel(x, 3);
  EXPECT_NEAR(strip->viewEnd() - strip->viewStart(), 40 * 0.8 * 0.8 * 0.8, 0.01);
  EXPECT_NEAR(strip->secondsAt(x), 11.5, 40.0 / strip->width()) << "the place under the pointer stays";
  EXPECT_NEAR(pauseWidthAround(picture(), x), strip->width() / (40 * 0.512), 1.5);
  wheel(x, 20);
  EXPECT_DOUBLE_EQ(strip->viewEnd() - strip->viewStart(), WaveformStrip::kNarrowestSeconds);
  EXPECT_NEAR(pauseWidthAround(picture(), x), strip->width() / 10.0, 1.5);
  wheel(x, -40);
  EXPECT_DOUBLE_EQ(strip->viewStart(), 0);
  EXPECT_DOUBLE_EQ(strip->viewEnd(), 40);
}

} // namespace
