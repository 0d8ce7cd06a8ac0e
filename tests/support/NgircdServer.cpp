#include "NgircdServer.h"

#include <sys/stat.h>

#include <fstream>

#include "TlsIdentity.h"

namespace tavi::test {

TNgircdServer::~TNgircdServer() { Stop(); }

bool TNgircdServer::Start(const TOptions& Options, std::string& Error) {
  Stop();
  if (!process_.MakeFolder("tavi-ngircd")) {
    Error = "cannot make a temporary folder";
    return false;
  }
  const std::string& dir = process_.Folder();
  port_ = FreeLoopbackPort();
  if (port_ == 0) {
    Error = "no free port";
    return false;
  }

  tlsPort_ = 0;
  tlsFingerprint_.clear();
  if (Options.Tls) {
    const TTlsIdentity identity = MakeSelfSignedIdentity(Host());
    if (!WriteIdentityFiles(identity, dir) || (tlsPort_ = FreeLoopbackPort()) == 0) {
      Error = "cannot make the TLS certificate";
      return false;
    }
    tlsFingerprint_ = identity.Fingerprint;
  }

  const std::string conf = dir + "/ngircd.conf";
  {
    std::ofstream out(conf);
    out << "[Global]\n"
        << "Name = " << ServerName() << "\n"
        << "Info = Tavi test server\n"
        << "AdminInfo1 = Tavi test\nAdminInfo2 = Loopback\nAdminEMail = admin@tavi.test\n"
        << "Listen = 127.0.0.1\n"
        << "Ports = " << port_ << "\n"
        // No text at all: a file that does not exist, so the server says 422.
        << (Options.Motd.empty() ? "MotdFile = " + dir + "/none.motd" : "MotdPhrase = " + Options.Motd) << "\n"
        << "[Limits]\n"
        << "PingTimeout = " << Options.PingTimeout << "\n"
        << "PongTimeout = " << Options.PongTimeout << "\n"
        << "MaxPenaltyTime = " << Options.MaxPenaltyTime << "\n"
        << "MaxConnectionsIP = 0\nMaxNickLength = 30\n"
        << "[Options]\nDNS = no\nIdent = no\nPAM = no\n"
        << "[SSL]\n";
    if (Options.Tls)
      out << "CertFile = " << dir << "/cert.pem\nKeyFile = " << dir << "/key.pem\nPorts = " << tlsPort_ << "\n";
  }
  // ngircd reads these after it has left root for its own user.
  ::chmod((dir + "/key.pem").c_str(), 0644);
  ::chmod(dir.c_str(), 0755);
  ::chmod(conf.c_str(), 0644);

  if (!process_.Start({{"ngircd", "-n", "-f", conf}, Options.TimeLimitSeconds, false}, Error)) return false;
  if (process_.WaitUntil([this] { return CanConnectLoopback(port_) && (tlsPort_ == 0 || CanConnectLoopback(tlsPort_)); },
                         10000, Error))
    return true;
  Stop();
  return false;
}

void TNgircdServer::Stop() { process_.Stop(); }

}  // namespace tavi::test
