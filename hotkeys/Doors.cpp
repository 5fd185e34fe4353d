// The doors to the commands besides the keyboard hook: the desktop's shortcut portal on Wayland
// and MPRIS; `lystrel2 --command` arrives through the single-instance socket (RunSentCommand).
#include "AudioProp.h"
#include "KeyBindingTab.h"
#include "Mpris.h"
#include "PortalShortcuts.h"
#include "U_Main.h"

void TfrmMain::OpenDoors() {
  Mpris = new MprisService(this);
  if (!PortalShortcuts::waylandSession())
    return;
  DesktopShortcuts = new PortalShortcuts(this);
  connect(DesktopShortcuts, &PortalShortcuts::activated, this, [this](int slot) { SlotKeyEvent(slot, false); });
  connect(DesktopShortcuts, &PortalShortcuts::deactivated, this, [this](int slot) { SlotKeyEvent(slot, true); });
  connect(DesktopShortcuts, &PortalShortcuts::stateChanged, this, &TfrmMain::ShowDesktopShortcuts);
  DesktopShortcuts->bind(KeyMap);
}

void TfrmMain::RebindDesktopShortcuts() {
  if (DesktopShortcuts)
    DesktopShortcuts->bind(KeyMap);
}

void TfrmMain::ShowDesktopShortcuts() {
  if (frmAudioProp && DesktopShortcuts)
    frmAudioProp->TabSheet6->showDesktopShortcuts(DesktopShortcuts->problem(), DesktopShortcuts->assignedTriggers());
}
