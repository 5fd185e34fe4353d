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
// The corner asked for, kept on the window until it has been seen there.
constexpr char kCornerAsked[] = "lystrel2FrameCornerAsked";

// The native window's flags are the ones a shown window's mode changes.
bool frameless(const QWidget *window) {
  const Qt::WindowFlags flags = window->windowHandle() ? window->windowHandle()->flags() : window->windowFlags();
  return flags.testFlag(Qt::FramelessWindowHint);
}

// Framed as far as placing goes: a frameless window's corner is its client area's.
bool framed(const QWidget *window) {
  return window->isVisible() && (window->frameGeometry().topLeft() != window->geometry().topLeft() ||
                                 frameless(window));
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
  // Looked at even when Qt believes it knows the frame: a window shown again is framed anew, and a
  // busy window manager may first put it where its client area was asked to go.
  // One placement at a time: a new corner replaces one still being reached.
  stopPlacing(window);
  window->setProperty(kCornerAsked, corner);
  auto *poll = new QTimer(window);
  poll->setObjectName(QLatin1String(kCornerAsked));
  poll->setInterval(kPollMilliseconds);
  QObject::connect(poll, &QTimer::timeout, window, [window, poll, corner, shownPolls = 0, inPlace = 0]() mutable {
    const auto finish = [window, poll] {
      window->setProperty(kCornerAsked, QVariant());
      poll->deleteLater();
    };
    // Not shown yet: wait for it. Hidden again (a dialog closed at once): its next showing places it.
    if (!window->isVisible()) {
      if (shownPolls > 0)
        finish();
      return;
    }
    const std::optional<QPoint> onX = frameCornerOnX(window);
    const bool isFramed = onX || framed(window);
    const QPoint at = onX ? *onX : window->pos();
    // In place for a while (the window manager may still move a window it has just mapped), or no
    // window manager frames it (or lets it go there).
    inPlace = isFramed && at == corner ? inPlace + 1 : 0;
    // Once there, where the window is is the user's again (a move the window manager makes for
    // them included), though the window manager is still watched for a while.
    if (inPlace > 0)
      window->setProperty(kCornerAsked, QVariant());
    if (inPlace >= kPollsInPlace || ++shownPolls > kPollsWhileShown) {
      finish();
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

void stopPlacing(QWidget *window) {
  delete window->findChild<QTimer *>(QLatin1String(kCornerAsked), Qt::FindDirectChildrenOnly);
  window->setProperty(kCornerAsked, QVariant());
}

QPoint frameCorner(QWidget *window) {
  const QVariant asked = window->property(kCornerAsked);
  if (asked.isValid())
    return asked.toPoint();
  // The X server knows best: Qt's own idea can be stale after a move the window manager made.
  const std::optional<QPoint> onX = window->isVisible() ? frameCornerOnX(window) : std::nullopt;
  return onX ? *onX : window->pos();
}
