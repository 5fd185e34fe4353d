// A folder standing in for /dev/input with its devices' sysfs attributes, and the input events
// written to a device, for the pedal tests and the pedal benchmark.
#pragma once

#include "FakeEvdev.h"
#include "PedalProbe.h"
#include "support/AudioFiles.h"

#include <QString>

#include <linux/input.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <cstdio>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace lyt::test {

inline void writeEvent(int fd, uint16_t type, uint16_t code, int32_t value) {
  input_event event{};
  event.type = type;
  event.code = code;
  event.value = value;
  if (::write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event))
    std::perror("writing an input event");
}

inline void writeKey(int fd, uint16_t code, int32_t value) {
  writeEvent(fd, EV_KEY, code, value);
  writeEvent(fd, EV_SYN, SYN_REPORT, 0);
}

// A folder standing in for /dev/input, with the sysfs attributes of its devices; each device file
// is a FIFO whose writing end the test keeps, as the kernel keeps a device's, and that answers as
// an evdev device (FakeEvdev.h).
class InputDevices {
public:
  InputDevices() {
    static int run = 0;
    root_ = scratchPath("input-" + std::to_string(::getpid()) + "-" + std::to_string(++run));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ + "/dev");
    std::filesystem::create_directories(root_ + "/sys");
  }
  ~InputDevices() {
    for (auto &[node, fd] : writers_)
      ::close(fd);
    for (const std::string &node : plugged_)
      fakeevdev::remove(path(node));
    std::filesystem::remove_all(root_);
  }
  QString devices() const { return QString::fromStdString(root_ + "/dev"); }
  QString sysfs() const { return QString::fromStdString(root_ + "/sys"); }
  std::string path(const std::string &node) const { return root_ + "/dev/" + node; }

  // keyBitmap: the "capabilities/key" attribute. Returns the writing end of the device.
  int plug(const std::string &node, const std::string &vendor, const std::string &product, const std::string &name,
           const std::string &keyBitmap) {
    const std::filesystem::path device = std::filesystem::path(root_) / "sys/class/input" / node / "device";
    std::filesystem::create_directories(device / "id");
    std::filesystem::create_directories(device / "capabilities");
    std::ofstream(device / "name") << name << "\n";
    std::ofstream(device / "id/vendor") << vendor << "\n";
    std::ofstream(device / "id/product") << product << "\n";
    std::ofstream(device / "capabilities/key") << keyBitmap << "\n";
    ::mkfifo(path(node).c_str(), 0600);
    fakeevdev::add(path(node), name, static_cast<uint16_t>(std::stoul(vendor, nullptr, 16)),
                   static_cast<uint16_t>(std::stoul(product, nullptr, 16)), keyCodesOfBitmap(keyBitmap));
    const int fd = ::open(path(node).c_str(), O_RDWR | O_CLOEXEC);
    writers_.emplace_back(node, fd);
    plugged_.push_back(node);
    return fd;
  }
  void unplug(const std::string &node) {
    fakeevdev::unplug(path(node));
    std::filesystem::remove(path(node));
    for (auto it = writers_.begin(); it != writers_.end(); ++it)
      if (it->first == node) {
        ::close(it->second);
        writers_.erase(it);
        return;
      }
  }

private:
  std::string root_;
  std::vector<std::pair<std::string, int>> writers_;
  std::vector<std::string> plugged_;
};

// BTN_0, BTN_1, BTN_2 (0x100..0x102): bits 0..2 of the fifth 64-bit word.
inline const std::string kThreeButtons = "7 0 0 0 0";
// A keyboard's letters (KEY_Q .. KEY_P, KEY_A ..) and BTN_0.
inline const std::string kKeysAndAButton = "1 0 0 0 7fe0000ff0000";

} // namespace lyt::test
