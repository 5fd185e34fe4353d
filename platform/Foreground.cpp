// _NET_ACTIVE_WINDOW through Qt's xcb connection, or the input focus where no window manager runs.
#include "Foreground.h"

#include "X11Connection.h"

#include <cstdlib>
#include <cstring>

namespace {

xcb_window_t rootOf(xcb_connection_t *c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

uint32_t windowProperty(xcb_connection_t *c, const char *name) {
  const xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, rootOf(c), internAtom(c, name), XCB_ATOM_WINDOW, 0, 1);
  xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr);
  uint32_t window = 0;
  if (reply && xcb_get_property_value_length(reply) >= 4)
    window = *static_cast<const uint32_t *>(xcb_get_property_value(reply));
  std::free(reply);
  return window;
}

// Without a window manager nobody keeps _NET_ACTIVE_WINDOW: the input focus is the truth then.
bool haveWindowManager(xcb_connection_t *c) { return windowProperty(c, "_NET_SUPPORTING_WM_CHECK") != 0; }

} // namespace

unsigned long foregroundWindow() {
  xcb_connection_t *c = qtX11Connection();
  if (!c)
    return 0;
  if (haveWindowManager(c))
    return windowProperty(c, "_NET_ACTIVE_WINDOW");
  xcb_get_input_focus_reply_t *focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
  const unsigned long window = focus && focus->focus > XCB_INPUT_FOCUS_POINTER_ROOT ? focus->focus : 0;
  std::free(focus);
  return window;
}

void setForegroundWindow(unsigned long window) {
  xcb_connection_t *c = qtX11Connection();
  if (!c || !window)
    return;
  if (!haveWindowManager(c)) {
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, static_cast<xcb_window_t>(window), XCB_CURRENT_TIME);
    xcb_flush(c);
    return;
  }
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window);
  message.type = internAtom(c, "_NET_ACTIVE_WINDOW");
  message.data.data32[0] = 2; // a request on the user's behalf, like a pager's
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(c, 0, rootOf(c), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char *>(&message));
  xcb_flush(c);
}
