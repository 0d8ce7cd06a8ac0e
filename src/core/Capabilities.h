// The IRCv3 capability negotiation of one connection, and the SASL login
// inside it: what the server offers (CAP LS), what is asked for and granted
// (CAP REQ / ACK / NAK), what comes and goes later (CAP NEW / DEL), and the
// AUTHENTICATE exchange. No widgets and no socket: lines in, lines out.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

struct TMessage;

// How the network logs in before registering.
enum class TSaslMechanism { None, Plain, External };

struct TSaslLogin {
  TSaslMechanism Mechanism = TSaslMechanism::None;
  std::string Account;   // PLAIN
  std::string Password;  // PLAIN
  // A failed login ends the connection instead of going on unidentified.
  bool Required = false;
  bool operator==(const TSaslLogin&) const = default;
};

// The SASL exchange's outcome, for the server log and the status.
enum class TSaslOutcome { None, LoggedIn, Failed, Aborted, NotOffered };

class TCapabilities {
 public:
  // What the negotiation sends (whole lines with CR LF).
  using TSend = std::function<void(const std::string& Line)>;
  // The login's end, told once per connection that asked for one.
  using TSaslReport = std::function<void(TSaslOutcome Outcome, const std::string& Text)>;

  // The capabilities this client asks for when a server offers them.
  static const std::vector<std::string_view>& Wanted();

  // A new connection: nothing known, nothing granted. The first line to
  // send is "CAP LS 302"; Login says whether to log in with SASL.
  void Start(const TSaslLogin& Login, TSend Send, TSaslReport Report = {});
  // Takes CAP, AUTHENTICATE and the SASL replies (900 to 908); false for
  // other lines. Registration is held (no CAP END) until the negotiation
  // and the login are over.
  bool Take(const TMessage& Message);
  // The server registered the client (001): a server that never answered
  // CAP is done with.
  void Registered() { negotiating_ = false; }

  bool Enabled(std::string_view Name) const { return enabled_.contains(std::string(Name)); }
  const std::set<std::string, std::less<>>& EnabledSet() const { return enabled_; }
  // The value the server gave with an offered capability ("PLAIN,EXTERNAL"
  // for sasl); nullptr when it is not offered.
  const std::string* Offered(std::string_view Name) const;
  bool Negotiating() const { return negotiating_; }

  TSaslOutcome SaslOutcome() const { return saslOutcome_; }
  // The server's words on the login (the 900 / 904 text).
  const std::string& SaslText() const { return saslText_; }

  // The SASL PLAIN reply for Account and Password, as AUTHENTICATE lines:
  // base64 in pieces of 400, a lone "+" after a full last piece.
  static std::vector<std::string> PlainResponse(const std::string& Account, const std::string& Password);

 private:
  void Request(const std::vector<std::string>& Names);
  void Acknowledged(const std::string& List, bool Granted);
  void MaybeFinish();
  void StartSasl();
  void EndNegotiation();
  void SaslDone(TSaslOutcome Outcome, const std::string& Text);

  // Until Start, CAP lines that come all the same ask for nothing.
  TSend send_ = [](const std::string&) {};
  TSaslReport report_;
  TSaslLogin login_;
  std::map<std::string, std::string, std::less<>> offered_;
  std::set<std::string, std::less<>> enabled_;
  int pendingRequests_ = 0;
  bool negotiating_ = false;
  bool listed_ = false;  // the whole LS reply has come
  bool saslRunning_ = false;
  TSaslOutcome saslOutcome_ = TSaslOutcome::None;
  std::string saslText_;
};

}  // namespace tavi
