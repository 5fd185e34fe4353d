// A stand-in for the desktop's GlobalShortcuts portal on the test's own session bus: it keeps the
// shortcuts bound to it, answers through the Request/Response pattern, and sends the desktop's
// signals when told. It uses its own bus connection, as the real portal is another process.
#pragma once

#include "PortalShortcuts.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>

class FakePortal : public QDBusVirtualObject {
public:
  FakePortal();
  ~FakePortal() override;

  // Answer every request with "refused" (response 2).
  bool refuse = false;
  // Triggers the desktop assigns instead of the preferred ones, by shortcut id.
  QMap<QString, QString> assign;

  PortalShortcutList bound;
  int sessionsCreated = 0;
  int sessionsClosed = 0;
  int listed = 0;
  QString session;

  void activate(const QString &id);
  void deactivate(const QString &id);
  // The portal leaves the bus, as when the desktop's portal service ends.
  void vanish();
  // The user changed a trigger in the desktop's settings.
  void changeTrigger(const QString &id, const QString &trigger);

  QString introspect(const QString &path) const override;
  bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
  void respond(const QDBusMessage &call, const QString &token, const QVariantMap &results);
  QVariant assignedShortcuts() const;
  void sendShortcutSignal(const QString &name, const QString &id);
  QDBusConnection bus_;
};
