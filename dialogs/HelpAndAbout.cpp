// The help command and the version dialog.
#include "DesktopOpen.h"
#include "Language.h"
#include "MessageBox.h"
#include "U_Main.h"
#include "about.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// Beside the program (a build), or in the documentation folder of an installation.
QString helpFile() {
  const QString dir = QCoreApplication::applicationDirPath();
  const QString beside = dir + QStringLiteral("/") + helpPageName();
  const QString installed = dir + QStringLiteral("/../share/doc/lystrel2/") + helpPageName();
  return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : QFileInfo(installed).canonicalFilePath();
}

} // namespace

void TfrmMain::HelpIndex1Click() {
  const QString file = helpFile();
  const auto notOpened = [this, file] {
    showMessageBox(this,
                   tr("HTMLヘルプが起動出来ませんでした\r\n") +
                       tr("ヘルプのファイルはここにあります: %1").arg(file),
                   QStringLiteral("Lystrel2"), BoxIcon::None);
  };
  if (!openWithDesktop(file, notOpened))
    notOpened();
}

void TfrmMain::About1Click() { frmAboutBox->exec(); }
