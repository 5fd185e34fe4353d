// Frame-inclusive placement, corrected once the window manager has framed the window.
#include "FramePlacement.h"

#include <QTimer>
#include <QWidget>

namespace {

constexpr int kPollMilliseconds = 20;
constexpr int kPollsWhileShown = 150;

bool framed(const QWidget *window) {
  return window->isVisible() && window->frameGeometry().topLeft() != window->geometry().topLeft();
}

} // namespace

void moveFrameTo(QWidget *window, QPoint corner) {
  window->move(corner);
  if (framed(window))
    return;
  auto *poll = new QTimer(window);
  poll->setInterval(kPollMilliseconds);
  QObject::connect(poll, &QTimer::timeout, window, [window, poll, corner, shownPolls = 0]() mutable {
    if (framed(window)) {
      if (window->pos() != corner)
        window->move(corner);
      poll->deleteLater();
    } else if (window->isVisible() && ++shownPolls > kPollsWhileShown) {
      poll->deleteLater(); // no window manager frames it
    }
  });
  poll->start();
}
