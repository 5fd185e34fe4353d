// Placing a top-level window by the outer corner of its frame, which the window manager draws.
#pragma once

#include <QPoint>

class QWidget;

// Puts the frame's top-left corner (what pos() reports once the window is framed) at `corner`.
// Until the window manager has framed a window its frame is unknown and the client area goes
// there instead: the window is moved again as soon as its frame is known.
void moveFrameTo(QWidget *window, QPoint corner);
// Leaves the window where it is from now on: the user has taken it.
void stopPlacing(QWidget *window);
// Where the frame's corner is, as the X server has it, or is being put: until the window has been
// seen at the corner asked for, that corner (a window closed at once, on its way there, keeps its
// place).
QPoint frameCorner(QWidget *window);
