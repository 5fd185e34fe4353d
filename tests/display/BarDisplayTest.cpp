// The spectrum display, checked pixel by pixel.
#include "spectrum_vis.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPaintEvent>

#include <vector>

namespace {

constexpr QRgb kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kYellow = 0xFFFFFF00;

std::array<float, 513> magnitudes(std::initializer_list<std::pair<int, float>> bars) {
  std::array<float, 513> fft{};
  for (auto [bar, magnitude] : bars)
    fft[5 + bar * 4] = magnitude;
  return fft;
}

// The height of the white run at the bottom of a bar's first column.
int barHeight(const QImage &image, int bar) {
  int h = 0;
  while (h < image.height() && image.pixel(bar * 3, image.height() - 1 - h) == kWhite)
    ++h;
  return h;
}

// The row of the yellow mark above a bar, or -1.
int markRow(const QImage &image, int bar) {
  for (int y = 0; y < image.height(); ++y)
    if (image.pixel(bar * 3, y) == kYellow)
      return y;
  return -1;
}

class Spectrum : public ::testing::Test {
protected:
  TSpectrum spectrum{99, 45};
  PaintBox box;
  void frame(std::initializer_list<std::pair<int, float>> bars) {
    spectrum.DrawSpectrum(&box, magnitudes(bars), 0, 0);
  }
  const QImage &shown() const { return box.shown(); }
};

TEST_F(Spectrum, StartsWithTheStatedValues) {
  EXPECT_EQ(spectrum.MaxBarHeight, 45);
  EXPECT_EQ(spectrum.BinStride, 4);
  EXPECT_EQ(spectrum.BarWidth, 2);
  EXPECT_EQ(spectrum.BarDecay, 3);
  EXPECT_EQ(spectrum.PeakDecay, 1);
  EXPECT_TRUE(spectrum.ClearEachFrame && spectrum.ShowPeakMarks);
  EXPECT_EQ(spectrum.BackBuffer.size(), QSize(99, 45));
}

TEST_F(Spectrum, BarsAreFiveHundredTimesTheMagnitudeTwoPixelsWideThreeApart) {
  frame({{0, 0.02f}, {1, 0.09f}, {2, 1.0f}, {32, -0.04f}, {3, 0.0019f}});
  EXPECT_EQ(barHeight(shown(), 0), 10);
  EXPECT_EQ(barHeight(shown(), 1), 45) << "0.09 and more fill the display";
  EXPECT_EQ(barHeight(shown(), 2), 45);
  EXPECT_EQ(barHeight(shown(), 32), 20) << "a negative value counts by its absolute value";
  EXPECT_EQ(barHeight(shown(), 3), 0) << "0.95 truncates to nothing";
  EXPECT_EQ(shown().pixel(1, 44), kWhite);
  EXPECT_EQ(shown().pixel(2, 44), kBlack) << "the gap between bars";
  EXPECT_EQ(shown().pixel(98, 44), kBlack) << "bar 32 covers columns 96 and 97";
  EXPECT_EQ(shown().pixel(97, 44), kWhite);
  EXPECT_EQ(markRow(shown(), 0), -1) << "a mark standing on its bar is covered";
}

TEST_F(Spectrum, ABarFallsThreeAndAMarkOnePixelPerFrame) {
  frame({{0, 1.0f}});
  int frames = 0;
  while (barHeight(shown(), 0) > 0) {
    frame({});
    ++frames;
  }
  EXPECT_EQ(frames, 15);
  EXPECT_EQ(markRow(shown(), 0), 45 - 30) << "the mark has fallen 15 of its 45 pixels";
  while (markRow(shown(), 0) >= 0) {
    frame({});
    ++frames;
  }
  EXPECT_EQ(frames, 45);
}

TEST_F(Spectrum, TheTenToNineExamples) {
  frame({{0, 0.02f}});
  frame({{0, 0.018f}});
  EXPECT_EQ(spectrum.BarHeights[0], 7) << "the bar drops past the new height";
  EXPECT_EQ(spectrum.PeakHeights[0], 9);
  EXPECT_EQ(markRow(shown(), 0), 45 - 9) << "the mark shows above the lower bar";
  frame({{0, 0.018f}});
  EXPECT_EQ(spectrum.BarHeights[0], 9);
  EXPECT_EQ(barHeight(shown(), 0), 9);
}

TEST_F(Spectrum, ClearingBlanksTheDisplayButKeepsTheHeldHeights) {
  frame({{5, 0.05f}});
  spectrum.ClearSpectrum(&box);
  for (int x = 0; x < 99; ++x)
    for (int y = 0; y < 45; ++y)
      ASSERT_EQ(shown().pixel(x, y), kBlack);
  EXPECT_EQ(spectrum.BarHeights[5], 25);
  frame({});
  EXPECT_EQ(barHeight(shown(), 5), 22) << "the bars fall on from where they were";
}

// Records the areas the display repaints.
class PaintLog : public QObject {
public:
  std::vector<QRect> painted;
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint)
      painted.push_back(static_cast<QPaintEvent *>(event)->rect());
    return false;
  }
};

TEST_F(Spectrum, RepaintsOnlyTheBarsThatChanged) {
  PaintLog log;
  box.resize(99, 45);
  box.installEventFilter(&log);
  box.show();
  frame({{5, 0.05f}});
  QCoreApplication::processEvents();
  ASSERT_FALSE(log.painted.empty());
  log.painted.clear();
  frame({{5, 0.05f}});
  QCoreApplication::processEvents();
  EXPECT_TRUE(log.painted.empty()) << "the same picture again costs nothing";
  frame({{5, 0.05f}, {7, 0.02f}});
  QCoreApplication::processEvents();
  ASSERT_EQ(log.painted.size(), 1u);
  EXPECT_EQ(log.painted[0], QRect(21, 35, 2, 10)) << "bar 7's columns, from its mark down";
}

} // namespace
