// Catching what escapes an event handler.
#include "GuardedApplication.h"

#include "MessageBox.h"

void showHandlerError(const QString &message) {
  QString text = message;
  if (!text.endsWith(QLatin1Char('.')))
    text += QLatin1Char('.');
  showMessageBox(QApplication::activeWindow(), text, QStringLiteral("Lystrel2"), BoxIcon::Error);
}

bool GuardedApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    showHandlerError(QString::fromUtf8(e.what()));
  } catch (...) {
    showHandlerError(QStringLiteral("Unknown error"));
  }
  return false;
}
