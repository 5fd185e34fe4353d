// The hook library on a real X server: keys typed into another client arrive at our window as
// messages with the right key code, modifiers and release bit.
#include "RefusedCalls.h"
#include "Tarvix2.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct Message {
  uint32_t keyCode;
  uint32_t modifiers;
  bool released;
};

class HookLibrary : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "needs an X server (make test runs these under xvfb-run)";
    library_ = dlopen("libTarvix2.so", RTLD_NOW);
    ASSERT_NE(library_, nullptr) << dlerror();
    getName_ = reinterpret_cast<const char *(*)()>(dlsym(library_, "GetHookMsgString"));
    setHook_ = reinterpret_cast<int (*)(unsigned long)>(dlsym(library_, "SetHook"));
    freeHook_ = reinterpret_cast<void (*)()>(dlsym(library_, "FreeHook"));
    ASSERT_TRUE(getName_ && setHook_ && freeHook_);
    receiver_ = xcb_connect(nullptr, nullptr);
    typist_ = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(receiver_), 0) << "display " << std::getenv("DISPLAY");
    ASSERT_EQ(xcb_connection_has_error(typist_), 0);
    window_ = makeWindow(receiver_, 0);
    // The focus: keys go to another client, which reads them as an editor would.
    other_ = makeWindow(typist_, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE);
    xcb_set_input_focus(typist_, XCB_INPUT_FOCUS_POINTER_ROOT, other_, XCB_CURRENT_TIME);
    xcb_flush(typist_);
    const char *name = getName_();
    auto *reply = xcb_intern_atom_reply(
        receiver_, xcb_intern_atom(receiver_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    atom_ = reply->atom;
    std::free(reply);
    symbols_ = xcb_key_symbols_alloc(typist_);
  }
  void TearDown() override {
    if (typist_ && !savedMaps_.empty())
      restoreMaps();
    if (freeHook_)
      freeHook_();
    if (symbols_)
      xcb_key_symbols_free(symbols_);
    if (receiver_)
      xcb_disconnect(receiver_);
    if (typist_)
      xcb_disconnect(typist_);
    if (library_)
      dlclose(library_);
  }

  static xcb_window_t makeWindow(xcb_connection_t *c, uint32_t eventMask) {
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 50, 50, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &eventMask);
    xcb_map_window(c, w);
    xcb_flush(c);
    return w;
  }

  void key(uint32_t keysym, bool press) {
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    ASSERT_NE(codes, nullptr);
    keycode(codes[0], press);
    std::free(codes);
  }
  void keycode(xcb_keycode_t code, bool press) {
    xcb_test_fake_input(typist_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(typist_);
  }

  // Gives the keys from `first` on one keysym each (all columns), keeping the old map to restore.
  void remap(xcb_keycode_t first, const std::vector<xcb_keysym_t> &keysyms) {
    auto *old = xcb_get_keyboard_mapping_reply(
        typist_, xcb_get_keyboard_mapping(typist_, first, static_cast<uint8_t>(keysyms.size())), nullptr);
    ASSERT_NE(old, nullptr);
    const uint8_t perKey = old->keysyms_per_keycode;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(old);
    savedMaps_.push_back({first, {syms, syms + keysyms.size() * perKey}});
    savedPerKey_ = perKey;
    std::free(old);
    std::vector<xcb_keysym_t> table;
    for (xcb_keysym_t k : keysyms)
      table.insert(table.end(), perKey, k);
    xcb_change_keyboard_mapping(typist_, static_cast<uint8_t>(keysyms.size()), first, perKey, table.data());
    xcb_flush(typist_);
  }
  void restoreMaps() {
    for (auto it = savedMaps_.rbegin(); it != savedMaps_.rend(); ++it)
      xcb_change_keyboard_mapping(typist_, static_cast<uint8_t>(it->second.size() / savedPerKey_), it->first,
                                  savedPerKey_, it->second.data());
    savedMaps_.clear();
    xcb_flush(typist_);
  }

  // Context switches of every thread but the test's own: the hook library's wake-ups.
  static long wakeUpsOfOtherThreads() {
    long total = 0;
    const std::string self = std::to_string(gettid());
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) {
      if (task.path().filename() == self)
        continue;
      std::ifstream status(task.path() / "status");
      for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
          total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
  }

  std::vector<Message> receive(size_t count) {
    return receiveUntil([count](const std::vector<Message> &got) { return got.size() >= count; });
  }
  // Messages until `enough` holds of those received, or three seconds have passed.
  std::vector<Message> receiveUntil(const std::function<bool(const std::vector<Message> &)> &enough) {
    std::vector<Message> got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!enough(got) && std::chrono::steady_clock::now() < until) {
      xcb_generic_event_t *event = xcb_poll_for_event(receiver_);
      if (!event) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
        auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
        EXPECT_NE(event->response_type & 0x80, 0) << "sent by another client";
        if (message->type == atom_)
          got.push_back({message->data.data32[0] & 0xFFFF, message->data.data32[0] >> 16,
                         (message->data.data32[1] & 0x80000000u) != 0});
      }
      std::free(event);
    }
    return got;
  }

  void *library_ = nullptr;
  const char *(*getName_)() = nullptr;
  int (*setHook_)(unsigned long) = nullptr;
  void (*freeHook_)() = nullptr;
  xcb_connection_t *receiver_ = nullptr, *typist_ = nullptr;
  xcb_window_t window_ = 0, other_ = 0;
  xcb_atom_t atom_ = 0;
  xcb_key_symbols_t *symbols_ = nullptr;
  std::vector<std::pair<xcb_keycode_t, std::vector<xcb_keysym_t>>> savedMaps_;
  uint8_t savedPerKey_ = 0;
};

