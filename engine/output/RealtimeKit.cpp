// RealtimeKit's MakeThreadRealtime over libdbus. RealtimeKit grants it only to a process whose
// real-time CPU time is limited, so the limit is set first; a thread that then spins is stopped
// by the kernel instead of freezing the desktop.
#include "output/RealtimeKit.h"

#include <dbus/dbus.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace lyt {
namespace {

constexpr const char *kService = "org.freedesktop.RealtimeKit1";
constexpr const char *kPath = "/org/freedesktop/RealtimeKit1";
constexpr int kCallMilliseconds = 200;
constexpr uint32_t kWantedPriority = 5;
constexpr rlim_t kRealtimeMicroseconds = 200000;

// A call's reply, or nullptr when it failed or timed out.
DBusMessage *call(DBusConnection *bus, DBusMessage *message) {
  DBusError error;
  dbus_error_init(&error);
  DBusMessage *reply = dbus_connection_send_with_reply_and_block(bus, message, kCallMilliseconds, &error);
  dbus_message_unref(message);
  dbus_error_free(&error);
  return reply;
}

// RealtimeKit's highest priority for clients, or 0 when it does not say.
uint32_t highestPriority(DBusConnection *bus) {
  DBusMessage *message = dbus_message_new_method_call(kService, kPath, "org.freedesktop.DBus.Properties", "Get");
  if (!message)
    return 0;
  const char *interface = kService;
  const char *property = "MaxRealtimePriority";
  dbus_message_append_args(message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
  DBusMessage *reply = call(bus, message);
  if (!reply)
    return 0;
  int32_t priority = 0;
  DBusMessageIter iter, variant;
  if (dbus_message_iter_init(reply, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
    dbus_message_iter_recurse(&iter, &variant);
    if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT32)
      dbus_message_iter_get_basic(&variant, &priority);
  }
  dbus_message_unref(reply);
  return static_cast<uint32_t>(std::max(priority, 0));
}

bool makeRealtime(DBusConnection *bus, uint32_t priority) {
  DBusMessage *message = dbus_message_new_method_call(kService, kPath, kService, "MakeThreadRealtime");
  if (!message)
    return false;
  dbus_uint64_t thread = static_cast<dbus_uint64_t>(syscall(SYS_gettid));
  dbus_message_append_args(message, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &priority, DBUS_TYPE_INVALID);
  DBusMessage *reply = call(bus, message);
  if (!reply)
    return false;
  const bool granted = dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
  dbus_message_unref(reply);
  return granted;
}

void limitRealtimeTime() {
  rlimit limit{};
  if (getrlimit(RLIMIT_RTTIME, &limit) == 0 && limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= kRealtimeMicroseconds)
    return;
  limit.rlim_cur = limit.rlim_max = kRealtimeMicroseconds;
  setrlimit(RLIMIT_RTTIME, &limit);
}

} // namespace

bool askRealtimeForThisThread() {
  DBusError error;
  dbus_error_init(&error);
  DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
  dbus_error_free(&error);
  if (!bus)
    return false;
  dbus_connection_set_exit_on_disconnect(bus, FALSE);
  bool granted = false;
  if (const uint32_t highest = highestPriority(bus)) {
    limitRealtimeTime();
    granted = makeRealtime(bus, std::min(highest, kWantedPriority));
  }
  dbus_connection_close(bus);
  dbus_connection_unref(bus);
  return granted;
}

} // namespace lyt
