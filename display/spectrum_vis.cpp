// Drawing the spectrum straight into the back buffer's pixels: no painter, no allocation per frame.
#include "spectrum_vis.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The smallest rectangle that holds every pixel in which two images of one size and format differ.
QRect changedArea(const QImage &before, const QImage &after) {
  QRect area;
  const int pixelBytes = after.depth() / 8;
  for (int y = 0; y < after.height(); ++y) {
    const uchar *a = before.constScanLine(y), *b = after.constScanLine(y);
    const int rowBytes = after.width() * pixelBytes;
    if (std::memcmp(a, b, static_cast<size_t>(rowBytes)) == 0)
      continue;
    int left = 0, right = rowBytes;
    while (a[left] == b[left])
      ++left;
    while (a[right - 1] == b[right - 1])
      --right;
    area |= QRect(left / pixelBytes, y, (right - 1) / pixelBytes - left / pixelBytes + 1, 1);
  }
  return area;
}

} // namespace

void PaintBox::blockCopy(const QImage &image) {
  QRect changed = image.rect();
  if (front_.size() != image.size() || front_.format() != image.format())
    front_ = QImage(image.size(), image.format());
  else
    changed = changedArea(front_, image);
  if (changed.isEmpty())
    return; // nothing to draw, nothing to send to the X server
  std::memcpy(front_.bits(), image.constBits(), static_cast<size_t>(image.sizeInBytes()));
  update(changed);
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
