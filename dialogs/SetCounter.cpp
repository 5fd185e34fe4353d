// The counter entry dialog's window.
#include "SetCounter.h"

TfrmSetCounter *frmSetCounter = nullptr;

TfrmSetCounter::TfrmSetCounter(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ｶｳﾝﾀ指定"));
  setFixedSize(115, 38);
}
