// The foot pedals, followed from start-up to shutdown; their switches go through the key dispatch.
#include "PedalMonitor.h"
#include "U_Main.h"

// LYSTREL2_INPUT_DIR and LYSTREL2_SYSFS put other folders in place of /dev/input and /sys.
void TfrmMain::StartPedals() {
  const QString folder = qEnvironmentVariable("LYSTREL2_INPUT_DIR", QStringLiteral("/dev/input"));
  const QString sysfs = qEnvironmentVariable("LYSTREL2_SYSFS", QStringLiteral("/sys"));
  Pedals = std::make_unique<PedalMonitor>(folder, sysfs);
  connect(Pedals.get(), &PedalMonitor::switchChanged, this, &TfrmMain::PedalSwitched);
}
