// Drawing the waveform strip, and turning clicks and wheel turns into seeks and zooms.
#include "WaveformStrip.h"

#include "RecordingAnalysis.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor kBackground(0, 0, 0);
const QColor kNotYetAnalysed(0x24, 0x24, 0x24);
const QColor kPause = QColor::fromRgb(WaveformStrip::kPauseColour);
const QColor kSection(0, 255, 255, 64);
const QColor kSectionEdge(0, 255, 255);
const QColor kEnvelope(0x80, 0xFF, 0x00);
const QColor kPlace = QColor::fromRgb(WaveformStrip::kPlaceColour);
constexpr int kPollMilliseconds = 100;
// One notch of the wheel narrows the view to this share of itself.
constexpr double kZoomPerNotch = 0.8;
// The envelope fills the strip's height up to the loudest peak in view, but a quiet stretch is
// not blown up beyond this many times.
constexpr double kMostGain = 32.0;

} // namespace

WaveformStrip::WaveformStrip(QWidget *parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  progress_.setInterval(kPollMilliseconds);
  connect(&progress_, &QTimer::timeout, this, &WaveformStrip::poll);
}

void WaveformStrip::setRecording(double lengthSeconds) {
  lengthSeconds_ = std::max(lengthSeconds, 0.0);
  viewStart_ = 0;
  viewSpan_ = lengthSeconds_;
  backgroundValid_ = false;
  poll();
  update();
}

// A place that leaves the view from inside it (playing on past the right edge, a jump elsewhere)
// brings the view along; the view stays where the user put it otherwise.
void WaveformStrip::setPlace(double seconds) {
  const auto inView = [this](double s) { return s >= viewStart_ && s <= viewEnd(); };
  const bool follow = inView(place_) && !inView(seconds);
  if (seconds == place_)
    return;
  place_ = seconds;
  if (follow)
    setView(seconds - viewSpan_ * 0.1, viewSpan_);
  update();
}

void WaveformStrip::setSection(double fromSeconds, double toSeconds) {
  if (toSeconds <= fromSeconds)
    fromSeconds = toSeconds = 0;
  if (fromSeconds == sectionFrom_ && toSeconds == sectionTo_)
    return;
  sectionFrom_ = fromSeconds;
  sectionTo_ = toSeconds;
  backgroundValid_ = false;
  update();
}

int WaveformStrip::columnOf(double seconds) const {
  if (viewSpan_ <= 0)
    return 0;
  return static_cast<int>(std::floor((seconds - viewStart_) / viewSpan_ * width()));
}

double WaveformStrip::secondsAt(double x) const {
  return viewStart_ + x / std::max(width(), 1) * viewSpan_;
}

void WaveformStrip::setView(double start, double span) {
  viewSpan_ = std::clamp(span, std::min(kNarrowestSeconds, lengthSeconds_), lengthSeconds_);
  viewStart_ = std::clamp(start, 0.0, lengthSeconds_ - viewSpan_);
  backgroundValid_ = false;
  update();
}

// The envelope is drawn again only while it grows; the place's line alone is cheap.
void WaveformStrip::poll() {
  if (marks) {
    const Marks now = marks();
    setPlace(now.placeSeconds);
    setSection(now.sectionFromSeconds, now.sectionToSeconds);
  }
  const lyt::RecordingAnalysis *source = analysis ? analysis() : nullptr;
  const size_t steps = source ? source->stepCount() : 0;
  const bool ready = source && source->state() != lyt::RecordingAnalysis::State::Running;
  if (source != drawnFrom_ || steps != drawnSteps_ || ready != drawnReady_) {
    backgroundValid_ = false;
    update();
  }
}

