// Handing a file or an address to the desktop's default handler (xdg-open).
#pragma once

#include <QString>

// Starts the handler without waiting for it; false when it could not be started at all.
bool openWithDesktop(const QString &fileOrAddress);
