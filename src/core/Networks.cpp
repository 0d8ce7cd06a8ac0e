#include "core/Networks.h"

#include <QSettings>
#include <QStringList>

#include "core/DecimalText.h"
#include "core/DesktopSettings.h"
#include "platform/Platform.h"

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

namespace {

TNetwork ReadNetwork(QSettings& Settings) {
  TNetwork network;
  network.Name = Std(Settings.value(QStringLiteral("Name")));
  const int servers = Settings.beginReadArray(QStringLiteral("Servers"));
  for (int k = 0; k < servers; ++k) {
    Settings.setArrayIndex(k);
    TServerAddress server;
    server.Host = Std(Settings.value(QStringLiteral("Host")));
    server.Port = Settings.value(QStringLiteral("Port"), server.Port).toInt();
    server.Tls = Settings.value(QStringLiteral("Tls"), false).toBool();
    server.Password = Std(Settings.value(QStringLiteral("Password")));
    network.Servers.push_back(server);
  }
  Settings.endArray();
  network.Nick = Std(Settings.value(QStringLiteral("Nick")));
  network.AlternateNicks = StdList(Settings.value(QStringLiteral("AlternateNicks")));
  network.LoginName = Std(Settings.value(QStringLiteral("LoginName")));
  network.RealName = Std(Settings.value(QStringLiteral("RealName")));
  network.HostName = Std(Settings.value(QStringLiteral("HostName")));
  network.Encoding = EncodingNamed(Settings.value(QStringLiteral("Encoding")).toString());
  network.Reconnect = Settings.value(QStringLiteral("Reconnect"), true).toBool();
  network.Logs = Settings.value(QStringLiteral("Logs"), false).toBool();
  network.ConnectAtStart = Settings.value(QStringLiteral("ConnectAtStart"), false).toBool();
  const std::vector<std::string> joins = StdList(Settings.value(QStringLiteral("AutoJoin")));
  const std::vector<std::string> keys = StdList(Settings.value(QStringLiteral("AutoJoinKeys")));
  for (std::size_t k = 0; k < joins.size(); ++k) network.AutoJoin.push_back({joins[k], k < keys.size() ? keys[k] : ""});
  network.ConnectCommands = StdList(Settings.value(QStringLiteral("ConnectCommands")));
  const QString mechanism = Settings.value(QStringLiteral("Sasl")).toString();
  network.Sasl.Mechanism = mechanism == QLatin1String("PLAIN")      ? TSaslMechanism::Plain
                           : mechanism == QLatin1String("EXTERNAL") ? TSaslMechanism::External
                                                                    : TSaslMechanism::None;
  network.Sasl.Account = Std(Settings.value(QStringLiteral("SaslAccount")));
  network.Sasl.Required = Settings.value(QStringLiteral("SaslRequired"), false).toBool();
  network.ClientCertFile = Std(Settings.value(QStringLiteral("ClientCertFile")));
  network.ClientKeyFile = Std(Settings.value(QStringLiteral("ClientKeyFile")));
  return network;
}

const char* MechanismName(TSaslMechanism Mechanism) {
  switch (Mechanism) {
    case TSaslMechanism::Plain:
      return "PLAIN";
    case TSaslMechanism::External:
      return "EXTERNAL";
    case TSaslMechanism::None:
      break;
  }
  return "";
}

const QString SecretsGroup = QStringLiteral("Secrets");

// The first network's key never changes; the others go by their names.
constexpr const char* FirstSaslKey = "first-network/sasl";
std::string SaslSecretKey(const std::string& Network) { return "network/" + Network + "/sasl"; }

// The password goes to the desktop's secret store; where none runs, to the
// desktop settings, which only the user can read. Never to the settings
// file, which other programs of the kind share.
void SaveSaslPassword(QSettings& Settings, const std::string& Key, const std::string& Password) {
  const std::string& key = Key;
  Settings.beginGroup(SecretsGroup);
  if (Platform().WriteSecret(key, Password) || Password.empty())
    Settings.remove(Text(key));
  else
    Settings.setValue(Text(key), Text(Password));
  Settings.endGroup();
}

std::string LoadSaslPassword(QSettings& Settings, const std::string& Key) {
  const std::string& key = Key;
  Settings.beginGroup(SecretsGroup);
  std::string password = Std(Settings.value(Text(key)));
  Settings.endGroup();
  if (!password.empty()) return password;
  return Platform().ReadSecret(key).value_or(std::string());
}

void WriteNetwork(QSettings& Settings, const TNetwork& Network) {
  Settings.setValue(QStringLiteral("Name"), Text(Network.Name));
  Settings.beginWriteArray(QStringLiteral("Servers"), static_cast<int>(Network.Servers.size()));
  for (std::size_t k = 0; k < Network.Servers.size(); ++k) {
    const TServerAddress& server = Network.Servers[k];
    Settings.setArrayIndex(static_cast<int>(k));
    Settings.setValue(QStringLiteral("Host"), Text(server.Host));
    Settings.setValue(QStringLiteral("Port"), server.Port);
    Settings.setValue(QStringLiteral("Tls"), server.Tls);
    Settings.setValue(QStringLiteral("Password"), Text(server.Password));
  }
  Settings.endArray();
  Settings.setValue(QStringLiteral("Nick"), Text(Network.Nick));
  Settings.setValue(QStringLiteral("AlternateNicks"), TextList(Network.AlternateNicks));
  Settings.setValue(QStringLiteral("LoginName"), Text(Network.LoginName));
  Settings.setValue(QStringLiteral("RealName"), Text(Network.RealName));
  Settings.setValue(QStringLiteral("HostName"), Text(Network.HostName));
  Settings.setValue(QStringLiteral("Encoding"), QLatin1String(EncodingName(Network.Encoding)));
  Settings.setValue(QStringLiteral("Reconnect"), Network.Reconnect);
  Settings.setValue(QStringLiteral("Logs"), Network.Logs);
  Settings.setValue(QStringLiteral("ConnectAtStart"), Network.ConnectAtStart);
  std::vector<std::string> joins, keys;
  for (const TAutoJoin& join : Network.AutoJoin) {
    joins.push_back(join.Channel);
    keys.push_back(join.Key);
  }
  Settings.setValue(QStringLiteral("AutoJoin"), TextList(joins));
  Settings.setValue(QStringLiteral("AutoJoinKeys"), TextList(keys));
  Settings.setValue(QStringLiteral("ConnectCommands"), TextList(Network.ConnectCommands));
  Settings.setValue(QStringLiteral("Sasl"), QLatin1String(MechanismName(Network.Sasl.Mechanism)));
  Settings.setValue(QStringLiteral("SaslAccount"), Text(Network.Sasl.Account));
  Settings.setValue(QStringLiteral("SaslRequired"), Network.Sasl.Required);
  Settings.setValue(QStringLiteral("ClientCertFile"), Text(Network.ClientCertFile));
  Settings.setValue(QStringLiteral("ClientKeyFile"), Text(Network.ClientKeyFile));
}

const QString FirstNetworkGroup = QStringLiteral("FirstNetwork");

}  // namespace

