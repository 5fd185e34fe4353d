// Starting and closing the main window for a test.
#include "MainWindowFixture.h"

#include "AudioProp.h"
#include "CommonTypes.h"
#include "Player.h"
#include "SetCounter.h"
#include "about.h"
#include "support/AudioFiles.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <sstream>

void MainWindowTest::SetUp() {
  static int run = 0;
  iniPath = lyt::test::scratchPath("Lyt2-" + std::to_string(++run) + ".ini");
  setenv("LYSTREL2_INI", iniPath.c_str(), 1);
  setenv("XDG_CACHE_HOME", lyt::test::scratchPath("cache").c_str(), 1); // the recordings' envelopes
  setMessageBoxRecorder([this](const ShownBox &box) { boxes.push_back(box); });
  setBeepRecorder([this] { ++beeps; });
  Settings = TIniInfo{};
  KeyMap = TKeyMap{};
  EndReached = 0;
}

void MainWindowTest::TearDown() {
  close();
  setMessageBoxRecorder(nullptr);
  setBeepRecorder(nullptr);
}

void MainWindowTest::close() {
  if (window) {
    window->FormDestroy();
    delete window;
    window = nullptr;
    frmMain = nullptr;
    frmAudioProp = nullptr;
    frmAboutBox = nullptr;
    frmSetCounter = nullptr;
  }
}

void MainWindowTest::writeSettings(const std::string &text) {
  std::ofstream(iniPath) << text;
}

void MainWindowTest::start(const std::string &commandLineFile) {
  window = new TfrmMain;
  frmMain = window;
  window->FormCreate(commandLineFile);
  frmAudioProp = new TfrmAudioProp(window);
  frmAboutBox = new TfrmAboutBox(window);
  frmSetCounter = new TfrmSetCounter(window);
  window->FinishStartUp();
}

std::string MainWindowTest::settingsText() const {
  std::ifstream in(iniPath);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void MainWindowTest::runPosted() const {
  QCoreApplication::sendPostedEvents(window->ThePlayer);
}
