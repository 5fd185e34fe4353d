// Capturing, naming, setting and releasing key bindings.
#include "KeyBindingTab.h"

#include "KeyCapture.h"
#include "KeyNames.h"
#include "MessageBox.h"
#include "PedalEvent.h"
#include "PedalMonitor.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

QString unboundHint() {
  return KeyBindingTab::tr("登録するｷｰを押してから設定ボタンを押して下さい");
}
QString boundHint() {
  return KeyBindingTab::tr("新しいｷｰ設定をするにはまず現在のｷｰを解除して下さい");
}

template <typename W> W *place(W *widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

} // namespace

KeyBindingTab::KeyBindingTab(QWidget *parent) : QWidget(parent) {
  Label3 = place(new QLabel(tr("機能："), this), 11, 24, 100, 14);
  ListBoxFunc = place(new QListWidget(this), 11, 40, 105, 88);
  Label2 = place(new QLabel(tr("新しいｷｰ設定："), this), 131, 24, 140, 14);
  EditKeyDef = place(new QLineEdit(this), 131, 40, 145, 20);
  Label5 = place(new QLabel(tr("現在のｷｰ設定："), this), 131, 80, 140, 14);
  StaticTextCurrentKeyDef = place(new QLabel(this), 131, 99, 145, 20);
  StaticTextCurrentKeyDef->setFrameShape(QFrame::Panel);
  StaticTextCurrentKeyDef->setFrameShadow(QFrame::Sunken);
  StaticTextCurrentKeyDef->setAutoFillBackground(true);
  QPalette white = StaticTextCurrentKeyDef->palette();
  white.setColor(QPalette::Window, Qt::white);
  StaticTextCurrentKeyDef->setPalette(white);
  BtnKeySet = place(new QPushButton(tr("設定"), this), 291, 40, 65, 25);
  BtnRelise = place(new QPushButton(tr("解除"), this), 291, 72, 65, 25);
  BtnKeySet->setEnabled(false);
  BtnRelise->setEnabled(false);
  BtnKeySet->setAutoDefault(false);
  BtnRelise->setAutoDefault(false);
  for (int i = 0; i < KeyMapSlots; ++i)
    ListBoxFunc->addItem(functionName(i));
  QFont listFont = ListBoxFunc->font();
  listFont.setPixelSize(10); // items 12 pixels high
  ListBoxFunc->setFont(listFont);
  ListBoxFunc->setStyleSheet(QStringLiteral("QListWidget::item { height: 12px; padding: 0px; }"));
  // One short line between the list and the non-lock check box; the details in its tool tip.
  PedalNote = place(new QLabel(this), 11, 130, 345, 18);
  QFont noteFont = PedalNote->font();
  noteFont.setPixelSize(10);
  PedalNote->setFont(noteFont);
  PedalNote->setStyleSheet(QStringLiteral("color: #b00000"));
  PedalNote->hide();
  if (PedalMonitor *pedals = PedalMonitor::running())
    connect(pedals, &PedalMonitor::pedalsChanged, this, &KeyBindingTab::ShowPedalProblems);
  // Under the slot's own keys: what the desktop made of them (shown only with the shortcut portal).
  LabelDesktopShortcut = place(new QLabel(this), 131, 119, 225, 11);
  LabelDesktopShortcut->setFont(noteFont);
  LabelDesktopShortcut->hide();
  EditKeyDef->installEventFilter(this);
  connect(ListBoxFunc, &QListWidget::itemClicked, this, &KeyBindingTab::ListBoxFuncClick);
  // The arrow keys move the current row too: the fields follow it, as the buttons do.
  connect(ListBoxFunc, &QListWidget::currentRowChanged, this, &KeyBindingTab::ListBoxFuncClick);
  connect(BtnKeySet, &QPushButton::clicked, this, &KeyBindingTab::BtnKeySetClick);
  connect(BtnRelise, &QPushButton::clicked, this, &KeyBindingTab::BtnReliseClick);
}

void KeyBindingTab::startEditing(const TKeyMap &keyMap) {
  EditKeyMap = keyMap;
  ListBoxFunc->setCurrentRow(0);
  ShowCurrentBinding(0);
}

int KeyBindingTab::selectedIndex() const {
  return std::max(ListBoxFunc->currentRow(), 0);
}

// Showing the tab shows the command that is selected, the one the buttons act on, and puts the
// focus where its key is set or released.
void KeyBindingTab::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  ShowCurrentBinding(selectedIndex());
  focusIfShown(BtnRelise->isEnabled() ? static_cast<QWidget *>(BtnRelise) : EditKeyDef);
  ShowPedalProblems();
}

// What keeps a plugged-in pedal from being used: the first thing on the line, all of them and
// what to do about them in its tool tip.
void KeyBindingTab::ShowPedalProblems() {
  PedalMonitor *pedals = PedalMonitor::running();
  const QList<PedalProblem> problems = pedals ? pedals->problems() : QList<PedalProblem>();
  PedalNote->setVisible(!problems.isEmpty());
  if (problems.isEmpty())
    return;
  PedalNote->setText(problems.first().summary());
  QStringList details;
  for (const PedalProblem &problem : problems)
    details << problem.details();
  PedalNote->setToolTip(details.join(QLatin1Char('\n')));
}

