// A static text that reports clicks.
#pragma once

#include <QLabel>

#include <functional>

class ClickLabel : public QLabel {
  Q_OBJECT
public:
  explicit ClickLabel(const QString &text, QWidget *parent = nullptr) : QLabel(text, parent) {}
  std::function<void()> onClick;

protected:
  void mouseReleaseEvent(QMouseEvent *event) override;
};
