// The settings file's keys, their text forms and their order, apart from the window that shows
// them.
#pragma once

#include "CommonTypes.h"
#include "IniFile.h"

#include <array>
#include <string>

// Where Lyt2.ini lives: $LYSTREL2_INI when set; else beside the executable when that folder (or
// the file there) is writable and the program is not installed under /usr; else
// $XDG_CONFIG_HOME/lystrel2/Lyt2.ini (~/.config by default), whose folder is made when missing.
std::string IniPath();

// "008,112, 2": modifiers zero-padded to three, key code and command right-aligned with blanks.
std::string formatKeyMapEntry(const KeyBinding &binding);
// Fixed columns 1-3, 5-7 and 9-10, each read as leading blanks then digits.
KeyBinding parseKeyMapEntry(const std::string &entry);

constexpr int EqBands = 6;

// What is read besides Settings and KeyMap: the equaliser slider positions.
struct LoadedExtras {
  std::array<int64_t, EqBands> eqPositions{};
};

void readSettingsFile(const IniFile &file, TIniInfo &settings, TKeyMap &keyMap, LoadedExtras &extras);

// The live values that the save takes from the window's controls.
struct LiveValues {
  int64_t position = 0;
  int32_t tempo = 0, pitch = 0, volume = 50;
  int32_t repeatState = 0;
  std::array<int32_t, EqBands> eqPositions{10, 10, 10, 10, 10, 10};
  int32_t windowTop = 0, windowLeft = 0;
};

// The fifty writes, in their order.
void writeSettingsFile(IniFile &file, const TIniInfo &settings, const TKeyMap &keyMap,
                       const LiveValues &live);
