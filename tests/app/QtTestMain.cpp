// GoogleTest main for tests that need widgets: an offscreen application, no sound card needed.
#include "GuardedApplication.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  GuardedApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
