// Key events to virtual-key codes, sharing the hook library's table.
#include "KeyCapture.h"

#include "VirtualKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <memory>

namespace {

struct KeySymbolsCloser {
  void operator()(xcb_key_symbols_t *k) const { xcb_key_symbols_free(k); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsCloser>;

// The keyboard map as it is now: read at each captured key (one round trip, only while a key
// field has the focus), so a layout switched since the last key is never seen stale.
KeySymbols currentKeyboardMap() {
  auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return KeySymbols(x11 ? xcb_key_symbols_alloc(x11->connection()) : nullptr);
}

// Without X (tests, other platforms): Qt's key codes.
uint32_t fromQtKey(const QKeyEvent *event) {
  const int key = event->key();
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  if (key >= Qt::Key_0 && key <= Qt::Key_9)
    return keypad ? 0x60 + (key - Qt::Key_0) : static_cast<uint32_t>(key);
  if (key >= Qt::Key_A && key <= Qt::Key_Z)
    return static_cast<uint32_t>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
    return 0x70 + (key - Qt::Key_F1);
  switch (key) {
  case Qt::Key_Shift:
    return vk::Shift;
  case Qt::Key_Control:
    return vk::Control;
  case Qt::Key_Alt:
    return vk::Alt;
  case Qt::Key_Left:
    return 0x25;
  case Qt::Key_Up:
    return 0x26;
  case Qt::Key_Right:
    return 0x27;
  case Qt::Key_Down:
    return 0x28;
  case Qt::Key_Space:
    return 0x20;
  case Qt::Key_Escape:
    return 0x1B;
  case Qt::Key_Backspace:
    return 0x08;
  case Qt::Key_Home:
    return 0x24;
  case Qt::Key_End:
    return 0x23;
  case Qt::Key_PageUp:
    return 0x21;
  case Qt::Key_PageDown:
    return 0x22;
  case Qt::Key_Insert:
    return 0x2D;
  case Qt::Key_Delete:
    return 0x2E;
  case Qt::Key_CapsLock:
    return 0xF0;
  case Qt::Key_ScrollLock:
    return 0x91;
  case Qt::Key_Pause:
    return 0x13;
  case Qt::Key_NumLock:
    return 0x90;
  case Qt::Key_Minus:
    return keypad ? 0x6D : 0xBD;
  case Qt::Key_Plus:
    return keypad ? 0x6B : 0xBB;
  case Qt::Key_Asterisk:
    return 0x6A;
  case Qt::Key_Comma:
    return 0xBC;
  case Qt::Key_Period:
    return keypad ? 0x6E : 0xBE;
  case Qt::Key_Slash:
    return keypad ? 0x6F : 0xBF;
  case Qt::Key_Semicolon:
    return 0xBA;
  case Qt::Key_At:
    return 0xC0;
  case Qt::Key_BracketLeft:
    return 0xDB;
  case Qt::Key_BracketRight:
    return 0xDD;
  case Qt::Key_Backslash:
    return 0xDC;
  default:
    return 0;
  }
}

} // namespace

uint32_t virtualKeyOf(const QKeyEvent *event) {
  const uint32_t keycode = event->nativeScanCode();
  const KeySymbols symbols = keycode ? currentKeyboardMap() : nullptr;
  if (!symbols)
    return fromQtKey(event);
  const auto code = static_cast<xcb_keycode_t>(keycode);
  const xcb_keysym_t unshifted = xcb_key_symbols_get_keysym(symbols.get(), code, 0);
  const xcb_keysym_t shifted = xcb_key_symbols_get_keysym(symbols.get(), code, 1);
  const bool numLock = event->nativeModifiers() & XCB_MOD_MASK_2;
  const bool keypadDigit = shifted >= 0xffb0 && shifted <= 0xffb9;
  return vk::fromKeysyms(numLock && keypadDigit ? shifted : unshifted, shifted, keycode);
}

int32_t modifierFlagsOf(const QKeyEvent *event, uint32_t virtualKey) {
  int32_t flags = vk::modifierFlagOf(virtualKey);
  if (event->modifiers() & Qt::ShiftModifier)
    flags |= 4;
  if (event->modifiers() & Qt::ControlModifier)
    flags |= 8;
  if (event->modifiers() & Qt::AltModifier)
    flags |= 16;
  return flags;
}
