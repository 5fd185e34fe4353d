// Qt's own connection to the X server, for the few things Qt has no API for: the active window,
// the frame's place and client messages.
#pragma once

#include <xcb/xcb.h>

// Qt's connection, or null where Qt offers none (not on X).
xcb_connection_t *qtX11Connection();
// The atom of `name`, made when the server does not know it yet; 0 when the server does not answer.
xcb_atom_t internAtom(xcb_connection_t *c, const char *name);
