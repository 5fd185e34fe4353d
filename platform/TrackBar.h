// A slider with the trackbar behaviour the player relies on: clamping, change notifications, a
// selection band, and the scroll notifications of the user's gestures.
#pragma once

#include <QSlider>

#include <functional>

// Change rules:
// - setPosition() from the program clamps into the range and runs onChange once when the stored
//   value changes, never when it stays;
// - a user's gesture (keys, mouse, wheel) runs onChange on every one of its notifications, even
//   when the value did not change.
// Before the default handling, every notification of a gesture is offered to scrollHook with its
// code and the thumb position; a hook that returns true consumes it. Arrow keys step by 1 and are
// not applied before the hook sees them; page steps, Home and End move the thumb first.
class TrackBar : public QSlider {
  Q_OBJECT
public:
  enum ScrollCode {
    LineUp = 0,
    LineDown = 1,
    PageUp = 2,
    PageDown = 3,
    ThumbPosition = 4,
    ThumbTrack = 5,
    Top = 6,
    Bottom = 7,
    EndScroll = 8
  };

  explicit TrackBar(Qt::Orientation orientation, QWidget *parent = nullptr);

  int Position() const { return value(); }
  void setPosition(int position);
  int Max() const { return maximum(); }
  void setMax(int max);
  void setMin(int min);

  // The highlighted band between two values, as an A-B section.
  void setSelection(int start, int end);
  int SelStart() const { return selStart_; }
  int SelEnd() const { return selEnd_; }

  std::function<void()> onChange;
  std::function<bool(int code, int position)> scrollHook;

  // The default handling of one notification: take over the current value and run onChange.
  void defaultScroll(int code);

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

private:
  void notify(int code, int position);
  void moveSilently(int position);
  void changed();
  int valueAt(const QPoint &point) const;
  bool onHandle(const QPoint &point) const;

  bool silent_ = false;
  bool dragging_ = false;
  int selStart_ = 0;
  int selEnd_ = 0;
};
