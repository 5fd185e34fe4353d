// Starting, typing into and closing the real program.
#include "ProgramUnderX.h"

#include "support/AudioFiles.h"

#include <QImage>
#include <QString>

#include <xcb/xtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int counter = 0;

xcb_atom_t atom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = reply ? reply->atom : 0;
  std::free(reply);
  return a;
}

} // namespace

pid_t startProgram(const std::string &folder, const std::string &ini, const std::string &file) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("LYSTREL2_INI", ini.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
    // Silent unless a benchmark asks for a sound server.
    if (const char *driver = std::getenv("LYT_PROGRAM_AUDIODRIVER"))
      setenv("SDL_AUDIODRIVER", driver, 1);
    else
      setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    if (file.empty())
      execl(LYT_PROGRAM, LYT_PROGRAM, static_cast<char *>(nullptr));
    else
      execl(LYT_PROGRAM, LYT_PROGRAM, file.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

bool waitForExit(pid_t pid, int &status, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (waitpid(pid, &status, WNOHANG) == pid)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
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
  // Up once its main window, or an error box of its start, is on the screen.
  if (!waitUntil([this] { return mainWindow() || findWindow("Error"); }))
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
  settle(300);
  started_ = true;
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
  xcb_flush(x_);
  std::free(codes);
  std::this_thread::sleep_for(std::chrono::milliseconds(15));
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

void ProgramUnderX::settle(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool ProgramUnderX::hasTitle(xcb_window_t window, const char *title) const {
  // The title as the window manager shows it (UTF-8), else the old Latin-1 one.
  xcb_get_property_reply_t *name = xcb_get_property_reply(
      x_, xcb_get_property(x_, 0, window, atom(x_, "_NET_WM_NAME"), XCB_ATOM_ANY, 0, 64), nullptr);
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
      x_, xcb_get_property(x_, 0, screen->root, atom(x_, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 1024),
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
      x_, xcb_get_property(x_, 0, window, atom(x_, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32), nullptr);
  bool above = false;
  const xcb_atom_t wanted = atom(x_, "_NET_WM_STATE_ABOVE");
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
  xcb_flush(x_);
  std::free(at);
  settle(300);
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
  message.type = atom(x_, "WM_PROTOCOLS");
  message.data.data32[0] = atom(x_, "WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(x_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
  xcb_flush(x_);
}

bool ProgramUnderX::ended(int expectedStatus) {
  int status = 0;
  if (!waitForExit(pid_, status, 10))
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

bool ProgramUnderX::waitUntil(const std::function<bool()> &done) {
  // True as soon as `done` is: what it saw may be gone by a second look.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    if (done())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
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
  waitpid(second, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ProgramUnderX::otherHasFocus() const {
  xcb_get_input_focus_reply_t *focus = xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr);
  const bool other = focus && focus->focus == focus_;
  std::free(focus);
  return other;
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

void ProgramUnderX::drag(int x, int y, int dx, int dy) {
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
  const auto [left, top] = windowPosition();
  const auto move = [&](int px, int py) {
    xcb_test_fake_input(x_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, static_cast<int16_t>(px),
                        static_cast<int16_t>(py), 0);
    xcb_flush(x_);
    settle(30);
  };
  move(left + x, top + y);
  xcb_test_fake_input(x_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  xcb_flush(x_);
  settle(100);
  for (int step = 1; step <= 10; ++step)
    move(left + x + dx * step / 10, top + y + dy * step / 10);
  xcb_test_fake_input(x_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  xcb_flush(x_);
  settle(300);
}
