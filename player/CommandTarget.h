// What the player runs the commands on: the window, whose handlers carry out each command's steps.
#pragma once

#include <cstdint>

class CommandTarget {
public:
  // A command (1-22) of the key map, its key pressed.
  virtual void RunCommand(int32_t command) = 0;
  // The play/stop key released, in the mode where play lasts while the key is held.
  virtual void PlayStopKeyReleased() = 0;
  // A command sent without a key, by a second start.
  virtual void RunSentCommand(int32_t command) = 0;
  // The window and its dialogs are all there: nothing runs before.
  virtual bool StartUpFinished() const = 0;

protected:
  ~CommandTarget() = default;
};
