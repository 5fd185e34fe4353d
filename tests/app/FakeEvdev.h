// The kernel's side of the input devices that InputDevices makes: their device files are FIFOs,
// and this answers the evdev requests that libevdev makes of them (identity, capabilities, key
// state, grabs), fails every read of an unplugged one with ENODEV, and makes reads fail on demand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lyt::test::fakeevdev {

// path: a FIFO that now stands for a device with these key codes.
void add(const std::string &path, const std::string &name, uint16_t vendor, uint16_t product,
         const std::vector<uint16_t> &keys);
// From now on its reads fail with ENODEV, as the kernel's do once a device is unplugged.
void unplug(const std::string &path);
void remove(const std::string &path);
// The keys the device holds down, as EVIOCGKEY reports them.
void setKeysDown(const std::string &path, const std::vector<uint16_t> &keys);
// The next `count` reads of the device fail with `error`.
void failReads(const std::string &path, int error, int count);

} // namespace lyt::test::fakeevdev
