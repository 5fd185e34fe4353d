// A session bus of the process's own: dbus-daemon started with its address put into
// DBUS_SESSION_BUS_ADDRESS, so nothing reaches or depends on the user's desktop.
#pragma once

#include <sys/types.h>

// The daemon's process, or -1 when it could not be started. Call before the first use of the bus.
pid_t startPrivateSessionBus();
void stopPrivateSessionBus(pid_t bus);
