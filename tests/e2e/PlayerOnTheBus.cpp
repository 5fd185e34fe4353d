#include "PlayerOnTheBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <cmath>

bool PlayerOnTheBus::stoppedAt(double at) const {
  return stopped() && std::fabs(seconds() - at) < 0.5;
}

bool PlayerOnTheBus::playingFrom(double at, double ahead) const {
  const double now = seconds();
  return playing() && now >= at && now < at + ahead;
}

QVariant PlayerOnTheBus::property(const char *name) const {
  QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.lystrel2"),
                                                    QStringLiteral("/org/mpris/MediaPlayer2"),
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QString::fromLatin1(name);
  const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}
