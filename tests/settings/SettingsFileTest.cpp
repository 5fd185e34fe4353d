// The settings file: the INI rules, the keys' forms and defaults, and the order of the first save.
#include "IniFile.h"
#include "SettingsFile.h"
#include "support/WithoutPermissionOverride.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

IniFile fromText(const std::string &text) {
  char name[] = "/tmp/lyt-ini-XXXXXX";
  const int fd = mkstemp(name);
  [[maybe_unused]] const ssize_t n = write(fd, text.data(), text.size());
  close(fd);
  IniFile file = IniFile::load(name);
  std::remove(name);
  return file;
}

TEST(IniFile, NamesIgnoreCaseAndValuesKeepTheirBytes) {
  const IniFile file = fromText("; a comment\r\n[wavefile]\r\nAUDIOFILENAME = /music/\xe9t\xe9.mp3\r\nVolume=0x20\r\n"
                                "Position=abc\r\nTempo=-15\r\nPitch=7z\r\n");
  EXPECT_EQ(file.readString("WaveFile", "AudioFileName", "-"), "/music/\xe9t\xe9.mp3");
  EXPECT_EQ(file.readInteger("WaveFile", "Volume", 50), 32);
  EXPECT_EQ(file.readInteger("WaveFile", "Position", 0), 0) << "unparsable gives the default";
  EXPECT_EQ(file.readInteger("WaveFile", "Tempo", 0), -15);
  EXPECT_EQ(file.readInteger("WaveFile", "Missing", 9), 9);
  EXPECT_EQ(file.readInteger("Other", "Volume", 9), 9);
}

TEST(IniFile, DamagedValuesGiveTheDefaultAndAByteOrderMarkIsIgnored) {
  const IniFile file = fromText("\xEF\xBB\xBF[WaveFile]\nPitch=7z\nTempo=2147483648\nVolume=-2147483649\n"
                                "RevSec=0xFFFFFFFF\nFfRwSec=0x100000000\nRepeatFlag=-2147483648\n");
  EXPECT_EQ(file.readInteger("WaveFile", "Pitch", 0), 0) << "trailing junk";
  EXPECT_EQ(file.readInteger("WaveFile", "Tempo", 0), 0);
  EXPECT_EQ(file.readInteger("WaveFile", "Volume", 50), 50);
  EXPECT_EQ(file.readInteger("WaveFile", "RevSec", 3), 0xFFFFFFFF) << "32 bits spelt in hexadecimal";
  EXPECT_EQ(file.readInteger("WaveFile", "FfRwSec", 5), 5);
  EXPECT_EQ(file.readInteger("WaveFile", "RepeatFlag", 0), INT32_MIN);
}

TEST(IniFile, EveryValueThatCanBeWrittenReadsBackByteForByte) {
  IniFile file;
  const std::vector<std::string> values{" leading", "trailing\t", "\"quoted\"", "'single'", "\"", "a \"b\" c", ""};
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_TRUE(file.writeString("S", std::to_string(i), values[i]));
  EXPECT_FALSE(file.writeString("S", "broken", "/rec/a\n[KeyMap]\n1=000,065, 1"));
  EXPECT_FALSE(file.writeString("S", "broken", "a\rb"));
  char name[] = "/tmp/lyt-ini-XXXXXX";
  close(mkstemp(name));
  ASSERT_TRUE(file.save(name));
  const IniFile back = IniFile::load(name);
  std::remove(name);
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(back.readString("S", std::to_string(i), "-"), values[i]);
  EXPECT_EQ(back.readString("S", "broken", "-"), "-");
  EXPECT_EQ(back.lines().size(), values.size() + 1);
}

TEST(IniFile, ValuesAreReadUpTo2047Characters) {
  const IniFile file = fromText("[S]\nK=" + std::string(3000, 'x') + "\n");
  EXPECT_EQ(file.readString("S", "K", "").size(), 2047u);
}

TEST(IniFile, WritesInPlaceAppendToTheirSectionAndKeepEverythingElse) {
  IniFile file = fromText("; kept\n[Common]\nVersion=old\nUnknown=keep me\n\n[Mine]\nx=1\n");
  file.writeString("COMMON", "version", "ver0.1");
  file.writeString("Common", "Added", "yes");
  file.writeString("New", "Key", "");
  const std::vector<std::string> expected{"; kept",      "[Common]", "version=ver0.1", "Unknown=keep me",
                                          "Added=yes",   "",         "[Mine]",         "x=1",
                                          "[New]",       "Key="};
  EXPECT_EQ(file.lines(), expected);
}

