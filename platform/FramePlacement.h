// Placing a top-level window by the outer corner of its frame, which the window manager draws.
#pragma once

#include <QPoint>

class QWidget;

// Puts the frame's top-left corner (what pos() reports once the window is framed) at `corner`.
// Until the window manager has framed a window its frame is unknown and the client area goes
// there instead: the window is moved again as soon as its frame is known.
void moveFrameTo(QWidget *window, QPoint corner);
// Where the frame's corner is, or is being put: while the window manager has not yet left it at
// the corner asked for, that corner (a window closed at once, on the way there, keeps its place).
QPoint frameCorner(const QWidget *window);
