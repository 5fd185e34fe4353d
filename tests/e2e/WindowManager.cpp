#include "WindowManager.h"

#include "X11Connection.h"
#include "support/WaitUntil.h"

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace lyt::test {

xcb_window_t namedOnRoot(xcb_connection_t *x, const char *property) {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  xcb_get_property_reply_t *named =
      xcb_get_property_reply(x, xcb_get_property(x, 0, root, internAtom(x, property), XCB_ATOM_WINDOW, 0, 1), nullptr);
  const xcb_window_t window = named && xcb_get_property_value_length(named) == 4
                                  ? *static_cast<const xcb_window_t *>(xcb_get_property_value(named))
                                  : 0;
  std::free(named);
  return window;
}

bool managed(xcb_connection_t *x) {
  const xcb_window_t check = namedOnRoot(x, "_NET_SUPPORTING_WM_CHECK");
  xcb_get_geometry_reply_t *there = check ? xcb_get_geometry_reply(x, xcb_get_geometry(x, check), nullptr) : nullptr;
  std::free(there);
  return there != nullptr;
}

bool windowManagerRunning() {
  xcb_connection_t *x = xcb_connect(nullptr, nullptr);
  const bool running = managed(x);
  xcb_disconnect(x);
  return running;
}

WindowManager::WindowManager() {
  pid_ = fork();
  if (pid_ == 0) {
    execlp("openbox", "openbox", "--sm-disable", static_cast<char *>(nullptr));
    _exit(127);
  }
  running_ = pid_ > 0 && waitUntil(windowManagerRunning);
}

WindowManager::~WindowManager() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

} // namespace lyt::test
