// Client-to-client (CTCP) framing inside PRIVMSG and NOTICE texts: the query
// word, the reply lines, the reply split and the DCC offer words. No widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tavi {

// The byte that frames a CTCP message at both ends.
inline constexpr char SOH = '\x01';

// True when Text is not empty and starts with SOH.
bool IsCtcp(std::string_view Text);
// Text without the characters 0 to 32 at both ends.
std::string TrimControls(std::string_view Text);
// The query word Q: the text before the first space (all of it without a
// space), trimmed of 0 to 32 at both ends. Case is kept.
std::string CtcpQueryWord(std::string_view Text);

// The answers to the queries, each one whole line with CR LF, to Nick.
// PING echoes the received text exactly, delimiters and all.
std::string CtcpPingReply(const std::string& Nick, const std::string& Text);
// "dddddd dddd hh : mm ": long date, weekday name, the hour and the minutes
// as two digits around the time separator, and a trailing space.
std::string CtcpTimeText(const std::string& LongDate, const std::string& Weekday, int Hour, int Minute,
                         const std::string& TimeSeparator = ":");
std::string CtcpTimeReply(const std::string& Nick, const std::string& TimeText);
std::string CtcpUserInfoReply(const std::string& Nick);
std::string CtcpFingerReply(const std::string& Nick, const std::string& LoginName, const std::string& HostName);
std::string CtcpVersionReply(const std::string& Nick, const std::string& VersionText);
std::string CtcpClientInfoReply(const std::string& Nick);
// The refusal of any other query Q.
std::string CtcpNotSupportedReply(const std::string& Nick, const std::string& Query,
                                  const std::string& VersionText);
// The refusal of a DCC offer of an unknown type (Type as received).
std::string CtcpDccNotSupportedReply(const std::string& Nick, const std::string& Query,
                                     const std::string& VersionText, const std::string& Type);

// A CTCP reply received as a notice: the upper-cased reply word (empty when
// the text holds no space) and the text after it, closing SOH removed.
struct TCtcpReply {
  std::string Word;
  std::string Text;
};
// A plain text comes back with an empty word and unchanged.
TCtcpReply SplitCtcpReply(std::string_view Text);

// Takes the word before the first space of Rest and removes it with its
// space; without a space the word is empty and Rest stays as it is.
std::string TakeNextWord(std::string& Rest);

// The text of a CTCP ACTION (SOH "ACTION text" SOH): what follows the word
// and its space, without the closing SOH.
std::string CtcpActionText(std::string_view Text);
// The line that sends Text as an ACTION to Target.
std::string CtcpActionLine(const std::string& Target, const std::string& Text);
// A line the user typed as "/me text" gives true and the text.
bool TypedAction(std::string_view Typed, std::string& Text);
// How an action shows in a window: Stamp " * " Nick " " Text.
std::string ActionDisplayLine(const std::string& Stamp, const std::string& Nick, const std::string& Text);

// The fields of a DCC offer text (SOH + "DCC ..." + SOH). Nothing is
// validated: missing words give empty fields.
// RESUME and ACCEPT carry file name, port and position; their fields are
// read from the end, so a name with spaces stays whole.
enum class TDccKind { Chat, Send, Resume, Accept, Other };
struct TDccOffer {
  TDccKind Kind = TDccKind::Other;  // from Type in upper case
  std::string Type;                 // as received
  std::string Argument;             // "chat" for CHAT, the file name otherwise
  std::string Address;              // the address number, decimal text
  std::string Port;                 // all but Other
  std::string Size;                 // SEND: the size; RESUME, ACCEPT: the position
};
TDccOffer ParseDccOffer(std::string_view Text);

// At most Max events in any Window milliseconds of the 32-bit platform tick.
class TRateLimiter {
 public:
  TRateLimiter(std::size_t Max, std::uint32_t Window) : max_(Max), window_(Window) {}
  // True when one more event may happen at Now; it is then counted.
  bool Allow(std::uint32_t Now);
  void Reset() { ticks_.clear(); }

 private:
  std::size_t max_;
  std::uint32_t window_;
  std::deque<std::uint32_t> ticks_;  // of the counted events, oldest first
};

// Keeps a burst of queries from turning into a flood of replies: at most
// MaxReplies answers in any Window milliseconds.
class TCtcpRateLimiter : public TRateLimiter {
 public:
  static constexpr int MaxReplies = 3;
  static constexpr std::uint32_t Window = 2000;
  TCtcpRateLimiter() : TRateLimiter(MaxReplies, Window) {}
};

}  // namespace tavi
