// A main window started as the program starts it, with its settings file in a scratch folder
// and its message boxes recorded instead of shown.
#pragma once

#include "MessageBox.h"
#include "U_Main.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // Writes the settings file that the next start() reads.
  void writeSettings(const std::string &text);
  void start(const std::string &commandLineFile = "");
  // Shuts the window down as the program does (the settings are saved) and releases it.
  void close();
  std::string settingsText() const;
  // Runs what the doors posted to the player, as the event loop would run it next.
  void runPosted() const;

  TfrmMain *window = nullptr;
  std::vector<ShownBox> boxes;
  int beeps = 0;
  std::string iniPath;
};
