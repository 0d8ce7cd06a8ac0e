// The main window's address operations that DCC offers use.
#include "dcc/DccProtocol.h"
#include "platform/BlockingSocket.h"
#include "platform/Platform.h"
#include "session/MainForm.h"

namespace tavi {

std::string TMainForm::ConnectionLocalAddress() const {
  return SocketActive() ? socket_->LocalAddress() : std::string();
}

std::string TMainForm::LocalAddressNumber() const {
  // The host's own name often resolves to loopback only (127.0.1.1 on
  // Debian), which no peer can reach; the server connection's own address
  // is the one the outside sees then.
  const std::string address = ChooseLocalAddress(Platform().LocalIPv4Addresses(), ConnectionLocalAddress());
  return AddressNumberFromDotted(address);
}

}  // namespace tavi
