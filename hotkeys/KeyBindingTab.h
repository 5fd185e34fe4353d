// The key tab of the settings dialog: bind a key combination to each of the commands, or
// release a binding, on a working copy of the key map.
#pragma once

#include "CommonTypes.h"

#include <QMap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class KeyBindingTab : public QWidget {
  Q_OBJECT
public:
  explicit KeyBindingTab(QWidget *parent = nullptr);

  QLabel *Label3, *Label2, *Label5;
  QListWidget *ListBoxFunc;
  QLineEdit *EditKeyDef;
  QLabel *StaticTextCurrentKeyDef;
  QPushButton *BtnKeySet, *BtnRelise;
  // Shown while a plugged-in foot pedal, or some of its switches, cannot be used.
  QLabel *PedalNote;

  TKeyMap EditKeyMap;
  int32_t CapturedModifiers = 0;
  uint16_t CapturedKeyCode = 0;

  // The dialog's activation: a fresh copy of the key map, the first command selected.
  void startEditing(const TKeyMap &keyMap);
  void ShowCapturedKey(uint32_t keyCode, int32_t modifiers);
  bool IsKeyFree(uint32_t keyCode, int32_t modifiers);
  void ShowCurrentBinding(int index);
  void ListBoxFuncClick();
  void BtnKeySetClick();
  void BtnReliseClick();
  void ShowPedalProblems();

  // One line about the desktop's shortcut service: the trigger it assigned to the selected
  // command's slot, or why it serves none. Hidden where the keyboard hook alone serves.
  QLabel *LabelDesktopShortcut;
  void showDesktopShortcuts(const QString &problem, const QMap<int, QString> &triggers);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void showEvent(QShowEvent *event) override;

private:
  void setFieldEnabled(bool enabled);
  void focusIfShown(QWidget *widget);
  int selectedIndex() const;
  void showDesktopLine(int index);
  QString desktopProblem_;
  QMap<int, QString> desktopTriggers_;
};
