// The fake portal's answers.
#include "FakePortal.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

QString senderPart(const QDBusMessage &message) {
  return message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
}

int connections = 0;

} // namespace

FakePortal::FakePortal()
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QStringLiteral("fake-portal-%1").arg(++connections))) {
  qDBusRegisterMetaType<PortalShortcut>();
  qDBusRegisterMetaType<PortalShortcutList>();
  bus_.registerVirtualObject(kPath, this, QDBusConnection::SubPath);
  bus_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

FakePortal::~FakePortal() {
  bus_.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
  bus_.unregisterObject(kPath, QDBusConnection::UnregisterTree);
  QDBusConnection::disconnectFromBus(bus_.name());
}

QString FakePortal::introspect(const QString &) const {
  return {};
}

bool FakePortal::handleMessage(const QDBusMessage &message, const QDBusConnection &) {
  const QList<QVariant> args = message.arguments();
  if (message.member() == QStringLiteral("Close")) {
    ++sessionsClosed;
    bus_.send(message.createReply());
    return true;
  }
  if (message.interface() != kInterface)
    return false;
  const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
  const QString token = options.value(QStringLiteral("handle_token")).toString();
  if (message.member() == QStringLiteral("CreateSession")) {
    ++sessionsCreated;
    session = kPath + QStringLiteral("/session/") + senderPart(message) + QLatin1Char('/') +
              options.value(QStringLiteral("session_handle_token")).toString();
    respond(message, token, {{QStringLiteral("session_handle"), session}});
  } else if (message.member() == QStringLiteral("BindShortcuts")) {
    bound.clear();
    bound = qdbus_cast<PortalShortcutList>(args.at(1));
    respond(message, token, {{QStringLiteral("shortcuts"), assignedShortcuts()}});
  } else if (message.member() == QStringLiteral("ListShortcuts")) {
    ++listed;
    respond(message, token, {{QStringLiteral("shortcuts"), assignedShortcuts()}});
  } else {
    return false;
  }
  return true;
}

// The reply names the request; its answer follows as the request's Response signal.
void FakePortal::respond(const QDBusMessage &call, const QString &token, const QVariantMap &results) {
  const QString request = kPath + QStringLiteral("/request/") + senderPart(call) + QLatin1Char('/') + token;
  bus_.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
  QDBusMessage response =
      QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
  response << static_cast<uint>(refuse ? 2 : 0) << (refuse ? QVariantMap() : results);
  bus_.send(response);
}

QVariant FakePortal::assignedShortcuts() const {
  PortalShortcutList list;
  for (const PortalShortcut &shortcut : bound) {
    const QString trigger = assign.value(shortcut.id, shortcut.properties.value(QStringLiteral("preferred_trigger")).toString());
    list.append({shortcut.id, {{QStringLiteral("description"), shortcut.properties.value(QStringLiteral("description"))},
                               {QStringLiteral("trigger_description"), trigger}}});
  }
  return QVariant::fromValue(list);
}

void FakePortal::sendShortcutSignal(const QString &name, const QString &id) {
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, name);
  signal << QVariant::fromValue(QDBusObjectPath(session)) << id << static_cast<qulonglong>(0) << QVariantMap();
  bus_.send(signal);
}

void FakePortal::activate(const QString &id) {
  sendShortcutSignal(QStringLiteral("Activated"), id);
}

void FakePortal::deactivate(const QString &id) {
  sendShortcutSignal(QStringLiteral("Deactivated"), id);
}

void FakePortal::vanish() {
  bus_.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

void FakePortal::changeTrigger(const QString &id, const QString &trigger) {
  assign.insert(id, trigger);
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("ShortcutsChanged"));
  signal << QVariant::fromValue(QDBusObjectPath(session)) << assignedShortcuts();
  bus_.send(signal);
}
