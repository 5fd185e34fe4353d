// Recording analysis: the CPU and time to compute the envelope and pauses of a three-hour MP3, a
// second opening from the cache, the wait for cancelling a running analysis, and the longest stall
// of the main thread while it is computed: the longest gap of a 1 ms timer and the longest call
// into the analysis at a waveform strip's redraw rate, then the same timer in the program's window
// while a recording dropped on it plays and is analysed. Each longest gap is told apart into the
// time the thread ran, waited for a processor and slept, from the scheduler's own account.
#include "GuardedApplication.h"
#include "LongMp3.h"
#include "Program.h"
#include "RecordingAnalysis.h"
#include "SpeedButton.h"
#include "U_Main.h"
#include "WindowManager.h"
#include "support/AudioFiles.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

using lyt::RecordingAnalysis;

constexpr int kStripColumns = 1000;
constexpr int kRedrawMs = 40;

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// True when the analysis is done.
bool askAsTheStripDoes(const RecordingAnalysis &analysis) {
  analysis.columns(0, std::max(analysis.lengthSeconds(), 1.0), kStripColumns);
  analysis.pauses(0, analysis.lengthSeconds());
  return analysis.state() != RecordingAnalysis::State::Running;
}

// This thread's time on a CPU and waiting for one, in ns, from the scheduler's own account.
struct SchedulerTimes {
  double runningNs = 0, waitingNs = 0;
};

SchedulerTimes schedulerTimes() {
  std::ifstream in("/proc/thread-self/schedstat");
  SchedulerTimes times;
  in >> times.runningNs >> times.waitingNs;
  return times;
}

struct MainThreadWatch {
  double longestGapMs = 0;
  // Of the longest gap: the time this thread ran and the time it waited for a CPU.
  double runningMs = 0, waitingMs = 0;
  double longestCallMs = 0;
  int calls = 0;
};

// Runs the event loop until `done` says so: a 1 ms timer notes its gaps, and every kRedrawMs
// `done` is asked (and the time it takes noted).
MainThreadWatch watchUntil(const std::function<bool()> &done) {
  MainThreadWatch watch;
  QEventLoop loop;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QElapsedTimer sinceStart, sinceTick, sinceRedraw;
  sinceStart.start();
  sinceTick.start();
  sinceRedraw.start();
  SchedulerTimes atTick = schedulerTimes();
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const double gapMs = double(sinceTick.nsecsElapsed()) / 1e6;
    const SchedulerTimes now = schedulerTimes();
    if (gapMs > watch.longestGapMs) {
      watch.longestGapMs = gapMs;
      watch.runningMs = (now.runningNs - atTick.runningNs) / 1e6;
      watch.waitingMs = (now.waitingNs - atTick.waitingNs) / 1e6;
    }
    if (sinceRedraw.elapsed() >= kRedrawMs) {
      sinceRedraw.restart();
      QElapsedTimer call;
      call.start();
      const bool finished = done();
      watch.longestCallMs = std::max(watch.longestCallMs, double(call.nsecsElapsed()) / 1e6);
      ++watch.calls;
      if (finished)
        loop.quit();
    }
    atTick = schedulerTimes();
    sinceTick.restart();
  });
  tick.start(1);
  loop.exec();
  return watch;
}

// Done once `ms` have passed since it was made.
std::function<bool()> forMs(int ms) {
  auto since = std::make_shared<QElapsedTimer>();
  since->start();
  return [since, ms] { return since->elapsed() >= ms; };
}

// "4.20 ms (ran 0.30, waited for a CPU 3.10, asleep 0.80)"
std::string describeGap(const MainThreadWatch &watch) {
  char text[160];
  std::snprintf(text, sizeof text, "%.2f ms (ran %.2f, waited for a CPU %.2f, asleep %.2f)", watch.longestGapMs,
                watch.runningMs, watch.waitingMs, watch.longestGapMs - watch.runningMs - watch.waitingMs);
  return text;
}

void firstOpening(const std::string &path, const std::string &cache) {
  std::printf("== Envelope and pauses of a three-hour MP3 (44.1 kHz stereo, %.0f MB), first opening\n",
              double(std::filesystem::file_size(path)) / 1e6);
  const double cpuBefore = processCpuSeconds(), mainBefore = threadCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  const RecordingAnalysis analysis(path, cache);
  const MainThreadWatch watch = watchUntil([&] { return askAsTheStripDoes(analysis); });
  const double seconds = double(wall.nsecsElapsed()) / 1e9;
  const double mainCpu = threadCpuSeconds() - mainBefore;
  std::printf("time %.2f s, CPU of the analysis %.2f s (target < 10 s), %.1f h analysed, %zu pauses\n", seconds,
              processCpuSeconds() - cpuBefore - mainCpu, analysis.analysedSeconds() / 3600,
              analysis.pauses(0, analysis.lengthSeconds()).size());
  std::printf("main thread: longest gap of a 1 ms timer %s (target < 5 ms), longest strip query %.2f ms "
              "(%d queries), its CPU %.2f s\n",
              describeGap(watch).c_str(), watch.longestCallMs, watch.calls, mainCpu);
  std::printf("the same timer for 5 s with no analysis running (the machine's own noise): longest gap %s\n",
              describeGap(watchUntil(forMs(5000))).c_str());
}

