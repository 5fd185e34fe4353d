// The 22 commands' names on the command line and the desktop's shortcut lists ("play-stop" ...).
#pragma once

#include <array>
#include <string_view>

// By command id - 1.
extern const std::array<std::string_view, 22> CommandNames;

// The command id 1-22 of a name, or of its number written in decimal ("1" .. "22"); 0 when none.
int commandByName(std::string_view name);
