// Two real processes: the second start hands its file to the running one, waits, and ends.
#include "IniFile.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace lyt::test;

namespace {

class HandOff : public ::testing::Test {
protected:
  void SetUp() override {
    runtime_ = scratchPath("run-" + std::to_string(getpid()));
    mkdir(runtime_.c_str(), 0700);
    ini_ = scratchPath("handoff.ini");
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    setenv("LYSTREL2_INI", ini_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // The texts these tests look for are the English ones.
    setenv("LYSTREL2_LANG", "en", 1);
  }

  // Standard output and error go to the named files when given; the program starts in `folder`.
  static pid_t launch(const std::vector<std::string> &arguments, const std::string &out = "",
                      const std::string &err = "", const std::string &folder = "") {
    const pid_t pid = fork();
    if (pid == 0) {
      if (!folder.empty() && chdir(folder.c_str()) != 0)
        _exit(126);
      if (!out.empty())
        freopen(out.c_str(), "w", stdout);
      if (!err.empty())
        freopen(err.c_str(), "w", stderr);
      std::vector<char *> argv{const_cast<char *>(LYT_PROGRAM)};
      for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
      argv.push_back(nullptr);
      execv(LYT_PROGRAM, argv.data());
      _exit(127);
    }
    return pid;
  }

  // The exit status, or -1 when it did not end within the limit.
  static int waitFor(pid_t pid, std::chrono::seconds limit) {
    int status = 0;
    if (waitForExit(pid, status, limit))
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }

  bool waitForSocket() const {
    return waitUntil([this] { return std::filesystem::exists(runtime_ + "/lystrel2/instance.sock"); });
  }

  // Runs the program to its end; its exit code, standard output and standard error.
  struct Ran {
    int code;
    std::string out, err;
  };
  Ran run(const std::vector<std::string> &arguments) const {
    const std::string out = runtime_ + "/out.txt", err = runtime_ + "/err.txt";
    const int code = waitFor(launch(arguments, out, err), std::chrono::seconds(20));
    return {code, text(out), text(err)};
  }
  static std::string text(const std::string &path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string runtime_, ini_;
};

std::string longPathTo(const std::string &source, size_t length) {
  std::string dir = scratchPath("long");
  while (dir.size() + 60 < length)
    dir += "/" + std::string(50, 'd');
  std::filesystem::create_directories(dir);
  const std::string name = std::string(length - dir.size() - 1 - 4, 'f') + ".wav";
  const std::string path = dir + "/" + name;
  std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
  return path;
}

TEST_F(HandOff, ASecondStartHandsOverItsWholePathAndEnds) {
  const pid_t first = launch({fixture("pcm16.wav").path});
  ASSERT_TRUE(waitForSocket()) << "the first instance did not start listening";
  const std::string other = longPathTo(fixture("tone.flac").path, 300);
  ASSERT_EQ(other.size(), 300u);
  EXPECT_EQ(waitFor(launch({other}), std::chrono::seconds(20)), 0) << "the second start ends after the hand-off";
  EXPECT_EQ(waitFor(launch({}), std::chrono::seconds(20)), 0) << "a start without a file only shows the window";
  kill(first, SIGTERM);
  ASSERT_EQ(waitFor(first, std::chrono::seconds(20)), 0);
  EXPECT_EQ(IniFile::load(ini_).readString("WaveFile", "AudioFileName", ""), other)
      << "the running instance opened the whole path";
}

TEST_F(HandOff, ARelativePathIsMadeAbsoluteBeforeItIsRememberedOrHandedOver) {
  const auto split = [](const std::string &path) {
    return std::make_pair(path.substr(0, path.rfind('/')), path.substr(path.rfind('/') + 1));
  };
  const auto [folder, name] = split(fixture("pcm16.wav").path);
  const pid_t first = launch({"./" + name}, "", "", folder);
  ASSERT_TRUE(waitForSocket());
  kill(first, SIGTERM);
  ASSERT_EQ(waitFor(first, std::chrono::seconds(20)), 0);
  EXPECT_EQ(IniFile::load(ini_).readString("WaveFile", "AudioFileName", ""), fixture("pcm16.wav").path);
  const pid_t again = launch({}, "", "", "/");
  ASSERT_TRUE(waitForSocket());
  const auto [otherFolder, otherName] = split(fixture("tone.flac").path);
  EXPECT_EQ(waitFor(launch({otherName}, "", "", otherFolder), std::chrono::seconds(20)), 0);
  kill(again, SIGTERM);
  ASSERT_EQ(waitFor(again, std::chrono::seconds(20)), 0);
  EXPECT_EQ(IniFile::load(ini_).readString("WaveFile", "AudioFileName", ""), fixture("tone.flac").path);
}

TEST_F(HandOff, WithoutARunningInstanceTheStartBecomesTheInstance) {
  const pid_t first = launch({});
  ASSERT_TRUE(waitForSocket());
  kill(first, SIGTERM);
  EXPECT_EQ(waitFor(first, std::chrono::seconds(20)), 0);
  EXPECT_FALSE(std::filesystem::exists(runtime_ + "/lystrel2/instance.sock"));
  const pid_t again = launch({});
  EXPECT_TRUE(waitForSocket()) << "the lock was released with the first process";
  kill(again, SIGTERM);
  EXPECT_EQ(waitFor(again, std::chrono::seconds(20)), 0);
}

TEST_F(HandOff, CommandsRunInTheRunningInstance) {
  const pid_t first = launch({fixture("pcm16.wav").path});
  ASSERT_TRUE(waitForSocket());
  // Every command but the counter entry, which waits in its dialog for the user.
  for (const char *name : {"play-stop", "fast-forward", "rewind", "reset", "copy-counter", "eq-120", "eq-200",
                           "eq-400", "eq-1200", "eq-4k", "eq-10k", "point-a", "point-b", "volume-up",
                           "volume-down", "tempo-preset-1", "tempo-preset-2", "tempo-preset-3", "tempo-up",
                           "tempo-down", "tempo-preset-4", "tempo-up", "15", "--command=22"}) {
    const std::string arg = name;
    const Ran ran = run(arg.starts_with("--") ? std::vector<std::string>{arg} : std::vector<std::string>{"--command", arg});
    EXPECT_EQ(ran.code, 0) << name << ": " << ran.err;
  }
  EXPECT_EQ(run({"--command", "enter-counter"}).code, 0) << "answered before its dialog opens";
  kill(first, SIGKILL);
  waitFor(first, std::chrono::seconds(20));
}

TEST_F(HandOff, CommandsReachTheRunningInstanceInOrder) {
  std::ofstream(ini_) << "[WaveFile]\nChangeSpeed=10\n";
  const pid_t first = launch({fixture("pcm16.wav").path});
  ASSERT_TRUE(waitForSocket());
  for (const char *name : {"volume-up", "volume-up", "volume-up", "volume-down", "16", "tempo-preset-4", "tempo-down"})
    ASSERT_EQ(run({"--command", name}).code, 0) << name;
  kill(first, SIGTERM);
  ASSERT_EQ(waitFor(first, std::chrono::seconds(20)), 0);
  const IniFile ini = IniFile::load(ini_);
  EXPECT_EQ(ini.readInteger("WaveFile", "Volume", -1), 60);
  EXPECT_EQ(ini.readInteger("WaveFile", "Tempo", -1), 90) << "2.0 and one step down";
}

TEST_F(HandOff, ACommandWithoutARunningInstanceSaysSo) {
  const Ran ran = run({"--command", "play-stop"});
  EXPECT_EQ(ran.code, 1);
  EXPECT_NE(ran.err.find("no running player"), std::string::npos) << ran.err;
  EXPECT_FALSE(std::filesystem::exists(runtime_ + "/lystrel2/instance.sock")) << "it did not become the player";
}

// The hand-off of a file that cannot be opened shows its error box, which waits for the user.
TEST_F(HandOff, ACommandWhileABoxIsOpenIsRefusedAtOnceAsBusy) {
  const pid_t first = launch({fixture("pcm16.wav").path});
  ASSERT_TRUE(waitForSocket());
  const pid_t handOff = launch({scratchPath("no-such-recording.wav")});
  Ran ran{};
  ASSERT_TRUE(waitUntil([&] { return (ran = run({"--command", "volume-up"})).code == 3; }));
  EXPECT_NE(ran.err.find("busy"), std::string::npos) << ran.err;
  kill(first, SIGKILL);
  waitFor(first, std::chrono::seconds(20));
  waitFor(handOff, std::chrono::seconds(20));
}

// The second starts go away while the first one's error box is open, and the player is ended by a
// signal then: their sockets are gone by the time the box closes, and nothing may touch them.
TEST_F(HandOff, SecondStartsThatGoAwayBehindAnErrorBoxLeaveAPlayerThatEndsCleanly) {
  const pid_t first = launch({fixture("pcm16.wav").path});
  ASSERT_TRUE(waitForSocket());
  std::vector<pid_t> handOffs;
  for (const char *name : {"gone-1.wav", "gone-2.wav", "gone-3.wav"})
    handOffs.push_back(launch({scratchPath(name)}));
  ASSERT_TRUE(waitUntil([&] { return run({"--command", "volume-up"}).code == 3; })) << "the box is open";
  for (const pid_t handOff : handOffs) {
    kill(handOff, SIGKILL);
    waitFor(handOff, std::chrono::seconds(20));
  }
  kill(first, SIGTERM);
  EXPECT_EQ(waitFor(first, std::chrono::seconds(20)), 0);
}

TEST_F(HandOff, ACommandToAPlayerThatDoesNotAnswerGivesUpAfterTwoSeconds) {
  const std::string folder = runtime_ + "/lystrel2";
  mkdir(folder.c_str(), 0700);
  const int silent = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s/instance.sock", folder.c_str());
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  const Ran ran = run({"--command", "play-stop"});
  close(silent);
  EXPECT_EQ(ran.code, 1);
  EXPECT_NE(ran.err.find("did not answer"), std::string::npos) << ran.err;
}

// Without the lock a second window would run, and the two would overwrite each other's settings.
TEST_F(HandOff, ALockThatCannotBeOpenedEndsTheStartNamingIt) {
  const std::string folder = runtime_ + "/lystrel2";
  mkdir(folder.c_str(), 0700);
  std::filesystem::create_directory(folder + "/instance.lock"); // not a file: it cannot be opened
  const std::string err = runtime_ + "/err.txt";
  const pid_t start = launch({fixture("pcm16.wav").path}, "", err);
  // Its box waits for the user; what it says is on standard error as well.
  EXPECT_TRUE(waitUntil([&] { return text(err).find(folder + "/instance.lock") != std::string::npos; })) << text(err);
  EXPECT_FALSE(std::filesystem::exists(folder + "/instance.sock")) << "no window runs";
  kill(start, SIGKILL);
  waitFor(start, std::chrono::seconds(20));
}

TEST_F(HandOff, TheCommandLineSpeaksTheLanguageOfTheLocale) {
  unsetenv("LYSTREL2_LANG");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANGUAGE");
  setenv("LANG", "ja_JP.UTF-8", 1);
  const Ran help = run({"--help"});
  const Ran unknown = run({"--bogus"});
  const Ran absent = run({"--command", "play-stop"});
  setenv("LANG", "en_US.UTF-8", 1);
  const Ran english = run({"--help"});
  EXPECT_NE(help.out.find("使い方: lystrel2"), std::string::npos) << help.out;
  EXPECT_NE(unknown.err.find("不明なオプション '--bogus'"), std::string::npos) << unknown.err;
  EXPECT_NE(absent.err.find("起動中のプレーヤーがありません"), std::string::npos) << absent.err;
  EXPECT_NE(english.out.find("Usage: lystrel2"), std::string::npos) << english.out;
}

TEST_F(HandOff, OptionsAnswerWithoutAWindow) {
  std::filesystem::remove(ini_);
  const Ran help = run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("Usage: lystrel2"), std::string::npos);
  const Ran version = run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "Lystrel2 " LYT_VERSION "\n");
  const Ran unknown = run({"--command", "dance"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_NE(unknown.err.find("tempo-preset-1"), std::string::npos) << "the names are listed";
  EXPECT_EQ(run({"--bogus"}).code, 2);
  EXPECT_FALSE(std::filesystem::exists(ini_)) << "nothing was opened or remembered";
}

} // namespace
