// Recording analysis: the CPU and time to compute the envelope and pauses of a three-hour MP3, a
// second opening from the cache, the wait for cancelling a running analysis, and the longest stall
// of the main thread while it is computed: the longest gap of a 1 ms timer and the longest call
// into the analysis at a waveform strip's redraw rate, then the same timer in the program's window
// while the recording it opened plays and is analysed.
#include "GuardedApplication.h"
#include "LongMp3.h"
#include "Program.h"
#include "RecordingAnalysis.h"
#include "SpeedButton.h"
#include "U_Main.h"
#include "support/AudioFiles.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

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

struct MainThreadWatch {
  double longestGapMs = 0;
  double longestCallMs = 0;
  int calls = 0;
};

// Runs the event loop until the analysis is done (or, without one, for `idleMs`): a 1 ms timer
// notes its gaps, and every kRedrawMs the strip's questions are asked (the whole recording in
// kStripColumns columns).
MainThreadWatch watchUntilDone(const RecordingAnalysis *analysis, int idleMs = 0) {
  MainThreadWatch watch;
  QEventLoop loop;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QElapsedTimer sinceStart, sinceTick, sinceRedraw;
  sinceStart.start();
  sinceTick.start();
  sinceRedraw.start();
  QObject::connect(&tick, &QTimer::timeout, [&] {
    watch.longestGapMs = std::max(watch.longestGapMs, double(sinceTick.nsecsElapsed()) / 1e6);
    sinceTick.restart();
    if (sinceRedraw.elapsed() >= kRedrawMs) {
      sinceRedraw.restart();
      QElapsedTimer call;
      call.start();
      const bool done = analysis ? askAsTheStripDoes(*analysis) : sinceStart.elapsed() >= idleMs;
      watch.longestCallMs = std::max(watch.longestCallMs, double(call.nsecsElapsed()) / 1e6);
      ++watch.calls;
      if (done)
        loop.quit();
    }
    sinceTick.restart();
  });
  tick.start(1);
  loop.exec();
  return watch;
}

void firstOpening(const std::string &path, const std::string &cache) {
  std::printf("== Envelope and pauses of a three-hour MP3 (44.1 kHz stereo, %.0f MB), first opening\n",
              double(std::filesystem::file_size(path)) / 1e6);
  const double cpuBefore = processCpuSeconds(), mainBefore = threadCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  const RecordingAnalysis analysis(path, cache);
  const MainThreadWatch watch = watchUntilDone(&analysis);
  const double seconds = double(wall.nsecsElapsed()) / 1e9;
  const double mainCpu = threadCpuSeconds() - mainBefore;
  std::printf("time %.2f s, CPU of the analysis %.2f s (target < 10 s), %.1f h analysed, %zu pauses\n", seconds,
              processCpuSeconds() - cpuBefore - mainCpu, analysis.analysedSeconds() / 3600,
              analysis.pauses(0, analysis.lengthSeconds()).size());
  std::printf("main thread: longest gap of a 1 ms timer %.2f ms (target < 5 ms), longest strip query %.2f ms "
              "(%d queries), its CPU %.2f s\n",
              watch.longestGapMs, watch.longestCallMs, watch.calls, mainCpu);
  std::printf("the same timer for 5 s with no analysis running (the machine's own noise): longest gap %.2f ms\n",
              watchUntilDone(nullptr, 5000).longestGapMs);
}

void secondOpening(const std::string &path, const std::string &cache) {
  QElapsedTimer wall;
  wall.start();
  const RecordingAnalysis analysis(path, cache);
  watchUntilDone(&analysis);
  std::printf("== Second opening, from the cache (%.1f MB): ready after %.0f ms, from the cache: %s\n",
              double(std::filesystem::file_size(*std::filesystem::directory_iterator(cache))) / 1e6,
              double(wall.nsecsElapsed()) / 1e6, analysis.fromCache() ? "yes" : "NO");
}

void cancelling(const std::string &path) {
  double longestMs = 0;
  for (int delayMs : {0, 5, 50, 300, 1000}) {
    auto analysis = std::make_unique<RecordingAnalysis>(path, "");
    QEventLoop loop;
    QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
    loop.exec();
    QElapsedTimer wait;
    wait.start();
    analysis.reset();
    longestMs = std::max(longestMs, double(wait.nsecsElapsed()) / 1e6);
  }
  std::printf("== Cancelling a running analysis (another file opened): longest wait %.2f ms\n", longestMs);
}

// The program opens the recording (its first opening: no cache) and plays it with the spectrum
// running and its waveform strip shown; the window's timer gaps are taken from then until the analysis is ready, and for as
// long again once it is.
void inTheWindow(const std::string &path) {
  const std::string ini = lyt::test::scratchPath("analysis-bench.ini");
  std::ofstream(ini) << "[Waveform]\nShown=1\n"; // the strip fills in as the analysis goes
  setenv("LYSTREL2_INI", ini.c_str(), 1);
  setenv("XDG_CACHE_HOME", lyt::test::scratchPath("window-cache").c_str(), 1);
  Program program(path);
  frmMain->SpdBtn_PlayStop->setDown(true);
  frmMain->SpdBtn_PlayStopClick();
  QElapsedTimer wall;
  wall.start();
  const MainThreadWatch analysing = watchUntilDone(frmMain->Analysis.get());
  const double seconds = double(wall.elapsed()) / 1000;
  const MainThreadWatch after = watchUntilDone(nullptr, static_cast<int>(seconds * 1000));
  std::printf("== The program's window (%s) playing the three-hour MP3 while it is analysed (%.1f s): longest "
              "gap of a 1 ms timer %.2f ms (target < 5 ms); for as long after: %.2f ms\n",
              qPrintable(QGuiApplication::platformName()), seconds, analysing.longestGapMs, after.longestGapMs);
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
