// Frame-inclusive placement, corrected once the window manager has framed the window.
#include "FramePlacement.h"

#include <QTimer>
#include <QWidget>

namespace {

constexpr int kPollMilliseconds = 20;
constexpr int kPollsWhileShown = 500; // 10 s: a busy window manager may frame it late
constexpr int kPollsInPlace = 10;

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
  QObject::connect(poll, &QTimer::timeout, window, [window, poll, corner, shownPolls = 0, inPlace = 0]() mutable {
    if (!window->isVisible())
      return;
    // In place for a while (the window manager may still move a window it has just mapped), or no
    // window manager frames it (or lets it go there).
    inPlace = framed(window) && window->pos() == corner ? inPlace + 1 : 0;
    if (inPlace >= kPollsInPlace || ++shownPolls > kPollsWhileShown) {
      poll->deleteLater();
      return;
    }
    if (framed(window) && window->pos() != corner)
      window->move(corner); // looked at again until the window manager has put it there
  });
  poll->start();
}
