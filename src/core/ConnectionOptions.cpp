#include "core/ConnectionOptions.h"

#include "core/DesktopSettings.h"

namespace tavi {

namespace {

QString PinKey(const std::string& Host, int Port) {
  // Host names hold no '/', which would open a group.
  return QStringLiteral("TlsPins/") + QString::fromLatin1(QByteArray::fromStdString(Host).toPercentEncoding()) +
         QLatin1Char(':') + QString::number(Port);
}

}  // namespace

TConnectionOptions LoadConnectionOptions() {
  const auto settings = OpenDesktopSettings();
  TConnectionOptions options;
  options.Tls = settings->value(QStringLiteral("Connection/Tls"), options.Tls).toBool();
  options.Reconnect = settings->value(QStringLiteral("Connection/Reconnect"), options.Reconnect).toBool();
  options.Logs = settings->value(QStringLiteral("Logs/Enabled"), options.Logs).toBool();
  for (const QString& word : settings->value(QStringLiteral("Highlights/Words")).toStringList())
    options.HighlightWords.push_back(word.toStdString());
  options.Notifications = settings->value(QStringLiteral("Highlights/Notifications"), options.Notifications).toBool();
  for (const QString& nick : settings->value(QStringLiteral("Connection/AlternateNicks")).toStringList())
    options.AlternateNicks.push_back(nick.toStdString());
  return options;
}

void SaveConnectionOptions(const TConnectionOptions& Options) {
  const auto settings = OpenDesktopSettings();
  settings->setValue(QStringLiteral("Connection/Tls"), Options.Tls);
  settings->setValue(QStringLiteral("Connection/Reconnect"), Options.Reconnect);
  settings->setValue(QStringLiteral("Logs/Enabled"), Options.Logs);
  QStringList words;
  for (const std::string& word : Options.HighlightWords) words.push_back(QString::fromStdString(word));
  settings->setValue(QStringLiteral("Highlights/Words"), words);
  settings->setValue(QStringLiteral("Highlights/Notifications"), Options.Notifications);
  QStringList nicks;
  for (const std::string& nick : Options.AlternateNicks) nicks.push_back(QString::fromStdString(nick));
  settings->setValue(QStringLiteral("Connection/AlternateNicks"), nicks);
}

std::string PinnedFingerprint(const std::string& Host, int Port) {
  return OpenDesktopSettings()->value(PinKey(Host, Port)).toString().toStdString();
}

void PinFingerprint(const std::string& Host, int Port, const std::string& Fingerprint) {
  OpenDesktopSettings()->setValue(PinKey(Host, Port), QString::fromStdString(Fingerprint));
}

}  // namespace tavi
