// Reading the command line: options, the one file, and the commands' names.
#include "CommandLine.h"
#include "CommandNames.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <vector>

namespace {

CommandLine parse(std::initializer_list<const char *> arguments) {
  std::vector<const char *> argv{"lystrel2"};
  argv.insert(argv.end(), arguments);
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, TheFirstArgumentIsTheFileAndDashDashEndsTheOptions) {
  EXPECT_EQ(parse({}).action, CommandLine::Action::Start);
  EXPECT_EQ(parse({}).file, "");
  EXPECT_EQ(parse({"/music/a b.mp3", "second.wav"}).file, "/music/a b.mp3");
  const CommandLine dashed = parse({"--", "--help"});
  EXPECT_EQ(dashed.action, CommandLine::Action::Start);
  EXPECT_EQ(dashed.file, "--help") << "after -- a name is a file, even one that looks like an option";
  EXPECT_EQ(parse({"-"}).file, "-");
}

TEST(CommandLine, HelpAndVersionArePrintedNotOpened) {
  const CommandLine help = parse({"--help"});
  EXPECT_EQ(help.action, CommandLine::Action::Print);
  EXPECT_NE(help.text.find("--command NAME"), std::string::npos);
  EXPECT_NE(help.text.find("tempo-preset-4"), std::string::npos);
  EXPECT_TRUE(help.file.empty());
  const CommandLine version = parse({"--version"});
  EXPECT_EQ(version.action, CommandLine::Action::Print);
  EXPECT_EQ(version.text, "Lystrel2 " LYT_VERSION "\n");
}

TEST(CommandLine, UnknownOptionsAndNamesAreRefusedWithExitTwo) {
  const CommandLine option = parse({"--frobnicate", "file.wav"});
  EXPECT_EQ(option.action, CommandLine::Action::Refuse);
  EXPECT_EQ(option.exitCode, 2);
  EXPECT_NE(option.text.find("--frobnicate"), std::string::npos);
  for (const CommandLine &line : {parse({"--command", "dance"}), parse({"--command", "25"}), parse({"--command"})}) {
    EXPECT_EQ(line.action, CommandLine::Action::Refuse);
    EXPECT_EQ(line.exitCode, 2);
    EXPECT_NE(line.text.find("play-stop fast-forward"), std::string::npos) << "the names are listed";
  }
}

TEST(CommandLine, EveryCommandByNameAndByNumber) {
  for (int id = 1; id <= KeyMapSlots; ++id) {
    const std::string name(CommandNames[id - 1]);
    const std::string number = std::to_string(id);
    EXPECT_EQ(parse({"--command", name.c_str()}).command, id) << name;
    EXPECT_EQ(parse({("--command=" + name).c_str()}).command, id) << name;
    EXPECT_EQ(parse({"--command", number.c_str()}).command, id);
    EXPECT_EQ(parse({"--command", name.c_str()}).action, CommandLine::Action::Command);
  }
  EXPECT_EQ(CommandNames[0], "play-stop");
  EXPECT_EQ(CommandNames[9], "eq-1200");
  EXPECT_EQ(CommandNames[21], "tempo-down");
  EXPECT_EQ(CommandNames[PreviousPhraseCommand - 1], "previous-phrase");
  EXPECT_EQ(CommandNames[NextPhraseCommand - 1], "next-phrase");
}

// Each way in from outside the window is named where a user looks for it: both help pages and the
// manual page (whose dashes are escaped).
TEST(CommandLine, TheHelpAndManPagesNameEveryWayIn) {
  for (const std::string page : {"resources/Lyt2Help.html", "resources/Lyt2Help-en.html", "resources/man/lystrel2.1"}) {
    std::ifstream in(std::string(LYT_SOURCE_DIR) + "/" + page);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (size_t at; (at = text.find("\\-")) != std::string::npos;)
      text.erase(at, 1);
    for (const char *door : {"GlobalShortcuts", "--command", "MPRIS", "70-lystrel2-pedals.rules"})
      EXPECT_NE(text.find(door), std::string::npos) << page << " says nothing of " << door;
  }
  std::ifstream man(std::string(LYT_SOURCE_DIR) + "/resources/man/lystrel2.1");
  const std::string manual{std::istreambuf_iterator<char>(man), std::istreambuf_iterator<char>()};
  const size_t options = manual.find(".SH OPTIONS");
  ASSERT_NE(options, std::string::npos);
  const std::string listed = manual.substr(options, manual.find(".SH", options + 1) - options);
  for (const char *option : {"\\-\\-command", "\\-\\-help", "\\-\\-version"})
    EXPECT_NE(listed.find(option), std::string::npos) << option;
}

} // namespace
