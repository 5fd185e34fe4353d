// Starting, typing into and closing the real program.
#include "ProgramUnderX.h"

#include "WindowManager.h"
#include "X11Connection.h"
#include "support/AudioFiles.h"
#include "support/WaitUntil.h"

#include <QImage>
#include <QString>

#include <xcb/xtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using lyt::test::managed;
using lyt::test::namedOnRoot;
using lyt::test::waitUntil;

namespace {

int counter = 0;

} // namespace

pid_t startProgram(const std::string &folder, const std::string &ini, const std::string &file) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("LYSTREL2_INI", ini.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    // Silent unless a benchmark asks for a sound server.
    if (const char *driver = std::getenv("LYT_PROGRAM_AUDIODRIVER"))
      setenv("SDL_AUDIODRIVER", driver, 1);
    else
      setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The titles the tests look for are the Japanese ones.
    setenv("LYSTREL2_LANG", "ja", 1);
    if (file.empty())
      execl(LYT_PROGRAM, LYT_PROGRAM, static_cast<char *>(nullptr));
    else
      execl(LYT_PROGRAM, LYT_PROGRAM, file.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

ProgramUnderX::ProgramUnderX(const std::string &settings, const std::string &file,
                             const std::string &folder) {
  folder_ = !folder.empty()
                ? lyt::test::scratchPath(folder)
                : lyt::test::scratchPath("e2e-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
  std::filesystem::create_directories(folder_ + "/run");
  chmod((folder_ + "/run").c_str(), 0700);
  ini_ = folder_ + "/Lyt2.ini";
  if (settings != "keep")
    std::ofstream(ini_) << settings;
  pid_ = startProgram(folder_, ini_, file);
  x_ = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x_))
    return;
  // Started once its main window is on the screen and it answers on the bus, which it does only when
  // its start-up has finished; or a box of its start (an error, a warning) is on the screen.
  if (!waitUntil([this] { return (mainWindow() && player_.answers()) || findWindow("Error") || findWindow("音声出力"); }))
    return;
  symbols_ = xcb_key_symbols_alloc(x_);
  // A held key does not repeat: each test says which presses it makes.
  const uint32_t noRepeat = XCB_AUTO_REPEAT_MODE_OFF;
  xcb_change_keyboard_control(x_, XCB_KB_AUTO_REPEAT_MODE, &noRepeat);
  // The user types into another application, which reads the keys as an editor would.
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  focus_ = xcb_generate_id(x_);
  const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
  xcb_create_window(x_, XCB_COPY_FROM_PARENT, focus_, screen->root, 400, 400, 100, 100, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
  xcb_map_window(x_, focus_);
  xcb_set_input_focus(x_, XCB_INPUT_FOCUS_POINTER_ROOT, focus_, XCB_CURRENT_TIME);
  xcb_flush(x_);
  started_ = waitUntil([this] { return otherHasFocus(); });
}

ProgramUnderX::~ProgramUnderX() {
  if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (symbols_)
    xcb_key_symbols_free(symbols_);
  if (x_)
    xcb_disconnect(x_);
}

void ProgramUnderX::fakeKey(uint32_t keysym, uint8_t type) {
  xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols_, keysym);
  if (!codes)
    return;
  xcb_test_fake_input(x_, type, codes[0], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  std::free(codes);
  sync();
}

void ProgramUnderX::sync() const {
  std::free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr));
}

void ProgramUnderX::press(uint32_t keysym) {
  fakeKey(keysym, XCB_KEY_PRESS);
}

void ProgramUnderX::release(uint32_t keysym) {
  fakeKey(keysym, XCB_KEY_RELEASE);
}

void ProgramUnderX::tap(uint32_t keysym, std::initializer_list<uint32_t> modifiers) {
  for (uint32_t m : modifiers)
    press(m);
  press(keysym);
  release(keysym);
  for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
    release(*it);
}

bool ProgramUnderX::hasTitle(xcb_window_t window, const char *title) const {
  // The title as the window manager shows it (UTF-8), else the old Latin-1 one.
  xcb_get_property_reply_t *name = xcb_get_property_reply(
      x_, xcb_get_property(x_, 0, window, internAtom(x_, "_NET_WM_NAME"), XCB_ATOM_ANY, 0, 64), nullptr);
  if (name && xcb_get_property_value_length(name) == 0) {
    std::free(name);
    name = xcb_get_property_reply(x_, xcb_get_property(x_, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 64),
                                  nullptr);
  }
  xcb_get_window_attributes_reply_t *attributes =
      xcb_get_window_attributes_reply(x_, xcb_get_window_attributes(x_, window), nullptr);
  // Hidden dialogs may carry the program's name too: the main window is the one on screen.
  const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  const bool same = shown && name &&
                    xcb_get_property_value_length(name) == static_cast<int>(std::strlen(title)) &&
                    std::memcmp(xcb_get_property_value(name), title, std::strlen(title)) == 0;
  std::free(attributes);
  std::free(name);
  return same;
}

