// A pedal switch pressed, sent to the widget that has the keyboard focus, as a key press is: a key
// field captures it.
#pragma once

#include <QEvent>

#include <cstdint>

class PedalEvent : public QEvent {
public:
  explicit PedalEvent(uint32_t key) : QEvent(eventType()), virtualKey(key) {}
  static QEvent::Type eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  const uint32_t virtualKey;
};
