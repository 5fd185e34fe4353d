// Pieces of media loading that stand apart from the window: the error text and the end notification.
#pragma once

#include "Bass.h"

#include <QString>

// The text of the engine error box for `message` and the two libraries' last error codes, ending
// in a line that names the cause in the user's language.
QString engineErrorText(const QString &message, int engineCode, int effectsCode);
// One plain sentence naming what an engine error code means; empty for 0.
QString engineErrorCause(int code);
// The engine's end-of-source notification: sets EndReached to -1.
void EndSyncCallback(HSYNC sync, DWORD channel, DWORD data, DWORD user);
// A recording's length in whole seconds, a half going to the even neighbour; never below 0.
int wholeSecondsOfLength(double seconds);
