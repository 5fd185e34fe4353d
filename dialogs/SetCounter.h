// TfrmSetCounter, the counter entry dialog.
#pragma once

#include <QDialog>

class TfrmSetCounter : public QDialog {
  Q_OBJECT
public:
  explicit TfrmSetCounter(QWidget *parent = nullptr);
};

extern TfrmSetCounter *frmSetCounter;
