// Stands in for libc's ioctl and read in the test programs (they export both, so that libevdev's
// calls come here); every call about any other file goes on to libc unchanged.
#include "FakeEvdev.h"

#include <dlfcn.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace lyt::test::fakeevdev {
namespace {

struct Device {
  std::string name;
  input_id id{};
  std::vector<uint16_t> keys, down;
  int grabbedBy = -1; // the descriptor that holds the grab
  int readError = 0, failingReads = 0;
  bool unplugged = false;
};

using FileId = std::pair<dev_t, ino_t>;

std::mutex gLock;
std::map<FileId, Device> gDevices;
std::map<std::string, FileId> gPaths; // the file stays known by its path once it is unlinked
std::atomic<int> gDeviceCount{0};

bool fileIdOfPath(const std::string &path, FileId &id) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0)
    return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

// The device behind fd, or nothing; called with gLock held.
Device *deviceOf(int fd) {
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode))
    return nullptr;
  const auto found = gDevices.find({st.st_dev, st.st_ino});
  return found == gDevices.end() ? nullptr : &found->second;
}

Device *deviceAt(const std::string &path) {
  const auto known = gPaths.find(path);
  return known == gPaths.end() ? nullptr : &gDevices.at(known->second);
}

int bitmap(void *out, size_t size, const std::vector<uint16_t> &bits) {
  auto *bytes = static_cast<unsigned char *>(out);
  std::memset(bytes, 0, size);
  for (uint16_t bit : bits)
    if (bit / 8u < size)
      bytes[bit / 8u] |= static_cast<unsigned char>(1u << (bit % 8u));
  return static_cast<int>(size);
}

int failWith(int error) {
  errno = error;
  return -1;
}

int grab(Device &device, int fd, bool on) {
  if (on && device.grabbedBy >= 0 && device.grabbedBy != fd)
    return failWith(EBUSY);
  if (!on && device.grabbedBy != fd)
    return failWith(EINVAL);
  device.grabbedBy = on ? fd : -1;
  return 0;
}

// The requests whose size is part of the request.
int sizedRequest(Device &device, unsigned long request, void *arg) {
  const size_t size = _IOC_SIZE(request);
  const unsigned long withoutSize = request & ~(static_cast<unsigned long>(_IOC_SIZEMASK) << _IOC_SIZESHIFT);
  if (withoutSize == EVIOCGNAME(0)) {
    std::strncpy(static_cast<char *>(arg), device.name.c_str(), size);
    return static_cast<int>(std::min(size, device.name.size() + 1));
  }
  if (withoutSize == EVIOCGPHYS(0) || withoutSize == EVIOCGUNIQ(0))
    return failWith(ENOENT); // as for a uinput device
  if (withoutSize == EVIOCGBIT(0, 0))
    return bitmap(arg, size, {EV_SYN, EV_KEY});
  if (withoutSize == EVIOCGBIT(EV_KEY, 0))
    return bitmap(arg, size, device.keys);
  if (withoutSize == EVIOCGKEY(0))
    return bitmap(arg, size, device.down);
  if (_IOC_DIR(request) == _IOC_READ && _IOC_TYPE(request) == 'E')
    return bitmap(arg, size, {}); // other capabilities and states: none
  return failWith(EINVAL);
}

int answer(Device &device, int fd, unsigned long request, void *arg) {
  switch (request) {
  case EVIOCGRAB:
    return grab(device, fd, arg != nullptr);
  case EVIOCGVERSION:
    *static_cast<int *>(arg) = EV_VERSION;
    return 0;
  case EVIOCGID:
    *static_cast<input_id *>(arg) = device.id;
    return 0;
  default:
    return sizedRequest(device, request, arg);
  }
}

} // namespace

void add(const std::string &path, const std::string &name, uint16_t vendor, uint16_t product,
         const std::vector<uint16_t> &keys) {
  FileId id;
  if (!fileIdOfPath(path, id))
    return;
  std::lock_guard lock(gLock);
  Device device;
  device.name = name;
  device.id = input_id{BUS_USB, vendor, product, 1};
  device.keys = keys;
  gDevices[id] = std::move(device);
  gPaths[path] = id;
  gDeviceCount = static_cast<int>(gDevices.size());
}

void unplug(const std::string &path) {
  std::lock_guard lock(gLock);
  if (Device *device = deviceAt(path))
    device->unplugged = true;
}

void remove(const std::string &path) {
  std::lock_guard lock(gLock);
  const auto known = gPaths.find(path);
  if (known == gPaths.end())
    return;
  gDevices.erase(known->second);
  gPaths.erase(known);
  gDeviceCount = static_cast<int>(gDevices.size());
}

void setKeysDown(const std::string &path, const std::vector<uint16_t> &keys) {
  std::lock_guard lock(gLock);
  if (Device *device = deviceAt(path))
    device->down = keys;
}

void failReads(const std::string &path, int error, int count) {
  std::lock_guard lock(gLock);
  if (Device *device = deviceAt(path)) {
    device->readError = error;
    device->failingReads = count;
  }
}

} // namespace lyt::test::fakeevdev

using namespace lyt::test::fakeevdev;

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  static const auto real = reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);
  if (gDeviceCount.load() > 0 && _IOC_TYPE(request) == 'E') {
    std::lock_guard lock(gLock);
    if (Device *device = deviceOf(fd))
      return answer(*device, fd, request, arg);
  }
  return real(fd, request, arg);
}

extern "C" ssize_t read(int fd, void *buffer, size_t size) {
  static const auto real = reinterpret_cast<ssize_t (*)(int, void *, size_t)>(dlsym(RTLD_NEXT, "read"));
  if (gDeviceCount.load() > 0) {
    std::lock_guard lock(gLock);
    Device *device = deviceOf(fd);
    if (device && device->unplugged)
      return failWith(ENODEV);
    if (device && device->failingReads > 0) {
      --device->failingReads;
      return failWith(device->readError);
    }
  }
  return real(fd, buffer, size);
}
