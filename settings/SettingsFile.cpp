// The settings file's sections, keys, defaults and order of writing.
#include "SettingsFile.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kCommon[] = "Common";
const char kWaveFile[] = "WaveFile";
const char kEqualizer[] = "Equalizer";
const char kPosition[] = "Position";
const char kKeyMap[] = "KeyMap";
const char kWindow[] = "Window";
const char kClarity[] = "Clarity";
const char kPauses[] = "Pauses";
const char kRecentFiles[] = "RecentFiles";
const char kWaveform[] = "Waveform";
const char kEmptyBinding[] = "000,000,00";

std::string executableDir() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0)
    return ".";
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

std::string configDir() {
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  const char *home = std::getenv("HOME");
  std::string base = xdg && *xdg ? xdg : std::string(home ? home : ".") + "/.config";
  mkdir(base.c_str(), 0700);
  const std::string dir = base + "/lystrel2";
  mkdir(dir.c_str(), 0700);
  return dir;
}

int32_t low32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

// Leading blanks, then digits up to the first other character.
int32_t fieldValue(const std::string &entry, size_t from, size_t width) {
  int32_t value = 0;
  size_t i = from;
  const size_t end = std::min(entry.size(), from + width);
  while (i < end && entry[i] == ' ')
    ++i;
  for (; i < end && entry[i] >= '0' && entry[i] <= '9'; ++i)
    value = value * 10 + (entry[i] - '0');
  return value;
}

// Keys "1" to "10", newest first; an entry that does not read is left out.
TRecentFiles readRecentFiles(const IniFile &file) {
  TRecentFiles list;
  for (size_t n = 1; n <= TRecentFiles::kKept; ++n) {
    TRecentFile entry;
    if (parseRecentFile(file.readString(kRecentFiles, std::to_string(n), ""), entry))
      list.append(entry);
  }
  return list;
}

// A name that the file cannot hold is not remembered; the keys of a list grown shorter go.
void writeRecentFiles(IniFile &file, const TRecentFiles &list) {
  size_t written = 0;
  for (const TRecentFile &entry : list.entries())
    if (file.writeString(kRecentFiles, std::to_string(written + 1), formatRecentFile(entry)))
      ++written;
  for (size_t n = written + 1; n <= TRecentFiles::kKept; ++n)
    file.removeKey(kRecentFiles, std::to_string(n));
}

} // namespace

std::string IniPath() {
  if (const char *forced = std::getenv("LYSTREL2_INI"); forced && *forced)
    return forced;
  const std::string dir = executableDir();
  const std::string beside = dir + "/Lyt2.ini";
  // A program run from its build folder has its hook library beside it and keeps its settings there;
  // an installed one (the hook library under lib/) keeps them with the user, even when run by root.
  const bool installed = dir.rfind("/usr/", 0) == 0 || dir == "/bin" || dir == "/sbin" ||
                         access((dir + "/libTarvix2.so").c_str(), F_OK) != 0;
  if (!installed &&
      (access(beside.c_str(), W_OK) == 0 || (access(beside.c_str(), F_OK) != 0 && access(dir.c_str(), W_OK) == 0)))
    return beside;
  return configDir() + "/Lyt2.ini";
}

std::string formatKeyMapEntry(const KeyBinding &b) {
  if (b.Command == 0)
    return kEmptyBinding;
  const std::string modifiers = "000" + std::to_string(b.Modifiers);
  char rest[32];
  std::snprintf(rest, sizeof rest, ",%3d,%2d", b.KeyCode, b.Command);
  return modifiers.substr(modifiers.size() - 3) + rest;
}

KeyBinding parseKeyMapEntry(const std::string &entry) {
  return KeyBinding{fieldValue(entry, 0, 3), fieldValue(entry, 4, 3), fieldValue(entry, 8, 2)};
}

