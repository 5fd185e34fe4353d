// Pedal-to-audible latency: from a pedal switch's event written to its device to the first frame of
// the new position handed to the sound device, through the pedal reader and the program's window.
#include "CommonTypes.h"
#include "Audible.h"
#include "Bass.h"
#include "GuardedApplication.h"
#include "InputDevices.h"
#include "Program.h"
#include "SpeedButton.h"
#include "U_Main.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QApplication>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kPresses = 200;

// Presses the pedal's first switch (fast forward by 0 s: a seek to the bar's second) and waits for
// it to be heard.
std::vector<double> pressAndMeasure(int pedal, DWORD output) {
  std::vector<double> ms;
  for (int i = 0; i < kPresses; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(40000 + 1300 * (i % 11)));
    ms.push_back(lyt::bench::msUntilHeard(output, [&] {
      lyt::test::writeKey(pedal, BTN_0, 1);
      lyt::test::writeKey(pedal, BTN_0, 0);
    }));
  }
  return ms;
}

} // namespace

int main(int argc, char **argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  GuardedApplication app(argc, argv);
  const std::string path = lyt::test::scratchPath("pedal-bench.wav");
  lyt::test::writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, lyt::test::noise(120, 44100, 2, 0.2f), 44100,
                          2);
  setenv("LYSTREL2_INI", lyt::test::scratchPath("pedal-bench.ini").c_str(), 1);
  lyt::test::InputDevices input;
  const int pedal = input.plug("event3", "05f3", "00ff", "VEC VEC USB Footpedal", lyt::test::kThreeButtons);
  setenv("LYSTREL2_INPUT_DIR", input.devices().toUtf8().constData(), 1);
  setenv("LYSTREL2_SYSFS", input.sysfs().toUtf8().constData(), 1);
  auto program = std::make_unique<Program>(path);
  KeyMap.slot(2) = {0, 0x88, 2};
  Settings.FfRwSec = 0;
  frmMain->SpdBtn_PlayStop->setDown(true);
  frmMain->SpdBtn_PlayStopClick();
  std::vector<double> ms;
  std::thread foot([&] {
    ms = pressAndMeasure(pedal, frmMain->OutputChannel());
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  QApplication::exec();
  foot.join();
  program.reset();
  return lyt::bench::printLatencies("Pedal to audible, SDL dummy driver (512-frame periods)", ms, kPresses) ? 0 : 1;
}
