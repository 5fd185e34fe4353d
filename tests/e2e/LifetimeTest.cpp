// The ways the program starts and ends: signals, the loss of the X server, hand-offs while it
// starts, and the folder of its lock.
#include "ProgramUnderX.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace lyt::test;

namespace {

std::string recording(const std::string &name) {
  const std::string path = scratchPath(name);
  writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sine(200, 3, 8000, 1, 0.05f), 8000, 1);
  return path;
}

std::string textOf(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Lifetime : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "needs an X server (make test runs these under xvfb-run)";
  }
};

TEST_F(Lifetime, TerminationSignalsSaveTheSettingsEvenDuringStartUp) {
  const std::string file = recording("signals.wav");
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    ProgramUnderX program("[Position]\nTop=120\nLeft=90\n", file);
    ASSERT_TRUE(program.started());
    kill(program.pid(), signal);
    EXPECT_TRUE(program.ended()) << strsignal(signal);
    EXPECT_EQ(program.settings().readInteger("Position", "Top", -1), 120) << strsignal(signal);
    EXPECT_EQ(program.settings().readInteger("Position", "Left", -1), 90) << strsignal(signal);
  }
  // While it starts: as soon as it listens for hand-offs, before its window is built.
  const std::string folder = scratchPath("signal-at-start");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/run");
  chmod((folder + "/run").c_str(), 0700);
  std::ofstream(folder + "/Lyt2.ini") << "[WaveFile]\nVolume=33\n";
  const pid_t pid = startProgram(folder, folder + "/Lyt2.ini", file);
  ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(folder + "/run/lystrel2/instance.sock"); }));
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_TRUE(waitForExit(pid, status)) << "the signal was swallowed";
  EXPECT_TRUE(WIFEXITED(status)) << "ended by the signal itself, nothing saved";
  EXPECT_NE(textOf(folder + "/Lyt2.ini").find("Version=ver0.1"), std::string::npos);
}

// Standard error of the programs started while it lives goes to a file.
class StandardErrorTo {
public:
  explicit StandardErrorTo(const std::string &path) : saved_(dup(STDERR_FILENO)) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(file, STDERR_FILENO);
    close(file);
  }
  ~StandardErrorTo() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }

private:
  int saved_;
};

TEST_F(Lifetime, ASaveThatFailsAfterASignalIsToldOnStandardErrorAndTheProgramEnds) {
  const std::string errors = scratchPath("failed-save.err");
  std::optional<ProgramUnderX> program;
  {
    StandardErrorTo file(errors);
    program.emplace("[WaveFile]\nVolume=33\n", recording("failed-save.wav"));
  }
  ASSERT_TRUE(program->started());
  // A folder where the new file would be written: the save fails, root or not.
  std::filesystem::create_directory(program->settingsPath() + ".new");
  kill(program->pid(), SIGTERM);
  EXPECT_TRUE(program->ended()) << "no box waits for a user who has gone";
  EXPECT_NE(textOf(errors).find(program->settingsPath()), std::string::npos) << textOf(errors);
  std::filesystem::remove(program->settingsPath() + ".new");
}

TEST_F(Lifetime, TheLossOfTheXServerSavesTheSettings) {
  int chosen[2];
  ASSERT_EQ(pipe(chosen), 0);
  const pid_t server = fork();
  if (server == 0) { // a server of its own, on a display it picks among the free ones
    execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(chosen[1]).c_str(), "-screen", "0", "800x600x24",
           "-nolisten", "tcp", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(chosen[1]);
  std::string number;
  char digit;
  while (read(chosen[0], &digit, 1) == 1 && digit != '\n')
    number += digit;
  close(chosen[0]);
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";
  const std::string display = ":" + number;
  const std::string previous = std::getenv("DISPLAY");
  setenv("DISPLAY", display.c_str(), 1);
  {
    ProgramUnderX program("[Position]\nTop=70\nLeft=40\n[WaveFile]\nVolume=20\n", recording("x-loss.wav"));
    setenv("DISPLAY", previous.c_str(), 1);
    ASSERT_TRUE(program.started());
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    program.ended();
    const IniFile saved = program.settings();
    EXPECT_EQ(saved.readInteger("Position", "Top", -1), 70);
    EXPECT_EQ(saved.readInteger("Position", "Left", -1), 40);
    EXPECT_EQ(saved.readInteger("WaveFile", "Volume", -1), 20);
  }
  setenv("DISPLAY", previous.c_str(), 1);
}

TEST_F(Lifetime, SecondStartsWhileTheFirstStartsAreAllHandled) {
  const std::string folder = scratchPath("racing-starts");
  std::filesystem::create_directories(folder + "/run");
  chmod((folder + "/run").c_str(), 0700);
  const std::string ini = folder + "/Lyt2.ini";
  std::ofstream(ini) << "";
  const std::string first = recording("racing-first.wav");
  std::vector<std::string> files;
  for (int i = 0; i < 25; ++i)
    files.push_back(recording("racing-" + std::to_string(i) + ".wav"));
  const pid_t program = startProgram(folder, ini, first);
  // The others start once it holds the lock: it is the instance, still building its window.
  ASSERT_TRUE(waitUntil([&] {
    const int fd = open((folder + "/run/lystrel2/instance.lock").c_str(), O_RDONLY | O_CLOEXEC);
    const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0)
      close(fd);
    return held;
  }));
  std::vector<pid_t> seconds;
  for (const std::string &file : files)
    seconds.push_back(startProgram(folder, ini, file));
  for (const pid_t second : seconds) {
    int status = -1;
    EXPECT_TRUE(waitForExit(second, status, std::chrono::seconds(60)));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a hand-off that was not handled";
  }
  kill(program, SIGTERM);
  int status = 0;
  ASSERT_TRUE(waitForExit(program, status));
  const std::string open = IniFile::load(ini).readString("WaveFile", "AudioFileName", "");
  EXPECT_NE(open, first) << "every hand-off came after the start's own file";
  EXPECT_NE(std::find(files.begin(), files.end(), open), files.end()) << open;
}

