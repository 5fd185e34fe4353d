// Frame-inclusive placement, corrected once the window manager has framed the window.
#include "FramePlacement.h"

#include <QTimer>
#include <QWidget>

namespace {

constexpr int kPollMilliseconds = 20;
constexpr int kPollsWhileShown = 100;

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
    if (!window->isVisible())
      return;
    if ((framed(window) && window->pos() == corner) || ++shownPolls > kPollsWhileShown) {
      poll->deleteLater(); // in place, or no window manager frames it (or lets it go there)
      return;
    }
    if (framed(window))
      window->move(corner); // looked at again until the window manager has put it there
  });
  poll->start();
}
