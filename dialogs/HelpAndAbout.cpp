// The help command and the version dialog.
#include "DesktopOpen.h"
#include "MessageBox.h"
#include "U_Main.h"
#include "about.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// Beside the program (a build), or in the documentation folder of an installation.
QString helpFile() {
  const QString dir = QCoreApplication::applicationDirPath();
  const QString beside = dir + QStringLiteral("/Lyt2Help.html");
  const QString installed = dir + QStringLiteral("/../share/doc/lystrel2/Lyt2Help.html");
  return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : QFileInfo(installed).canonicalFilePath();
}

} // namespace

void TfrmMain::HelpIndex1Click() {
  if (!openWithDesktop(helpFile()))
    showMessageBox(this, QStringLiteral("HTMLヘルプが起動出来ませんでした\r\n"), QStringLiteral("Lystrel2"), BoxIcon::None);
}

void TfrmMain::About1Click() { frmAboutBox->exec(); }
