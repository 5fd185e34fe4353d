// What the player costs a laptop that runs it all day: the real program and mpv (--ao=null) play
// the same generated 3-hour MP3, and their processes' CPU is read from /proc while stopped and while
// playing at 1.0x and 2.0x, with the X server's share and the wake-ups per second of each.
#include "PrivateBus.h"
#include "ProcessCpu.h"
#include "ProgramUnderX.h"
#include "WindowManager.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMeasureSeconds = 10;
constexpr int kHours = 3;

struct Counters {
  double cpuSeconds = 0;
  long wakeups = 0; // context switches
};

// A process (/proc/PID) or one of its threads (/proc/PID/task/TID).
Counters readOne(const std::filesystem::path &dir) {
  Counters c;
  c.cpuSeconds = lyt::bench::cpuSecondsOf(dir);
  std::ifstream status(dir / "status");
  for (std::string line; std::getline(status, line);)
    if (line.find("ctxt_switches:") != std::string::npos)
      c.wakeups += std::stol(line.substr(line.find(':') + 1));
  return c;
}

std::map<std::string, Counters> threads(pid_t pid) {
  std::map<std::string, Counters> byThread;
  std::error_code ignored;
  for (const auto &task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    byThread[name + " " + task.path().filename().string()] = readOne(task.path());
  }
  return byThread;
}

Counters read(pid_t pid) {
  Counters c = readOne("/proc/" + std::to_string(pid));
  c.wakeups = 0;
  for (const auto &[name, thread] : threads(pid))
    c.wakeups += thread.wakeups;
  return c;
}

struct Share {
  double percent = 0;
  double wakeupsPerSecond = 0;
};

// The CPU of `pid` and of the X server over the measuring window; the busy threads of `pid` are
// listed when `perThread`.
std::pair<Share, Share> measure(pid_t pid, pid_t xServer, bool perThread = false) {
  const auto t0 = threads(pid);
  const Counters p0 = read(pid), x0 = read(xServer);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(kMeasureSeconds));
  const Counters p1 = read(pid), x1 = read(xServer);
  const auto t1 = threads(pid);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  auto share = [seconds](const Counters &a, const Counters &b) {
    return Share{100 * (b.cpuSeconds - a.cpuSeconds) / seconds, (b.wakeups - a.wakeups) / seconds};
  };
  for (const auto &[name, after] : t1) {
    const auto before = t0.find(name);
    const Share s = share(before == t0.end() ? Counters{} : before->second, after);
    if (perThread && (s.percent > 0.05 || s.wakeupsPerSecond >= 1))
      std::printf("      thread %-22s CPU %6.2f %% (%6.1f wake-ups/s)\n", name.c_str(), s.percent,
                  s.wakeupsPerSecond);
  }
  return {share(p0, p1), share(x0, x1)};
}

// The Xvfb that serves $DISPLAY.
pid_t xServerPid() {
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  std::error_code ignored;
  for (const auto &entry : std::filesystem::directory_iterator("/proc", ignored)) {
    std::ifstream cmdline(entry.path() / "cmdline");
    std::string text((std::istreambuf_iterator<char>(cmdline)), {});
    std::vector<std::string> args;
    std::istringstream split(text);
    for (std::string arg; std::getline(split, arg, '\0');)
      args.push_back(arg);
    if (args.size() > 1 && args[0].find("Xvfb") != std::string::npos && args[1] == display)
      return std::stoi(entry.path().filename());
  }
  return -1;
}

// Speech-like: a wavering tone over noise, 44.1 kHz mono, written once and kept in the build folder.
std::string threeHourMp3() {
  const std::string path = std::string(LYT_BUILD_DIR) + "/idle-bench-3h.mp3";
  if (std::filesystem::exists(path))
    return path;
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  const std::string partial = path + ".part";
  SNDFILE *file = sf_open(partial.c_str(), SFM_WRITE, &info);
  if (!file)
    return "";
  std::vector<float> second(44100);
  uint32_t seed = 1;
  for (int s = 0; s < kHours * 3600; ++s) {
    for (int i = 0; i < 44100; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double t = s + i / 44100.0;
      second[i] = static_cast<float>(0.2 * std::sin(2 * M_PI * (150 + 30 * std::sin(t)) * t) +
                                     0.03 * ((seed >> 9) / 4194304.0 - 1));
    }
    sf_write_float(file, second.data(), static_cast<sf_count_t>(second.size()));
  }
  sf_close(file);
  std::filesystem::rename(partial, path);
  return path;
}

