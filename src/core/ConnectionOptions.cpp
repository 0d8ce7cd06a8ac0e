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
  return options;
}

void SaveConnectionOptions(const TConnectionOptions& Options) {
  const auto settings = OpenDesktopSettings();
  settings->setValue(QStringLiteral("Connection/Tls"), Options.Tls);
  settings->setValue(QStringLiteral("Connection/Reconnect"), Options.Reconnect);
  settings->setValue(QStringLiteral("Logs/Enabled"), Options.Logs);
}

std::string PinnedFingerprint(const std::string& Host, int Port) {
  return OpenDesktopSettings()->value(PinKey(Host, Port)).toString().toStdString();
}

void PinFingerprint(const std::string& Host, int Port, const std::string& Fingerprint) {
  OpenDesktopSettings()->setValue(PinKey(Host, Port), QString::fromStdString(Fingerprint));
}

}  // namespace tavi
