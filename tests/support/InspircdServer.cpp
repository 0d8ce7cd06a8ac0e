#include "InspircdServer.h"

#include <fstream>

#include "TlsIdentity.h"

namespace tavi::test {

namespace {

// The capabilities of a modern network: each module adds one or more.
constexpr const char* Ircv3Modules[] = {
    "cap",                    // CAP LS 302, cap-notify with ircv3_capnotify
    "ircv3",                  // account-notify, away-notify, extended-join
    "ircv3_accounttag",       // account-tag
    "ircv3_batch",            // batch
    "ircv3_capnotify",        // cap-notify
    "ircv3_chghost",          // chghost
    "ircv3_ctctags",          // message-tags
    "ircv3_echomessage",      // echo-message
    "ircv3_invitenotify",     // invite-notify
    "ircv3_labeledresponse",  // labeled-response
    "ircv3_msgid",            // msgid tags
    "ircv3_servertime",       // server-time
    "setname",                // setname
    "namesx",                 // multi-prefix
    "uhnames",                // userhost-in-names
    "monitor",                // MONITOR, extended-monitor
    "chghost",                // CHGHOST, for chghost lines
    "services_account",       // accounts (+r), needed by the services too
};

}  // namespace

TInspircdServer::~TInspircdServer() { Stop(); }

bool TInspircdServer::Start(const TOptions& Options, std::string& Error) {
  Stop();
  if (!process_.MakeFolder("tavi-inspircd")) {
    Error = "cannot make a temporary folder";
    return false;
  }
  const std::string& dir = process_.Folder();
  port_ = FreeLoopbackPort();
  tlsPort_ = Options.Tls ? FreeLoopbackPort() : 0;
  linkPort_ = Options.Services ? FreeLoopbackPort() : 0;
  if (port_ == 0 || (Options.Tls && tlsPort_ == 0) || (Options.Services && linkPort_ == 0)) {
    Error = "no free port";
    return false;
  }
  tlsFingerprint_.clear();
  if (Options.Tls) {
    const TTlsIdentity identity = MakeSelfSignedIdentity(Host());
    if (!WriteIdentityFiles(identity, dir)) {
      Error = "cannot make the TLS certificate";
      return false;
    }
    tlsFingerprint_ = identity.Fingerprint;
  }
  std::ofstream(dir + "/motd.txt") << Options.Motd << "\n";

  const std::string conf = dir + "/inspircd.conf";
  {
    std::ofstream out(conf);
    out << "<server name=\"" << ServerName() << "\" description=\"Tavi test server\" network=\"TaviNet\">\n"
        << "<admin name=\"Tavi test\" nick=\"admin\" email=\"admin@tavi.test\">\n"
        << "<bind address=\"127.0.0.1\" port=\"" << port_ << "\" type=\"clients\">\n"
        // Many test clients from one address, no DNS, no ident, no flood limits.
        << "<connect allow=\"*\" resolvehostnames=\"no\" useident=\"no\" timeout=\"20\" pingfreq=\"120\""
           " localmax=\"1000\" globalmax=\"1000\" limit=\"1000\" threshold=\"1000\" commandrate=\"1000000\""
           " fakelag=\"no\" recvq=\"65536\" softsendq=\"65536\" hardsendq=\"1048576\">\n"
        << "<dns server=\"127.0.0.1\" timeout=\"1\">\n"
        << "<files motd=\"" << dir << "/motd.txt\">\n"
        << "<log method=\"file\" type=\"* -USERINPUT -USEROUTPUT\" level=\"default\" target=\"" << dir
        << "/inspircd.log\">\n";
    for (const char* module : Ircv3Modules) out << "<module name=\"" << module << "\">\n";
    if (Options.Tls)
      out << "<module name=\"ssl_gnutls\">\n"
          << "<sslprofile name=\"Clients\" provider=\"gnutls\" certfile=\"" << dir << "/cert.pem\" keyfile=\"" << dir
          << "/key.pem\" requestclientcert=\"yes\" hash=\"sha256\">\n"
          << "<bind address=\"127.0.0.1\" port=\"" << tlsPort_ << "\" type=\"clients\" sslprofile=\"Clients\">\n"
          << "<module name=\"sslinfo\">\n<sslinfo operonly=\"no\">\n";
    if (Options.Services)
      out << "<module name=\"spanningtree\">\n"
          << "<bind address=\"127.0.0.1\" port=\"" << linkPort_ << "\" type=\"servers\">\n"
          << "<link name=\"" << ServicesName() << "\" ipaddr=\"127.0.0.1\" port=\"" << linkPort_
          << "\" allowmask=\"127.0.0.0/8\" sendpass=\"" << LinkPassword() << "\" recvpass=\"" << LinkPassword()
          << "\">\n"
          << "<uline server=\"" << ServicesName() << "\" silent=\"yes\">\n"
          << "<module name=\"sasl\">\n<sasl target=\"" << ServicesName() << "\">\n"
          // anope needs hidechans, and uses the others when it finds them.
          << "<module name=\"hidechans\">\n<module name=\"svshold\">\n<module name=\"chgident\">\n";
  }

  // Run unprivileged: inspircd refuses root.
  if (!process_.Start({{"inspircd", "--config", conf, "--nofork", "--nopid"}, Options.TimeLimitSeconds, true}, Error))
    return false;
  const auto listening = [this] {
    for (const std::uint16_t port : {port_, tlsPort_, linkPort_})
      if (port != 0 && !CanConnectLoopback(port)) return false;
    return true;
  };
  if (process_.WaitUntil(listening, 10000, Error))
    return true;
  Stop();
  return false;
}

void TInspircdServer::Stop() { process_.Stop(); }

}  // namespace tavi::test
