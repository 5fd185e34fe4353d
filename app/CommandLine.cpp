// Reading the command line.
#include "CommandLine.h"

#include "CommandNames.h"

#include <string_view>

namespace {

std::string usage(const std::string &program) {
  std::string text = "Usage: " + program + " [FILE]\n"
                     "       " + program + " --command NAME\n"
                     "\n"
                     "Plays FILE, or the file of the last run, in the running player or a new one.\n"
                     "\n"
                     "  --command NAME  run one command in the running player, e.g. from a desktop\n"
                     "                  shortcut; NAME is one of the names below or its number 1-22\n"
                     "  --help          show this text\n"
                     "  --version       show the version\n"
                     "  --              end of the options\n"
                     "\n"
                     "Commands:";
  for (size_t i = 0; i < CommandNames.size(); ++i)
    text += (i % 6 == 0 ? "\n  " : " ") + std::string(CommandNames[i]);
  return text + "\n";
}

CommandLine refuse(std::string text) {
  CommandLine line;
  line.action = CommandLine::Action::Refuse;
  line.text = std::move(text);
  line.exitCode = 2;
  return line;
}

CommandLine commandNamed(std::string_view name, const std::string &program) {
  CommandLine line;
  line.command = commandByName(name);
  if (line.command == 0)
    return refuse(program + ": unknown command '" + std::string(name) + "'\n\n" + usage(program));
  line.action = CommandLine::Action::Command;
  return line;
}

CommandLine print(std::string text) {
  CommandLine line;
  line.action = CommandLine::Action::Print;
  line.text = std::move(text);
  return line;
}

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv) {
  const std::string program = "lystrel2";
  CommandLine line;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (line.file.empty())
        line.file = arg;
      continue;
    }
    if (arg == "--")
      optionsEnded = true;
    else if (arg == "--help" || arg == "-h")
      return print(usage(program));
    else if (arg == "--version")
      return print("Lystrel2 " LYT_VERSION "\n");
    else if (arg == "--command" && i + 1 < argc)
      return commandNamed(argv[i + 1], program);
    else if (arg.starts_with("--command="))
      return commandNamed(arg.substr(10), program);
    else if (arg == "--command")
      return refuse(program + ": --command needs a NAME\n\n" + usage(program));
    else
      return refuse(program + ": unknown option '" + std::string(arg) + "'\nTry '" + program +
                    " --help'.\n");
  }
  return line;
}
