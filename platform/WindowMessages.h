// Registered window messages on X11: a name becomes an atom, and ClientMessages of that atom sent
// to one of our windows are handed to a function.
#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <functional>

class QWidget;

// The message id for `name`: its X atom, or, without an X connection, a number of this process's
// own (from 0xC000, the same name giving the same number). 0 when the X server refuses it.
uint32_t registerWindowMessage(const char *name);
// The id of the widget's live native window (it changes when the window is recreated).
unsigned long nativeWindowId(QWidget *window);
bool haveX11();

// Hands every ClientMessage to `deliver` (message, data[0], data[1]); those of an id made by
// registerWindowMessage are then done with, the others go on to Qt.
class WindowMessageFilter : public QAbstractNativeEventFilter {
public:
  using Deliver = std::function<void(uint32_t message, uint32_t wParam, uint32_t lParam)>;
  explicit WindowMessageFilter(Deliver deliver) : deliver_(std::move(deliver)) {}
  bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
  Deliver deliver_;
};
