// xdg-open, started detached.
#include "DesktopOpen.h"

#include <QProcess>

bool openWithDesktop(const QString &fileOrAddress) {
  return QProcess::startDetached(QStringLiteral("xdg-open"), {fileOrAddress});
}
