// A real IRC bouncer (Debian's znc 1.8) in front of a test server: one user
// with one network, on the network's channels while no client is attached,
// keeping what they say and playing it back (with server-time to clients
// that ask for it) to each client that attaches later. Started on a free port
// of 127.0.0.1 with a generated configuration (no TLS), stopped at
// destruction or, should the test process die, by the time limit it runs
// under.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NgircdServer.h"
#include "RawIrcPeer.h"
#include "ServerProcess.h"

namespace tavi::test {

class TZncBouncer {
 public:
  struct TOptions {
    std::string UpstreamHost = "127.0.0.1";
    std::uint16_t UpstreamPort = 0;
    std::string Nick = "tavi";
    std::vector<std::string> Channels = {"#tavi"};
    int ChanBufferSize = 100;  // lines kept per channel
    int TimeLimitSeconds = 300;
  };

  TZncBouncer() = default;
  ~TZncBouncer();
  TZncBouncer(const TZncBouncer&) = delete;
  TZncBouncer& operator=(const TZncBouncer&) = delete;

  // Returns once ZNC listens; it connects upstream on its own. False with
  // Error set when znc is missing or does not come up.
  bool Start(const TOptions& Options, std::string& Error);
  // Waits until ZNC's nick is on every channel of the options, as a client
  // of its own on the upstream server sees it.
  bool WaitUntilJoined(std::string& Error, int TimeoutMs = 10000);
  void Stop();

  std::uint16_t Port() const { return port_; }
  static const char* Host() { return "127.0.0.1"; }
  static const char* User() { return "tavi"; }
  static const char* Network() { return "test"; }
  static const char* Password() { return "tavi-znc-secret"; }
  // What a client sends with PASS to reach the network: "user/network:password".
  static std::string LoginPassword();

 private:
  TServerProcess process_;
  TOptions options_;
  std::uint16_t port_ = 0;
};

// ZNC in front of a quick ngircd, on its channel "#tavi", and a raw peer on
// ngircd in that channel: what the peer says waits in ZNC's buffer.
struct TZncOnNgircd {
  TNgircdServer Upstream;
  TZncBouncer Znc;
  TRawIrcPeer Peer;
  bool Start(std::string& Error);
};

}  // namespace tavi::test
