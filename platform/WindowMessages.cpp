// Atoms and ClientMessages through Qt's xcb connection.
#include "WindowMessages.h"

#include "X11Connection.h"

#include <QGuiApplication>
#include <QMap>
#include <QSet>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

QSet<uint32_t> &registeredIds() {
  static QSet<uint32_t> ids;
  return ids;
}

} // namespace

bool haveX11() {
  return qtX11Connection() != nullptr;
}

uint32_t registerWindowMessage(const char *name) {
  if (xcb_connection_t *c = qtX11Connection()) {
    const uint32_t atom = internAtom(c, name);
    if (atom)
      registeredIds().insert(atom);
    return atom;
  }
  static QMap<QByteArray, uint32_t> registered;
  const QByteArray key(name);
  if (!registered.contains(key))
    registered.insert(key, 0xC000u + static_cast<uint32_t>(registered.size()));
  return registered.value(key);
}

unsigned long nativeWindowId(QWidget *window) {
  QWindow *handle = window->windowHandle();
  return handle ? static_cast<unsigned long>(handle->winId()) : 0;
}

bool WindowMessageFilter::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
  if (eventType != "xcb_generic_event_t")
    return false;
  const auto *event = static_cast<const xcb_generic_event_t *>(message);
  // A ClientMessage that another client sent with SendEvent has the top bit set.
  if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
    return false;
  const auto *client = static_cast<const xcb_client_message_event_t *>(message);
  if (client->format == 32)
    deliver_(client->type, client->data.data32[0], client->data.data32[1]);
  // Qt would only log that it does not know our own messages.
  return registeredIds().contains(client->type);
}
