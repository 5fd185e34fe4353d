#include "PedalStream.h"

#include <libevdev/libevdev.h>

#include <algorithm>
#include <cerrno>

PedalStream::PedalStream(std::vector<uint16_t> buttonCodes) : codes_(std::move(buttonCodes)) {
  if (codes_.size() > kMaxSwitches)
    codes_.resize(kMaxSwitches);
  held_.assign(codes_.size(), false);
}

int PedalStream::readFrom(libevdev *device, const Report &report) {
  unsigned int mode = LIBEVDEV_READ_FLAG_NORMAL;
  while (true) {
    input_event event{};
    const int result = libevdev_next_event(device, mode, &event);
    if (result == -EAGAIN && mode == LIBEVDEV_READ_FLAG_SYNC) {
      mode = LIBEVDEV_READ_FLAG_NORMAL; // caught up with the device
      continue;
    }
    if (result == -EAGAIN)
      return 0;
    if (result == -EINTR)
      continue;
    if (result < 0)
      return result;
    if (result == LIBEVDEV_READ_STATUS_SYNC && mode == LIBEVDEV_READ_FLAG_NORMAL) {
      // SYN_DROPPED: events were lost. libevdev now tells what changed meanwhile.
      mode = LIBEVDEV_READ_FLAG_SYNC;
      continue;
    }
    take(event, report);
  }
}

void PedalStream::take(const input_event &event, const Report &report) {
  if (event.type != EV_KEY)
    return;
  const auto found = std::find(codes_.begin(), codes_.end(), event.code);
  if (found == codes_.end())
    return;
  const auto index = static_cast<size_t>(found - codes_.begin());
  const int number = static_cast<int>(index) + 1;
  if (event.value == 0) {
    if (held_[index]) {
      held_[index] = false;
      report(number, false);
    }
  } else { // 1 pressed, 2 the device's own repeat
    held_[index] = true;
    report(number, true);
  }
}

void PedalStream::releaseAll(const Report &report) {
  for (size_t i = 0; i < held_.size(); ++i)
    if (held_[i]) {
      held_[i] = false;
      report(static_cast<int>(i) + 1, false);
    }
}

bool PedalStream::holds(int switchNumber) const {
  const auto index = static_cast<size_t>(switchNumber - 1);
  return index < held_.size() && held_[index];
}
