// TfrmAudioProp, the settings dialog.
#pragma once

#include <QDialog>

class TfrmAudioProp : public QDialog {
  Q_OBJECT
public:
  explicit TfrmAudioProp(QWidget *parent = nullptr);
};

extern TfrmAudioProp *frmAudioProp;
