// Message boxes through QMessageBox.
#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
std::function<void(const ShownBox &)> gRecorder;
std::function<void()> gBeepRecorder;
} // namespace

void setBeepRecorder(std::function<void()> recorder) {
  gBeepRecorder = std::move(recorder);
}

void setMessageBoxRecorder(std::function<void(const ShownBox &)> recorder) {
  gRecorder = std::move(recorder);
}

void showMessageBox(QWidget *owner, const QString &text, const QString &title, BoxIcon icon) {
  if (gRecorder) {
    gRecorder(ShownBox{title, text, icon});
    return;
  }
  const QMessageBox::Icon kind = icon == BoxIcon::Error         ? QMessageBox::Critical
                                 : icon == BoxIcon::Information ? QMessageBox::Information
                                 : icon == BoxIcon::Warning     ? QMessageBox::Warning
                                                                : QMessageBox::NoIcon;
  QMessageBox box(kind, title, text, QMessageBox::Ok, owner);
  box.exec();
}

void informationBeep() {
  if (gBeepRecorder)
    gBeepRecorder();
  else
    QApplication::beep();
}
