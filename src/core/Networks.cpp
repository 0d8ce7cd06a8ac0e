#include "core/Networks.h"

#include <QStringList>

#include "core/DecimalText.h"
#include "core/DesktopSettings.h"

namespace tavi {

namespace {

TWireEncoding EncodingOf(const TGrobalArea& Area) {
  if (Area.JISChoice) return TWireEncoding::Jis;
  return Area.UTF8Choice ? TWireEncoding::Utf8 : TWireEncoding::Sjis;
}

QString Text(const std::string& Value) { return QString::fromStdString(Value); }
std::string Std(const QVariant& Value) { return Value.toString().toStdString(); }

QStringList TextList(const std::vector<std::string>& Values) {
  QStringList list;
  for (const std::string& value : Values) list.push_back(Text(value));
  return list;
}

std::vector<std::string> StdList(const QVariant& Value) {
  std::vector<std::string> list;
  for (const QString& text : Value.toStringList()) list.push_back(text.toStdString());
  return list;
}

const char* EncodingName(TWireEncoding Encoding) {
  switch (Encoding) {
    case TWireEncoding::Sjis: return "sjis";
    case TWireEncoding::Utf8: return "utf-8";
    default: return "jis";
  }
}

TWireEncoding EncodingNamed(const QString& Name) {
  if (Name == QLatin1String("sjis")) return TWireEncoding::Sjis;
  if (Name == QLatin1String("utf-8")) return TWireEncoding::Utf8;
  return TWireEncoding::Jis;
}

}  // namespace

TNetwork NetworkFromSettings(const TGrobalArea& Area, const TConnectionOptions& Options) {
  TNetwork network;
  network.Name = Area.ServerName;
  TServerAddress server;
  server.Host = Area.ServerName;
  std::int32_t port = 0;
  if (ParseDecimal(Area.PortNumber, port)) server.Port = port;
  server.Tls = Options.Tls;
  server.Password = Area.Password;
  network.Servers.push_back(server);
  network.Nick = Area.NickName1;
  network.AlternateNicks = Options.AlternateNicks;
  network.LoginName = Area.LoginName;
  network.RealName = Area.TrueName;
  network.HostName = Area.HostName;
  network.Encoding = EncodingOf(Area);
  network.Reconnect = Options.Reconnect;
  network.Logs = Options.Logs;
  return network;
}

void NetworkToSettings(const TNetwork& Network, TGrobalArea& Area, TConnectionOptions& Options) {
  if (!Network.Servers.empty()) {
    const TServerAddress& server = Network.Servers.front();
    Area.ServerName = server.Host;
    std::int32_t port = 0;
    // "06667" stays as it was written.
    if (!ParseDecimal(Area.PortNumber, port) || port != server.Port) Area.PortNumber = std::to_string(server.Port);
    Area.Password = server.Password;
    Options.Tls = server.Tls;
  }
  Area.NickName1 = Network.Nick;
  Area.LoginName = Network.LoginName;
  Area.TrueName = Network.RealName;
  Area.HostName = Network.HostName;
  if (EncodingOf(Area) != Network.Encoding) {
    Area.JISChoice = Network.Encoding == TWireEncoding::Jis;
    Area.SJISChoice = Network.Encoding == TWireEncoding::Sjis;
    Area.UTF8Choice = Network.Encoding == TWireEncoding::Utf8;
  }
  Options.AlternateNicks = Network.AlternateNicks;
  Options.Reconnect = Network.Reconnect;
  Options.Logs = Network.Logs;
}

std::vector<TNetwork> LoadFurtherNetworks() {
  const auto settings = OpenDesktopSettings();
  std::vector<TNetwork> networks;
  const int count = settings->beginReadArray(QStringLiteral("Networks"));
  for (int i = 0; i < count; ++i) {
    settings->setArrayIndex(i);
    TNetwork network;
    network.Name = Std(settings->value(QStringLiteral("Name")));
    const int servers = settings->beginReadArray(QStringLiteral("Servers"));
    for (int k = 0; k < servers; ++k) {
      settings->setArrayIndex(k);
      TServerAddress server;
      server.Host = Std(settings->value(QStringLiteral("Host")));
      server.Port = settings->value(QStringLiteral("Port"), server.Port).toInt();
      server.Tls = settings->value(QStringLiteral("Tls"), false).toBool();
      server.Password = Std(settings->value(QStringLiteral("Password")));
      network.Servers.push_back(server);
    }
    settings->endArray();
    network.Nick = Std(settings->value(QStringLiteral("Nick")));
    network.AlternateNicks = StdList(settings->value(QStringLiteral("AlternateNicks")));
    network.LoginName = Std(settings->value(QStringLiteral("LoginName")));
    network.RealName = Std(settings->value(QStringLiteral("RealName")));
    network.HostName = Std(settings->value(QStringLiteral("HostName")));
    network.Encoding = EncodingNamed(settings->value(QStringLiteral("Encoding")).toString());
    network.Reconnect = settings->value(QStringLiteral("Reconnect"), true).toBool();
    network.Logs = settings->value(QStringLiteral("Logs"), false).toBool();
    network.ConnectAtStart = settings->value(QStringLiteral("ConnectAtStart"), false).toBool();
    const std::vector<std::string> joins = StdList(settings->value(QStringLiteral("AutoJoin")));
    const std::vector<std::string> keys = StdList(settings->value(QStringLiteral("AutoJoinKeys")));
    for (std::size_t k = 0; k < joins.size(); ++k) network.AutoJoin.push_back({joins[k], k < keys.size() ? keys[k] : ""});
    network.ConnectCommands = StdList(settings->value(QStringLiteral("ConnectCommands")));
    networks.push_back(std::move(network));
  }
  settings->endArray();
  return networks;
}

void SaveFurtherNetworks(const std::vector<TNetwork>& Networks) {
  const auto settings = OpenDesktopSettings();
  settings->remove(QStringLiteral("Networks"));
  settings->beginWriteArray(QStringLiteral("Networks"), static_cast<int>(Networks.size()));
  for (std::size_t i = 0; i < Networks.size(); ++i) {
    const TNetwork& network = Networks[i];
    settings->setArrayIndex(static_cast<int>(i));
    settings->setValue(QStringLiteral("Name"), Text(network.Name));
    settings->beginWriteArray(QStringLiteral("Servers"), static_cast<int>(network.Servers.size()));
    for (std::size_t k = 0; k < network.Servers.size(); ++k) {
      const TServerAddress& server = network.Servers[k];
      settings->setArrayIndex(static_cast<int>(k));
      settings->setValue(QStringLiteral("Host"), Text(server.Host));
      settings->setValue(QStringLiteral("Port"), server.Port);
      settings->setValue(QStringLiteral("Tls"), server.Tls);
      settings->setValue(QStringLiteral("Password"), Text(server.Password));
    }
    settings->endArray();
    settings->setValue(QStringLiteral("Nick"), Text(network.Nick));
    settings->setValue(QStringLiteral("AlternateNicks"), TextList(network.AlternateNicks));
    settings->setValue(QStringLiteral("LoginName"), Text(network.LoginName));
    settings->setValue(QStringLiteral("RealName"), Text(network.RealName));
    settings->setValue(QStringLiteral("HostName"), Text(network.HostName));
    settings->setValue(QStringLiteral("Encoding"), QLatin1String(EncodingName(network.Encoding)));
    settings->setValue(QStringLiteral("Reconnect"), network.Reconnect);
    settings->setValue(QStringLiteral("Logs"), network.Logs);
    settings->setValue(QStringLiteral("ConnectAtStart"), network.ConnectAtStart);
    std::vector<std::string> joins, keys;
    for (const TAutoJoin& join : network.AutoJoin) {
      joins.push_back(join.Channel);
      keys.push_back(join.Key);
    }
    settings->setValue(QStringLiteral("AutoJoin"), TextList(joins));
    settings->setValue(QStringLiteral("AutoJoinKeys"), TextList(keys));
    settings->setValue(QStringLiteral("ConnectCommands"), TextList(network.ConnectCommands));
  }
  settings->endArray();
}

}  // namespace tavi
