// Creating the main window, its dialogs and the message filter, as the program starts them.
#include "Program.h"

#include "AudioProp.h"
#include "CommonTypes.h"
#include "GuardedApplication.h"
#include "KeyBindingTab.h"
#include "Player.h"
#include "SetCounter.h"
#include "SingleInstance.h"
#include "U_Main.h"
#include "about.h"

Program::Program(const std::string &commandLineFile) {
  frmMain = new TfrmMain;
  filter_ = std::make_unique<WindowMessageFilter>([](uint32_t message, uint32_t wParam, uint32_t lParam) {
    if (frmMain)
      frmMain->WndProc(message, wParam, static_cast<int32_t>(lParam));
  });
  qApp->installNativeEventFilter(filter_.get());
  try {
    frmMain->FormCreate(commandLineFile);
  } catch (const std::exception &e) {
    // The rest of the start-up is skipped; the window is still shown.
    showHandlerError(QString::fromUtf8(e.what()));
  }
  createDialogs(frmMain);
  if (frmMain->TerminateRequested)
    return;
  frmMain->OpenDoors();
  frmMain->FinishStartUp();
  frmMain->show();
}

void Program::createDialogs(QWidget *window) {
  auto *keys = new KeyBindingTab;
  frmAudioProp = new TfrmAudioProp(keys, window);
  frmAudioProp->TabSheet6 = keys;
  QObject::connect(frmAudioProp, &TfrmAudioProp::opening, keys, [keys] { keys->startEditing(KeyMap); });
  frmAboutBox = new TfrmAboutBox(window);
  frmSetCounter = new TfrmSetCounter(window);
}

bool Program::terminateRequested() const {
  return frmMain->TerminateRequested;
}

Program::~Program() {
  frmMain->FormDestroy();
  qApp->removeNativeEventFilter(filter_.get());
  delete frmMain;
  frmMain = nullptr;
  frmAudioProp = nullptr;
  frmAboutBox = nullptr;
  frmSetCounter = nullptr;
}

// Answered at once and posted to the player, or refused while a dialog or a box is open: the
// command would run only once it closes, long after it was asked for.
void Program::runSentCommands(SingleInstance &instance) {
  instance.onCommand([](int command) {
    if (!Player::takesSentCommands())
      return false;
    frmMain->ThePlayer->post(command, Player::Key::Sent);
    return true;
  });
}
