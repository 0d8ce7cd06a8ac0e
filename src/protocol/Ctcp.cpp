#include "protocol/Ctcp.h"

#include <cstdio>
#include <vector>

#include "kanji/SjisCase.h"

namespace tavi {

namespace {

constexpr std::string_view NotSupportedNow = "現在サポートしていません。";
constexpr std::string_view NotSupportedHere = " ではサポートしていません。";
constexpr std::string_view In = " では ";
constexpr std::string_view IsNotSupported = " をサポートしていません。";

bool IsControlOrBlank(char C) { return static_cast<unsigned char>(C) <= 32; }

// "NOTICE " + Nick + " :" + SOH + Body + SOH + CR LF
std::string FramedNotice(const std::string& Nick, std::string_view Body) {
  std::string line = "NOTICE " + Nick + " :";
  line += SOH;
  line += Body;
  line += SOH;
  line += "\r\n";
  return line;
}

std::string TwoDigits(int Value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", Value);
  return text;
}

}  // namespace

bool IsCtcp(std::string_view Text) { return !Text.empty() && Text.front() == SOH; }

std::string TrimControls(std::string_view Text) {
  while (!Text.empty() && IsControlOrBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsControlOrBlank(Text.back())) Text.remove_suffix(1);
  return std::string(Text);
}

std::string CtcpQueryWord(std::string_view Text) { return TrimControls(Text.substr(0, Text.find(' '))); }

std::string CtcpPingReply(const std::string& Nick, const std::string& Text) {
  return "NOTICE " + Nick + " :" + Text + "\r\n";
}

std::string CtcpTimeText(const std::string& LongDate, const std::string& Weekday, int Hour, int Minute,
                         const std::string& TimeSeparator) {
  return LongDate + " " + Weekday + " " + TwoDigits(Hour) + " " + TimeSeparator + " " + TwoDigits(Minute) + " ";
}

std::string CtcpTimeReply(const std::string& Nick, const std::string& TimeText) {
  return FramedNotice(Nick, "TIME " + TimeText);
}

std::string CtcpUserInfoReply(const std::string& Nick) {
  return FramedNotice(Nick, "USERINFO " + std::string(NotSupportedNow));
}

std::string CtcpFingerReply(const std::string& Nick, const std::string& LoginName, const std::string& HostName) {
  return FramedNotice(Nick, "FINGER " + LoginName + "@" + HostName);
}

std::string CtcpVersionReply(const std::string& Nick, const std::string& VersionText) {
  return FramedNotice(Nick, "VERSION " + VersionText);
}

std::string CtcpClientInfoReply(const std::string& Nick) {
  return FramedNotice(Nick, "CLIENTINFO PING TIME FINGER VERSION");
}

std::string CtcpNotSupportedReply(const std::string& Nick, const std::string& Query,
                                  const std::string& VersionText) {
  return FramedNotice(Nick, Query + " " + VersionText + std::string(NotSupportedHere));
}

std::string CtcpDccNotSupportedReply(const std::string& Nick, const std::string& Query,
                                     const std::string& VersionText, const std::string& Type) {
  return FramedNotice(Nick, Query + " " + VersionText + std::string(In) + Type + std::string(IsNotSupported));
}

TCtcpReply SplitCtcpReply(std::string_view Text) {
  TCtcpReply reply;
  if (!IsCtcp(Text)) {
    reply.Text = std::string(Text);
    return reply;
  }
  const std::size_t space = Text.find(' ');
  if (space != std::string_view::npos) {
    reply.Word = SjisUpperCase(Text.substr(1, space - 1));
    Text.remove_prefix(space + 1);
  }
  reply.Text = std::string(Text);
  if (const std::size_t soh = reply.Text.find(SOH); soh != std::string::npos) reply.Text.erase(soh, 1);
  return reply;
}

std::string CtcpActionText(std::string_view Text) {
  if (IsCtcp(Text)) Text.remove_prefix(1);
  if (!Text.empty() && Text.back() == SOH) Text.remove_suffix(1);
  const std::size_t space = Text.find(' ');
  return space == std::string_view::npos ? std::string() : std::string(Text.substr(space + 1));
}

std::string CtcpActionLine(const std::string& Target, const std::string& Text) {
  return "PRIVMSG " + Target + " :" + SOH + "ACTION " + Text + SOH + "\r\n";
}

bool TypedAction(std::string_view Typed, std::string& Text) {
  constexpr std::string_view Command = "/me ";
  if (Typed.size() < Command.size() || SjisUpperCase(Typed.substr(0, Command.size())) != "/ME ") return false;
  Text = std::string(Typed.substr(Command.size()));
  return true;
}

std::string ActionDisplayLine(const std::string& Stamp, const std::string& Nick, const std::string& Text) {
  return Stamp + " * " + Nick + " " + Text;
}

std::string TakeNextWord(std::string& Rest) {
  const std::size_t space = Rest.find(' ');
  if (space == std::string::npos) return {};
  std::string word = Rest.substr(0, space);
  Rest.erase(0, space + 1);
  return word;
}

TDccOffer ParseDccOffer(std::string_view Text) {
  TDccOffer offer;
  std::string rest(Text);
  TakeNextWord(rest);  // SOH + "DCC"
  offer.Type = TakeNextWord(rest);
  const std::string upper = SjisUpperCase(offer.Type);
  if (upper == "RESUME" || upper == "ACCEPT") {
    // name port position
    std::vector<std::string> words;
    std::string all = TrimControls(rest);
    for (std::size_t at; (at = all.rfind(' ')) != std::string::npos && words.size() < 2;) {
      words.push_back(all.substr(at + 1));
      all.erase(at);
    }
    if (words.size() < 2) return offer;
    offer.Kind = upper == "RESUME" ? TDccKind::Resume : TDccKind::Accept;
    offer.Size = words[0];
    offer.Port = words[1];
    offer.Argument = all;
    return offer;
  }
  offer.Argument = TakeNextWord(rest);
  offer.Address = TakeNextWord(rest);
  if (upper == "CHAT") {
    offer.Kind = TDccKind::Chat;
    offer.Port = TrimControls(rest);
  } else if (upper == "SEND") {
    offer.Kind = TDccKind::Send;
    offer.Port = TrimControls(TakeNextWord(rest));
    offer.Size = TrimControls(rest);
  }
  return offer;
}

bool TRateLimiter::Allow(std::uint32_t Now) {
  // Unsigned differences stay right across the wrap of the tick.
  while (!ticks_.empty() && static_cast<std::uint32_t>(Now - ticks_.front()) >= window_) ticks_.pop_front();
  if (ticks_.size() >= max_) return false;
  ticks_.push_back(Now);
  return true;
}

}  // namespace tavi
