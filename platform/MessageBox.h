// Message boxes, with a seam through which tests see them instead of a person.
#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class BoxIcon { None, Error, Information, Warning };

struct ShownBox {
  QString title;
  QString text;
  BoxIcon icon;
};

// Shows a modal box with one OK button, owned by `owner` (may be null); returns when closed.
void showMessageBox(QWidget *owner, const QString &text, const QString &title, BoxIcon icon);
// While set, boxes are handed to the recorder and not shown.
void setMessageBoxRecorder(std::function<void(const ShownBox &)> recorder);
// The system's information beep; while a beep recorder is set, it is called instead.
void informationBeep();
void setBeepRecorder(std::function<void()> recorder);