// A socket path beyond the limit of Unix sockets falls back to a short private folder, and a
// fallback folder that belongs to someone else is refused.
TEST_F(Lifetime, TheLockFolderIsShortAndTheUsersOwn) {
  const std::string tmp = scratchPath("tmpdir-" + std::to_string(getpid()));
  std::filesystem::remove_all(tmp);
  std::filesystem::create_directories(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  {
    ProgramUnderX program("", recording("long-first.wav"), "long-" + std::string(110, 'r'));
    ASSERT_TRUE(program.started());
    const std::string handed = recording("long-handed.wav");
    EXPECT_EQ(program.secondStart(handed), 0);
    ASSERT_TRUE(program.closeThroughWindow());
    EXPECT_EQ(program.settings().readString("WaveFile", "AudioFileName", ""), handed);
    EXPECT_TRUE(std::filesystem::exists(tmp + "/lystrel2-" + std::to_string(getuid()) + "/instance.lock"));
  }
  const std::string planted = tmp + "/lystrel2-" + std::to_string(getuid());
  std::filesystem::remove_all(planted);
  mkdir(planted.c_str(), 0777);
  chmod(planted.c_str(), 0777);
  int errors[2];
  ASSERT_EQ(pipe(errors), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("XDG_RUNTIME_DIR");
    setenv("LYSTREL2_INI", scratchPath("planted.ini").c_str(), 1);
    dup2(errors[1], 2);
    execl(LYT_PROGRAM, LYT_PROGRAM, static_cast<char *>(nullptr));
    _exit(127);
  }
  close(errors[1]);
  std::string said;
  char buffer[256];
  for (ssize_t n; said.find(planted) == std::string::npos && (n = read(errors[0], buffer, sizeof buffer)) > 0;)
    said.append(buffer, static_cast<size_t>(n));
  close(errors[0]);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  unsetenv("TMPDIR");
  EXPECT_NE(said.find(planted), std::string::npos) << said;
  EXPECT_TRUE(std::filesystem::is_empty(planted)) << "nothing of ours in another's folder";
}

} // namespace

namespace {

TEST_F(Lifetime, WithoutASoundOutputTheProgramSaysSoOnceAndRunsAfterTheBoxesAreClosed) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ProgramUnderX program("[WaveFile]\nAudioFileName=" + scratchPath("gone/remembered.wav") + "\n", "");
  unsetenv("SDL_AUDIODRIVER");
  ASSERT_TRUE(program.started());
  xcb_window_t box = 0;
  for (const char *which : {"音声出力", "Error"}) {
    // The same new box at two looks: Qt may make a box's native window again as it shows it.
    xcb_window_t seen = 0, found = 0;
    ASSERT_TRUE(waitUntil([&] {
      seen = found;
      found = program.window(which);
      return found && found != box && found == seen;
    })) << which;
    box = found;
    EXPECT_TRUE(program.running()) << "the box " << which << " stays until it is closed";
    EXPECT_EQ(program.mainWindow(), 0u);
    program.close(box);
  }
  EXPECT_TRUE(waitUntil([&] { return program.mainWindow() != 0; })) << "the player starts without sound";
  EXPECT_TRUE(program.running());
}

} // namespace
