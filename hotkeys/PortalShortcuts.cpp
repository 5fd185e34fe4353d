// The portal's Request/Response exchange: create a session, bind the shortcuts, list them.
#include "PortalShortcuts.h"

#include "CommandNames.h"
#include "PortalTriggers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <cstdlib>
#include <cstring>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

QDBusConnection bus() {
  return QDBusConnection::sessionBus();
}

// The portal names a request after the caller's unique name and the caller's token.
QString requestPath(const QString &token) {
  QString sender = bus().baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

QString pathText(const QVariant &value) {
  return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path() : value.toString();
}

// The slot of a shortcut id "slot-N", or 0.
int slotNumber(const QString &id) {
  if (!id.startsWith(QStringLiteral("slot-")))
    return 0;
  bool ok = false;
  const int slot = id.mid(5).toInt(&ok);
  return ok && slot >= 1 && slot <= KeyMapSlots ? slot : 0;
}

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

bool PortalShortcuts::waylandSession() {
  const char *display = std::getenv("WAYLAND_DISPLAY");
  const char *type = std::getenv("XDG_SESSION_TYPE");
  return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

PortalShortcuts::PortalShortcuts(QObject *parent) : QObject(parent) {
  qDBusRegisterMetaType<PortalShortcut>();
  qDBusRegisterMetaType<PortalShortcutList>();
  bus().connect(kService, kPath, kInterface, QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
  bus().connect(kService, kPath, kInterface, QStringLiteral("Deactivated"), this,
                SLOT(onDeactivated(QDBusMessage)));
  bus().connect(kService, kPath, kInterface, QStringLiteral("ShortcutsChanged"), this,
                SLOT(onShortcutsChanged(QDBusMessage)));
  auto *watcher = new QDBusServiceWatcher(kService, bus(), QDBusServiceWatcher::WatchForUnregistration, this);
  connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
    session_.clear();
    fail(tr("デスクトップのショートカット機能が終了しました。ホットキーは X11 のプログラムでのみ働きます。"));
  });
}

PortalShortcuts::~PortalShortcuts() {
  closeSession();
}

void PortalShortcuts::bind(const TKeyMap &keyMap) {
  wanted_.clear();
  for (int slot = 1; slot <= KeyMapSlots; ++slot) {
    const KeyBinding &binding = keyMap.slot(slot);
    if (binding.Command < 1 || binding.Command > KeyMapSlots)
      continue;
    QVariantMap properties{
        {QStringLiteral("description"), QString::fromLatin1(CommandNames[binding.Command - 1].data(),
                                                             CommandNames[binding.Command - 1].size())}};
    const QString trigger = portalTrigger(binding.Modifiers, static_cast<uint32_t>(binding.KeyCode));
    if (!trigger.isEmpty())
      properties.insert(QStringLiteral("preferred_trigger"), trigger);
    wanted_.append({QStringLiteral("slot-%1").arg(slot), properties});
  }
  closeSession();
  createSession();
}

QString PortalShortcuts::nextToken() {
  return QStringLiteral("lystrel2_%1").arg(++tokens_);
}

void PortalShortcuts::createSession() {
  const QString token = nextToken();
  request(Step::CreateSession, QStringLiteral("CreateSession"),
          {QVariantMap{{QStringLiteral("handle_token"), token},
                       {QStringLiteral("session_handle_token"), nextToken()}}},
          token);
}

// Listens for the request's answer before asking, so that a quick answer is not missed.
void PortalShortcuts::request(Step step, const QString &method, QList<QVariant> arguments, const QString &token) {
  if (!pendingRequest_.isEmpty())
    bus().disconnect(kService, pendingRequest_, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(onResponse(QDBusMessage)));
  step_ = step;
  pendingRequest_ = requestPath(token);
  bus().connect(kService, pendingRequest_, kRequestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(QDBusMessage)));
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
  call.setArguments(arguments);
  auto *watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, step](QDBusPendingCallWatcher *call) {
    call->deleteLater();
    if (call->isError() && step_ == step)
      fail(tr("デスクトップにグローバルショートカットの機能がありません (%1)。ホットキーは X11 のプログラムでのみ働きます。")
               .arg(call->error().message()));
  });
}

void PortalShortcuts::onResponse(const QDBusMessage &message) {
  if (message.path() != pendingRequest_ || message.arguments().size() < 2)
    return;
  const uint response = message.arguments().at(0).toUInt();
  const QVariantMap results = qdbus_cast<QVariantMap>(message.arguments().at(1));
  const Step step = step_;
  step_ = Step::None;
  if (response != 0) {
    fail(tr("デスクトップがグローバルショートカットを拒否しました。ホットキーは X11 のプログラムでのみ働きます。"));
    return;
  }
  if (step == Step::CreateSession)
    sessionCreated(results);
  else
    shortcutsBound(results);
}

void PortalShortcuts::sessionCreated(const QVariantMap &results) {
  session_ = pathText(results.value(QStringLiteral("session_handle")));
  const QString token = nextToken();
  request(Step::BindShortcuts, QStringLiteral("BindShortcuts"),
          {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(wanted_), QString(),
           QVariantMap{{QStringLiteral("handle_token"), token}}},
          token);
}

// Both the binding's and the listing's answers carry the shortcuts as the desktop keeps them.
void PortalShortcuts::shortcutsBound(const QVariantMap &results) {
  const bool listed = bound_;
  bound_ = true;
  problem_.clear();
  triggers_.clear();
  takeTriggers(results.value(QStringLiteral("shortcuts")).value<QDBusArgument>());
  if (!listed) {
    const QString token = nextToken();
    request(Step::ListShortcuts, QStringLiteral("ListShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap{{QStringLiteral("handle_token"), token}}},
            token);
  }
}

void PortalShortcuts::takeTriggers(const QDBusArgument &shortcuts) {
  if (shortcuts.currentType() == QDBusArgument::UnknownType) {
    Q_EMIT stateChanged();
    return;
  }
  PortalShortcutList list;
  shortcuts >> list;
  for (const PortalShortcut &shortcut : list)
    if (const int slot = slotNumber(shortcut.id))
      triggers_.insert(slot, shortcut.properties.value(QStringLiteral("trigger_description")).toString());
  Q_EMIT stateChanged();
}

void PortalShortcuts::onShortcutsChanged(const QDBusMessage &message) {
  if (message.arguments().size() < 2 || pathText(message.arguments().at(0)) != session_)
    return;
  triggers_.clear();
  takeTriggers(message.arguments().at(1).value<QDBusArgument>());
}

int PortalShortcuts::slotOf(const QDBusMessage &message) const {
  const QList<QVariant> arguments = message.arguments();
  if (arguments.size() < 2 || session_.isEmpty() || pathText(arguments.at(0)) != session_)
    return 0;
  return slotNumber(arguments.at(1).toString());
}

void PortalShortcuts::onActivated(const QDBusMessage &message) {
  if (const int slot = slotOf(message))
    Q_EMIT activated(slot);
}

void PortalShortcuts::onDeactivated(const QDBusMessage &message) {
  if (const int slot = slotOf(message))
    Q_EMIT deactivated(slot);
}

void PortalShortcuts::closeSession() {
  if (session_.isEmpty())
    return;
  bus().asyncCall(QDBusMessage::createMethodCall(kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")));
  session_.clear();
  bound_ = false;
}

void PortalShortcuts::fail(const QString &line) {
  bound_ = false;
  problem_ = line;
  triggers_.clear();
  Q_EMIT stateChanged();
}
