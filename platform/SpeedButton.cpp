// Drawing and clicking of the speed button.
#include "SpeedButton.h"

#include <QPainter>
#include <QStyleOptionButton>

SpeedButton::SpeedButton(bool toggle, QWidget *parent) : QAbstractButton(parent) {
  setCheckable(toggle);
  setFocusPolicy(Qt::NoFocus);
  captionColor_ = palette().color(QPalette::ButtonText);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (onClick)
      onClick();
  });
}

void SpeedButton::setGlyph(const QPixmap &strip) {
  strip_ = strip;
  update();
}

void SpeedButton::setCaptionColor(const QColor &color) {
  captionColor_ = color;
  update();
}

void SpeedButton::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  const bool sunken = isDown() || isChecked();
  QStyleOptionButton frame;
  frame.initFrom(this);
  frame.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_PanelButtonTool, &frame, &painter, this);
  if (!strip_.isNull()) {
    const int state = !isEnabled() ? 1 : isDown() ? 2 : isChecked() ? 3 : 0;
    const int w = strip_.width() / 4;
    const QRect source(state * w, 0, w, strip_.height());
    const QPoint at((width() - w) / 2 + (sunken ? 1 : 0),
                    (height() - strip_.height()) / 2 + (sunken ? 1 : 0));
    painter.drawPixmap(at, strip_, source);
  }
  if (!text().isEmpty()) {
    painter.setPen(isEnabled() ? captionColor_ : palette().color(QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(rect().translated(sunken ? 1 : 0, sunken ? 1 : 0), Qt::AlignCenter, text());
  }
}
