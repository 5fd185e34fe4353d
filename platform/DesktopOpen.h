// Handing a file or an address to the desktop's default handler (xdg-open).
#pragma once

#include <QString>

#include <functional>

// Starts the handler without waiting for it to finish; false when it could not be started at all.
// `failedLater` runs on this thread if the handler ends with a non-zero status (xdg-open found no
// program for the file).
bool openWithDesktop(const QString &fileOrAddress, std::function<void()> failedLater = {});
