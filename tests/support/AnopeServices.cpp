#include "AnopeServices.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include "InspircdServer.h"
#include "RawIrcPeer.h"

namespace tavi::test {

namespace {

// NickServ's commands that tests use: the module, its settings, the command.
struct TNickServCommand {
  const char* Module;
  const char* Settings;
  const char* Name;
  const char* Command;
};
constexpr TNickServCommand NickServCommands[] = {
    {"ns_register", "registration = \"none\";", "REGISTER", "nickserv/register"},  // no confirmation
    {"ns_identify", "", "IDENTIFY", "nickserv/identify"},
    {"ns_cert", "max = 5;", "CERT", "nickserv/cert"},
    {"ns_info", "", "INFO", "nickserv/info"},
    {"ns_logout", "", "LOGOUT", "nickserv/logout"},
    {"help", "", "HELP", "generic/help"},
};

// Anope stores fingerprints as inspircd reports them: lower-case hex.
std::string PlainFingerprint(const std::string& Fingerprint) {
  std::string hex;
  for (const char c : Fingerprint)
    if (c != ':') hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return hex;
}

// Sends Command to NickServ: true once a notice of its holds Expected (past
// its other notices, such as the one about a registered nick).
bool AskNickServ(TRawIrcPeer& Peer, const std::string& Command, const std::string& Expected, std::string& Error) {
  Peer.Send(std::string("PRIVMSG ") + TAnopeServices::NickServ() + " :" + Command + "\r\n");
  const std::string from = std::string(":") + TAnopeServices::NickServ() + "!";
  std::string said;
  for (std::string reply; !(reply = Peer.WaitFor(from)).empty();) {
    if (reply.find(" NOTICE ") == std::string::npos) continue;
    if (reply.find(Expected) != std::string::npos) return true;
    said += reply;
  }
  Error = "NickServ did not answer " + Command + " as expected: " + said;
  return false;
}

constexpr const char* AdminPassword = "tavi-services-root";

}  // namespace

TAnopeServices::~TAnopeServices() { Stop(); }

bool TAnopeServices::Start(const TInspircdServer& Uplink, std::string& Error, int TimeLimitSeconds) {
  Stop();
  if (Uplink.LinkPort() == 0) {
    Error = "the server was started without services";
    return false;
  }
  if (!process_.MakeFolder("tavi-anope")) {
    Error = "cannot make a temporary folder";
    return false;
  }
  uplinkPort_ = Uplink.Port();
  adminRegistered_ = false;
  const std::string& dir = process_.Folder();
  std::error_code ec;
  std::filesystem::create_directories(dir + "/db", ec);
  std::filesystem::create_directories(dir + "/logs", ec);
  std::ofstream(dir + "/services.motd") << "Tavi test services\n";
  {
    std::ofstream out(dir + "/services.conf");
    out << "uplink { host = \"127.0.0.1\"; ipv6 = no; ssl = no; port = " << Uplink.LinkPort() << "; password = \""
        << Uplink.LinkPassword() << "\"; }\n"
        << "serverinfo { name = \"" << Uplink.ServicesName() << "\"; description = \"Tavi test services\"; pid = \""
        << dir << "/anope.pid\"; motd = \"" << dir << "/services.motd\"; }\n"
        << "module { name = \"inspircd3\"; use_server_side_mlock = yes; use_server_side_topiclock = yes; }\n"
        << "networkinfo { networkname = \"TaviNet\"; nicklen = 30; userlen = 10; hostlen = 64; chanlen = 32;"
           " modelistsize = 100; vhost_chars = \"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-\";"
           " allow_undotted_vhosts = false; disallow_start_or_end = \".-\"; }\n"
        // The server's case mapping, or the link is refused; a quick retry
        // should the first connect come too early.
        << "options { casemap = \"rfc1459\"; seed = 20240601; strictpasswords = no; badpasslimit = 0;"
           " readtimeout = 5s; timeoutcheck = 1s; retrywait = 1s; updatetimeout = 5m; expiretimeout = 30m;"
           " warningtimeout = 4h; }\n"
        << "mail { usemail = no; }\n"
        << "log { target = \"services.log\"; admin = \"*\"; override = \"*\"; commands = \"*\"; servers = \"*\";"
           " users = \"*\"; other = \"*\"; rawio = no; debug = no; }\n"
        << "module { name = \"enc_sha256\"; }\n"
        << "module { name = \"db_flatfile\"; database = \"anope.db\"; keepbackups = 0; fork = no; }\n"
        << "service { nick = \"" << NickServ() << "\"; user = \"services\"; host = \"" << Uplink.ServicesName()
        << "\"; gecos = \"Nickname Registration Service\"; }\n"
        // No e-mail and no delay between registrations.
        << "module { name = \"nickserv\"; client = \"" << NickServ()
        << "\"; forceemail = no; defaults = \"ns_secure hide_email\"; expire = 21d; }\n"
        << "module { name = \"m_sasl\"; }\n"
        << "opertype { name = \"Services Root\"; commands = \"*\"; privs = \"*\"; }\n"
        << "oper { name = \"" << Admin() << "\"; type = \"Services Root\"; require_oper = no; }\n";
    for (const TNickServCommand& c : NickServCommands)
      out << "module { name = \"" << c.Module << "\"; " << c.Settings << " }\n"
          << "command { service = \"" << NickServ() << "\"; name = \"" << c.Name << "\"; command = \"" << c.Command
          << "\"; }\n";
  }

  // Run unprivileged: as root anope stalls for seconds with a warning.
  if (!process_.Start({{"anope", "--nofork", "--confdir=" + dir, "--dbdir=" + dir + "/db", "--logdir=" + dir + "/logs",
                        "--modulesdir=/usr/lib/anope", "--localedir=/usr/share/anope/locale"},
                       TimeLimitSeconds,
                       true},
                      Error))
    return false;

  // Linked once the server offers SASL, which it hands to them; asked
  // before registering, which inspircd completes only on its next tick.
  TRawIrcPeer probe;
  if (!probe.Connect(Uplink.Host(), uplinkPort_)) {
    Error = "cannot reach the server";
    Stop();
    return false;
  }
  const bool linked = process_.WaitUntil(
      [&] {
        probe.Send("CAP LS 302\r\n");
        return probe.WaitFor(" LS ", 1000).find("sasl") != std::string::npos;
      },
      10000, Error);
  probe.Send("QUIT\r\n");
  if (!linked) Stop();
  return linked;
}

bool TAnopeServices::RegisterAccount(const std::string& Account, const std::string& Password, std::string& Error,
                                     const std::string& CertificateFingerprint) {
  const bool withCertificate = !CertificateFingerprint.empty();
  TRawIrcPeer user;
  TRawIrcPeer admin;
  if (!user.Connect(TInspircdServer::Host(), uplinkPort_) ||
      (withCertificate && !admin.Connect(TInspircdServer::Host(), uplinkPort_))) {
    Error = "cannot reach the server";
    return false;
  }
  // Both at once: inspircd completes registrations only once a second.
  if (withCertificate) admin.Send(std::string("NICK ") + Admin() + "\r\nUSER admin 0 * :Services admin\r\n");
  if (!user.Register(Account) || (withCertificate && admin.WaitFor(" 376 ").empty())) {
    Error = "cannot register with the server";
    return false;
  }
  const std::string email = "@tavi.test";
  bool ok = AskNickServ(user, "REGISTER " + Password + " " + Account + email, " registered", Error);
  // Only a services operator may add a certificate the client does not show.
  if (ok && withCertificate) {
    ok = adminRegistered_ ? AskNickServ(admin, std::string("IDENTIFY ") + AdminPassword, " accepted", Error)
                          : AskNickServ(admin, std::string("REGISTER ") + AdminPassword + " " + Admin() + email,
                                        " registered", Error);
    adminRegistered_ = adminRegistered_ || ok;
    ok = ok && AskNickServ(admin, "CERT ADD " + Account + " " + PlainFingerprint(CertificateFingerprint), " added to",
                           Error);
    admin.Send("QUIT\r\n");
  }
  // Gone before the caller takes the nick.
  user.Send("QUIT\r\n");
  user.WaitFor("ERROR ");
  return ok;
}

void TAnopeServices::Stop() { process_.Stop(); }

}  // namespace tavi::test
