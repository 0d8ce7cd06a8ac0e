#include "core/NetworkList.h"

#include "core/ConnectionOptions.h"
#include "core/Session.h"
#include "kanji/QtText.h"

namespace tavi {

std::vector<TNetwork> TNetworkList::Networks() const {
  std::vector<TNetwork> networks{session_.Connection().Network()};
  for (TNetwork& network : LoadFurtherNetworks()) networks.push_back(std::move(network));
  return networks;
}

TConnection* TNetworkList::ConnectionOf(std::size_t Index) const {
  if (Index == 0) return &session_.Connection();
  const std::vector<TNetwork> further = LoadFurtherNetworks();
  return Index > further.size() ? nullptr : ConnectionOf(Index, further[Index - 1]);
}

TConnection* TNetworkList::ConnectionOf(std::size_t Index, const TNetwork& Network) const {
  if (Index == 0) return &session_.Connection();
  // Further networks' names are unique: the list's editor sees to it.
  for (const auto& connection : session_.Connections())
    if (connection->FurtherNetwork() && connection->NetworkName() == Network.Name) return connection.get();
  return nullptr;
}

std::vector<std::string> TNetworkList::NamesBesides(std::size_t Index) const {
  std::vector<std::string> names;
  const std::vector<TNetwork> networks = Networks();
  for (std::size_t i = 0; i < networks.size(); ++i)
    if (i != Index) names.push_back(networks[i].Name);
  return names;
}

std::string TNetworkList::Replace(std::size_t Index, const TNetwork& Network) {
  TConnection* connection = ConnectionOf(Index);
  if (Index == 0) {
    if (!Network.Servers.empty() && !connection->SetSocketPort(Network.Servers.front().Port))
      return U8(u8"使用中のソケットは値を変更できません");
    // The options the network does not hold (highlights, notifications) stay.
    TConnectionOptions options = LoadConnectionOptions();
    SaveFirstNetwork(Network, session_.Grobal(), options);
    SaveConnectionOptions(options);
    connection->SettingsChanged();
    return {};
  }
  std::vector<TNetwork> further = LoadFurtherNetworks();
  if (Index > further.size()) return {};
  further[Index - 1] = Network;
  SaveFurtherNetworks(further);
  // Taken at its next connect; the name at once.
  if (connection) connection->UseNetwork(Network);
  return {};
}

void TNetworkList::Add(const TNetwork& Network) {
  std::vector<TNetwork> further = LoadFurtherNetworks();
  further.push_back(Network);
  SaveFurtherNetworks(further);
}

void TNetworkList::Remove(std::size_t Index) {
  if (Index == 0) return;
  if (TConnection* connection = ConnectionOf(Index)) {
    connection->Close();
    session_.RemoveConnection(connection);
  }
  std::vector<TNetwork> further = LoadFurtherNetworks();
  if (Index > further.size()) return;
  further.erase(further.begin() + static_cast<std::ptrdiff_t>(Index - 1));
  SaveFurtherNetworks(further);
}

bool TNetworkList::Move(std::size_t Index, int By) {
  std::vector<TNetwork> further = LoadFurtherNetworks();
  const long long to = static_cast<long long>(Index) + By;
  if (Index == 0 || Index > further.size() || to < 1 || to > static_cast<long long>(further.size())) return false;
  std::swap(further[Index - 1], further[static_cast<std::size_t>(to) - 1]);
  SaveFurtherNetworks(further);
  return true;
}

void TNetworkList::Connect(std::size_t Index) {
  if (TConnection* connection = ConnectionOf(Index)) {
    connection->Connect();
    return;
  }
  const std::vector<TNetwork> further = LoadFurtherNetworks();
  if (Index >= 1 && Index <= further.size()) session_.AddConnection(further[Index - 1]).Connect();
}

void TNetworkList::Disconnect(std::size_t Index) {
  TConnection* connection = ConnectionOf(Index);
  if (connection && connection->State() != TConnectionState::Idle) connection->Disconnect();
}

TNetwork NewNetwork(const TNetwork& First) {
  TNetwork network;
  network.Nick = First.Nick;
  network.AlternateNicks = First.AlternateNicks;
  network.LoginName = First.LoginName;
  network.RealName = First.RealName;
  network.HostName = First.HostName;
  // Networks made today write UTF-8; the old Japanese ones say so.
  network.Encoding = TWireEncoding::Utf8;
  return network;
}

void ConnectNetworksAtStart(TSession& Session) {
  TNetworkList list(Session);
  const std::vector<TNetwork> networks = list.Networks();
  for (std::size_t i = 0; i < networks.size(); ++i)
    if (networks[i].ConnectAtStart) list.Connect(i);
}

std::string NetworkStateText(TConnectionState State) {
  switch (State) {
    case TConnectionState::Idle: return U8(u8"未接続");
    case TConnectionState::Connecting: return U8(u8"接続中");
    case TConnectionState::AwaitingTrust: return U8(u8"証明書の確認待ち");
    case TConnectionState::Registering: return U8(u8"登録中");
    case TConnectionState::Registered: return U8(u8"接続済み");
    case TConnectionState::WaitingToReconnect: return U8(u8"再接続待ち");
    case TConnectionState::Closing: return U8(u8"切断中");
  }
  return {};
}

}  // namespace tavi
