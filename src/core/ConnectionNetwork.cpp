// The network a connection belongs to: the settings file's server for the
// first, settings of its own for a further one.
#include "core/Connection.h"

#include <algorithm>

#include "core/ConnectErrors.h"
#include "core/ConnectionOptions.h"
#include "core/Session.h"
#include "core/TypedCommands.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"

namespace tavi {

void TConnection::UseNetwork(const TNetwork& Network) {
  network_ = Network;
  furtherArea_ = std::make_unique<TGrobalArea>();
  TConnectionOptions options;
  NetworkToSettings(Network, *furtherArea_, options);
  ReloadOptions();
}

const TGrobalArea& TConnection::Area() const {
  return furtherArea_ ? *furtherArea_ : const_cast<TSession&>(session_).Grobal();
}

TGrobalArea& TConnection::Area() { return furtherArea_ ? *furtherArea_ : session_.Grobal(); }

std::string TConnection::NetworkName() const {
  // The first network goes by its server's name until the user names it.
  return network_.Name.empty() ? Area().ServerName : network_.Name;
}

TNetwork TConnection::Network() const {
  return furtherArea_ ? network_ : FirstNetwork(Area(), options_, network_);
}

void TConnection::MoveToServer(const TServerAddress& Server) {
  if (furtherArea_) {
    TNetwork network = network_;
    network.Servers = {Server};
    UseNetwork(network);
  } else if (network_.Servers.size() > 1) {
    // The first network's other servers stay, for the next connect by hand.
    TNetwork network = Network();
    network.Servers.front() = Server;
    TConnectionOptions options = LoadConnectionOptions();
    SaveFirstNetwork(network, Area(), options);
    SaveConnectionOptions(options);
    ReloadOptions();
  } else {
    TGrobalArea& area = Area();
    area.ServerName = Server.Host;
    area.PortNumber = std::to_string(Server.Port);
    // TLS is the first network's choice in the desktop settings.
    TConnectionOptions options = LoadConnectionOptions();
    options.Tls = Server.Tls;
    SaveConnectionOptions(options);
    ReloadOptions();
  }
  Connect();
}


// --- servers in turn ---

TServerAddress TConnection::ServerToTry() const {
  const std::vector<TServerAddress> servers = Network().Servers;
  if (serverIndex_ < servers.size()) return servers[serverIndex_];
  const TGrobalArea& area = Area();
  return {area.ServerName, 0, options_.Tls, area.Password};
}

bool TConnection::TryNextServer(const TConnectError& Error) {
  const std::vector<TServerAddress> servers = Network().Servers;
  if (serverIndex_ + 1 >= servers.size()) {
    // The next round starts again from the first.
    serverIndex_ = 0;
    return false;
  }
  const TServerAddress& next = servers[++serverIndex_];
  ShowInServerLog(TimeStamp() + " " + ConnectErrorStatus(ServerText(remoteHost_, connectPortText_), Error) + " " +
                  U8(u8"次のサーバー ") + ServerText(next.Host, std::to_string(next.Port)) +
                  U8(u8" に接続します。"));
  StartConnect(reconnecting_);
  return true;
}

// --- once registered ---

void TConnection::RunConnectCommands() {
  for (const std::string& command : Network().ConnectCommands) {
    if (command.empty()) continue;
    std::string line = command;
    // What the user wrote without the slash is still a command here.
    if (!line.starts_with("/") && !line.starts_with("／")) line.insert(0, "/");
    const TTypedOutcome outcome = RunTypedLine(*this, line, nullptr, nullptr);
    if (outcome.Kind != TTypedKind::Ran)
      ShowInServerLog(TimeStamp() + " " + U8(u8"接続時のコマンドを実行できませんでした：") + command);
  }
}

void TConnection::JoinNetworkChannels() {
  std::vector<TAutoJoin> joins;
  for (const TAutoJoin& join : Network().AutoJoin)
    if (!join.Channel.empty() && !FindChannel(WireText(join.Channel))) joins.push_back(join);
  // Channels with keys first: JOIN pairs the keys with the channels in order.
  std::stable_partition(joins.begin(), joins.end(), [](const TAutoJoin& Join) { return !Join.Key.empty(); });
  // A few lines of many channels each, each well within the server's 510 bytes.
  constexpr std::size_t LineRoom = 400;
  std::string channels, keys;
  const auto send = [&] {
    if (channels.empty()) return;
    SendWire("JOIN " + channels + (keys.empty() ? "" : " " + keys) + "\r\n");
    channels.clear();
    keys.clear();
  };
  for (const TAutoJoin& join : joins) {
    const std::string channel = WireText(join.Channel);
    const std::string key = WireText(join.Key);
    if (!channels.empty() && channels.size() + keys.size() + channel.size() + key.size() + 2 > LineRoom) send();
    channels += (channels.empty() ? "" : ",") + channel;
    if (!key.empty()) keys += (keys.empty() ? "" : ",") + key;
  }
  send();
}

}  // namespace tavi
