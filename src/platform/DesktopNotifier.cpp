#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tavi {

bool DesktopNotify(const QString& Title, const QString& Body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("Notify"));
  // The body is markup to most servers: the line's own "<" and "&" stay text.
  call << QStringLiteral("Tavi") << 0u << QStringLiteral("tavi") << Title << Body.toHtmlEscaped() << QStringList()
       << QVariantMap{{QStringLiteral("category"), QStringLiteral("im.received")}} << -1;
  // Never wait on the bus: a missing or slow service must not stall the GUI.
  return bus.send(call);
}

}  // namespace tavi
