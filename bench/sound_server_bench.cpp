// The player at a real sound server, beside mpv on the same server in the same run: a private
// PulseAudio (null sink, suspend-on-idle loaded) whose monitor is recorded.
// - gaps: a steady 1 kHz tone for LYT_BENCH_SECONDS (60 by default) while four busy loops keep both
//   cores full; a gap is 1 ms or more of silence at the monitor between the first and last sound;
// - latency: from a play (after 0.5 s and after 10 s of silence) and from a seek while playing to
//   the first frame of the new place at the monitor;
// - the buffer the stream settled on, as the server reports it;
// - CPU of the player and of the server while stopped and while playing, and of mpv and the
//   server while mpv plays.
#include "Bass.h"
#include "ProcessCpu.h"
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/LevelSteps.h"
#include "support/PulseServer.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace lyt::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int benchSeconds() {
  const char *set = std::getenv("LYT_BENCH_SECONDS");
  return set ? std::max(5, std::atoi(set)) : 60;
}

// Four loops that keep the machine's cores busy until they are stopped.
class BusyLoops {
public:
  BusyLoops() {
    for (int i = 0; i < 4; ++i)
      if (const pid_t pid = fork(); pid == 0) {
        for (std::atomic<unsigned long> n{0};;)
          n.fetch_add(1, std::memory_order_relaxed);
      } else {
        pids_.push_back(pid);
      }
  }
  ~BusyLoops() {
    for (pid_t pid : pids_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

private:
  std::vector<pid_t> pids_;
};

// Gaps of silence (1 ms or longer) between the first and the last sound of a recording.
struct Gaps {
  int count = 0;
  double longestMs = 0;
  double firstAtSeconds = -1; // from the first sound
};

Gaps gapsIn(const std::vector<float> &left) {
  const auto sounds = [](float x) { return std::fabs(x) > 1e-4f; };
  const auto first = std::find_if(left.begin(), left.end(), sounds);
  const auto last = std::find_if(left.rbegin(), left.rend(), sounds).base();
  Gaps gaps;
  size_t run = 0;
  for (auto it = first; it < last; ++it) {
    if (!sounds(*it)) {
      ++run;
      continue;
    }
    if (run >= static_cast<size_t>(kRate / 1000)) {
      if (gaps.count == 0)
        gaps.firstAtSeconds = static_cast<double>(it - first) / kRate;
      ++gaps.count;
      gaps.longestMs = std::max(gaps.longestMs, 1000.0 * static_cast<double>(run) / kRate);
    }
    run = 0;
  }
  return gaps;
}

// Percent of one core that each process used over `seconds`.
std::pair<double, double> cpuOver(pid_t a, pid_t b, int seconds) {
  const auto cpu = [](pid_t pid) { return lyt::bench::cpuSecondsOf("/proc/" + std::to_string(pid)); };
  const double a0 = cpu(a), b0 = cpu(b);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return {100 * (cpu(a) - a0) / seconds, 100 * (cpu(b) - b0) / seconds};
}

pid_t startMpv(const PulseServer &server, const std::string &file) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("PULSE_SERVER", server.address().c_str(), 1);
    execlp("mpv", "mpv", "--no-config", "--no-video", "--really-quiet", "--ao=pulse", file.c_str(),
           static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

void stopChild(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

class Player {
public:
  explicit Player(const std::string &path) {
    source_ = openLikeThePlayer(path).source;
    BASS_FX_TempoCreate(source_, 0);
    output_ = BASS_FX_TempoGetResampledHandle(source_);
  }
  ~Player() { BASS_FX_TempoFree(source_); }
  void seek(double seconds) { BASS_ChannelSetPosition(source_, BASS_ChannelSeconds2Bytes(source_, float(seconds))); }
  void play() { BASS_StreamPlay(output_, FALSE, 0); }
  void stop() { BASS_ChannelStop(output_); }
  DWORD source() const { return source_; }
  DWORD output() const { return output_; }

private:
  DWORD source_ = 0;
  DWORD output_ = 0;
};

// Milliseconds from `asked` to the first frame of `step` at the monitor after frame `from`.
double msUntilStep(const MonitorRecording &monitor, size_t from, int step, Clock::time_point asked) {
  const std::optional<size_t> at = firstHeard(monitor, [step](int heard) { return heard == step % kSteps; }, from, 5s);
  return at ? std::chrono::duration<double, std::milli>(monitor.arrivalOf(*at) - asked).count() : -1;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

void measureGaps(const PulseServer &server, const std::string &tone, int seconds) {
  Gaps ours, mpvs;
  {
    MonitorRecording monitor(server);
    BusyLoops busy;
    Player player(tone);
    player.play();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    player.stop();
    ours = gapsIn(monitor.left());
  }
  std::printf("  buffer settled on: %.1f ms (after %d s under load)\n", 1000.0 * LYT_OutputBufferFrames() / kRate,
              seconds);
  {
    MonitorRecording monitor(server);
    BusyLoops busy;
    const pid_t mpv = startMpv(server, tone);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stopChild(mpv);
    mpvs = gapsIn(monitor.left());
  }
  std::printf("  gaps in %d s of a tone, four busy loops: lystrel2 %d (longest %.1f ms, first at %.2f s), "
              "mpv %d (longest %.1f ms)\n",
              seconds, ours.count, ours.longestMs, ours.firstAtSeconds, mpvs.count, mpvs.longestMs);
}

void measureLatency(const PulseServer &server) {
  const std::string steps = levelSteps("bench-steps.wav", 600);
  MonitorRecording monitor(server);
  Player player(steps);
  std::vector<double> afterShort, afterLong, seeks;
  int step = 4;
  const auto playAfter = [&](std::chrono::milliseconds silence, std::vector<double> &into) {
    player.stop();
    std::this_thread::sleep_for(silence);
    step += 8;
    const size_t from = monitor.frames();
    player.seek(step * kStepSeconds + 0.01);
    const auto asked = Clock::now();
    player.play();
    into.push_back(msUntilStep(monitor, from, step, asked));
  };
  for (int i = 0; i < 9; ++i)
    playAfter(500ms, afterShort);
  for (int i = 0; i < 3; ++i)
    playAfter(10s, afterLong);
  for (int i = 0; i < 9; ++i) {
    std::this_thread::sleep_for(300ms);
    step += 8;
    const size_t from = monitor.frames();
    const auto asked = Clock::now();
    player.seek(step * kStepSeconds + 0.01);
    seeks.push_back(msUntilStep(monitor, from, step, asked));
  }
  player.stop();
  std::printf("  first new sound at the monitor (median ms): play after 0.5 s of silence %.1f, after 10 s %.1f, "
              "seek while playing %.1f\n",
              median(afterShort), median(afterLong), median(seeks));
}

void measureCpu(const PulseServer &server, const std::string &tone) {
  constexpr int kSeconds = 10;
  Player player(tone);
  player.play();
  std::this_thread::sleep_for(1s);
  player.stop();
  const auto [stoppedOurs, stoppedServer] = cpuOver(getpid(), server.pid(), kSeconds);
  player.play();
  const auto [playingOurs, playingServer] = cpuOver(getpid(), server.pid(), kSeconds);
  player.stop();
  const pid_t mpv = startMpv(server, tone);
  std::this_thread::sleep_for(1s);
  const auto [playingMpv, mpvServer] = cpuOver(mpv, server.pid(), kSeconds);
  stopChild(mpv);
  std::printf("  CPU %% of a core, stopped: lystrel2 %.2f, server %.2f\n", stoppedOurs, stoppedServer);
  std::printf("  CPU %% of a core, playing: lystrel2 %.2f, server %.2f; mpv %.2f, server %.2f "
              "(server for us / for mpv: %.1fx)\n",
              playingOurs, playingServer, playingMpv, mpvServer, mpvServer > 0 ? playingServer / mpvServer : 0.0);
}

// The longest a command call took while the server answered nothing (stopped by SIGSTOP).
void measureStalledCalls(PulseServer &server, const std::string &tone) {
  Player player(tone);
  player.play();
  std::this_thread::sleep_for(500ms);
  server.stall(true);
  double longest = 0;
  const auto timed = [&](auto call) {
    const auto start = Clock::now();
    call();
    longest = std::max(longest, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  };
  for (int i = 0; i < 50; ++i) {
    timed([&] { player.stop(); });
    timed([&] { player.play(); });
    timed([&] { player.seek(i % 10); });
    timed([&] { BASS_ChannelGetPosition(player.source()); });
    timed([&] { BASS_ChannelSetAttributes(player.output(), -1, 50 + i % 50, -101); });
  }
  server.stall(false);
  player.stop();
  std::printf("  the longest play, stop, seek, position or volume call while the server is stalled: %.0f us "
              "(aim: under 1000)\n", longest);
}

} // namespace

int main() {
  PulseServer server(true);
  if (!server.start()) {
    std::printf("sound server bench: pulseaudio did not start\n");
    return 1;
  }
  setenv("PULSE_SERVER", server.address().c_str(), 1);
  unsetenv("SDL_AUDIODRIVER");
  if (!BASS_Init(BASS_DEVICE_DEFAULT, kRate, 0, nullptr, nullptr) || LYT_OutputProblem()) {
    std::printf("sound server bench: the engine found no sound server\n");
    return 1;
  }
  const int seconds = benchSeconds();
  const std::string tone = writeWav("bench-tone.wav", sine(1000, seconds + 5, kRate, 1), kRate, 1);
  std::printf("At a PulseAudio server (null sink, suspend-on-idle), beside mpv:\n");
  measureGaps(server, tone, seconds);
  measureLatency(server);
  measureCpu(server, tone);
  measureStalledCalls(server, tone);
  BASS_Free();
  return 0;
}
