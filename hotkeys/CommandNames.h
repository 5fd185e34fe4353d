// The commands' names on the command line and the desktop's shortcut lists ("play-stop" ...).
#pragma once

#include "CommonTypes.h"

#include <array>
#include <string_view>

// By command id - 1.
extern const std::array<std::string_view, KeyMapSlots> CommandNames;

// The command id 1-24 of a name, or of its number written in decimal ("1" .. "24"); 0 when none.
int commandByName(std::string_view name);
