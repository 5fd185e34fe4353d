// The switches of one pedal, from the input events read from its device file.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class PedalStream {
public:
  // switchNumber counts from 1 in the device's button order.
  using Report = std::function<void(int switchNumber, bool pressed)>;

  // buttonCodes: the device's key codes in ascending order; the first four are its switches.
  explicit PedalStream(std::vector<uint16_t> buttonCodes);

  // Reads every event waiting on fd (opened non-blocking). A held switch repeats its press. False
  // when the device is gone (end of the stream, or unplugged): its held switches are released.
  bool readFrom(int fd, const Report &report);
  // Releases every switch still held, as when the device goes away.
  void releaseAll(const Report &report);

private:
  void take(uint16_t type, uint16_t code, int32_t value, const Report &report);

  std::vector<uint16_t> codes_;
  std::vector<bool> held_;
  std::vector<unsigned char> partial_; // the start of an event split between two reads
};
