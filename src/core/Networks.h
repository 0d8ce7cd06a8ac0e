// The networks the user connects to. The first is the settings file's own
// server (its fields stay where they are, so the file is written back as it
// was read); the others live in the desktop settings file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Capabilities.h"
#include "core/ConnectionOptions.h"
#include "kanji/WireText.h"
#include "settings/Settings.h"

namespace tavi {

struct TServerAddress {
  std::string Host;
  int Port = 6667;
  bool Tls = false;
  std::string Password;
  bool operator==(const TServerAddress&) const = default;
};

struct TAutoJoin {
  std::string Channel;
  std::string Key;
  bool operator==(const TAutoJoin&) const = default;
};

struct TNetwork {
  std::string Name;
  std::vector<TServerAddress> Servers;  // tried in turn
  std::string Nick;
  std::vector<std::string> AlternateNicks;
  std::string LoginName;
  std::string RealName;
  std::string HostName;
  TWireEncoding Encoding = TWireEncoding::Jis;
  bool Reconnect = true;
  bool Logs = false;
  bool ConnectAtStart = false;
  std::vector<TAutoJoin> AutoJoin;
  std::vector<std::string> ConnectCommands;  // typed lines, run once registered
  // The SASL login before registering; the password is kept apart from
  // the other settings (TSecretStore).
  TSaslLogin Sasl;
  // A client certificate and its key (PEM files), shown in the TLS
  // handshake: SASL EXTERNAL logs in with it.
  std::string ClientCertFile;
  std::string ClientKeyFile;
  bool operator==(const TNetwork&) const = default;
};

// "host [port] [-tls]": false without a host or with a port that is no
// port; the port is 6697 with TLS, else 6667, unless given.
bool ReadServerAddress(std::string_view Text, TServerAddress& Server);
std::string ServerAddressText(const TServerAddress& Server);

// The settings file's server as a network, with the options kept beside it.
TNetwork NetworkFromSettings(const TGrobalArea& Area, const TConnectionOptions& Options);
// Writes Network back into Area; fields it leaves as they were keep their
// bytes, and a port Area cannot tell apart keeps its text.
void NetworkToSettings(const TNetwork& Network, TGrobalArea& Area, TConnectionOptions& Options);

// The first network's fields the settings file has no room for (its name,
// further servers, channels and commands on connect, connect at start), kept
// in the desktop settings.
TNetwork LoadFirstNetworkExtras();
// The first network: the settings file's server with its Extras.
TNetwork FirstNetwork(const TGrobalArea& Area, const TConnectionOptions& Options, const TNetwork& Extras);
// Writes the first network into Area and Options, and its extras into the
// desktop settings; returns the extras.
TNetwork SaveFirstNetwork(const TNetwork& Network, TGrobalArea& Area, TConnectionOptions& Options);

// The networks after the first.
std::vector<TNetwork> LoadFurtherNetworks();
void SaveFurtherNetworks(const std::vector<TNetwork>& Networks);

}  // namespace tavi
