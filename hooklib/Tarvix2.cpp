// The keyboard hook on X11: the RECORD extension watches all clients' key events, and each one is
// sent on to the target window as a ClientMessage.
#include "Tarvix2.h"

#include "VirtualKeys.h"

#include <xcb/record.h>
#include <xcb/xinput.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const char kMessageName[] = "LYSTREL2_TARVIX2_HOTKEY";
// Categories of the replies to EnableContext, from the RECORD protocol.
constexpr uint8_t kFromServer = 0;
constexpr uint8_t kEndOfData = 5;

struct ConnectionCloser {
  void operator()(xcb_connection_t *c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

struct KeySymbolsCloser {
  void operator()(xcb_key_symbols_t *k) const { xcb_key_symbols_free(k); }
};

Connection connect() {
  Connection c(xcb_connect(nullptr, nullptr));
  if (c && xcb_connection_has_error(c.get()))
    c.reset();
  return c;
}

bool isPress(const xcb_key_press_event_t &event) {
  return (event.response_type & 0x7f) == XCB_KEY_PRESS;
}

class Hook {
public:
  // Null when there is no display to watch.
  static std::unique_ptr<Hook> start(unsigned long window);
  ~Hook();
  void aimAt(unsigned long window) { target_.store(static_cast<xcb_window_t>(window)); }

private:
  Hook() = default;
  bool listenForRawKeys();
  void watch(std::promise<bool> started);
  void takeAll(const std::vector<xcb_key_press_event_t> &events);
  bool isRepeatRelease(const xcb_key_press_event_t &release, const xcb_key_press_event_t *next);
  void readOwnEvents();
  void report(const xcb_key_press_event_t &event);

  Connection control_, data_, sender_;
  std::unique_ptr<xcb_key_symbols_t, KeySymbolsCloser> symbols_;
  xcb_record_context_t context_ = 0;
  xcb_atom_t atom_ = 0;
  std::atomic<xcb_window_t> target_{0};
  std::thread thread_;
};

xcb_atom_t internAtom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : 0;
  std::free(reply);
  return atom;
}

std::unique_ptr<Hook> Hook::start(unsigned long window) {
  std::unique_ptr<Hook> hook(new Hook);
  hook->control_ = connect();
  hook->data_ = connect();
  hook->sender_ = connect();
  if (!hook->control_ || !hook->data_ || !hook->sender_)
    return nullptr;
  const xcb_query_extension_reply_t *record = xcb_get_extension_data(hook->control_.get(), &xcb_record_id);
  if (!record || !record->present)
    return nullptr;
  hook->atom_ = internAtom(hook->sender_.get(), kMessageName);
  hook->symbols_.reset(xcb_key_symbols_alloc(hook->sender_.get()));
  if (!hook->atom_ || !hook->symbols_)
    return nullptr;
  // Without raw events (XInput before 2.1) a key still arrives, with the next output of the server.
  hook->listenForRawKeys();

  hook->context_ = xcb_generate_id(hook->control_.get());
  xcb_record_range_t range;
  std::memset(&range, 0, sizeof range);
  range.device_events.first = XCB_KEY_PRESS;
  range.device_events.last = XCB_KEY_RELEASE;
  xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
  xcb_generic_error_t *error = xcb_request_check(
      hook->control_.get(),
      xcb_record_create_context_checked(hook->control_.get(), hook->context_, 0, 1, 1, &clients, &range));
  if (error) {
    std::free(error);
    return nullptr;
  }
  hook->aimAt(window);
  // Keys are watched from the server's start-of-data reply on: wait for it, so that the first key
  // after SetHook is seen. Without it in time the hook is not installed.
  std::promise<bool> started;
  std::future<bool> recording = started.get_future();
  hook->thread_ = std::thread(&Hook::watch, hook.get(), std::move(started));
  if (recording.wait_for(std::chrono::seconds(2)) != std::future_status::ready || !recording.get())
    return nullptr;
  return hook;
}

Hook::~Hook() {
  if (thread_.joinable()) {
    xcb_record_disable_context(control_.get(), context_);
    xcb_flush(control_.get());
    thread_.join();
  }
  if (context_) {
    xcb_record_free_context(control_.get(), context_);
    xcb_flush(control_.get());
  }
}

// The server keeps recorded keys in the context's own buffer and writes them out only when it
// flushes its clients, which it does only when some client has output waiting. A key that no
// client receives (the focus on a window that does not read keys, or on none) would wait there
// for unrelated traffic. Raw key events, which the server sends to this connection for every key
// whatever the focus, give it that output at each key, so the recorded key leaves with it.
bool Hook::listenForRawKeys() {
  xcb_connection_t *c = sender_.get();
  const xcb_query_extension_reply_t *input = xcb_get_extension_data(c, &xcb_input_id);
  if (!input || !input->present)
    return false;
  xcb_input_xi_query_version_reply_t *version =
      xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
  // Raw events reach every client that selects them on the root window from XInput 2.1 on.
  const bool recent = version && (version->major_version > 2 || version->minor_version >= 1);
  std::free(version);
  if (!recent)
    return false;
  struct {
    xcb_input_event_mask_t head;
    uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_generic_error_t *error = xcb_request_check(c, xcb_input_xi_select_events_checked(c, root, 1, &mask.head));
  std::free(error);
  return !error;
}

// Runs on the hook's thread until the context is disabled.
void Hook::watch(std::promise<bool> started) {
  const xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(data_.get(), context_);
  bool announced = false;
  std::vector<xcb_key_press_event_t> keys;
  while (true) {
    xcb_record_enable_context_reply_t *reply = xcb_record_enable_context_reply(data_.get(), cookie, nullptr);
    if (!announced) {
      started.set_value(reply != nullptr);
      announced = true;
    }
    if (!reply)
      return;
    const bool done = reply->category == kEndOfData;
    if (reply->category == kFromServer) {
      const uint8_t *bytes = xcb_record_enable_context_data(reply);
      const int length = xcb_record_enable_context_data_length(reply);
      keys.clear();
      for (int at = 0; at + 32 <= length; at += 32) {
        xcb_key_press_event_t event;
        std::memcpy(&event, bytes + at, sizeof event);
        const uint8_t type = event.response_type & 0x7f;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
          keys.push_back(event);
      }
      takeAll(keys);
    }
    std::free(reply);
    if (done)
      return;
  }
}

void Hook::takeAll(const std::vector<xcb_key_press_event_t> &events) {
  readOwnEvents();
  for (size_t i = 0; i < events.size(); ++i) {
    const xcb_key_press_event_t *next = i + 1 < events.size() ? &events[i + 1] : nullptr;
    if (isPress(events[i]) || !isRepeatRelease(events[i], next))
      report(events[i]);
  }
}

// X repeats a held key as a release and a press with one timestamp, made together and so
// recorded together; a held key only repeats its press here. Should the pair be split between two
// replies, the key's state at the server tells: a repeated key is still down.
bool Hook::isRepeatRelease(const xcb_key_press_event_t &release, const xcb_key_press_event_t *next) {
  if (next)
    return isPress(*next) && next->detail == release.detail && next->time == release.time;
  xcb_connection_t *c = sender_.get();
  xcb_query_keymap_reply_t *keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
  const bool down = keymap && (keymap->keys[release.detail / 8] & (1u << (release.detail % 8)));
  std::free(keymap);
  return down;
}

// The raw key events only had to arrive; a changed keyboard map is read again before the keys
// that follow it are named.
void Hook::readOwnEvents() {
  while (xcb_generic_event_t *event = xcb_poll_for_event(sender_.get())) {
    if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY)
      xcb_refresh_keyboard_mapping(symbols_.get(), reinterpret_cast<xcb_mapping_notify_event_t *>(event));
    std::free(event);
  }
}

void Hook::report(const xcb_key_press_event_t &event) {
  const xcb_window_t target = target_.load();
  if (!target)
    return;
  const xcb_keycode_t keycode = event.detail;
  const bool numLock = event.state & XCB_MOD_MASK_2;
  const xcb_keysym_t unshifted = xcb_key_symbols_get_keysym(symbols_.get(), keycode, 0);
  const xcb_keysym_t shifted = xcb_key_symbols_get_keysym(symbols_.get(), keycode, 1);
  const bool keypadDigit = shifted >= 0xffb0 && shifted <= 0xffb9;
  const uint32_t code = vk::fromKeysyms(numLock && keypadDigit ? shifted : unshifted, shifted, keycode);
  if (!code)
    return;
  int32_t flags = 0;
  if (event.state & XCB_MOD_MASK_SHIFT)
    flags |= 4;
  if (event.state & XCB_MOD_MASK_CONTROL)
    flags |= 8;
  if (event.state & XCB_MOD_MASK_1)
    flags |= 16;
  flags |= vk::modifierFlagOf(code);
  const bool released = !isPress(event);

  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = target;
  message.type = atom_;
  message.data.data32[0] = (code & 0xFFFF) | (static_cast<uint32_t>(flags) << 16);
  message.data.data32[1] = released ? 0x80000000u : 0;
  // A window that no longer exists gives an error event on this connection; readOwnEvents drops it.
  xcb_send_event(sender_.get(), 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
  xcb_flush(sender_.get());
}

std::mutex gMutex;
std::unique_ptr<Hook> gHook;

} // namespace

// No exception may leave a C entry point: the caller cannot catch it.
extern "C" {

const char *GetHookMsgString(void) {
  return kMessageName;
}

int SetHook(unsigned long window) {
  try {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gHook) {
      gHook->aimAt(window);
      return 1;
    }
    gHook = Hook::start(window);
    return gHook ? 1 : 0;
  } catch (...) {
    return 0; // no thread or no memory for the hook: it is not installed
  }
}

void FreeHook(void) {
  try {
    std::lock_guard<std::mutex> lock(gMutex);
    gHook.reset();
  } catch (...) {
    // the lock could not be taken: the hook is left as it is
  }
}

} // extern "C"
