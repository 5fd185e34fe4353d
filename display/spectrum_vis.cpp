// Drawing the spectrum straight into the back buffer's pixels: no painter, no allocation per frame.
#include "spectrum_vis.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

void PaintBox::blockCopy(const QImage &image) {
  if (front_.size() != image.size() || front_.format() != image.format())
    front_ = QImage(image.size(), image.format());
  std::memcpy(front_.bits(), image.constBits(), static_cast<size_t>(image.sizeInBytes()));
  update();
}

void PaintBox::paintEvent(QPaintEvent *) {
  if (front_.isNull())
    return; // Shape1, black, shows through until the first frame
  QPainter painter(this);
  painter.drawImage(0, 0, front_);
}

TSpectrum::TSpectrum(int width, int height) : BackBuffer(width, height, QImage::Format_RGB32) {
  BackBuffer.fill(BackgroundColor);
}

void TSpectrum::fillRect(int left, int top, int right, int bottom, QRgb color) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, BackBuffer.width());
  bottom = std::min(bottom, BackBuffer.height());
  for (int y = top; y < bottom; ++y) {
    auto *row = reinterpret_cast<QRgb *>(BackBuffer.scanLine(y));
    std::fill(row + left, row + std::max(left, right), color);
  }
}

void TSpectrum::DrawSpectrum(PaintBox *target, std::array<float, 513> fft, int X, int Y) {
  const int W = BackBuffer.width(), H = BackBuffer.height();
  if (ClearEachFrame)
    fillRect(0, 0, W, H, BackgroundColor);
  for (int i = 0; i <= 32; ++i) {
    const size_t bin = static_cast<size_t>(5 + i * BinStride);
    const float m = bin < fft.size() ? std::fabs(fft[bin]) : 0.0f;
    const float scaled = m * 500;
    int h = scaled >= MaxBarHeight ? MaxBarHeight : scaled > 0 ? static_cast<int>(scaled) : 0;
    h = std::min(h, MaxBarHeight);
    PeakHeights[i] = h < PeakHeights[i] ? PeakHeights[i] - PeakDecay : h;
    BarHeights[i] = h < BarHeights[i] ? BarHeights[i] - BarDecay : h;
    PeakHeights[i] = std::max(PeakHeights[i], 0);
    BarHeights[i] = std::max(BarHeights[i], 0);
    const int x0 = X + i * (BarWidth + 1);
    if (ShowPeakMarks)
      fillRect(x0, Y + H - PeakHeights[i], x0 + BarWidth, Y + H - PeakHeights[i] + 1, PeakMarkColor);
    fillRect(x0, Y + H - BarHeights[i], x0 + BarWidth, Y + H, BarColor);
  }
  if (target)
    target->blockCopy(BackBuffer);
}

void TSpectrum::ClearSpectrum(PaintBox *target) {
  fillRect(0, 0, BackBuffer.width(), BackBuffer.height(), BackgroundColor);
  if (target)
    target->blockCopy(BackBuffer);
}
