// TfrmAboutBox, the version dialog.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TfrmAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TfrmAboutBox(QWidget *parent = nullptr);
  QLabel *Label2, *LabelVersion, *LblUrl;
  QPushButton *OKButton;

  void LblUrlClick();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void showEvent(QShowEvent *event) override;
};

extern TfrmAboutBox *frmAboutBox;
