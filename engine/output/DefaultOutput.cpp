// Which output plays: the sound server when one answers, SDL2 where none does, and otherwise a
// sound-server output that keeps waiting for a server, so that the program runs and sound comes
// as soon as one appears.
#include "output/OutputDevice.h"

#include <cstdlib>

namespace lyt {

std::unique_ptr<OutputDevice> openDefaultOutput(int rate, AudioFeed &feed, std::string &problem) {
  problem.clear();
  const char *driver = std::getenv("SDL_AUDIODRIVER");
  const bool driverNamed = driver && *driver;
  std::string serverWhy = "not tried, since SDL_AUDIODRIVER names a driver";
  if (!driverNamed)
    if (auto device = openPulseDevice(rate, feed, false, &serverWhy))
      return device;
  std::string deviceWhy;
  if (auto device = openSdlDevice(rate, feed, &deviceWhy))
    return device;
  problem = "no sound server answered (" + serverWhy + "), and no sound device could be opened (" + deviceWhy + ")";
  return openPulseDevice(rate, feed, true, nullptr);
}

} // namespace lyt