constexpr uint32_t XK_Control_L = 0xffe3, XK_Shift_L = 0xffe1, XK_Alt_L = 0xffe9, XK_F1 = 0xffbe, XK_a = 0x61,
                   XK_Left = 0xff51, XK_KP_7 = 0xffb7;

TEST_F(HookLibrary, ReportsEveryPressAndReleaseWithItsModifiers) {
  ASSERT_EQ(setHook_(window_), 1);
  key(XK_Control_L, true);
  key(XK_F1, true);
  key(XK_F1, false);
  key(XK_Control_L, false);
  key(XK_Shift_L, true);
  key(XK_Alt_L, true);
  key(XK_a, true);
  key(XK_a, false);
  key(XK_Alt_L, false);
  key(XK_Shift_L, false);
  key(XK_Left, true);
  key(XK_Left, false);
  const std::vector<Message> got = receive(12);
  std::string seen;
  for (const Message &m : got)
    seen += std::to_string(m.keyCode) + "/" + std::to_string(m.modifiers) + (m.released ? "^ " : "v ");
  ASSERT_EQ(got.size(), 12u) << seen;
  const std::vector<std::tuple<uint32_t, uint32_t, bool>> expected{
      {0x11, 8, false}, {0x70, 8, false},  {0x70, 8, true},   {0x11, 8, true},
      {0x10, 4, false}, {0x12, 20, false}, {0x41, 20, false}, {0x41, 20, true},
      {0x12, 20, true}, {0x10, 4, true},   {0x25, 0, false},  {0x25, 0, true}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(got[i].keyCode, std::get<0>(expected[i])) << "event " << i;
    EXPECT_EQ(got[i].modifiers, std::get<1>(expected[i])) << "event " << i;
    EXPECT_EQ(got[i].released, std::get<2>(expected[i])) << "event " << i;
  }
}

TEST_F(HookLibrary, CanBeAimedAtANewWindowAndStopsWhenFreed) {
  ASSERT_EQ(setHook_(other_), 1);
  ASSERT_EQ(setHook_(window_), 1) << "aimed again, at the live window";
  key(XK_KP_7, true);
  key(XK_KP_7, false);
  EXPECT_EQ(receive(2).size(), 2u);
  freeHook_();
  key(XK_F1, true);
  key(XK_F1, false);
  EXPECT_TRUE(receive(1).empty()) << "nothing after FreeHook";
}

TEST_F(HookLibrary, AStartThatFailsIsReportedAndNothingEscapesTheEntryPoints) {
  int installed = -1;
  lyt::test::refuseThreads = true;
  EXPECT_NO_THROW(installed = setHook_(window_));
  lyt::test::refuseThreads = false;
  EXPECT_EQ(installed, 0) << "no thread to watch the keys";
  lyt::test::refuseRecording = true;
  installed = setHook_(window_);
  lyt::test::refuseRecording = false;
  EXPECT_EQ(installed, 0) << "the server never began to record";
  EXPECT_EQ(setHook_(window_), 1);
}