pid_t startMpv(const std::string &file, const char *mode) {
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("mpv", "mpv", "--no-config", "--ao=null", "--no-video", "--really-quiet", mode, file.c_str(),
           static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

void report(const char *who, const char *state, const std::pair<Share, Share> &m) {
  std::printf("   %-9s %-16s CPU %6.2f %% (%6.1f wake-ups/s)   X server %5.2f %% (%5.1f wake-ups/s)\n", who,
              state, m.first.percent, m.first.wakeupsPerSecond, m.second.percent, m.second.wakeupsPerSecond);
  std::fflush(stdout);
}

struct Figures {
  double stopped = 0, normal = 0, fast = 0;
};

Figures measureMpv(const std::string &file, pid_t xServer) {
  Figures f;
  const std::pair<const char *, double *> runs[] = {
      {"--pause", &f.stopped}, {"--speed=1", &f.normal}, {"--speed=2", &f.fast}};
  const char *names[] = {"stopped", "playing 1.0x", "playing 2.0x"};
  int i = 0;
  for (const auto &[mode, figure] : runs) {
    const pid_t mpv = startMpv(file, mode);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const auto m = measure(mpv, xServer);
    report("mpv", names[i++], m);
    *figure = m.first.percent;
    kill(mpv, SIGTERM);
    waitpid(mpv, nullptr, 0);
  }
  return f;
}

// Whether the program has stored a recording's analysis in its cache.
bool analysed(const std::string &runFolder) {
  std::error_code ignored;
  for (const auto &entry : std::filesystem::directory_iterator(runFolder + "/cache/lystrel2", ignored))
    if (entry.path().extension() == ".envelope")
      return true;
  return false;
}

Figures measureProgram(const std::string &file, pid_t xServer) {
  using namespace keysym;
  Figures f;
  // F1 play/stop, F2 tempo 1.0, F3 tempo 2.0.
  ProgramUnderX program("[KeyMap]\n1=000,112, 1\n18=000,113,18\n20=000,114,20\n", file);
  if (!program.started())
    return f;
  // Once the recording's analysis, a one-time cost of its first opening, is done and stored, and
  // long enough after it for the device to go to sleep.
  if (!lyt::test::waitUntil([&] { return analysed(program.folder()); }, std::chrono::minutes(2)))
    std::printf("   (the recording's analysis did not finish)\n");
  std::this_thread::sleep_for(std::chrono::seconds(4));
  auto m = measure(program.pid(), xServer, true);
  report("Lystrel2", "stopped", m);
  f.stopped = m.first.percent;
  program.tap(F1);
  lyt::test::waitUntil([&] { return program.player().playing(); });
  m = measure(program.pid(), xServer, true);
  report("Lystrel2", "playing 1.0x", m);
  f.normal = m.first.percent;
  program.tap(F3);
  lyt::test::waitUntil([&] { return program.player().rate() == 2.0; });
  m = measure(program.pid(), xServer);
  report("Lystrel2", "playing 2.0x", m);
  f.fast = m.first.percent;
  program.tap(F1);
  program.closeThroughWindow();
  return f;
}

// A PulseAudio of our own with a null sink, which can be stopped and started again.
class PulseServer {
public:
  PulseServer() : dir_(std::string(LYT_BUILD_DIR) + "/idle-bench-pulse") {
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ + "/client.conf") << "autospawn = no\n";
    setenv("PULSE_RUNTIME_PATH", dir_.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir_ + "/native").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
    setenv("LYT_PROGRAM_AUDIODRIVER", "pulseaudio", 1);
  }
  ~PulseServer() {
    stop();
    unsetenv("LYT_PROGRAM_AUDIODRIVER");
  }
  static bool available() { return std::system("command -v pulseaudio pactl >/dev/null") == 0; }
  bool start() {
    return std::system("pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes "
                       "-L 'module-null-sink sink_name=bench' -L module-native-protocol-unix "
                       "--log-target=file:/dev/null 2>/dev/null") == 0;
  }
  void stop() { [[maybe_unused]] const int ignored = std::system("pulseaudio -k 2>/dev/null"); }
  pid_t pid() const {
    std::ifstream file(dir_ + "/pid");
    pid_t pid = -1;
    file >> pid;
    return pid;
  }
  // The program's streams at the server: how many, and how many of them are corked.
  std::pair<int, int> streams() const {
    FILE *pipe = popen("pactl list sink-inputs 2>/dev/null", "r");
    std::pair<int, int> counts{0, 0};
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
      counts.first += std::strstr(line, "Sink Input #") != nullptr;
      counts.second += std::strstr(line, "Corked: yes") != nullptr;
    }
    if (pipe)
      pclose(pipe);
    return counts;
  }

private:
  std::string dir_;
};

