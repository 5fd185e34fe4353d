// The real program under an X server, driven from outside: keys typed into another client with
// XTest, closed through its window, judged by its settings file.
#pragma once

#include "IniFile.h"
#include "PlayerOnTheBus.h"

#include <QImage>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <utility>

class ProgramUnderX {
public:
  // Writes `settings` as the program's settings file (unless it is "keep", for the file a
  // previous run left), starts it with `file` and waits until it has started (or shows an error
  // box); the keyboard focus then goes to a window of another client. `folder` names the run's
  // folder (the same for a restart).
  ProgramUnderX(const std::string &settings, const std::string &file, const std::string &folder = "");
  // A second start of the program with `file`, as a user would from a file manager; its exit code.
  int secondStart(const std::string &file) const;
  ~ProgramUnderX();
  bool started() const { return started_; }
  pid_t pid() const { return pid_; }
  // The run's folder: its settings file, run/ and cache/.
  const std::string &folder() const { return folder_; }

  // The program's state, as its media-player interface tells it.
  const PlayerOnTheBus &player() const { return player_; }

  // Keys and buttons return once the X server has handled them; the program may not have yet.
  void press(uint32_t keysym);
  void release(uint32_t keysym);
  // Presses the modifiers, taps the key, releases them again in reverse order.
  void tap(uint32_t keysym, std::initializer_list<uint32_t> modifiers = {});

  // Closes the program through its window's close message; true when it ended by itself.
  bool closeThroughWindow();
  // Waits up to ten seconds for the program to end; true when it ended with `expectedStatus`.
  bool ended(int expectedStatus = 0);
  // Asks a window of the program to close, as its close button would.
  void close(xcb_window_t window);
  bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  // The whole screen as a PNG file.
  void screenshot(const std::string &path) const;
  // What the main window shows now.
  QImage picture() const;
  // The program's main window (its client window when a window manager frames it), or 0.
  xcb_window_t mainWindow() const { return findWindow("Lystrel2"); }
  // Whether the window manager keeps the main window above the others.
  bool keptAbove() const;
  // Whether the other application's window has the keyboard (and is the active one, when a window
  // manager runs).
  bool otherHasFocus() const;
  // Whether `window` has the keyboard.
  bool hasKeys(xcb_window_t window) const;
  // Whether a pop-up menu of the program is on the screen.
  bool menuShown() const;
  // Opens the pop-up menu at a point of the main window (the right button), goes `downs` items down
  // and chooses the item; whether the menu came and went.
  bool chooseFromMenu(int x, int y, int downs);
  // The main window's top-left corner on the screen, and its size.
  std::pair<int, int> windowPosition() const;
  std::pair<int, int> windowSize() const;
  // Whether the window manager has put a frame with a title bar around the main window.
  bool framed() const { return frameCorner(mainWindow()) != windowPosition(); }
  // A shown window of the program with exactly this title, or 0.
  xcb_window_t window(const char *title) const { return findWindow(title); }
  // The outer corner of the frame the window manager put around `window` (the window's own
  // corner when it has none).
  std::pair<int, int> frameCorner(xcb_window_t window) const;
  // Presses the left button at a point of the main window, moves the pointer by (dx, dy) until the
  // window has followed it, and lets go.
  void drag(int x, int y, int dx, int dy);
  // A click of `button` at a point of the main window.
  void click(int button, int x, int y);
  IniFile settings() const;
  const std::string &settingsPath() const { return ini_; }

private:
  xcb_window_t findWindow(const char *title) const;
  bool hasTitle(xcb_window_t window, const char *title) const;
  void fakeKey(uint32_t keysym, uint8_t type);
  void movePointer(int x, int y);
  // Whether the program has asked the window manager to move its window since the last look.
  bool moveHandedOver();
  // Whether no client holds the pointer (asked by taking it and letting it go at once).
  bool pointerFree() const;
  // A round trip: the server has handled every request sent before it.
  void sync() const;
  xcb_connection_t *x_ = nullptr;
  xcb_key_symbols_t *symbols_ = nullptr;
  xcb_window_t focus_ = 0;
  pid_t pid_ = -1;
  std::string folder_, ini_;
  bool started_ = false;
  PlayerOnTheBus player_;
};

// The program started in `folder` (its run/ as XDG_RUNTIME_DIR) with `ini` and `file`, not waited for.
pid_t startProgram(const std::string &folder, const std::string &ini, const std::string &file);

namespace keysym {
constexpr uint32_t Down = 0xff54, Return = 0xff0d, Tab = 0xff09, space = 0x20, o = 0x6f, s = 0x73;
constexpr uint32_t F1 = 0xffbe, F2 = 0xffbf, F3 = 0xffc0, F4 = 0xffc1, F5 = 0xffc2, F6 = 0xffc3, F7 = 0xffc4,
                   F8 = 0xffc5, F9 = 0xffc6, ShiftL = 0xffe1, ControlL = 0xffe3, AltL = 0xffe9, a = 0x61,
                   b = 0x62;
} // namespace keysym
