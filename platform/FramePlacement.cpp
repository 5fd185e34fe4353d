// Frame-inclusive placement, corrected once the window manager has framed the window.
#include "FramePlacement.h"

#include "X11Connection.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr int kPollMilliseconds = 20;
constexpr int kPollsWhileShown = 500; // 10 s: a busy window manager may frame it late
constexpr int kPollsInPlace = 10;
// The corner asked for, kept on the window while it is being put there.
constexpr char kCornerAsked[] = "lystrel2FrameCornerAsked";

bool framed(const QWidget *window) {
  return window->isVisible() && window->frameGeometry().topLeft() != window->geometry().topLeft();
}

// Where the frame's corner really is, asked of the X server: Qt's own idea can lag behind a window
// manager that placed the window otherwise than asked. Empty off X or before the window is framed.
std::optional<QPoint> frameCornerOnX(QWidget *window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb") || !window->windowHandle())
    return std::nullopt;
  xcb_connection_t *c = qtX11Connection();
  if (!c)
    return std::nullopt;
  const auto client = static_cast<xcb_window_t>(window->winId());
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_get_property_cookie_t extentsAsked =
      xcb_get_property(c, 0, client, internAtom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4);
  const xcb_translate_coordinates_cookie_t placeAsked = xcb_translate_coordinates(c, client, root, 0, 0);
  xcb_get_property_reply_t *extents = xcb_get_property_reply(c, extentsAsked, nullptr);
  xcb_translate_coordinates_reply_t *place = xcb_translate_coordinates_reply(c, placeAsked, nullptr);
  std::optional<QPoint> corner;
  if (extents && place && xcb_get_property_value_length(extents) >= 16) {
    const auto *leftRightTopBottom = static_cast<const uint32_t *>(xcb_get_property_value(extents));
    corner = QPoint(place->dst_x - static_cast<int>(leftRightTopBottom[0]),
                    place->dst_y - static_cast<int>(leftRightTopBottom[2]));
  }
  std::free(extents);
  std::free(place);
  return corner;
}

} // namespace

void moveFrameTo(QWidget *window, QPoint corner) {
  window->move(corner);
  if (framed(window))
    return;
  window->setProperty(kCornerAsked, corner);
  auto *poll = new QTimer(window);
  poll->setInterval(kPollMilliseconds);
  QObject::connect(poll, &QTimer::timeout, window, [window, poll, corner, shownPolls = 0, inPlace = 0]() mutable {
    if (!window->isVisible())
      return;
    const std::optional<QPoint> onX = frameCornerOnX(window);
    const bool isFramed = onX || framed(window);
    const QPoint at = onX ? *onX : window->pos();
    // In place for a while (the window manager may still move a window it has just mapped), or no
    // window manager frames it (or lets it go there).
    inPlace = isFramed && at == corner ? inPlace + 1 : 0;
    if (inPlace >= kPollsInPlace || ++shownPolls > kPollsWhileShown) {
      window->setProperty(kCornerAsked, QVariant());
      poll->deleteLater();
      return;
    }
    if (isFramed && at != corner) {
      // Qt may believe the window is there already and skip a plain move: ask twice.
      window->move(corner + QPoint(0, 1));
      window->move(corner);
    }
  });
  poll->start();
}

QPoint frameCorner(const QWidget *window) {
  const QVariant asked = window->property(kCornerAsked);
  return asked.isValid() ? asked.toPoint() : window->pos();
}
