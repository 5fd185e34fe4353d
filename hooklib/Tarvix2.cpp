// The keyboard hook on X11: the RECORD extension watches all clients' key events, and each one is
// sent on to the target window as a ClientMessage.
#include "Tarvix2.h"

#include "VirtualKeys.h"

#include <xcb/record.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

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

class Hook {
public:
  // Null when there is no display to watch.
  static std::unique_ptr<Hook> start(unsigned long window);
  ~Hook();
  void aimAt(unsigned long window) { target_.store(static_cast<xcb_window_t>(window)); }

private:
  Hook() = default;
  void watch(std::promise<void> started);
  void nudge();
  void take(const xcb_key_press_event_t &event);
  void sendPendingRelease();
  void report(const xcb_key_press_event_t &event);

  Connection control_, data_, sender_;
  std::unique_ptr<xcb_key_symbols_t, KeySymbolsCloser> symbols_;
  xcb_record_context_t context_ = 0;
  xcb_atom_t atom_ = 0;
  std::atomic<xcb_window_t> target_{0};
  std::thread thread_;
  // X repeats a held key as a release and a press with one timestamp; the release waits here until
  // the next event shows whether it was one of those (then it is dropped: a held key only repeats its
  // press) or a real release. Guarded by nudgeMutex_.
  bool releasePending_ = false;
  xcb_key_press_event_t pendingRelease_{};
  std::chrono::steady_clock::time_point pendingSince_;
  std::mutex nudgeMutex_;
  std::condition_variable nudgeWake_;
  bool stopping_ = false;
  std::thread nudger_;
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
  // after SetHook is seen.
  std::promise<void> started;
  std::future<void> ready = started.get_future();
  hook->thread_ = std::thread(&Hook::watch, hook.get(), std::move(started));
  ready.wait_for(std::chrono::seconds(2));
  hook->nudger_ = std::thread(&Hook::nudge, hook.get());
  return hook;
}

Hook::~Hook() {
  if (nudger_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(nudgeMutex_);
      stopping_ = true;
    }
    nudgeWake_.notify_all();
    nudger_.join();
  }
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

// The server hands recorded keys on only when it next writes to some client, which it does at
// once when the focused application reads its keys, but not when none does. A round trip every
// 20 ms bounds the wait for that case.
void Hook::nudge() {
  std::unique_lock<std::mutex> lock(nudgeMutex_);
  while (!nudgeWake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stopping_; })) {
    // A release that no press followed for a while is a real one.
    if (releasePending_ && std::chrono::steady_clock::now() - pendingSince_ > std::chrono::milliseconds(30))
      sendPendingRelease();
    lock.unlock();
    std::free(xcb_get_input_focus_reply(control_.get(), xcb_get_input_focus(control_.get()), nullptr));
    lock.lock();
  }
}

// Called with nudgeMutex_ held.
void Hook::sendPendingRelease() {
  releasePending_ = false;
  report(pendingRelease_);
}

void Hook::take(const xcb_key_press_event_t &event) {
  std::lock_guard<std::mutex> lock(nudgeMutex_);
  const bool press = (event.response_type & 0x7f) == XCB_KEY_PRESS;
  if (releasePending_) {
    const bool repeat = press && event.detail == pendingRelease_.detail && event.time == pendingRelease_.time;
    if (repeat)
      releasePending_ = false;
    else
      sendPendingRelease();
  }
  if (press) {
    report(event);
  } else {
    pendingRelease_ = event;
    pendingSince_ = std::chrono::steady_clock::now();
    releasePending_ = true;
  }
}

// Runs on the hook's thread until the context is disabled.
void Hook::watch(std::promise<void> started) {
  const xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(data_.get(), context_);
  bool announced = false;
  while (true) {
    xcb_record_enable_context_reply_t *reply = xcb_record_enable_context_reply(data_.get(), cookie, nullptr);
    if (!announced) {
      started.set_value();
      announced = true;
    }
    if (!reply)
      return;
    const bool done = reply->category == kEndOfData;
    if (reply->category == kFromServer) {
      const uint8_t *bytes = xcb_record_enable_context_data(reply);
      const int length = xcb_record_enable_context_data_length(reply);
      for (int at = 0; at + 32 <= length; at += 32) {
        xcb_key_press_event_t event;
        std::memcpy(&event, bytes + at, sizeof event);
        const uint8_t type = event.response_type & 0x7f;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
          take(event);
      }
    }
    std::free(reply);
    if (done)
      return;
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
  const bool released = (event.response_type & 0x7f) == XCB_KEY_RELEASE;

  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = target;
  message.type = atom_;
  message.data.data32[0] = (code & 0xFFFF) | (static_cast<uint32_t>(flags) << 16);
  message.data.data32[1] = released ? 0x80000000u : 0;
  // A window that no longer exists gives an error event on this connection; nothing waits for it.
  xcb_send_event(sender_.get(), 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
  xcb_flush(sender_.get());
  while (xcb_generic_event_t *ignored = xcb_poll_for_event(sender_.get()))
    std::free(ignored);
}

std::mutex gMutex;
std::unique_ptr<Hook> gHook;

} // namespace

extern "C" {

const char *GetHookMsgString(void) {
  return kMessageName;
}

int SetHook(unsigned long window) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gHook) {
    gHook->aimAt(window);
    return 1;
  }
  gHook = Hook::start(window);
  return gHook ? 1 : 0;
}

void FreeHook(void) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHook.reset();
}

} // extern "C"
