// One received line read by position, as IRC defines it: the IRCv3 message
// tags, the source, the command and its parameters, and the time the server
// says it was said. The dispatcher hands the handlers its parameters in the
// slots of a TToken.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kanji/WireText.h"
#include "protocol/ChatParser.h"

namespace tavi {

struct TMessage {
  // In the order of the line, values unescaped.
  std::vector<std::pair<std::string, std::string>> Tags;
  std::string Source;  // without its ":"; empty without one
  std::string Command;  // ASCII letters upper-cased
  // The last one keeps no ":"; Trailing says it was written with one.
  std::vector<std::string> Params;
  bool Trailing = false;
  // The "time" tag as milliseconds since 1970 (UTC); -1 without a valid one.
  std::int64_t ServerTimeMs = -1;
  // What the line was read as. Text is UTF-8; the parameters' own bytes, by
  // which the server knows names, are in WireParams when they differ.
  TWireEncoding Encoding = TWireEncoding::Ascii;
  std::vector<std::string> WireParams;

  // Parameter Index (0-based) as the server wrote it; empty past the end.
  const std::string& WireParam(std::size_t Index) const;

  // The value of tag Key, or nullptr when the line does not carry it.
  const std::string* Tag(std::string_view Key) const;
};

// The most parameters a line may have; one with more is not taken.
inline constexpr std::size_t MaxParams = 15;

// Reads one received line (with its CR LF; what follows it is ignored), as
// it is sent: the line is decoded to UTF-8 by what it most probably is. False for a line
// without CR LF, without a command, or with more than MaxParams parameters.
bool ParseMessage(std::string_view Line, TMessage& Message);

// "YYYY-MM-DDThh:mm:ss[.fraction]Z" as milliseconds since 1970; -1 when Text
// is not such a time.
std::int64_t ParseServerTime(std::string_view Text);

// The parameters in the handlers' slots 1 to 15: the trailing parameter gets
// its ":" back, as the handlers read it.
TToken ToToken(const TMessage& Message);

// True for the command words and replies that the client knows (the table
// of CommandKeywords); others have no effect.
bool IsKnownCommand(std::string_view Command);

}  // namespace tavi
