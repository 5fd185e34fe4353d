// Two real processes: the second start hands its file to the running one, waits, and ends.
#include "IniFile.h"
#include "support/AudioFiles.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
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
  }

  static pid_t launch(const std::vector<std::string> &arguments, const std::string &folder = "") {
    const pid_t pid = fork();
    if (pid == 0) {
      if (!folder.empty() && chdir(folder.c_str()) != 0)
        _exit(126);
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
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }

  bool waitForSocket() const {
    for (int i = 0; i < 500; ++i) {
      if (std::filesystem::exists(runtime_ + "/lystrel2/instance.sock"))
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
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
  const pid_t first = launch({"./" + name}, folder);
  ASSERT_TRUE(waitForSocket());
  kill(first, SIGTERM);
  ASSERT_EQ(waitFor(first, std::chrono::seconds(20)), 0);
  EXPECT_EQ(IniFile::load(ini_).readString("WaveFile", "AudioFileName", ""), fixture("pcm16.wav").path);
  const pid_t again = launch({}, "/");
  ASSERT_TRUE(waitForSocket());
  const auto [otherFolder, otherName] = split(fixture("tone.flac").path);
  EXPECT_EQ(waitFor(launch({otherName}, otherFolder), std::chrono::seconds(20)), 0);
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

} // namespace
