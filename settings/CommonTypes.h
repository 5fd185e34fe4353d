// The program-wide settings record and hot-key table, shared by every subsystem.
#pragma once

#include "RecentFiles.h"

#include <array>
#include <cstdint>
#include <string>

// Modifier flags of a key binding and of the hook library's message.
constexpr int32_t ModShift = 4;
constexpr int32_t ModCtrl = 8;
constexpr int32_t ModAlt = 16;

struct KeyBinding {
  int32_t Modifiers = 0; // sum of ModShift, ModCtrl, ModAlt
  int32_t KeyCode = 0;   // virtual-key code
  int32_t Command = 0;   // 1..KeyMapSlots; 0 = empty slot
};

// The 22 commands of the first versions, then 23 previous phrase and 24 next phrase. Slot n holds
// command n or is empty; a settings file of the first versions has no keys for 23 and 24.
constexpr int KeyMapSlots = 24;
constexpr int PreviousPhraseCommand = 23;
constexpr int NextPhraseCommand = 24;

// Slots 1..KeyMapSlots of the hot-key table; index 0 is slot 1.
class TKeyMap {
public:
  KeyBinding &slot(int number) { return slots_.at(number - 1); }
  const KeyBinding &slot(int number) const { return slots_.at(number - 1); }
  bool operator==(const TKeyMap &) const = default;

private:
  std::array<KeyBinding, KeyMapSlots> slots_{};
};

inline bool operator==(const KeyBinding &a, const KeyBinding &b) {
  return a.Modifiers == b.Modifiers && a.KeyCode == b.KeyCode && a.Command == b.Command;
}

// Paths are kept as the file system's bytes.
struct TIniInfo {
  std::string AudioFileName;
  int64_t Position = 0;
  int32_t Tempo = 0;
  int32_t Pitch = 0;
  int32_t Volume = 50;
  int32_t RevSec = 3;
  std::string DelimiterFileName;
  int32_t ChangeSpeed = 1;
  int32_t FfRwSec = 5;
  int32_t RepeatFlag = 0;
  int64_t RepeatPointA = 0;
  int64_t RepeatPointB = 0;
  bool NonLockMode = false;
  bool TopMost = false;
  int32_t DspMode = 0;
  int32_t SelfHeight = 250;
  int32_t SelfWidth = 320;
  int32_t lblPosition2Left = 186;
  int32_t lblPosition2Top = 56;
  // [Clarity]: what makes a poor recording clearer; ChannelChoice 0 both, 1 left, 2 right.
  bool Denoise = false;
  bool AutoLevel = false;
  int32_t ChannelChoice = 0;
  // [Pauses]: the rewind of a stop goes on to the start of the phrase, at a pause of speech.
  bool RewindToPause = false;
  // [RecentFiles]: the recordings opened last with their places. ResumeAnyOpening puts a listed
  // recording back at its place however it is opened, not only when it is chosen from the list.
  TRecentFiles RecentFiles;
  bool ResumeAnyOpening = false;
  // [Waveform] Shown: the waveform strip under the window.
  bool ShowWaveform = false;
};

extern TIniInfo Settings;
extern TKeyMap KeyMap;
