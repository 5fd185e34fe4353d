// Key-to-audible latency: from an XTest key press in another client to the first frame of the new
// position handed to the sound device, through the real keyboard hook and the program's window.
#include "Audible.h"
#include "Bass.h"
#include "CommonTypes.h"
#include "GuardedApplication.h"
#include "Program.h"
#include "SpeedButton.h"
#include "U_Main.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QTimer>

#include <sndfile.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kPresses = 200;
constexpr uint32_t kF2 = 0xffbf;

// Types F2 (fast forward by 0 s: a seek to the bar's second) and waits for it to be heard.
std::vector<double> typeAndMeasure(DWORD output) {
  std::vector<double> ms;
  xcb_connection_t *x = xcb_connect(nullptr, nullptr);
  xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(x);
  // The keys go to another application that reads them, as the user's editor does.
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
  const xcb_window_t editor = xcb_generate_id(x);
  const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
  xcb_create_window(x, XCB_COPY_FROM_PARENT, editor, screen->root, 400, 400, 100, 100, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
  xcb_map_window(x, editor);
  xcb_set_input_focus(x, XCB_INPUT_FOCUS_POINTER_ROOT, editor, XCB_CURRENT_TIME);
  xcb_flush(x);
  xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, kF2);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (int i = 0; i < kPresses && codes; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(40000 + 1300 * (i % 11)));
    ms.push_back(lyt::bench::msUntilHeard(output, [&] {
      xcb_test_fake_input(x, XCB_KEY_PRESS, codes[0], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
      xcb_test_fake_input(x, XCB_KEY_RELEASE, codes[0], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
      xcb_flush(x);
    }));
  }
  std::free(codes);
  xcb_key_symbols_free(symbols);
  xcb_disconnect(x);
  return ms;
}

} // namespace

int main(int argc, char **argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  if (!std::getenv("DISPLAY")) {
    std::printf("hotkey_bench needs an X server (make bench runs it under xvfb-run)\n");
    return 1;
  }
  GuardedApplication app(argc, argv);
  const std::string path = lyt::test::scratchPath("hotkey-bench.wav");
  lyt::test::writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, lyt::test::noise(120, 44100, 2, 0.2f),
                          44100, 2);
  setenv("LYSTREL2_INI", lyt::test::scratchPath("hotkey-bench.ini").c_str(), 1);
  auto program = std::make_unique<Program>(path);
  KeyMap.slot(2) = {0, 0x71, 2};
  Settings.FfRwSec = 0;
  frmMain->SpdBtn_PlayStop->setDown(true);
  frmMain->SpdBtn_PlayStopClick();
  std::vector<double> ms;
  std::thread typist([&] {
    ms = typeAndMeasure(frmMain->OutputChannel());
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  QApplication::exec();
  typist.join();
  program.reset();
  return lyt::bench::printLatencies("Key to audible, SDL dummy driver (512-frame periods)", ms, kPresses) ? 0 : 1;
}
