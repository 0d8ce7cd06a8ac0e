// The network a connection belongs to: the settings file's server for the
// first, settings of its own for a further one.
#include "core/Connection.h"
#include "core/ConnectionOptions.h"
#include "core/Session.h"

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
  if (furtherArea_ && !network_.Name.empty()) return network_.Name;
  return Area().ServerName;
}

TNetwork TConnection::Network() const {
  return furtherArea_ ? network_ : NetworkFromSettings(Area(), options_);
}

void TConnection::MoveToServer(const TServerAddress& Server) {
  if (furtherArea_) {
    TNetwork network = network_;
    network.Servers = {Server};
    UseNetwork(network);
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

}  // namespace tavi
