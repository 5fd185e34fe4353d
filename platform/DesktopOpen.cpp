// xdg-open, watched until it ends so that a handler that finds nothing can be reported.
#include "DesktopOpen.h"

#include <QCoreApplication>
#include <QProcess>

bool openWithDesktop(const QString &fileOrAddress, std::function<void()> failedLater) {
  auto *opener = new QProcess(QCoreApplication::instance());
  opener->setProcessChannelMode(QProcess::ForwardedChannels);
  opener->setInputChannelMode(QProcess::ForwardedInputChannel);
  opener->start(QStringLiteral("xdg-open"), {fileOrAddress});
  if (!opener->waitForStarted()) {
    delete opener;
    return false;
  }
  QObject::connect(opener, &QProcess::finished, opener,
                   [opener, failedLater = std::move(failedLater)](int exitCode, QProcess::ExitStatus status) {
                     // An opener still running as the program ends is killed; that is no failure to report.
                     if ((exitCode != 0 || status != QProcess::NormalExit) && failedLater &&
                         !QCoreApplication::closingDown())
                       failedLater();
                     opener->deleteLater();
                   });
  return true;
}
