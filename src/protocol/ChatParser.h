// Tokenizer of server lines: finds the command by searching the line for the
// entries of a fixed keyword table, not by word position.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavi {

// One parsed server line. Params[1] to Params[15] are the parameter slots;
// slot 0 is unused so that numbers match the protocol's own.
struct TToken {
  std::string Prefix;
  std::string Command;
  std::array<std::string, 16> Params;
};

inline constexpr std::size_t CommandKeywordCount = 97;
extern const std::array<std::string_view, CommandKeywordCount> CommandKeywords;

class TChatParser {
 public:
  // Line is one received line including its CR LF. True only when a command
  // was found and the CR LF was reached within the 15 slots.
  bool ParseLine(std::string_view Line, TToken& Token) const;
};

}  // namespace tavi
