// The main window with a stand-in VEC pedal plugged in before it starts: its three switches are
// the virtual keys 0x88 to 0x8A.
#pragma once

#include "InputDevices.h"
#include "MainWindowFixture.h"

#include <cstdlib>

class PedalWindow : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    setenv("LYSTREL2_INPUT_DIR", input.devices().toUtf8().constData(), 1);
    setenv("LYSTREL2_SYSFS", input.sysfs().toUtf8().constData(), 1);
    pedal = plugPedal();
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    unsetenv("LYSTREL2_INPUT_DIR");
    unsetenv("LYSTREL2_SYSFS");
  }
  int plugPedal() { return input.plug("event4", "05f3", "00ff", "VEC VEC USB Footpedal", lyt::test::kThreeButtons); }

  lyt::test::InputDevices input;
  int pedal = -1;
};