void WaveformStrip::drawBackground() {
  const lyt::RecordingAnalysis *source = analysis ? analysis() : nullptr;
  drawnFrom_ = source;
  drawnSteps_ = source ? source->stepCount() : 0;
  drawnReady_ = source && source->state() != lyt::RecordingAnalysis::State::Running;
  backgroundValid_ = true;
  if (background_.size() != size())
    background_ = QImage(size(), QImage::Format_RGB32);
  background_.fill(kBackground);
  if (!source || viewSpan_ <= 0)
    return;
  QPainter painter(&background_);
  // Columns not worked out yet are shaded, and no envelope is drawn in them.
  const int analysedTo = drawnReady_ ? width() : std::clamp(columnOf(source->analysedSeconds()), 0, width());
  painter.fillRect(QRect(analysedTo, 0, width() - analysedTo, height()), kNotYetAnalysed);
  for (const lyt::Pause &pause : source->pauses(viewStart_, viewEnd()))
    shade(painter, pause.startSeconds, pause.endSeconds, kPause);
  if (sectionTo_ > sectionFrom_) {
    shade(painter, sectionFrom_, sectionTo_, kSection);
    painter.setPen(kSectionEdge);
    for (double edge : {sectionFrom_, sectionTo_})
      painter.drawLine(columnOf(edge), 0, columnOf(edge), height() - 1);
  }
  drawEnvelope(painter, source->columns(viewStart_, viewEnd(), width()), analysedTo);
}

void WaveformStrip::shade(QPainter &painter, double fromSeconds, double toSeconds, const QColor &colour) const {
  const int from = columnOf(fromSeconds), to = columnOf(toSeconds);
  painter.fillRect(QRect(from, 0, std::max(to - from, 1), height()), colour);
}

// Each column from its lowest to its highest sample, scaled to the loudest peak in view.
void WaveformStrip::drawEnvelope(QPainter &painter, const std::vector<lyt::EnvelopeStep> &columns,
                                 int columnCount) const {
  int loudest = 1;
  for (const lyt::EnvelopeStep &column : columns)
    loudest = std::max({loudest, -int(column.low), int(column.high)});
  const int middle = height() / 2;
  const double scale = std::min((middle - 1) / double(loudest), kMostGain * (middle - 1) / 32767.0);
  painter.setPen(kEnvelope);
  for (int x = 0; x < std::min(static_cast<int>(columns.size()), columnCount); ++x)
    painter.drawLine(x, middle - int(std::lround(columns[x].high * scale)), x,
                     middle - int(std::lround(columns[x].low * scale)));
}

void WaveformStrip::paintEvent(QPaintEvent *) {
  if (!backgroundValid_)
    drawBackground();
  QPainter painter(this);
  painter.drawImage(0, 0, background_);
  if (viewSpan_ > 0 && place_ >= viewStart_ && place_ <= viewEnd()) {
    const int x = std::min(columnOf(place_), width() - 1);
    painter.setPen(kPlace);
    painter.drawLine(x, 0, x, height() - 1);
  }
}

void WaveformStrip::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || viewSpan_ <= 0 || !onSeek) {
    QWidget::mousePressEvent(event);
    return;
  }
  // The middle of the column clicked, so that the line comes back to that column.
  onSeek(std::clamp(secondsAt(std::floor(event->position().x()) + 0.5), 0.0, lengthSeconds_));
  event->accept();
}

// Zooms around the pointer: the place under it stays under it.
void WaveformStrip::wheelEvent(QWheelEvent *event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0 || viewSpan_ <= 0) {
    event->ignore();
    return;
  }
  const double x = event->position().x();
  const double pointed = secondsAt(x);
  const double span = std::clamp(viewSpan_ * std::pow(kZoomPerNotch, notches),
                                 std::min(kNarrowestSeconds, lengthSeconds_), lengthSeconds_);
  setView(pointed - x / std::max(width(), 1) * span, span);
  event->accept();
}

void WaveformStrip::showEvent(QShowEvent *event) {
  progress_.start();
  QWidget::showEvent(event);
}

void WaveformStrip::hideEvent(QHideEvent *event) {
  progress_.stop();
  QWidget::hideEvent(event);
}

void WaveformStrip::resizeEvent(QResizeEvent *event) {
  backgroundValid_ = false;
  QWidget::resizeEvent(event);
}
