// The version dialog's window.
#include "about.h"

TfrmAboutBox *frmAboutBox = nullptr;

TfrmAboutBox::TfrmAboutBox(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("バージョン情報"));
  setFixedSize(259, 58);
}
