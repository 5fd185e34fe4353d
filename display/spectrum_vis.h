// TSpectrum: 33 bars with falling peak marks, drawn off screen and copied to the display in one block.
#pragma once

#include <QImage>
#include <QRgb>
#include <QWidget>

#include <array>
#include <cstdint>

// The display surface: shows the last block copied to it.
class PaintBox : public QWidget {
  Q_OBJECT
public:
  explicit PaintBox(QWidget *parent = nullptr) : QWidget(parent) {}
  // Copies `image` at (0, 0), in one block, and repaints only where it differs from the last one.
  // No allocation once the sizes match.
  void blockCopy(const QImage &image);
  const QImage &shown() const { return front_; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QImage front_;
};

class TSpectrum {
public:
  TSpectrum(int width, int height);

  QImage BackBuffer;
  QRgb BackgroundColor = qRgb(0, 0, 0);
  int32_t MaxBarHeight = 45;
  QRgb BarColor = qRgb(255, 255, 255);
  QRgb PeakMarkColor = qRgb(255, 255, 0);
  int32_t BinStride = 4;
  bool ClearEachFrame = true;
  int32_t PeakDecay = 1;
  int32_t BarDecay = 3;
  int32_t BarWidth = 2;
  bool ShowPeakMarks = true;
  std::array<int32_t, 129> PeakHeights{};
  std::array<int32_t, 129> BarHeights{};

  // One frame from 513 FFT magnitudes (linear), drawn at offset (X, Y) and copied to `target`.
  void DrawSpectrum(PaintBox *target, std::array<float, 513> fft, int X, int Y);
  // Fills the back buffer with the background and copies it; the held heights stay.
  void ClearSpectrum(PaintBox *target);

private:
  // Right and bottom edges excluded, clipped to the buffer.
  void fillRect(int left, int top, int right, int bottom, QRgb color);
};
