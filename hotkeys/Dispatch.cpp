// The hook library's messages and the pedals' switches, matched against the key map and posted
// to the player as commands.
#include "CommonTypes.h"
#include "Player.h"
#include "SpeedButton.h"
#include "U_Main.h"

// Every slot is looked at: several slots may hold the same combination, and all of them run.
void TfrmMain::WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (HookMessage == 0 || message != HookMessage)
    return;
  DispatchKey(static_cast<int32_t>(wParam & 0xFFFF), static_cast<int32_t>((wParam >> 16) & 0xFFFF),
              (static_cast<uint32_t>(lParam) & 0x80000000u) != 0);
}

// A pedal switch is a key without modifiers, pressed and released like one.
void TfrmMain::PedalSwitched(uint32_t virtualKey, bool pressed) {
  DispatchKey(static_cast<int32_t>(virtualKey), 0, !pressed);
}

void TfrmMain::DispatchKey(int32_t key, int32_t modifiers, bool released) {
  for (int slot = 1; slot <= KeyMapSlots; ++slot) {
    const KeyBinding &binding = KeyMap.slot(slot);
    if (binding.Modifiers == modifiers && binding.KeyCode == key)
      SlotKeyEvent(slot, released);
  }
}

void TfrmMain::SlotKeyEvent(int slot, bool released) {
  ThePlayer->post(KeyMap.slot(slot).Command, released ? Player::Key::Released : Player::Key::Pressed);
}

// No release follows a sent command, so play/stop toggles in the non-lock mode as well.
void TfrmMain::RunSentCommand(int32_t command) {
  if (command == 1)
    TogglePlayStop();
  else
    RunCommand(command);
}

void TfrmMain::TogglePlayStop() {
  SpdBtn_PlayStop->setDown(!SpdBtn_PlayStop->Down());
  SpdBtn_PlayStopClick();
}

void TfrmMain::PlayStopKeyPressed() {
  if (!Settings.NonLockMode) {
    TogglePlayStop();
  } else if (!SpdBtn_PlayStop->Down()) {
    // Held down, the key repeats: only the first press plays.
    SpdBtn_PlayStop->setDown(true);
    SpdBtn_PlayStopClick();
  }
}

void TfrmMain::PlayStopKeyReleased() {
  SpdBtn_PlayStop->setDown(false);
  SpdBtn_PlayStopClick();
}

void TfrmMain::RunCommand(int32_t command) {
  switch (command) {
  case 1:
    PlayStopKeyPressed();
    break;
  case 2:
    FastForward();
    break;
  case 3:
    Rewind();
    break;
  case 4:
    ResetPosition();
    break;
  case 5:
    CopyCounter();
    break;
  case 6:
    EnterCounter();
    break;
  case 7:
  case 8:
  case 9:
  case 10:
  case 11:
  case 12:
    StepEqBand(command - 7);
    break;
  case 13:
    TogglePointA();
    break;
  case 14:
    TogglePointB();
    break;
  case 15:
  case 16:
    StepVolume(command == 15);
    break;
  case 17:
  case 18:
  case 19:
  case 20:
    SetTempoPreset(command - 17);
    break;
  case 21:
  case 22:
    StepTempo(command == 21);
    break;
  case PreviousPhraseCommand:
    PreviousPhrase();
    break;
  case NextPhraseCommand:
    NextPhrase();
    break;
  default:
    break; // 0 is an empty slot; anything else comes from a hand-edited file
  }
}
