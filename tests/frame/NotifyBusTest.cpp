// A highlight reaches the desktop's notification service over a real session
// bus: the test is the service, and the line goes in as a server line.
#include <QDBusConnection>

#include "MainFormFixture.h"
#include "frame/MainForm.h"
#include "platform/DesktopNotifier.h"

namespace tavi::test {
namespace {

class TNotificationListener : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  QStringList Received;  // "summary|body"

 public slots:
  uint Notify(const QString& App, uint Replaces, const QString& Icon, const QString& Summary, const QString& Body,
              const QStringList& Actions, const QVariantMap& Hints, int Timeout) {
    (void)App, (void)Replaces, (void)Icon, (void)Actions, (void)Hints, (void)Timeout;
    Received << Summary + QLatin1Char('|') + Body;
    return static_cast<uint>(Received.size());
  }
};

using NotifyBusTest = MainFormFixture;

TEST_F(NotifyBusTest, AHighlightReachesTheNotificationServiceOnTheSessionBus) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  ASSERT_TRUE(bus.isConnected()) << "run under dbus-run-session";
  TNotificationListener listener;
  ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &listener,
                                 QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
  platform.NotifyThrough = [](const std::string& Title, const std::string& Body) {
    DesktopNotify(QString::fromStdString(Title), QString::fromStdString(Body));
  };
  MakeForm();
  Own().CurrentNick = "me";
  Connection().OpenChannel("#c");
  Feed(":bob!u@h PRIVMSG #c :me: <b>tea</b> & cake\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !listener.Received.isEmpty(); }, 5000));
  // The line's own markup arrives as text.
  EXPECT_EQ(listener.Received, QStringList{QStringLiteral("#c : bob|09:05 [bob] me: &lt;b&gt;tea&lt;/b&gt; &amp; cake")});
}

}  // namespace
}  // namespace tavi::test

#include "NotifyBusTest.moc"