bool ReadServerAddress(std::string_view Text, TServerAddress& Server) {
  Server = TServerAddress();
  bool portGiven = false;
  const QStringList words = QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()))
                                .split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (const QString& text : words) {
    const std::string word = text.toStdString();
    std::int32_t port = 0;
    if (word == "-tls" || word == "-ssl") {
      Server.Tls = true;
    } else if (Server.Host.empty()) {
      Server.Host = word;
    } else if (!portGiven && ParseDecimal(word, port) && port > 0 && port < 65536) {
      Server.Port = port;
      portGiven = true;
    } else {
      return false;
    }
  }
  if (!portGiven && Server.Tls) Server.Port = 6697;
  return !Server.Host.empty();
}

std::string ServerAddressText(const TServerAddress& Server) {
  return Server.Host + " " + std::to_string(Server.Port) + (Server.Tls ? " -tls" : "");
}

TNetwork LoadFirstNetworkExtras() {
  const auto settings = OpenDesktopSettings();
  settings->beginGroup(FirstNetworkGroup);
  TNetwork extras = ReadNetwork(*settings);
  settings->endGroup();
  extras.Sasl.Password = LoadSaslPassword(*settings, FirstSaslKey);
  return extras;
}

TNetwork FirstNetwork(const TGrobalArea& Area, const TConnectionOptions& Options, const TNetwork& Extras) {
  TNetwork network = NetworkFromSettings(Area, Options);
  if (!Extras.Name.empty()) network.Name = Extras.Name;
  // The settings file holds one server; the others wait beside it.
  for (std::size_t i = 1; i < Extras.Servers.size(); ++i) network.Servers.push_back(Extras.Servers[i]);
  network.ConnectAtStart = Extras.ConnectAtStart;
  network.AutoJoin = Extras.AutoJoin;
  network.ConnectCommands = Extras.ConnectCommands;
  network.Sasl = Extras.Sasl;
  network.ClientCertFile = Extras.ClientCertFile;
  network.ClientKeyFile = Extras.ClientKeyFile;
  return network;
}

TNetwork SaveFirstNetwork(const TNetwork& Network, TGrobalArea& Area, TConnectionOptions& Options) {
  NetworkToSettings(Network, Area, Options);
  TNetwork extras;
  // The server's name is the network's until the user gives it another.
  if (Network.Name != Area.ServerName) extras.Name = Network.Name;
  extras.Servers = Network.Servers;
  extras.ConnectAtStart = Network.ConnectAtStart;
  extras.AutoJoin = Network.AutoJoin;
  extras.ConnectCommands = Network.ConnectCommands;
  extras.Sasl = Network.Sasl;
  extras.ClientCertFile = Network.ClientCertFile;
  extras.ClientKeyFile = Network.ClientKeyFile;
  const auto settings = OpenDesktopSettings();
  settings->remove(FirstNetworkGroup);
  settings->beginGroup(FirstNetworkGroup);
  WriteNetwork(*settings, extras);
  settings->endGroup();
  SaveSaslPassword(*settings, FirstSaslKey, Network.Sasl.Password);
  return extras;
}

std::vector<TNetwork> LoadFurtherNetworks() {
  const auto settings = OpenDesktopSettings();
  std::vector<TNetwork> networks;
  const int count = settings->beginReadArray(QStringLiteral("Networks"));
  for (int i = 0; i < count; ++i) {
    settings->setArrayIndex(i);
    networks.push_back(ReadNetwork(*settings));
  }
  settings->endArray();
  for (TNetwork& network : networks) network.Sasl.Password = LoadSaslPassword(*settings, SaslSecretKey(network.Name));
  return networks;
}

void SaveFurtherNetworks(const std::vector<TNetwork>& Networks) {
  const auto settings = OpenDesktopSettings();
  settings->remove(QStringLiteral("Networks"));
  settings->beginWriteArray(QStringLiteral("Networks"), static_cast<int>(Networks.size()));
  for (std::size_t i = 0; i < Networks.size(); ++i) {
    settings->setArrayIndex(static_cast<int>(i));
    WriteNetwork(*settings, Networks[i]);
  }
  settings->endArray();
  for (const TNetwork& network : Networks) SaveSaslPassword(*settings, SaslSecretKey(network.Name), network.Sasl.Password);
}

}  // namespace tavi
