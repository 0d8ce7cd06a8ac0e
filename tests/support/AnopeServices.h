// Real IRC services (Debian's anope 2.0) linked to a TInspircdServer started
// with Services: NickServ, registration without confirmation, certificate
// fingerprints, and SASL (PLAIN, and EXTERNAL over the server's TLS port).
// Stopped at destruction or, should the test process die, by the time limit
// they run under.
#pragma once

#include <cstdint>
#include <string>

#include "ServerProcess.h"

namespace tavi::test {

class TInspircdServer;

class TAnopeServices {
 public:
  TAnopeServices() = default;
  ~TAnopeServices();
  TAnopeServices(const TAnopeServices&) = delete;
  TAnopeServices& operator=(const TAnopeServices&) = delete;

  // Links to Uplink and returns once the server offers SASL through them.
  // False with Error set when anope is missing or the link fails.
  bool Start(const TInspircdServer& Uplink, std::string& Error, int TimeLimitSeconds = 300);
  void Stop();

  // Registers Account with Password through NickServ from a client of its
  // own on the uplink, then quits. With CertificateFingerprint (SHA-256,
  // "AB:CD:..." or plain hex), the services operator Admin() also adds
  // that certificate to the account, for SASL EXTERNAL from a client that
  // shows it on the TLS port.
  bool RegisterAccount(const std::string& Account, const std::string& Password, std::string& Error,
                       const std::string& CertificateFingerprint = {});

  static const char* NickServ() { return "NickServ"; }
  // A nick (and account) of the services' own root.
  static const char* Admin() { return "tavisvc"; }

 private:
  TServerProcess process_;
  std::uint16_t uplinkPort_ = 0;
  bool adminRegistered_ = false;
};

}  // namespace tavi::test
