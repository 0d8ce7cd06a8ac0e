// A real IRC server (Debian's ngircd) for end-to-end tests: started on a free
// port on 127.0.0.1 with a generated configuration, stopped at destruction or,
// should the test process die, by the time limit it runs under.
#pragma once

#include <cstdint>
#include <string>

#include "ServerProcess.h"

namespace tavi::test {

class TNgircdServer {
 public:
  struct TOptions {
    int PingTimeout = 120;  // seconds of silence before the server pings
    int PongTimeout = 20;
    // The most ngircd holds back a client's next command for each one it
    // sends, in seconds: -1 no limit (its own penalties, up to seconds for
    // a JOIN), 0 none.
    int MaxPenaltyTime = -1;
    std::string Motd = "Welcome to the Tavi test server";  // empty: none (422)
    int TimeLimitSeconds = 300;
    // Also listen with TLS on a port of its own, with a self-signed
    // certificate made for the run.
    bool Tls = false;
  };

  TNgircdServer() = default;
  ~TNgircdServer();
  TNgircdServer(const TNgircdServer&) = delete;
  TNgircdServer& operator=(const TNgircdServer&) = delete;

  // False with Error set when ngircd is missing or does not come up.
  bool Start(const TOptions& Options, std::string& Error);
  bool Start(std::string& Error) { return Start(TOptions(), Error); }
  void Stop();

  std::uint16_t Port() const { return port_; }
  std::uint16_t TlsPort() const { return tlsPort_; }
  // SHA-256 of the TLS certificate, "AB:CD:...".
  const std::string& TlsFingerprint() const { return tlsFingerprint_; }
  static const char* Host() { return "127.0.0.1"; }
  static const char* ServerName() { return "irc.tavi.test"; }

 private:
  TServerProcess process_;
  std::uint16_t port_ = 0;
  std::uint16_t tlsPort_ = 0;
  std::string tlsFingerprint_;
};

}  // namespace tavi::test
