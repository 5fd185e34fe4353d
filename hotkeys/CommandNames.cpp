// The names of the commands.
#include "CommandNames.h"

#include <charconv>

const std::array<std::string_view, KeyMapSlots> CommandNames = {
    "play-stop",      "fast-forward",   "rewind",          "reset",          "copy-counter", "enter-counter",
    "eq-120",         "eq-200",         "eq-400",          "eq-1200",        "eq-4k",        "eq-10k",
    "point-a",        "point-b",        "volume-up",       "volume-down",    "tempo-preset-1", "tempo-preset-2",
    "tempo-preset-3", "tempo-preset-4", "tempo-up",        "tempo-down",     "previous-phrase", "next-phrase"};

int commandByName(std::string_view name) {
  for (size_t i = 0; i < CommandNames.size(); ++i)
    if (CommandNames[i] == name)
      return static_cast<int>(i) + 1;
  int number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (error == std::errc() && end == name.data() + name.size() && number >= 1 && number <= KeyMapSlots)
    return number;
  return 0;
}
