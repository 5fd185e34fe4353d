// The switches of one pedal, from the input events that libevdev reads from its device file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct libevdev;
struct input_event;

class PedalStream {
public:
  // switchNumber counts from 1 in the device's button order.
  using Report = std::function<void(int switchNumber, bool pressed)>;
  static constexpr size_t kMaxSwitches = 4;

  // buttonCodes: the device's buttons in ascending order; the first four are its switches.
  explicit PedalStream(std::vector<uint16_t> buttonCodes);

  // Reads every event waiting on the device (its file opened non-blocking). A held switch repeats
  // its press. After events were lost (SYN_DROPPED) the switches follow the device's own state.
  // 0 once all is read, else the failed read's negative errno (-ENODEV: unplugged).
  int readFrom(libevdev *device, const Report &report);
  // Releases every switch still held, as when the device goes away.
  void releaseAll(const Report &report);
  bool holds(int switchNumber) const;

private:
  void take(const input_event &event, const Report &report);

  std::vector<uint16_t> codes_;
  std::vector<bool> held_;
};
