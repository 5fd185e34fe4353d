// The counter entry dialog: one edit box that closes the dialog when a time is complete.
#include "SetCounter.h"

#include <QLineEdit>
#include <QTimer>

#include "Foreground.h"
#include "FramePlacement.h"
#include "WindowMessages.h"

TfrmSetCounter *frmSetCounter = nullptr;

namespace {

// Delphi's StrToInt on two characters: leading blanks, an optional sign, then digits only.
std::optional<int> field(const QString &text) {
  int i = 0;
  while (i < text.size() && text[i] == QLatin1Char(' '))
    ++i;
  int sign = 1;
  if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
    sign = text[i++] == QLatin1Char('-') ? -1 : 1;
  if (i == text.size())
    return std::nullopt;
  int value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
      return std::nullopt;
    value = value * 10 + (text[i].unicode() - '0');
  }
  return sign * value;
}

} // namespace

std::optional<int64_t> parseCounterTime(const QString &text) {
  int hoursAt, minutesAt, secondsAt;
  if (text.size() == 6)
    hoursAt = 0, minutesAt = 2, secondsAt = 4;
  else if (text.size() == 8)
    hoursAt = 0, minutesAt = 3, secondsAt = 6;
  else
    return std::nullopt;
  const auto hours = field(text.mid(hoursAt, 2));
  const auto minutes = field(text.mid(minutesAt, 2));
  const auto seconds = field(text.mid(secondsAt, 2));
  if (!hours || !minutes || !seconds || *hours < 0 || *minutes < 0 || *minutes > 59 || *seconds < 0 ||
      *seconds > 59)
    return std::nullopt;
  return int64_t(*hours) * 3600 + *minutes * 60 + *seconds;
}

TfrmSetCounter::TfrmSetCounter(QWidget *parent) : QDialog(parent) {
  setWindowTitle(tr("ｶｳﾝﾀ指定"));
  setFixedSize(115, 38);
  Edit1 = new QLineEdit(this);
  Edit1->setGeometry(30, 8, 55, 20);
  connect(Edit1, &QLineEdit::textChanged, this, &TfrmSetCounter::Edit1Change);
}

void TfrmSetCounter::showEvent(QShowEvent *event) {
  if (parentWidget())
    moveFrameTo(this, frameCorner(parentWidget()->window())); // where the main window is going
  Edit1->clear();
  Edit1->setFocus();
  QDialog::showEvent(event);
  // In front and with the keys, though another application had them.
  QTimer::singleShot(0, this, [this] {
    activateWindow();
    setForegroundWindow(nativeWindowId(this));
  });
}

void TfrmSetCounter::Edit1Change() {
  const QString text = Edit1->text();
  if ((text.size() == 6 && text[2] != QLatin1Char(':')) || text.size() == 8)
    accept();
}
