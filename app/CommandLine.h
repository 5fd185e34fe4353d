// The program's command line: options first, then at most one file to open.
#pragma once

#include <string>

struct CommandLine {
  enum class Action {
    Start,   // become the instance (or hand `file` to the running one)
    Print,   // print `text` on standard output and exit 0 (--help, --version)
    Command, // run `command` in the running instance
    Refuse   // print `text` on standard error and exit `exitCode` (2)
  };
  Action action = Action::Start;
  std::string file; // empty when none was given
  int command = 0;  // 1-24
  std::string text;
  int exitCode = 0;
};

// argv[0] is the program's name. Options: --help, --version, --command NAME (or --command=NAME),
// and "--", after which every argument is a file. The first file is kept; later ones are ignored.
// The texts are in the language installed with useLanguage(), Japanese while there is none.
CommandLine parseCommandLine(int argc, const char *const *argv);