// Key presses in the field are captured and never typed; Tab and Enter keep their dialog meaning.
bool KeyBindingTab::eventFilter(QObject *watched, QEvent *event) {
  if (watched != EditKeyDef)
    return false;
  switch (event->type()) {
  case QEvent::ShortcutOverride: {
    // The dialog's own Alt shortcuts do not act inside the field: the key comes here.
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab && key->key() != Qt::Key_Return &&
        key->key() != Qt::Key_Enter)
      event->accept();
    return false;
  }
  case QEvent::KeyPress: {
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Return ||
        key->key() == Qt::Key_Enter)
      return false;
    const uint32_t code = virtualKeyOf(key);
    CapturedModifiers = 0;
    EditKeyDef->clear();
    // F10 is a system key, as a key held with Alt is: it is captured with Alt.
    CapturedModifiers = modifierFlagsOf(key, code) | (code == 0x79 ? 16 : 0);
    ShowCapturedKey(code, CapturedModifiers);
    return true;
  }
  case QEvent::KeyRelease:
  case QEvent::InputMethod:
    return true;
  default:
    if (event->type() != PedalEvent::eventType())
      return false;
    // A pedal switch: a key of its own, without modifiers.
    CapturedModifiers = 0;
    EditKeyDef->clear();
    ShowCapturedKey(static_cast<PedalEvent *>(event)->virtualKey, 0);
    return true;
  }
}

void KeyBindingTab::ShowCapturedKey(uint32_t keyCode, int32_t modifiers) {
  if (IsKeyFree(keyCode, modifiers)) {
    EditKeyDef->setText(bindingName(modifiers, keyCode));
    CapturedModifiers = modifiers;
    CapturedKeyCode = static_cast<uint16_t>(keyCode);
  }
  if (!EditKeyDef->text().isEmpty())
    BtnKeySet->setEnabled(true);
}

bool KeyBindingTab::IsKeyFree(uint32_t keyCode, int32_t modifiers) {
  for (int slot = 1; slot <= KeyMapSlots; ++slot) {
    const KeyBinding &b = EditKeyMap.slot(slot);
    if (b.Modifiers == modifiers && b.KeyCode == static_cast<int32_t>(keyCode)) {
      showMessageBox(window(), tr("このｷｰは既に他の機能に割り当てれれています"), QStringLiteral("Lystrel2"),
                     BoxIcon::None);
      return false;
    }
  }
  return true;
}

void KeyBindingTab::setFieldEnabled(bool enabled) {
  EditKeyDef->setEnabled(enabled);
  QPalette palette = EditKeyDef->palette();
  palette.setColor(QPalette::Base, enabled ? palette.color(QPalette::Active, QPalette::Base)
                                           : palette.color(QPalette::Inactive, QPalette::Window));
  EditKeyDef->setPalette(palette);
}

void KeyBindingTab::focusIfShown(QWidget *widget) {
  if (widget->isVisible() && widget->isEnabled())
    widget->setFocus();
}

// The focus stays where it is: in the list, the next arrow key moves the row again.
void KeyBindingTab::ShowCurrentBinding(int index) {
  showDesktopLine(index);
  EditKeyDef->clear();
  StaticTextCurrentKeyDef->clear();
  bool bound = false;
  for (int slot = 1; slot <= KeyMapSlots; ++slot) {
    const KeyBinding &b = EditKeyMap.slot(slot);
    if (b.Command != index + 1 || keyName(static_cast<uint32_t>(b.KeyCode)).isEmpty())
      continue;
    StaticTextCurrentKeyDef->setText(bindingName(b.Modifiers, static_cast<uint32_t>(b.KeyCode)));
    setFieldEnabled(false);
    BtnKeySet->setEnabled(false);
    BtnRelise->setEnabled(true);
    bound = true;
  }
  if (bound) {
    setToolTip(boundHint());
  } else {
    setToolTip(unboundHint());
    setFieldEnabled(true);
    BtnRelise->setEnabled(false);
  }
}

void KeyBindingTab::ListBoxFuncClick() {
  ShowCurrentBinding(selectedIndex());
}

void KeyBindingTab::BtnKeySetClick() {
  if (EditKeyDef->text().isEmpty())
    return;
  const int i = selectedIndex();
  EditKeyMap.slot(i + 1) = KeyBinding{CapturedModifiers, CapturedKeyCode, i + 1};
  StaticTextCurrentKeyDef->setText(EditKeyDef->text());
  EditKeyDef->clear();
  setFieldEnabled(false);
  BtnKeySet->setEnabled(false);
  BtnRelise->setEnabled(true);
}

void KeyBindingTab::BtnReliseClick() {
  EditKeyMap.slot(selectedIndex() + 1) = KeyBinding{};
  StaticTextCurrentKeyDef->clear();
  setFieldEnabled(true);
  BtnRelise->setEnabled(false);
  focusIfShown(EditKeyDef);
}

void KeyBindingTab::showDesktopShortcuts(const QString &problem, const QMap<int, QString> &triggers) {
  desktopProblem_ = problem;
  desktopTriggers_ = triggers;
  LabelDesktopShortcut->show();
  showDesktopLine(selectedIndex());
}

void KeyBindingTab::showDesktopLine(int index) {
  if (!desktopProblem_.isEmpty())
    LabelDesktopShortcut->setText(desktopProblem_);
  else if (!desktopTriggers_.value(index + 1).isEmpty())
    LabelDesktopShortcut->setText(tr("デスクトップのショートカット: %1").arg(desktopTriggers_.value(index + 1)));
  else
    LabelDesktopShortcut->setText(tr("デスクトップのショートカット: なし"));
  // The line is short; the whole of a long reason is in its tool tip.
  LabelDesktopShortcut->setToolTip(LabelDesktopShortcut->text());
}