void secondOpening(const std::string &path, const std::string &cache) {
  QElapsedTimer wall;
  wall.start();
  const RecordingAnalysis analysis(path, cache);
  watchUntil([&] { return askAsTheStripDoes(analysis); });
  std::printf("== Second opening, from the cache (%.1f MB): ready after %.0f ms, from the cache: %s\n",
              double(std::filesystem::file_size(*std::filesystem::directory_iterator(cache))) / 1e6,
              double(wall.nsecsElapsed()) / 1e6, analysis.fromCache() ? "yes" : "NO");
}

// The longest wait of letting go of a running analysis after 0 ms to 1 s of work.
double longestCancelMs(const std::string &path,
                       const std::function<void(std::unique_ptr<RecordingAnalysis>)> &letGo) {
  double longestMs = 0;
  for (int delayMs : {0, 5, 50, 300, 1000}) {
    auto analysis = std::make_unique<RecordingAnalysis>(path, "");
    QEventLoop loop;
    QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
    loop.exec();
    QElapsedTimer wait;
    wait.start();
    letGo(std::move(analysis));
    longestMs = std::max(longestMs, double(wait.nsecsElapsed()) / 1e6);
  }
  return longestMs;
}

void cancelling(const std::string &path) {
  const double discarded = longestCancelMs(path, &RecordingAnalysis::discard);
  const double joined = longestCancelMs(path, [](std::unique_ptr<RecordingAnalysis> analysis) { analysis.reset(); });
  std::printf("== Cancelling a running analysis: longest wait when another file is opened %.2f ms, at exit "
              "(its thread joined) %.2f ms\n",
              discarded, joined);
}

// The window is up and idle on a desktop with a window manager, as a user's is; the recording is
// dropped on it (its first opening: no cache) and played with the spectrum running and the
// waveform strip shown. The window's timer gaps are taken
// from the drop until the analysis is ready, and for as long again once it is.
void inTheWindow(const std::string &path) {
  const std::string ini = lyt::test::scratchPath("analysis-bench.ini");
  std::ofstream(ini) << "[Waveform]\nShown=1\n"; // the strip fills in as the analysis goes
  setenv("LYSTREL2_INI", ini.c_str(), 1);
  setenv("XDG_CACHE_HOME", lyt::test::scratchPath("window-cache").c_str(), 1);
  std::optional<lyt::test::WindowManager> windowManager;
  if (QGuiApplication::platformName() == QLatin1String("xcb"))
    windowManager.emplace();
  Program program("");
  while (!frmMain->windowHandle() || !frmMain->windowHandle()->isExposed())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  watchUntil(forMs(1000)); // its first paints
  double openingMs = 0, openingCpuMs = 0;
  QTimer::singleShot(0, frmMain, [&] {
    QElapsedTimer opening;
    opening.start();
    const double cpuBefore = threadCpuSeconds();
    frmMain->DroppedFiles({path});
    frmMain->SpdBtn_PlayStop->setDown(true);
    frmMain->SpdBtn_PlayStopClick();
    openingMs = double(opening.nsecsElapsed()) / 1e6;
    openingCpuMs = (threadCpuSeconds() - cpuBefore) * 1e3;
  });
  QElapsedTimer wall;
  wall.start();
  const MainThreadWatch analysing = watchUntil([] {
    return frmMain->Analysis && frmMain->Analysis->state() != RecordingAnalysis::State::Running;
  });
  const double seconds = double(wall.elapsed()) / 1000;
  const MainThreadWatch after = watchUntil(forMs(static_cast<int>(seconds * 1000)));
  std::printf("== The program's window (%s%s), the three-hour MP3 dropped on it, played while it is analysed "
              "(%.1f s): the drop and the play click took %.2f ms (CPU %.2f ms); longest gap of a 1 ms timer "
              "from the drop until the analysis is ready %s (target < 5 ms); for as long after: %s\n",
              qPrintable(QGuiApplication::platformName()),
              windowManager && windowManager->running() ? ", openbox" : ", no window manager", seconds,
              openingMs, openingCpuMs, describeGap(analysing).c_str(), describeGap(after).c_str());
}

} // namespace

int main(int argc, char **argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (!std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  GuardedApplication app(argc, argv);
  const std::string path = lyt::bench::longMp3();
  const std::string cache = lyt::test::scratchPath("analysis-cache");
  firstOpening(path, cache);
  secondOpening(path, cache);
  cancelling(path);
  inTheWindow(path);
  return 0;
}
