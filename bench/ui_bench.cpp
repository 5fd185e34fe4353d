// User-interface benchmarks: one spectrum frame (draw and copy), and the user-interface thread's
// share of one core while a recording plays with the spectrum running.
#include "GuardedApplication.h"
#include "Program.h"
#include "SpeedButton.h"
#include "U_Main.h"
#include "spectrum_vis.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QEventLoop>
#include <QTimer>
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

void spectrumFrame() {
  TSpectrum spectrum(99, 45);
  PaintBox box;
  box.resize(99, 45);
  std::array<float, 513> fft{};
  constexpr int kFrames = 100000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kFrames; ++i) {
    for (int bar = 0; bar < 33; ++bar)
      fft[5 + bar * 4] = static_cast<float>((i * 7 + bar * 13) % 100) / 1000.0f;
    spectrum.DrawSpectrum(&box, fft, 0, 0);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("== One spectrum frame (draw 33 bars and marks, copy the block): %.2f us\n",
              seconds / kFrames * 1e6);
}

void playingShare() {
  const std::string path = lyt::test::scratchPath("ui-bench.wav");
  lyt::test::writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, lyt::test::noise(30, 44100, 2, 0.3f), 44100,
                          2);
  setenv("LYSTREL2_INI", lyt::test::scratchPath("ui-bench.ini").c_str(), 1);
  auto program = std::make_unique<Program>(path);
  frmMain->SpdBtn_PlayStop->setDown(true);
  frmMain->SpdBtn_PlayStopClick();
  constexpr double kSeconds = 5;
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(kSeconds * 1000), &loop, &QEventLoop::quit);
  const double before = threadCpuSeconds();
  loop.exec();
  const double used = threadCpuSeconds() - before;
  std::printf("== User-interface thread while playing with the spectrum (%s, %.0f s): %.2f %% of one core\n",
              qPrintable(QGuiApplication::platformName()), kSeconds, used / kSeconds * 100);
}

} // namespace

int main(int argc, char **argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (!std::getenv("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  GuardedApplication app(argc, argv);
  spectrumFrame();
  playingShare();
  return 0;
}