TEST(IniFile, SavingReplacesTheFileWholeOrNotAtAll) {
  char dir[] = "/tmp/lyt-save-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/Lyt2.ini";
  IniFile file;
  file.writeString("S", "K", "1");
  ASSERT_TRUE(file.save(path));
  EXPECT_EQ(IniFile::load(path).readString("S", "K", ""), "1");
  if (geteuid() != 0) { // root writes anywhere
    chmod(dir, 0500);
    file.writeString("S", "K", "2");
    EXPECT_FALSE(file.save(path));
    chmod(dir, 0700);
    EXPECT_EQ(IniFile::load(path).readString("S", "K", ""), "1") << "the old file is intact";
  }
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(IniFile, AWriteThatRunsOutOfRoomLeavesTheOldFileIntact) {
  char dir[] = "/tmp/lyt-full-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/Lyt2.ini";
  IniFile small;
  small.writeString("S", "K", "old");
  ASSERT_TRUE(small.save(path));
  IniFile large;
  large.writeString("S", "K", std::string(100000, 'x'));
  // A file-size limit fails the write the way a full disk does.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &limited);
  const bool saved_ok = large.save(path);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(IniFile::load(path).readString("S", "K", ""), "old");
  std::remove(path.c_str());
  rmdir(dir);
}

std::string textOf(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(IniFile, SavingThroughALinkReplacesItsTargetAndAReadOnlyFileIsLeftAsItIs) {
  char dir[] = "/tmp/lyt-link-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string target = std::string(dir) + "/dotfiles/Lyt2.ini";
  const std::string link = std::string(dir) + "/Lyt2.ini";
  std::filesystem::create_directory(std::string(dir) + "/dotfiles");
  std::filesystem::create_symlink("dotfiles/Lyt2.ini", link);
  IniFile file;
  file.writeString("S", "K", "1");
  ASSERT_TRUE(file.save(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(IniFile::load(target).readString("S", "K", ""), "1");
  chmod(target.c_str(), 0444);
  file.writeString("S", "K", "2");
  {
    lyt::test::WithoutPermissionOverride asTheUser;
    EXPECT_FALSE(file.save(link));
  }
  EXPECT_EQ(IniFile::load(target).readString("S", "K", ""), "1");
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0444));
  std::filesystem::remove_all(dir);
}

// Some editors save with UTF-16 and its byte-order mark.
TEST(IniFile, Utf16WithAByteOrderMarkIsReadAndSavedAsUtf8KeepingEveryLine) {
  const std::u16string text = u"; メモ\r\n[WaveFile]\r\nAudioFileName=/録音/🎙.mp3\r\nVolume=33\r\n";
  const std::string utf8 = "; メモ\n[WaveFile]\nAudioFileName=/録音/🎙.mp3\nVolume=50\n";
  for (const bool bigEndian : {false, true}) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
      const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
      bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    IniFile file = fromText(bytes);
    EXPECT_EQ(file.readString("WaveFile", "AudioFileName", ""), "/録音/🎙.mp3") << bigEndian;
    EXPECT_EQ(file.readInteger("WaveFile", "Volume", 0), 33) << bigEndian;
    file.writeInteger("WaveFile", "Volume", 50);
    char name[] = "/tmp/lyt-ini-XXXXXX";
    close(mkstemp(name));
    ASSERT_TRUE(file.save(name));
    EXPECT_EQ(textOf(name), utf8) << bigEndian;
    std::remove(name);
  }
}

TEST(KeyMapEntries, AreTenCharactersByFixedColumns) {
  EXPECT_EQ(formatKeyMapEntry({8, 112, 2}), "008,112, 2");
  EXPECT_EQ(formatKeyMapEntry({12, 65, 13}), "012, 65,13");
  EXPECT_EQ(formatKeyMapEntry({4, 37, 0}), "000,000,00") << "an empty slot";
  EXPECT_EQ(parseKeyMapEntry("004, 37, 3"), (KeyBinding{4, 37, 3}));
  EXPECT_EQ(parseKeyMapEntry("8,112,2"), (KeyBinding{8, 2, 0})) << "hand-edited, not padded";
  EXPECT_EQ(parseKeyMapEntry("024,017,01"), (KeyBinding{24, 17, 1}));
  EXPECT_EQ(parseKeyMapEntry(""), (KeyBinding{0, 0, 0}));
}

TEST(SettingsFile, NoFileGivesTheDefaults) {
  TIniInfo settings;
  settings.RevSec = 99;
  TKeyMap keyMap;
  keyMap.slot(5) = {8, 70, 5};
  LoadedExtras extras;
  readSettingsFile(IniFile(), settings, keyMap, extras);
  EXPECT_EQ(settings.RevSec, 3);
  EXPECT_EQ(settings.FfRwSec, 5);
  EXPECT_EQ(settings.Volume, 50);
  EXPECT_EQ(settings.ChangeSpeed, 1);
  EXPECT_EQ(settings.SelfHeight, 250);
  EXPECT_EQ(settings.SelfWidth, 320);
  EXPECT_EQ(settings.lblPosition2Left, 186);
  EXPECT_EQ(settings.lblPosition2Top, 56);
  EXPECT_FALSE(settings.TopMost);
  EXPECT_EQ(keyMap, TKeyMap()) << "no hot key acts";
  for (int64_t position : extras.eqPositions)
    EXPECT_EQ(position, 10);
}

TEST(SettingsFile, HandEditedValuesReadAsTheyShould) {
  const IniFile file = fromText("[WaveFile]\nTopMost=2\nRepeatPointA=-5\nPosition=4294967298\n[Equalizer]\n"
                                "Range3=25\n[KeyMap]\n1=008,112, 1\n2=008,112, 2\n");
  TIniInfo settings;
  TKeyMap keyMap;
  LoadedExtras extras;
  readSettingsFile(file, settings, keyMap, extras);
  EXPECT_TRUE(settings.TopMost);
  EXPECT_EQ(settings.RepeatPointA, -5);
  EXPECT_EQ(settings.Position, 0) << "beyond 32 bits gives the default";
  EXPECT_EQ(extras.eqPositions[3], 25) << "the slider clamps it, not the reader";
  EXPECT_EQ(keyMap.slot(2), (KeyBinding{8, 112, 2}));
}

TEST(SettingsFile, TheFirstSaveWritesTheKeysInTheirOrder) {
  TIniInfo settings;
  settings.AudioFileName = "/rec/interview.mp3";
  settings.TopMost = true;
  TKeyMap keyMap;
  keyMap.slot(1) = {0, 0x77, 1};
  keyMap.slot(13) = {12, 65, 13};
  LiveValues live;
  live.position = 83;
  live.tempo = -20;
  live.eqPositions = {0, 1, 2, 3, 4, 19};
  live.windowTop = 40;
  live.windowLeft = 30;
  IniFile file;
  writeSettingsFile(file, settings, keyMap, live);
  std::vector<std::string> expected{"[Common]", "Version=ver0.1", "[WaveFile]", "AudioFileName=/rec/interview.mp3",
                                    "Position=83", "RevSec=3", "FfRwSec=5", "DelimiterFileName=", "Tempo=-20",
                                    "Pitch=0", "Volume=50", "RepeatFlag=0", "RepeatPointA=0", "RepeatPointB=0",
                                    "ChangeSpeed=1", "NonLockMode=0", "TopMost=1", "DspMode=0", "[Equalizer]",
                                    "Range0=0", "Range1=1", "Range2=2", "Range3=3", "Range4=4", "Range5=19",
                                    "[Position]", "Top=40", "Left=30", "[KeyMap]", "1=000,119, 1"};
  for (int slot = 2; slot <= KeyMapSlots; ++slot)
    expected.push_back(std::to_string(slot) + (slot == 13 ? "=012, 65,13" : "=000,000,00"));
  for (const char *line : {"[Window]", "SelfHeight=250", "SelfWidth=320", "lblPosition2Left=186", "lblPosition2Top=56",
                           "[Clarity]", "Denoise=0", "Level=0", "Channel=0", "[Pauses]", "RewindToPause=0",
                           "[RecentFiles]", "ResumeAnyOpening=0", "[Waveform]", "Shown=0"})
    expected.push_back(line);
  EXPECT_EQ(file.lines(), expected);
}

// The phrase commands' slots 23 and 24 come after the first 22 in the same form: a file of the
// first versions leaves them empty, and one that has them keeps the first 22 as they were.
TEST(SettingsFile, TheKeyMapLoadsWithAndWithoutThePhraseSlots) {
  const std::string first22 = "[KeyMap]\n1=000,119, 1\n22=000, 66,22\n";
  TIniInfo settings;
  TKeyMap older, newer;
  LoadedExtras extras;
  readSettingsFile(fromText(first22), settings, older, extras);
  EXPECT_EQ(older.slot(1), (KeyBinding{0, 119, 1}));
  EXPECT_EQ(older.slot(22), (KeyBinding{0, 66, 22}));
  EXPECT_EQ(older.slot(23), KeyBinding{});
  EXPECT_EQ(older.slot(24), KeyBinding{});
  EXPECT_FALSE(settings.RewindToPause);
  readSettingsFile(fromText(first22 + "23=008, 37,23\n24=008, 39,24\n[Pauses]\nRewindToPause=1\n"), settings, newer,
                   extras);
  EXPECT_EQ(newer.slot(23), (KeyBinding{ModCtrl, 0x25, PreviousPhraseCommand}));
  EXPECT_EQ(newer.slot(24), (KeyBinding{ModCtrl, 0x27, NextPhraseCommand}));
  EXPECT_TRUE(settings.RewindToPause);
  IniFile saved = fromText(first22);
  writeSettingsFile(saved, settings, newer, LiveValues());
  EXPECT_EQ(saved.readString("KeyMap", "22", ""), "000, 66,22");
  EXPECT_EQ(saved.readString("KeyMap", "23", ""), "008, 37,23");
  EXPECT_EQ(saved.readString("KeyMap", "24", ""), "008, 39,24");
}

TEST(SettingsFile, AFileNameWithALineBreakIsNotRememberedAndThePreviousPlaceStays) {
  IniFile file = fromText("[WaveFile]\nAudioFileName=/rec/before.mp3\nPosition=61\n");
  TIniInfo settings;
  settings.AudioFileName = "/rec/two\nlines.mp3";
  LiveValues live;
  live.position = 5;
  writeSettingsFile(file, settings, TKeyMap(), live);
  EXPECT_EQ(file.readString("WaveFile", "AudioFileName", ""), "/rec/before.mp3");
  EXPECT_EQ(file.readInteger("WaveFile", "Position", 0), 61);
  EXPECT_EQ(file.readString("KeyMap", "1", ""), "000,000,00");
}

TEST(RecentFiles, TheNewestComesFirstWithItsPlaceAndTenAreKept) {
  TRecentFiles list;
  for (int n = 1; n <= 11; ++n)
    list.putFirst("/rec/" + std::to_string(n) + ".mp3");
  list.keepPlace({"/rec/5.mp3", 754, 3, 700, 760, -10});
  list.keepPlace({"/rec/1.mp3", 9, 0, 0, 0, 0});
  list.putFirst("/rec/5.mp3");
  ASSERT_EQ(list.entries().size(), 10u);
  EXPECT_EQ(list.entries()[0], (TRecentFile{"/rec/5.mp3", 754, 3, 700, 760, -10}));
  EXPECT_EQ(list.entries()[1].Path, "/rec/11.mp3");
  EXPECT_EQ(list.entries()[9].Path, "/rec/2.mp3");
  EXPECT_EQ(list.find("/rec/1.mp3"), nullptr) << "the eleventh is forgotten, and its place is not kept";
}

TEST(RecentFiles, PathsKeepTheirBytesALineBreakIsNotRememberedAndAShorterListLeavesNoKeys) {
  TIniInfo settings;
  const std::vector<std::string> paths{"/rec/r\xe9union, 2 = fin ", "/rec/two\nlines.mp3", "/rec/\"quoted\""};
  for (const std::string &path : paths)
    settings.RecentFiles.putFirst(path);
  settings.RecentFiles.keepPlace({paths[0], 61, 1, 60, 0, -4});
  IniFile file = fromText("[RecentFiles]\n1=1,0,0,0,0,/old/a.mp3\n2=1,0,0,0,0,/old/b.mp3\n3=1,0,0,0,0,/old/c.mp3\n"
                          "Future=kept\n");
  writeSettingsFile(file, settings, TKeyMap(), LiveValues());
  TIniInfo read;
  TKeyMap keyMap;
  LoadedExtras extras;
  readSettingsFile(file, read, keyMap, extras);
  ASSERT_EQ(read.RecentFiles.entries().size(), 2u);
  EXPECT_EQ(read.RecentFiles.entries()[0].Path, paths[2]);
  EXPECT_EQ(read.RecentFiles.entries()[1], (TRecentFile{paths[0], 61, 1, 60, 0, -4}));
  EXPECT_EQ(file.readString("RecentFiles", "3", "none"), "none");
  EXPECT_EQ(file.readString("RecentFiles", "Future", ""), "kept");
}

TEST(SettingsFile, TheFileLivesBesideTheProgramOrInTheUsersConfig) {
  unsetenv("LYSTREL2_INI");
  const std::string path = IniPath();
  EXPECT_TRUE(path.ends_with("/Lyt2.ini"));
  setenv("LYSTREL2_INI", "/tmp/elsewhere.ini", 1);
  EXPECT_EQ(IniPath(), "/tmp/elsewhere.ini");
  unsetenv("LYSTREL2_INI");
}

} // namespace
