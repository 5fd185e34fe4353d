// The stand-ins of RefusedCalls.h. The RECORD extension's header is left out: the stand-in is
// declared here with the same C types.
#include "RefusedCalls.h"

#include <cerrno>
#include <dlfcn.h>
#include <pthread.h>

namespace lyt::test {

std::atomic<bool> refuseThreads{false};
std::atomic<bool> refuseRecording{false};

} // namespace lyt::test

namespace {

// The library's own function; `library` is loaded by then, with the hook library.
template <typename Function> Function *realFunction(const char *library, const char *name) {
  void *handle = library ? dlopen(library, RTLD_LAZY | RTLD_NOLOAD) : RTLD_NEXT;
  return reinterpret_cast<Function *>(dlsym(handle, name));
}

} // namespace

extern "C" {

int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*start)(void *),
                   void *argument) noexcept {
  if (lyt::test::refuseThreads)
    return EAGAIN;
  static auto *real =
      realFunction<int(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *)>(nullptr, "pthread_create");
  return real(thread, attributes, start, argument);
}

struct xcb_connection_t;
struct xcb_record_enable_context_cookie_t {
  unsigned int sequence;
};
struct xcb_generic_error_t;

void *xcb_record_enable_context_reply(xcb_connection_t *c, xcb_record_enable_context_cookie_t cookie,
                                      xcb_generic_error_t **error) {
  if (lyt::test::refuseRecording)
    return nullptr;
  static auto *real = realFunction<void *(xcb_connection_t *, xcb_record_enable_context_cookie_t,
                                          xcb_generic_error_t **)>("libxcb-record.so.0",
                                                                  "xcb_record_enable_context_reply");
  return real(c, cookie, error);
}

} // extern "C"
