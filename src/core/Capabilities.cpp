#include "core/Capabilities.h"

#include <QByteArray>
#include <algorithm>

#include "protocol/Message.h"

namespace tavi {
namespace {

// Lines of CAP REQ stay well inside the 512 bytes a line may have.
constexpr std::size_t RequestBytes = 400;
constexpr std::size_t SaslPiece = 400;

std::vector<std::string> Words(const std::string& Text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < Text.size()) {
    const std::size_t end = std::min(Text.find(' ', at), Text.size());
    if (end > at) words.push_back(Text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

bool IsSaslReply(const std::string& Command) {
  return Command.size() == 3 && Command >= "900" && Command <= "908";
}

}  // namespace

const std::vector<std::string_view>& TCapabilities::Wanted() {
  // Only what the handlers understand: a capability changes what the
  // server sends.
  static const std::vector<std::string_view> wanted = {
      "cap-notify",     "server-time", "message-tags", "batch",   "multi-prefix",
      "away-notify",    "account-notify", "extended-join", "chghost", "setname",
      "echo-message",   "userhost-in-names", "invite-notify"};
  return wanted;
}

void TCapabilities::Start(const TSaslLogin& Login, TSend Send, TSaslReport Report) {
  *this = TCapabilities();
  login_ = Login;
  send_ = std::move(Send);
  report_ = std::move(Report);
  negotiating_ = true;
  send_("CAP LS 302\r\n");
}

const std::string* TCapabilities::Offered(std::string_view Name) const {
  const auto found = offered_.find(Name);
  return found == offered_.end() ? nullptr : &found->second;
}

bool TCapabilities::Take(const TMessage& Message) {
  if (Message.Command == "AUTHENTICATE" || IsSaslReply(Message.Command)) {
    // Outside a login of ours they are the server's business to show.
    if (!negotiating_ && !saslRunning_) return false;
  }
  if (Message.Command == "AUTHENTICATE") {
    if (!saslRunning_) return true;
    if (Message.Params.empty() || Message.Params[0] != "+") return true;
    if (login_.Mechanism == TSaslMechanism::External) {
      send_("AUTHENTICATE +\r\n");
    } else {
      for (const std::string& line : PlainResponse(login_.Account, login_.Password)) send_(line);
    }
    return true;
  }
  if (IsSaslReply(Message.Command)) {
    const std::string text = Message.Params.empty() ? std::string() : Message.Params.back();
    if (Message.Command == "900") {
      saslText_ = text;  // logged in; 903 ends the exchange
    } else if (Message.Command == "903") {
      SaslDone(TSaslOutcome::LoggedIn, saslText_.empty() ? text : saslText_);
    } else if (Message.Command == "902" || Message.Command == "904" || Message.Command == "905") {
      SaslDone(TSaslOutcome::Failed, text);
    } else if (Message.Command == "906") {
      SaslDone(TSaslOutcome::Aborted, text);
    } else if (Message.Command == "907") {
      SaslDone(TSaslOutcome::LoggedIn, text);
    }
    return true;
  }
  if (Message.Command != "CAP" || Message.Params.size() < 3) return false;

  const std::string& sub = Message.Params[1];
  // "CAP nick LS * :list" while more follow.
  const bool more = Message.Params.size() >= 4 && Message.Params[2] == "*";
  const std::string& list = Message.Params.back();
  if (sub == "LS" || sub == "NEW") {
    std::vector<std::string> fresh;
    for (const std::string& word : Words(list)) {
      const std::size_t equals = word.find('=');
      const std::string name = word.substr(0, equals);
      offered_[name] = equals == std::string::npos ? std::string() : word.substr(equals + 1);
      fresh.push_back(name);
    }
    if (sub == "NEW") {
      std::vector<std::string> wanted;
      for (const std::string& name : fresh)
        if (!enabled_.contains(name) && std::ranges::find(Wanted(), name) != Wanted().end()) wanted.push_back(name);
      Request(wanted);
      return true;
    }
    if (more || listed_) return true;
    listed_ = true;
    std::vector<std::string> wanted;
    for (std::string_view name : Wanted())
      if (offered_.contains(name)) wanted.emplace_back(name);
    if (login_.Mechanism != TSaslMechanism::None && offered_.contains("sasl")) wanted.emplace_back("sasl");
    Request(wanted);
    MaybeFinish();
  } else if (sub == "ACK" || sub == "NAK") {
    Acknowledged(list, sub == "ACK");
    if (!more) {
      pendingRequests_ = std::max(0, pendingRequests_ - 1);
      MaybeFinish();
    }
  } else if (sub == "DEL") {
    for (const std::string& name : Words(list)) {
      enabled_.erase(name);
      offered_.erase(name);
    }
  }
  return true;
}

void TCapabilities::Request(const std::vector<std::string>& Names) {
  std::string line;
  for (const std::string& name : Names) {
    if (!line.empty() && line.size() + name.size() + 1 > RequestBytes) {
      send_("CAP REQ :" + line + "\r\n");
      ++pendingRequests_;
      line.clear();
    }
    line += (line.empty() ? "" : " ") + name;
  }
  if (line.empty()) return;
  send_("CAP REQ :" + line + "\r\n");
  ++pendingRequests_;
}

void TCapabilities::Acknowledged(const std::string& List, bool Granted) {
  if (!Granted) return;
  for (const std::string& word : Words(List)) {
    if (word.starts_with('-'))
      enabled_.erase(word.substr(1));
    else
      enabled_.insert(word);
  }
}

void TCapabilities::MaybeFinish() {
  if (!negotiating_ || !listed_ || pendingRequests_ > 0 || saslRunning_) return;
  if (login_.Mechanism != TSaslMechanism::None && saslOutcome_ == TSaslOutcome::None) {
    if (Enabled("sasl")) {
      StartSasl();
      return;
    }
    SaslDone(TSaslOutcome::NotOffered, std::string());
    return;
  }
  EndNegotiation();
}

void TCapabilities::StartSasl() {
  saslRunning_ = true;
  send_(login_.Mechanism == TSaslMechanism::External ? "AUTHENTICATE EXTERNAL\r\n" : "AUTHENTICATE PLAIN\r\n");
}

void TCapabilities::SaslDone(TSaslOutcome Outcome, const std::string& Text) {
  if (saslOutcome_ != TSaslOutcome::None) return;
  saslRunning_ = false;
  saslOutcome_ = Outcome;
  saslText_ = Text;
  const bool goOn = Outcome == TSaslOutcome::LoggedIn || !login_.Required;
  // The report may end the connection; registration ends only when the
  // login may be done without.
  if (goOn) EndNegotiation();
  if (report_) report_(Outcome, Text);
}

void TCapabilities::EndNegotiation() {
  if (!negotiating_) return;
  negotiating_ = false;
  send_("CAP END\r\n");
}

std::vector<std::string> TCapabilities::PlainResponse(const std::string& Account, const std::string& Password) {
  QByteArray plain;
  plain.append(Account.data(), static_cast<qsizetype>(Account.size()));
  plain.append('\0');
  plain.append(Account.data(), static_cast<qsizetype>(Account.size()));
  plain.append('\0');
  plain.append(Password.data(), static_cast<qsizetype>(Password.size()));
  const QByteArray encoded = plain.toBase64();
  std::vector<std::string> lines;
  for (qsizetype at = 0; at < encoded.size(); at += static_cast<qsizetype>(SaslPiece))
    lines.push_back("AUTHENTICATE " + encoded.mid(at, static_cast<qsizetype>(SaslPiece)).toStdString() + "\r\n");
  if (encoded.size() % static_cast<qsizetype>(SaslPiece) == 0) lines.push_back("AUTHENTICATE +\r\n");
  return lines;
}

}  // namespace tavi