TEST_F(HookLibrary, AHeldKeyRepeatsItsPressButIsReleasedOnce) {
  const uint32_t repeat = XCB_AUTO_REPEAT_MODE_ON;
  xcb_change_keyboard_control(typist_, XCB_KB_AUTO_REPEAT_MODE, &repeat);
  xcb_flush(typist_);
  ASSERT_EQ(setHook_(window_), 1);
  key(XK_F1, true);
  std::vector<Message> got = receive(2); // held past the repeat delay: the press and a repeat
  key(XK_F1, false);
  for (const Message &m : receiveUntil([](const std::vector<Message> &more) { return !more.empty() && more.back().released; }))
    got.push_back(m);
  ASSERT_GE(got.size(), 3u) << "the press, its repeats, the release";
  for (size_t i = 0; i + 1 < got.size(); ++i)
    EXPECT_FALSE(got[i].released) << "X's repeat releases are not reported, message " << i;
  EXPECT_TRUE(got.back().released);
  const uint32_t noRepeat = XCB_AUTO_REPEAT_MODE_OFF;
  xcb_change_keyboard_control(typist_, XCB_KB_AUTO_REPEAT_MODE, &noRepeat);
  xcb_flush(typist_);
}

TEST_F(HookLibrary, AMessageToAWindowThatIsGoneIsLostWithoutHarm) {
  ASSERT_EQ(setHook_(0x7ffffff0), 1);
  const long before = wakeUpsOfOtherThreads();
  key(XK_F1, true);
  key(XK_F1, false);
  // The hook's thread has woken for the keys and sent them to the window that is gone.
  ASSERT_TRUE(lyt::test::waitUntil([&] { return wakeUpsOfOtherThreads() > before; }));
  ASSERT_EQ(setHook_(window_), 1);
  key(XK_a, true);
  key(XK_a, false);
  const std::vector<Message> got =
      receiveUntil([](const std::vector<Message> &some) { return !some.empty() && some.back().keyCode == 0x41; });
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().keyCode, 0x41u) << "the hook lives on";
}

TEST_F(HookLibrary, SleepsWhileNoKeyIsTypedAndPassesAKeyThatNoClientReads) {
  ASSERT_EQ(setHook_(window_), 1);
  // The focus on no window: the server hands the key to no client.
  xcb_set_input_focus(typist_, XCB_INPUT_FOCUS_NONE, XCB_NONE, XCB_CURRENT_TIME);
  xcb_flush(typist_);
  free(xcb_get_input_focus_reply(typist_, xcb_get_input_focus(typist_), nullptr));
  key(XK_F1, true); // the library's first key reads the keyboard map
  key(XK_F1, false);
  ASSERT_EQ(receive(2).size(), 2u);
  const long before = wakeUpsOfOtherThreads();
  std::this_thread::sleep_for(std::chrono::seconds(1)); // the span measured, not a wait for a result
#if !defined(__SANITIZE_THREAD__) // the thread sanitizer's own background thread wakes on its clock
  EXPECT_LE(wakeUpsOfOtherThreads() - before, 1) << "the library woke up while no key was typed";
#else
  (void)before;
#endif
  key(XK_a, true);
  key(XK_a, false);
  const std::vector<Message> got = receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].keyCode, 0x41u);
  EXPECT_TRUE(got[1].released);
}

TEST_F(HookLibrary, KnowsF13ToF24ByTheirPlaceAndFollowsAChangedKeyboardMap) {
  // The evdev F13..F24 under the XF86 keysyms that common layouts give them.
  remap(191, {0x1008FF81, 0x1008FF45, 0x1008FF46, 0x1008FF47, 0x1008FF48, 0x1008FF49, 0x1008FFB2, 0x1008FFA9,
              0x1008FFB0, 0x1008FFB1, 0x1008FF1B, 0x1008FF14});
  ASSERT_EQ(setHook_(window_), 1);
  for (xcb_keycode_t code = 191; code <= 202; ++code) {
    keycode(code, true);
    keycode(code, false);
  }
  std::vector<Message> got = receive(24);
  ASSERT_EQ(got.size(), 24u);
  for (uint32_t i = 0; i < 12; ++i)
    EXPECT_EQ(got[2 * i].keyCode, 0x7C + i) << "F" << 13 + i;

  xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols_, XK_a);
  ASSERT_NE(codes, nullptr);
  const xcb_keycode_t aKey = codes[0];
  std::free(codes);
  keycode(aKey, true);
  keycode(aKey, false);
  ASSERT_EQ(receive(2).size(), 2u);
  remap(aKey, {0x62}); // the key now types "b", as after a layout switch
  free(xcb_get_input_focus_reply(typist_, xcb_get_input_focus(typist_), nullptr));
  keycode(aKey, true);
  keycode(aKey, false);
  got = receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].keyCode, 0x42u) << "the hook read the new map";
}

} // namespace
