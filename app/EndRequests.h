// The ways the program is asked to end besides its window's close button: the termination
// signals, the session's logout and the loss of the X server. Each saves the settings.
#pragma once

// Call first thing in the instance: SIGTERM, SIGINT and SIGHUP are noted from now on.
void catchTerminationSignals();
// Call once the application object exists: a noted signal closes the main window once it is up;
// one that comes while it is being built asks the start-up to end (endRequestedWhileStarting())
// and closes a box of the start-up that waits for the user. From a signal on, a box (a failed
// save of the settings) is told on standard error instead of waiting for the user.
void closeOnTerminationSignals();
bool endRequestedWhileStarting();
// Call once the main window is up: the logout request and the loss of the X server save the
// settings, the latter with the window's place as it was known before.
void saveOnLogoutAndDisplayLoss();
