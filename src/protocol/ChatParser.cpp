#include "protocol/ChatParser.h"

#include "kanji/Kanji.h"
#include "kanji/SjisCase.h"
#include "protocol/Message.h"

namespace tavi {

// The order matters: a line without prefix takes the first entry of this
// table that it contains.
const std::array<std::string_view, CommandKeywordCount> CommandKeywords = {
    "NICK", "USER", "JOIN", "PART", "PRIVMSG", "NOTICE", "QUIT", "MODE", "TOPIC", "WHO",
    "ISON", "PING", "PONG", "INVITE", "KICK",
    "001", "002", "003", "004",
    "221", "251", "252", "253", "254", "255", "256", "257", "258", "259",
    "301", "303", "311", "312", "313", "314", "317", "318", "319", "322", "323", "331",
    "332", "341", "351", "353", "366", "367", "368", "369", "372", "375", "376",
    "401", "402", "403", "404", "405", "406", "407", "409", "411", "412", "413", "414",
    "421", "422", "423", "424", "431", "432", "433", "436", "441", "442", "443", "444",
    "445", "446", "451", "461", "462", "463", "464", "465", "467", "471", "472", "473",
    "474", "475", "481", "482", "483", "491", "501", "502",
    "ERROR",
};

namespace {

constexpr unsigned char AsciiUpper(unsigned char b) {
  return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 'a' + 'A') : b;
}

// The table entry equal to Word without regard to ASCII case, or -1. Keywords
// are ASCII letters and digits only, so such a word never holds a double-byte
// character and ASCII folding is exact here.
int KeywordIndex(std::string_view Word) {
  if (Word.size() < 3 || Word.size() > 7) return -1;
  char upper[8];
  for (std::size_t i = 0; i < Word.size(); ++i) upper[i] = static_cast<char>(AsciiUpper(static_cast<unsigned char>(Word[i])));
  const std::string_view key(upper, Word.size());

  if (key[0] >= '0' && key[0] <= '9') {
    if (key.size() != 3) return -1;
    // Numerics: binary search over the sorted numeric block of the table.
    std::size_t lo = 15, hi = 96;
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      const int c = CommandKeywords[mid].compare(key);
      if (c == 0) return static_cast<int>(mid);
      if (c < 0) lo = mid + 1; else hi = mid;
    }
    return -1;
  }
  for (std::size_t i = 0; i < 15; ++i)
    if (CommandKeywords[i] == key) return static_cast<int>(i);
  if (key == CommandKeywords[96]) return 96;
  return -1;
}

// The earliest " K " in the line: the first blank followed by a keyword and
// another blank. Returns the 0-based position of that first blank.
bool FindPrefixedCommand(std::string_view W, std::size_t& Blank, int& Index) {
  std::size_t pos = W.find(' ');
  while (pos != std::string_view::npos) {
    const std::size_t next = W.find(' ', pos + 1);
    if (next == std::string_view::npos) return false;
    const int index = KeywordIndex(W.substr(pos + 1, next - pos - 1));
    if (index >= 0) {
      Blank = pos;
      Index = index;
      return true;
    }
    pos = next;
  }
  return false;
}

// The first table entry K for which "K " occurs anywhere in the upper-cased
// line; returns the 0-based end of that occurrence (the blank's position).
bool FindUnprefixedCommand(std::string_view W, std::size_t& Blank, int& Index) {
  const std::string upper = SjisUpperCase(W);
  for (std::size_t i = 0; i < CommandKeywords.size(); ++i) {
    const std::string_view k = CommandKeywords[i];
    std::size_t from = 0;
    for (;;) {
      const std::size_t at = upper.find(k, from);
      if (at == std::string::npos) break;
      if (at + k.size() < upper.size() && upper[at + k.size()] == ' ') {
        Blank = at + k.size();
        Index = static_cast<int>(i);
        return true;
      }
      from = at + 1;
    }
  }
  return false;
}

void TrimLeadingBlanks(std::string_view& W) {
  const std::size_t first = W.find_first_not_of(' ');
  W.remove_prefix(first == std::string_view::npos ? W.size() : first);
}

}  // namespace

bool IsKnownCommand(std::string_view Command) { return KeywordIndex(Command) >= 0; }

bool TChatParser::ParseLine(std::string_view Line, TToken& Token) const {
  Token.Prefix.clear();
  Token.Command.clear();
  for (auto& p : Token.Params) p.clear();

  // Decoding hands what follows the last CR LF to the carry, which is
  // dropped; text without escapes is otherwise unchanged, so skip the copy.
  std::string decoded;
  std::string_view W = Line;
  if (Line.find('\x1B') != std::string_view::npos) {
    std::string carry;
    decoded.reserve(Line.size());
    JisDecode(Line, carry, decoded);
    W = decoded;
  } else if (const std::size_t crlf = Line.rfind("\r\n"); crlf != std::string_view::npos) {
    W = Line.substr(0, crlf + 2);
  }

  TrimLeadingBlanks(W);
  std::size_t blank = 0;
  int index = -1;
  if (!W.empty() && W[0] == ':') {
    if (!FindPrefixedCommand(W, blank, index)) return false;
    Token.Prefix.assign(W.substr(1, blank - 1));
    W.remove_prefix(blank + 1 + CommandKeywords[static_cast<std::size_t>(index)].size() + 1);
  } else {
    if (!FindUnprefixedCommand(W, blank, index)) return false;
    W.remove_prefix(blank + 1);
  }
  Token.Command.assign(CommandKeywords[static_cast<std::size_t>(index)]);

  for (std::size_t k = 1; k <= 15; ++k) {
    TrimLeadingBlanks(W);
    std::string& slot = Token.Params[k];
    if (!W.empty() && W[0] == ':') {
      slot.assign(W);
      W = {};
    } else {
      const std::size_t space = W.find(' ');
      if (space == std::string_view::npos) {
        slot.assign(W);
        W = {};
      } else {
        slot.assign(W.substr(0, space));
        W.remove_prefix(space);
      }
    }
    const std::size_t crlf = slot.find("\r\n");
    if (crlf != std::string::npos) {
      slot.erase(crlf, 2);
      return true;
    }
    if (W.empty()) return false;
  }
  return false;
}

}  // namespace tavi