xcb_window_t ProgramUnderX::findWindow(const char *title) const {
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  // A window manager lists the client windows it frames; without one they are the root's children.
  xcb_get_property_reply_t *clients = xcb_get_property_reply(
      x_, xcb_get_property(x_, 0, screen->root, internAtom(x_, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 1024),
      nullptr);
  std::vector<xcb_window_t> candidates;
  if (clients && xcb_get_property_value_length(clients) > 0) {
    const auto *ids = static_cast<const xcb_window_t *>(xcb_get_property_value(clients));
    candidates.assign(ids, ids + xcb_get_property_value_length(clients) / 4);
  } else if (xcb_query_tree_reply_t *tree =
                 xcb_query_tree_reply(x_, xcb_query_tree(x_, screen->root), nullptr)) {
    const xcb_window_t *children = xcb_query_tree_children(tree);
    candidates.assign(children, children + xcb_query_tree_children_length(tree));
    std::free(tree);
  }
  std::free(clients);
  for (xcb_window_t window : candidates)
    if (hasTitle(window, title))
      return window;
  return 0;
}

bool ProgramUnderX::keptAbove() const {
  const xcb_window_t window = mainWindow();
  xcb_get_property_reply_t *state = xcb_get_property_reply(
      x_, xcb_get_property(x_, 0, window, internAtom(x_, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32), nullptr);
  bool above = false;
  const xcb_atom_t wanted = internAtom(x_, "_NET_WM_STATE_ABOVE");
  if (state)
    for (int i = 0; i < xcb_get_property_value_length(state) / 4; ++i)
      above |= static_cast<const xcb_atom_t *>(xcb_get_property_value(state))[i] == wanted;
  std::free(state);
  return above;
}

void ProgramUnderX::click(int button, int x, int y) {
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  xcb_translate_coordinates_reply_t *at = xcb_translate_coordinates_reply(
      x_,
      xcb_translate_coordinates(x_, mainWindow(), screen->root, static_cast<int16_t>(x),
                                static_cast<int16_t>(y)),
      nullptr);
  if (!at)
    return;
  xcb_test_fake_input(x_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, at->dst_x, at->dst_y, 0);
  xcb_test_fake_input(x_, XCB_BUTTON_PRESS, static_cast<uint8_t>(button), XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                      0);
  xcb_test_fake_input(x_, XCB_BUTTON_RELEASE, static_cast<uint8_t>(button), XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                      0);
  std::free(at);
  sync();
}

bool ProgramUnderX::chooseFromMenu(int x, int y, int downs) {
  click(3, x, y);
  if (!waitUntil([this] { return menuShown(); }))
    return false;
  for (int i = 0; i < downs; ++i)
    tap(keysym::Down);
  tap(keysym::Return);
  return waitUntil([this] { return !menuShown(); });
}

bool ProgramUnderX::menuShown() const {
  // A menu is a window of the program's own that the window manager does not frame.
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x_, xcb_query_tree(x_, screen->root), nullptr);
  if (!tree)
    return false;
  bool shown = false;
  const xcb_window_t *children = xcb_query_tree_children(tree);
  for (int i = 0; i < xcb_query_tree_children_length(tree) && !shown; ++i) {
    xcb_get_window_attributes_reply_t *attributes =
        xcb_get_window_attributes_reply(x_, xcb_get_window_attributes(x_, children[i]), nullptr);
    xcb_get_property_reply_t *owner = xcb_get_property_reply(
        x_, xcb_get_property(x_, 0, children[i], internAtom(x_, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 0, 1), nullptr);
    shown = attributes && attributes->override_redirect && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            owner && xcb_get_property_value_length(owner) == 4 &&
            *static_cast<const uint32_t *>(xcb_get_property_value(owner)) == static_cast<uint32_t>(pid_);
    std::free(attributes);
    std::free(owner);
  }
  std::free(tree);
  return shown;
}

bool ProgramUnderX::closeThroughWindow() {
  const xcb_window_t window = findWindow("Lystrel2");
  if (!window)
    return false;
  close(window);
  return ended();
}

void ProgramUnderX::close(xcb_window_t window) {
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = internAtom(x_, "WM_PROTOCOLS");
  message.data.data32[0] = internAtom(x_, "WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(x_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
  xcb_flush(x_);
}

bool ProgramUnderX::ended(int expectedStatus) {
  int status = 0;
  if (!lyt::test::waitForExit(pid_, status, std::chrono::seconds(10)))
    return false;
  pid_ = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == expectedStatus;
}

QImage ProgramUnderX::picture() const {
  const xcb_window_t window = mainWindow();
  xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(x_, xcb_get_geometry(x_, window), nullptr);
  if (!geometry)
    return {};
  xcb_get_image_reply_t *image = xcb_get_image_reply(
      x_, xcb_get_image(x_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, geometry->width, geometry->height, ~0u),
      nullptr);
  QImage picture;
  if (image)
    picture = QImage(xcb_get_image_data(image), geometry->width, geometry->height, QImage::Format_RGB32).copy();
  std::free(image);
  std::free(geometry);
  return picture;
}

void ProgramUnderX::screenshot(const std::string &path) const {
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  xcb_get_image_reply_t *image = xcb_get_image_reply(
      x_,
      xcb_get_image(x_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0, screen->width_in_pixels,
                    screen->height_in_pixels, ~0u),
      nullptr);
  if (!image)
    return;
  QImage(xcb_get_image_data(image), screen->width_in_pixels, screen->height_in_pixels, QImage::Format_RGB32)
      .save(QString::fromStdString(path));
  std::free(image);
}

IniFile ProgramUnderX::settings() const {
  return IniFile::load(ini_);
}

int ProgramUnderX::secondStart(const std::string &file) const {
  const pid_t second = startProgram(folder_, ini_, file);
  int status = 0;
  if (!lyt::test::waitForExit(second, status)) {
    kill(second, SIGKILL);
    waitpid(second, &status, 0);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ProgramUnderX::otherHasFocus() const {
  // A window manager also has to know it: the program asks it which window was active.
  return hasKeys(focus_) && (!managed(x_) || namedOnRoot(x_, "_NET_ACTIVE_WINDOW") == focus_);
}

bool ProgramUnderX::hasKeys(xcb_window_t window) const {
  xcb_get_input_focus_reply_t *focus = xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr);
  const bool has = window && focus && focus->focus == window;
  std::free(focus);
  return has;
}

std::pair<int, int> ProgramUnderX::windowPosition() const {
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  xcb_translate_coordinates_reply_t *at = xcb_translate_coordinates_reply(
      x_, xcb_translate_coordinates(x_, mainWindow(), screen->root, 0, 0), nullptr);
  const std::pair<int, int> position =
      at ? std::make_pair(int(at->dst_x), int(at->dst_y)) : std::make_pair(-1, -1);
  std::free(at);
  return position;
}

std::pair<int, int> ProgramUnderX::windowSize() const {
  xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(x_, xcb_get_geometry(x_, mainWindow()), nullptr);
  const std::pair<int, int> size =
      geometry ? std::make_pair(int(geometry->width), int(geometry->height)) : std::make_pair(0, 0);
  std::free(geometry);
  return size;
}

std::pair<int, int> ProgramUnderX::frameCorner(xcb_window_t window) const {
  xcb_window_t outer = window;
  for (;;) {
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x_, xcb_query_tree(x_, outer), nullptr);
    if (!tree)
      break;
    const bool top = tree->parent == tree->root;
    if (!top)
      outer = tree->parent;
    std::free(tree);
    if (top)
      break;
  }
  xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(x_, xcb_get_geometry(x_, outer), nullptr);
  const std::pair<int, int> corner = geometry ? std::make_pair(int(geometry->x), int(geometry->y)) : std::make_pair(-1, -1);
  std::free(geometry);
  return corner;
}

void ProgramUnderX::movePointer(int x, int y) {
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  xcb_test_fake_input(x_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), 0);
  sync();
}

bool ProgramUnderX::moveHandedOver() {
  const xcb_atom_t moveResize = internAtom(x_, "_NET_WM_MOVERESIZE");
  bool handed = false;
  while (xcb_generic_event_t *event = xcb_poll_for_event(x_)) {
    handed |= (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
              reinterpret_cast<xcb_client_message_event_t *>(event)->type == moveResize;
    std::free(event);
  }
  return handed;
}

void ProgramUnderX::drag(int x, int y, int dx, int dy) {
  const auto [left, top] = windowPosition();
  movePointer(left + x, top + y);
  // The program hands the move to the window manager in a message to the root window, which we
  // hear too; the window manager starts from where the pointer is then, so the hand waits for it.
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
  uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x_, root, XCB_CW_EVENT_MASK, &mask);
  xcb_test_fake_input(x_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  sync();
  waitUntil([this] { return moveHandedOver(); });
  mask = XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(x_, root, XCB_CW_EVENT_MASK, &mask);
  for (int step = 1; step <= 10; ++step)
    movePointer(left + x + dx * step / 10, top + y + dy * step / 10);
  // It follows the pointer once it has taken it, which may be after the last step: the pointer
  // keeps moving, a pixel to and fro, until the window has followed.
  int wiggle = 0;
  waitUntil([&] {
    movePointer(left + x + dx + (++wiggle % 2), top + y + dy);
    const auto [nowLeft, nowTop] = windowPosition();
    return std::abs(nowLeft - left - dx) <= 2 && std::abs(nowTop - top - dy) <= 2;
  });
  xcb_test_fake_input(x_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  sync();
  // The move ends when the window manager lets the pointer go: a click before then would be its.
  waitUntil([this] { return pointerFree(); });
  // A hand moves on: Qt takes the first pointer event after a move it handed over as its end.
  movePointer(left + x + dx, top + y + dy + 1);
}

bool ProgramUnderX::pointerFree() const {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
  xcb_grab_pointer_reply_t *grab = xcb_grab_pointer_reply(
      x_,
      xcb_grab_pointer(x_, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                       XCB_CURRENT_TIME),
      nullptr);
  const bool free = grab && grab->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(grab);
  if (free)
    xcb_ungrab_pointer(x_, XCB_CURRENT_TIME);
  sync();
  return free;
}
