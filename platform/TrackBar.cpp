// Trackbar gestures turned into scroll notifications, and the selection band.
#include "TrackBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

TrackBar::TrackBar(Qt::Orientation orientation, QWidget *parent) : QSlider(orientation, parent) {
  setTickPosition(QSlider::NoTicks);
  setPageStep(1);
  setFocusPolicy(Qt::StrongFocus);
  // Vertical trackbars have their minimum at the top.
  setInvertedAppearance(orientation == Qt::Vertical);
  setInvertedControls(orientation == Qt::Vertical);
  connect(this, &QSlider::valueChanged, this, [this] {
    if (!silent_)
      changed();
  });
}

void TrackBar::changed() {
  if (onChange)
    onChange();
}

void TrackBar::setPosition(int position) {
  setValue(position);
}
void TrackBar::setMax(int max) {
  setMaximum(std::max(max, minimum()));
}
void TrackBar::setMin(int min) {
  setMinimum(min);
}

void TrackBar::setSelection(int start, int end) {
  selStart_ = start;
  selEnd_ = end;
  update();
}

void TrackBar::moveSilently(int position) {
  silent_ = true;
  setValue(position);
  silent_ = false;
}

void TrackBar::notify(int code, int position) {
  if (scrollHook && scrollHook(code, position & 0xFFFF))
    return;
  defaultScroll(code);
}

void TrackBar::defaultScroll(int code) {
  if (code == LineUp)
    moveSilently(value() - 1);
  else if (code == LineDown)
    moveSilently(value() + 1);
  changed();
}

void TrackBar::keyPressEvent(QKeyEvent *event) {
  switch (event->key()) {
  case Qt::Key_Left:
  case Qt::Key_Up:
    notify(LineUp, value());
    break;
  case Qt::Key_Right:
  case Qt::Key_Down:
    notify(LineDown, value());
    break;
  case Qt::Key_PageUp:
    moveSilently(value() - pageStep());
    notify(PageUp, value());
    break;
  case Qt::Key_PageDown:
    moveSilently(value() + pageStep());
    notify(PageDown, value());
    break;
  case Qt::Key_Home:
    moveSilently(minimum());
    notify(Top, value());
    break;
  case Qt::Key_End:
    moveSilently(maximum());
    notify(Bottom, value());
    break;
  default:
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
}

void TrackBar::keyReleaseEvent(QKeyEvent *event) {
  switch (event->key()) {
  case Qt::Key_Left:
  case Qt::Key_Up:
  case Qt::Key_Right:
  case Qt::Key_Down:
  case Qt::Key_PageUp:
  case Qt::Key_PageDown:
  case Qt::Key_Home:
  case Qt::Key_End:
    if (!event->isAutoRepeat())
      notify(EndScroll, value());
    event->accept();
    return;
  default:
    QWidget::keyReleaseEvent(event);
  }
}

bool TrackBar::onHandle(const QPoint &point) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return style()->hitTestComplexControl(QStyle::CC_Slider, &option, point, this) == QStyle::SC_SliderHandle;
}

int TrackBar::valueAt(const QPoint &point) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const bool horizontal = orientation() == Qt::Horizontal;
  const int length = horizontal ? handle.width() : handle.height();
  const int start = horizontal ? groove.x() : groove.y();
  const int span = (horizontal ? groove.width() : groove.height()) - length;
  const int at = (horizontal ? point.x() : point.y()) - start - length / 2;
  return QStyle::sliderValueFromPosition(minimum(), maximum(), at, span, option.upsideDown);
}

void TrackBar::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  if (onHandle(event->position().toPoint())) {
    dragging_ = true;
    setSliderDown(true);
  } else {
    const bool before = valueAt(event->position().toPoint()) < value();
    moveSilently(value() + (before ? -pageStep() : pageStep()));
    notify(before ? PageUp : PageDown, value());
  }
  event->accept();
}

void TrackBar::mouseMoveEvent(QMouseEvent *event) {
  if (!dragging_)
    return;
  moveSilently(valueAt(event->position().toPoint()));
  notify(ThumbTrack, value());
  event->accept();
}

void TrackBar::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton)
    return;
  if (dragging_) {
    dragging_ = false;
    setSliderDown(false);
    notify(ThumbPosition, value());
  }
  notify(EndScroll, value());
  event->accept();
}

void TrackBar::wheelEvent(QWheelEvent *event) {
  const int steps = event->angleDelta().y() / 120;
  for (int i = 0; i < std::abs(steps); ++i)
    notify(steps > 0 ? LineUp : LineDown, value());
  if (steps != 0)
    notify(EndScroll, value());
  event->accept();
}

void TrackBar::paintEvent(QPaintEvent *event) {
  QSlider::paintEvent(event);
  if (selEnd_ <= selStart_ || orientation() != Qt::Horizontal)
    return;
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  const int x0 = groove.x() + handle.width() / 2 +
                 QStyle::sliderPositionFromValue(minimum(), maximum(), selStart_, span);
  const int x1 =
      groove.x() + handle.width() / 2 + QStyle::sliderPositionFromValue(minimum(), maximum(), selEnd_, span);
  QPainter painter(this);
  painter.fillRect(QRect(x0, groove.center().y() - 2, std::max(1, x1 - x0), 4), palette().highlight());
}
