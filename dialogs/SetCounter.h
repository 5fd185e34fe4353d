// TfrmSetCounter, the counter entry dialog, and the time it accepts.
#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>

class QLineEdit;

// hhmmss (the third character not ":") or hh:mm:ss (separators not examined); hours 0 or more,
// minutes and seconds 0..59. The time in seconds, or nothing for anything else.
std::optional<int64_t> parseCounterTime(const QString &text);

// Closes itself as soon as its text has the length of a complete time.
class TfrmSetCounter : public QDialog {
  Q_OBJECT
public:
  explicit TfrmSetCounter(QWidget *parent = nullptr);
  QLineEdit *Edit1;

protected:
  void showEvent(QShowEvent *event) override;

private:
  void Edit1Change();
};

extern TfrmSetCounter *frmSetCounter;
