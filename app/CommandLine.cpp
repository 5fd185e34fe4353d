// Reading the command line.
#include "CommandLine.h"

#include "CommandNames.h"

#include <QCoreApplication>

#include <string_view>

namespace {

// In the language installed with useLanguage(); the Japanese text while none is.
std::string translated(const char *text, const std::string &program, const std::string &argument = {}) {
  QString result = QCoreApplication::translate("CommandLine", text).arg(QString::fromStdString(program));
  if (!argument.empty())
    result = result.arg(QString::fromLocal8Bit(argument.c_str()));
  return result.toStdString();
}

std::string usage(const std::string &program) {
  std::string text = translated(QT_TRANSLATE_NOOP("CommandLine",
                                                  "使い方: %1 [FILE]\n"
                                "        %1 --command NAME\n"
                                "\n"
                                "FILE (なければ前回のファイル) を、起動中のプレーヤーか新しいプレーヤーで再生します.\n"
                                "\n"
                                "  --command NAME  起動中のプレーヤーで機能を一つ実行します (デスクトップの\n"
                                "                  ショートカットなどから). NAME は下の名前か、その番号 1-24\n"
                                "  --help          この説明を表示します\n"
                                "  --version       バージョンを表示します\n"
                                "  --              オプションの終わり\n"
                                "\n"
                                "コマンド:"),
                                program);
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
    return refuse(translated(QT_TRANSLATE_NOOP("CommandLine", "%1: 不明なコマンド '%2'\n\n"), program, std::string(name)) + usage(program));
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
      return refuse(translated(QT_TRANSLATE_NOOP("CommandLine", "%1: --command には NAME が必要です\n\n"), program) + usage(program));
    else
      return refuse(translated(QT_TRANSLATE_NOOP("CommandLine", "%1: 不明なオプション '%2'\n'%1 --help' で使い方を表示します.\n"),
                               program, std::string(arg)));
  }
  return line;
}
