// A flat button that can stay down, drawn from a strip of four images or with a caption.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

#include <functional>

// A toggle button flips its down state on a click, before onClick runs; the program sets the
// state with setDown() without running onClick. A plain button never stays down.
class SpeedButton : public QAbstractButton {
  Q_OBJECT
public:
  explicit SpeedButton(bool toggle, QWidget *parent = nullptr);

  bool Down() const { return isChecked(); }
  void setDown(bool down) { setChecked(down); }
  // Four images side by side: up, disabled, pressed, down.
  void setGlyph(const QPixmap &strip);
  void setCaptionColor(const QColor &color);
  QColor captionColor() const { return captionColor_; }

  std::function<void()> onClick;

protected:
  void paintEvent(QPaintEvent *event) override;
  QSize sizeHint() const override { return {28, 22}; }

private:
  QPixmap strip_;
  QColor captionColor_;
};
