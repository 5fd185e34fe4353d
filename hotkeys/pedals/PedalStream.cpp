#include "PedalStream.h"

#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr size_t kMaxSwitches = 4;
}

PedalStream::PedalStream(std::vector<uint16_t> buttonCodes) : codes_(std::move(buttonCodes)) {
  if (codes_.size() > kMaxSwitches)
    codes_.resize(kMaxSwitches);
  held_.assign(codes_.size(), false);
}

bool PedalStream::readFrom(int fd, const Report &report) {
  unsigned char buffer[64 * sizeof(input_event)];
  while (true) {
    const size_t kept = partial_.size();
    if (kept > 0)
      std::memcpy(buffer, partial_.data(), kept);
    const ssize_t got = ::read(fd, buffer + kept, sizeof buffer - kept);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0 && errno == EAGAIN)
      return true;
    if (got <= 0) { // end of the stream, or ENODEV: unplugged
      releaseAll(report);
      return false;
    }
    const size_t total = kept + static_cast<size_t>(got);
    size_t at = 0;
    for (; at + sizeof(input_event) <= total; at += sizeof(input_event)) {
      input_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      take(event.type, event.code, event.value, report);
    }
    partial_.assign(buffer + at, buffer + total);
  }
}

void PedalStream::take(uint16_t type, uint16_t code, int32_t value, const Report &report) {
  if (type != EV_KEY)
    return;
  const auto found = std::find(codes_.begin(), codes_.end(), code);
  if (found == codes_.end())
    return;
  const auto index = static_cast<size_t>(found - codes_.begin());
  const int number = static_cast<int>(index) + 1;
  if (value == 0) {
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
