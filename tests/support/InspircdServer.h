// A real IRCv3 server (Debian's inspircd 3) for end-to-end tests, with the
// capabilities a modern network offers: started on free ports of 127.0.0.1
// with a generated configuration, stopped at destruction or, should the test
// process die, by the time limit it runs under.
#pragma once

#include <cstdint>
#include <string>

#include "ServerProcess.h"

namespace tavi::test {

class TInspircdServer {
 public:
  struct TOptions {
    // Accept the services (TAnopeServices) on a link port of its own and
    // hand SASL to them: "sasl" is offered once they are linked.
    bool Services = false;
    // Also listen with TLS on a port of its own, with a self-signed
    // certificate made for the run; a client certificate's SHA-256
    // fingerprint is passed on (WHOIS, SASL EXTERNAL).
    bool Tls = false;
    std::string Motd = "Welcome to the Tavi IRCv3 test server";
    int TimeLimitSeconds = 300;
  };

  TInspircdServer() = default;
  ~TInspircdServer();
  TInspircdServer(const TInspircdServer&) = delete;
  TInspircdServer& operator=(const TInspircdServer&) = delete;

  // False with Error set when inspircd is missing or does not come up.
  bool Start(const TOptions& Options, std::string& Error);
  bool Start(std::string& Error) { return Start(TOptions(), Error); }
  void Stop();

  std::uint16_t Port() const { return port_; }
  std::uint16_t TlsPort() const { return tlsPort_; }
  // SHA-256 of the server's TLS certificate, "AB:CD:...".
  const std::string& TlsFingerprint() const { return tlsFingerprint_; }
  // Where the services connect; 0 without them.
  std::uint16_t LinkPort() const { return linkPort_; }
  static const char* Host() { return "127.0.0.1"; }
  static const char* ServerName() { return "irc.tavi.test"; }
  static const char* ServicesName() { return "services.tavi.test"; }
  static const char* LinkPassword() { return "tavi-link-secret"; }

 private:
  TServerProcess process_;
  std::uint16_t port_ = 0;
  std::uint16_t tlsPort_ = 0;
  std::uint16_t linkPort_ = 0;
  std::string tlsFingerprint_;
};

}  // namespace tavi::test