void readSettingsFile(const IniFile &file, TIniInfo &s, TKeyMap &keyMap, LoadedExtras &extras) {
  s.AudioFileName = file.readString(kWaveFile, "AudioFileName", "");
  s.Position = low32(file.readInteger(kWaveFile, "Position", 0));
  s.Tempo = low32(file.readInteger(kWaveFile, "Tempo", 0));
  s.Pitch = low32(file.readInteger(kWaveFile, "Pitch", 0));
  s.Volume = low32(file.readInteger(kWaveFile, "Volume", 50));
  s.RevSec = low32(file.readInteger(kWaveFile, "RevSec", 3));
  s.FfRwSec = low32(file.readInteger(kWaveFile, "FfRwSec", 5));
  s.DelimiterFileName = file.readString(kWaveFile, "DelimiterFileName", "");
  s.RepeatFlag = low32(file.readInteger(kWaveFile, "RepeatFlag", 0));
  s.RepeatPointA = low32(file.readInteger(kWaveFile, "RepeatPointA", 0));
  s.RepeatPointB = low32(file.readInteger(kWaveFile, "RepeatPointB", 0));
  s.ChangeSpeed = low32(file.readInteger(kWaveFile, "ChangeSpeed", 1));
  for (int band = 0; band < EqBands; ++band)
    extras.eqPositions[band] = file.readInteger(kEqualizer, "Range" + std::to_string(band), 10);
  s.NonLockMode = file.readBool(kWaveFile, "NonLockMode", false);
  for (int slot = 1; slot <= KeyMapSlots; ++slot)
    keyMap.slot(slot) = parseKeyMapEntry(file.readString(kKeyMap, std::to_string(slot), kEmptyBinding));
  s.TopMost = file.readBool(kWaveFile, "TopMost", false);
  s.DspMode = low32(file.readInteger(kWaveFile, "DspMode", 0));
  s.SelfHeight = low32(file.readInteger(kWindow, "SelfHeight", 250));
  s.SelfWidth = low32(file.readInteger(kWindow, "SelfWidth", 320));
  s.lblPosition2Left = low32(file.readInteger(kWindow, "lblPosition2Left", 186));
  s.lblPosition2Top = low32(file.readInteger(kWindow, "lblPosition2Top", 56));
  s.Denoise = file.readBool(kClarity, "Denoise", false);
  s.AutoLevel = file.readBool(kClarity, "Level", false);
  const int64_t channel = file.readInteger(kClarity, "Channel", 0);
  s.ChannelChoice = channel >= 0 && channel <= 2 ? static_cast<int32_t>(channel) : 0;
  s.RewindToPause = file.readBool(kPauses, "RewindToPause", false);
  s.ResumeAnyOpening = file.readBool(kRecentFiles, "ResumeAnyOpening", false);
  s.RecentFiles = readRecentFiles(file);
  s.ShowWaveform = file.readBool(kWaveform, "Shown", false);
}

void writeSettingsFile(IniFile &f, const TIniInfo &s, const TKeyMap &keyMap, const LiveValues &live) {
  f.writeString(kCommon, "Version", "ver0.1");
  // A name that the file cannot hold is not remembered; the place in the file remembered with the
  // previous name stays with it.
  if (f.writeString(kWaveFile, "AudioFileName", s.AudioFileName))
    f.writeInteger(kWaveFile, "Position", low32(live.position));
  f.writeInteger(kWaveFile, "RevSec", s.RevSec);
  f.writeInteger(kWaveFile, "FfRwSec", s.FfRwSec);
  f.writeString(kWaveFile, "DelimiterFileName", s.DelimiterFileName);
  f.writeInteger(kWaveFile, "Tempo", live.tempo);
  f.writeInteger(kWaveFile, "Pitch", live.pitch);
  f.writeInteger(kWaveFile, "Volume", live.volume);
  f.writeInteger(kWaveFile, "RepeatFlag", live.repeatState);
  f.writeInteger(kWaveFile, "RepeatPointA", low32(s.RepeatPointA));
  f.writeInteger(kWaveFile, "RepeatPointB", low32(s.RepeatPointB));
  f.writeInteger(kWaveFile, "ChangeSpeed", s.ChangeSpeed);
  for (int band = 0; band < EqBands; ++band)
    f.writeInteger(kEqualizer, "Range" + std::to_string(band), live.eqPositions[band]);
  f.writeInteger(kPosition, "Top", live.windowTop);
  f.writeInteger(kPosition, "Left", live.windowLeft);
  f.writeBool(kWaveFile, "NonLockMode", s.NonLockMode);
  for (int slot = 1; slot <= KeyMapSlots; ++slot)
    f.writeString(kKeyMap, std::to_string(slot), formatKeyMapEntry(keyMap.slot(slot)));
  f.writeBool(kWaveFile, "TopMost", s.TopMost);
  f.writeInteger(kWaveFile, "DspMode", s.DspMode);
  f.writeInteger(kWindow, "SelfHeight", s.SelfHeight);
  f.writeInteger(kWindow, "SelfWidth", s.SelfWidth);
  f.writeInteger(kWindow, "lblPosition2Left", s.lblPosition2Left);
  f.writeInteger(kWindow, "lblPosition2Top", s.lblPosition2Top);
  f.writeBool(kClarity, "Denoise", s.Denoise);
  f.writeBool(kClarity, "Level", s.AutoLevel);
  f.writeInteger(kClarity, "Channel", s.ChannelChoice);
  f.writeBool(kPauses, "RewindToPause", s.RewindToPause);
  f.writeBool(kRecentFiles, "ResumeAnyOpening", s.ResumeAnyOpening);
  writeRecentFiles(f, s.RecentFiles);
  f.writeBool(kWaveform, "Shown", s.ShowWaveform);
}
