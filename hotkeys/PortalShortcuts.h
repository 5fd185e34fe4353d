// The hot keys through the desktop's GlobalShortcuts portal, the door for keys typed into native
// Wayland programs, which the X keyboard hook cannot hear.
//
// One portal session; slot N of the key map with a command becomes the shortcut "slot-N" with the
// slot's keys as its preferred trigger. The desktop reports the shortcut's press (Activated) and
// release (Deactivated); it may assign other triggers than those asked for, and says which.
// Every call is asynchronous; runs on the user-interface thread.
#pragma once

#include "CommonTypes.h"

#include <QDBusArgument>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusMessage;

// One entry of the portal's shortcut lists, a(sa{sv}).
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;
Q_DECLARE_METATYPE(PortalShortcut)
QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut);

class PortalShortcuts : public QObject {
  Q_OBJECT
public:
  // Whether this is a Wayland session (WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland).
  static bool waylandSession();

  explicit PortalShortcuts(QObject *parent = nullptr);
  ~PortalShortcuts() override;
  // Binds every slot that has a command; a later call closes the session and binds anew.
  void bind(const TKeyMap &keyMap);
  // Empty while the portal serves the shortcuts, else one line that says why it does not.
  QString problem() const { return problem_; }
  // The trigger that the desktop assigned to each bound slot (1-24), in the desktop's words.
  QMap<int, QString> assignedTriggers() const { return triggers_; }
  bool bound() const { return bound_; }

Q_SIGNALS:
  void activated(int slot);
  void deactivated(int slot);
  // The problem line, the binding or the assigned triggers changed.
  void stateChanged();

private Q_SLOTS:
  void onResponse(const QDBusMessage &message);
  void onActivated(const QDBusMessage &message);
  void onDeactivated(const QDBusMessage &message);
  void onShortcutsChanged(const QDBusMessage &message);

private:
  enum class Step { None, CreateSession, BindShortcuts, ListShortcuts };
  void createSession();
  void request(Step step, const QString &method, QList<QVariant> arguments, const QString &token);
  void sessionCreated(const QVariantMap &results);
  void shortcutsBound(const QVariantMap &results);
  void closeSession();
  void fail(const QString &line);
  void takeTriggers(const QDBusArgument &shortcuts);
  int slotOf(const QDBusMessage &message) const;
  QString nextToken();

  PortalShortcutList wanted_;
  QString session_;
  QString pendingRequest_;
  Step step_ = Step::None;
  QString problem_;
  QMap<int, QString> triggers_;
  bool bound_ = false;
  int tokens_ = 0;
};
