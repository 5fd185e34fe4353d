// TfrmAboutBox, the version dialog.
#pragma once

#include <QDialog>

class TfrmAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TfrmAboutBox(QWidget *parent = nullptr);
};

extern TfrmAboutBox *frmAboutBox;