// The sound server's cost while the program is stopped, and the program's stream after the server
// restarts while it plays.
void checkSoundServer(const std::string &file) {
  using namespace keysym;
  PulseServer pulse;
  if (!pulse.start()) {
    std::printf("== Sound server: PulseAudio did not start\n");
    return;
  }
  ProgramUnderX program("[KeyMap]\n1=000,112, 1\n", file);
  if (!program.started())
    return;
  program.tap(F1);
  lyt::test::waitUntil([&] { return pulse.streams().first > 0; });
  auto [streams, corked] = pulse.streams();
  std::printf("== Sound server (PulseAudio, null sink): playing, %d stream(s), %d corked\n", streams, corked);
  program.tap(F1);
  lyt::test::waitUntil([&] { return pulse.streams().first == 0; });
  std::tie(streams, corked) = pulse.streams();
  const pid_t server = pulse.pid();
  const Counters before = read(server);
  std::this_thread::sleep_for(std::chrono::seconds(kMeasureSeconds));
  const double serverCpu = 100 * (read(server).cpuSeconds - before.cpuSeconds) / kMeasureSeconds;
  std::printf("   stopped: %d stream(s), %d corked; the server's CPU %.2f %%\n", streams, corked, serverCpu);
  program.tap(F1);
  lyt::test::waitUntil([&] { return pulse.streams().first > 0; });
  pulse.stop();
  std::this_thread::sleep_for(std::chrono::seconds(1)); // playing without a server for a while
  pulse.start();
  const auto restarted = std::chrono::steady_clock::now();
  while (pulse.streams().first == 0 && std::chrono::steady_clock::now() - restarted < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto back = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
  if (pulse.streams().first > 0)
    std::printf("   server restarted while playing: the stream is back %.2f s after the server\n", back);
  else
    std::printf("   server restarted while playing: no stream 5 s later\n");
  program.tap(F1);
  program.closeThroughWindow();
}

} // namespace

int run() {
  const pid_t xServer = xServerPid();
  if (xServer < 0) {
    std::printf("idle_bench needs an Xvfb server (make bench runs it under xvfb-run)\n");
    return 1;
  }
  std::printf("== CPU of one core, %d s each, on a %d-hour MP3 (written once: this may take a minute)\n",
              kMeasureSeconds, kHours);
  std::fflush(stdout);
  const std::string file = threeHourMp3();
  if (file.empty()) {
    std::printf("cannot write the MP3 (libsndfile without MPEG?)\n");
    return 1;
  }
  // A user's desktop has a window manager: without one, the window's placement is watched for a while.
  const lyt::test::WindowManager windowManager;
  const Figures ours = measureProgram(file, xServer);
  const Figures mpv = measureMpv(file, xServer);
  if (PulseServer::available())
    checkSoundServer(file);
  std::printf("== Stopped: %.3f %% (aim under 0.05 %%); playing at 1.0x %.2f times mpv, at 2.0x %.2f times "
              "mpv (aim within 1.5)\n",
              ours.stopped, ours.normal / std::max(mpv.normal, 0.01), ours.fast / std::max(mpv.fast, 0.01));
  return 0;
}

int main(int argc, char **argv) {
  // The program's state is read through its media-player interface, on a bus of our own.
  const pid_t bus = startPrivateSessionBus();
  if (bus < 0) {
    std::printf("idle_bench needs dbus-daemon (tools/install-deps.sh installs it)\n");
    return 1;
  }
  QCoreApplication app(argc, argv);
  const int status = run();
  stopPrivateSessionBus(bus);
  return status;
}
