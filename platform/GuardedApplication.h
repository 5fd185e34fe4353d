// The application object: an error that escapes an event handler is shown, and the program goes on.
#pragma once

#include <QApplication>

#include <stdexcept>

// An error raised inside a handler, with the text the user is to see (UTF-8).
class HandlerError : public std::runtime_error {
public:
  explicit HandlerError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

class GuardedApplication : public QApplication {
  Q_OBJECT
public:
  GuardedApplication(int &argc, char **argv) : QApplication(argc, argv) {}
  bool notify(QObject *receiver, QEvent *event) override;
};

// The framework's error box: title "Lystrel2", error icon, a full stop appended when missing.
void showHandlerError(const QString &message);
