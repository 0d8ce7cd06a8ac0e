#include "protocol/ChatParser.h"

#include <gtest/gtest.h>

#include <random>

#include "kanji/Kanji.h"
#include "kanji/SjisCase.h"

using namespace tavi;

namespace {

struct Parsed {
  bool ok = false;
  TToken token;
};

Parsed Parse(std::string_view line) {
  Parsed p;
  p.ok = TChatParser().ParseLine(line, p.token);
  return p;
}

// The tokenizer read word for word: 97 searches of " K " or "K ", then the
// slots, all on a working copy that is cut from the front.
bool LiteralParseLine(const std::string& line, TToken& t) {
  t = TToken();
  std::string carry, w;
  JisDecode(line, carry, w);
  while (!w.empty() && w[0] == ' ') w.erase(0, 1);
  std::string u = SjisUpperCase(w);
  if (!w.empty() && w[0] == ':') {
    std::size_t best = 0;
    int bestIndex = -1;
    for (std::size_t i = 0; i < CommandKeywords.size(); ++i) {
      const std::string needle = " " + std::string(CommandKeywords[i]) + " ";
      const auto at = u.find(needle);
      if (at == std::string::npos) continue;
      const std::size_t p = at + 1;
      if (bestIndex < 0 || p < best) {
        best = p;
        bestIndex = static_cast<int>(i);
      }
    }
    if (bestIndex < 0) return false;
    t.Prefix = w.substr(1, best - 2);
    t.Command = std::string(CommandKeywords[static_cast<std::size_t>(bestIndex)]);
    w.erase(0, best + t.Command.size() + 1);
  } else {
    for (std::size_t i = 0; i < CommandKeywords.size(); ++i) {
      const std::string needle = std::string(CommandKeywords[i]) + " ";
      const auto at = u.find(needle);
      if (at == std::string::npos) continue;
      t.Command = std::string(CommandKeywords[i]);
      w.erase(0, at + needle.size());
      break;
    }
    if (t.Command.empty()) return false;
  }
  for (int k = 1; k <= 15; ++k) {
    while (!w.empty() && w[0] == ' ') w.erase(0, 1);
    std::string& slot = t.Params[static_cast<std::size_t>(k)];
    if (!w.empty() && w[0] == ':') {
      slot = w;
      w.clear();
    } else if (w.find(' ') == std::string::npos) {
      slot = w;
      w.clear();
    } else {
      const auto sp = w.find(' ');
      slot = w.substr(0, sp);
      w.erase(0, sp);
    }
    const auto crlf = slot.find("\r\n");
    if (crlf != std::string::npos) {
      slot.erase(crlf, 2);
      return true;
    }
    if (w.empty()) return false;
  }
  return false;
}

void ExpectSlots(const TToken& t, std::initializer_list<std::string> params) {
  std::size_t k = 1;
  for (const auto& p : params) EXPECT_EQ(t.Params[k++], p) << "slot " << k - 1;
  for (; k <= 15; ++k) EXPECT_EQ(t.Params[k], "") << "slot " << k;
}

}  // namespace

TEST(CommandKeywords, TableHasItsEntriesInOrder) {
  ASSERT_EQ(CommandKeywords.size(), 97u);
  EXPECT_EQ(CommandKeywords[0], "NICK");
  EXPECT_EQ(CommandKeywords[14], "KICK");
  EXPECT_EQ(CommandKeywords[15], "001");
  EXPECT_EQ(CommandKeywords[51], "376");
  EXPECT_EQ(CommandKeywords[52], "401");
  EXPECT_EQ(CommandKeywords[95], "502");
  EXPECT_EQ(CommandKeywords[96], "ERROR");
}

TEST(ParseLine, PrefixedMessage) {
  auto p = Parse(":alice!a@host PRIVMSG #chan :hello  there world\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Prefix, "alice!a@host");
  EXPECT_EQ(p.token.Command, "PRIVMSG");
  ExpectSlots(p.token, {"#chan", ":hello  there world"});
}

TEST(ParseLine, LineWithoutPrefix) {
  auto p = Parse("PING :irc.example.org\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Prefix, "");
  EXPECT_EQ(p.token.Command, "PING");
  ExpectSlots(p.token, {":irc.example.org"});
}

TEST(ParseLine, BlanksAroundThePrefix) {
  auto p = Parse("   :srv 001 me :Welcome\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Prefix, "srv");
  EXPECT_EQ(p.token.Command, "001");
  ExpectSlots(p.token, {"me", ":Welcome"});

  p = Parse(":srv  001 me x\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Prefix, "srv ");
  ExpectSlots(p.token, {"me", "x"});
}

TEST(ParseLine, TheCommandNeedsABlankBehindIt) {
  EXPECT_FALSE(Parse(":bob!b@h QUIT\r\n").ok);
  auto p = Parse(":bob!b@h QUIT :bye\r\n");
  ASSERT_TRUE(p.ok);
  ExpectSlots(p.token, {":bye"});
}

TEST(ParseLine, BlankBeforeTheLineEndGivesAnEmptySlot) {
  auto p = Parse(":a!b@c JOIN #x \r\n");
  ASSERT_TRUE(p.ok);
  ExpectSlots(p.token, {"#x", ""});
}

TEST(ParseLine, EarliestKeywordBetweenBlanksWins) {
  auto p = Parse(":srv 999 me :please JOIN now\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Command, "JOIN");
  EXPECT_EQ(p.token.Prefix, "srv 999 me :please");
  ExpectSlots(p.token, {"now"});
}

TEST(ParseLine, TableOrderWinsWithoutPrefix) {
  auto p = Parse("ERROR :Closing link (timeout)\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Command, "ERROR");
  p = Parse("ERROR :bad pInG timeout\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Command, "PING");
  ExpectSlots(p.token, {"timeout"});
  // The match need not start a word: XNICK holds "NICK ".
  p = Parse("XNICK a\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Command, "NICK");
}

TEST(ParseLine, LowerCaseCommandWords) {
  auto p = Parse(":a!b@c privmsg #x :hi\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Command, "PRIVMSG");
  p = Parse("notice AUTH :*** Looking up\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Command, "NOTICE");
  ExpectSlots(p.token, {"AUTH", ":*** Looking up"});
}

TEST(ParseLine, FifteenSlotsAtMost) {
  EXPECT_FALSE(Parse(":s 005 me a\r\n").ok);  // 005 is not in the table
  std::string line = ":s MODE";
  for (int i = 0; i < 14; ++i) line += " p" + std::to_string(i);
  auto p = Parse(line + " last\r\n");  // exactly 15 slots
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Params[15], "last");
  EXPECT_FALSE(Parse(line + " p14 last\r\n").ok);
}

TEST(ParseLine, FailuresAndClearing) {
  EXPECT_FALSE(Parse(":a!b@c PRIVMSG #x :no line end").ok);
  EXPECT_FALSE(Parse("\r\n").ok);
  EXPECT_FALSE(Parse("    \r\n").ok);
  EXPECT_FALSE(Parse("").ok);
  EXPECT_FALSE(Parse(":only a prefix\r\n").ok);

  TChatParser parser;
  TToken t;
  ASSERT_TRUE(parser.ParseLine(":a!b@c PRIVMSG #x :one two\r\n", t));
  EXPECT_FALSE(parser.ParseLine("garbage\r\n", t));
  EXPECT_EQ(t.Prefix, "");
  EXPECT_EQ(t.Command, "");
  EXPECT_EQ(t.Params[1], "");
  EXPECT_EQ(t.Params[2], "");
}

TEST(ParseLine, DecodesJisFirst) {
  auto p = Parse(":a!b@c PRIVMSG #x :\x1B$B$\"\x1B(B!\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Params[2], ":\x82\xA0!");
  // A trail byte that reads as a letter is not folded into a keyword.
  p = Parse(":a!b@c PRIVMSG #\x83Join x\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.token.Params[1], "#\x83Join");
}

TEST(ParseLine, AgreesWithALiteralReadingOnGeneratedLines) {
  const std::vector<std::string> words = {
      "PRIVMSG", "privmsg", "NOTICE", "JOIN", "join", "PART", "QUIT", "MODE", "NICK", "KICK", "PING",
      "pong", "ERROR", "001", "353", "366", "433", "502", "400", "005", "XNICK", "NICKX", "USER",
      "#chan", ":trail", ":", "::", "a!b@c", "+o", "*", "\x1B$B$\"\x1B(B", "\x1B$B", "\x82\xA0", "\x83J",
      "\x83Join", "\r\n", "\r", "\n", "x", ""};
  std::mt19937 rng(7);
  for (int round = 0; round < 60000; ++round) {
    std::string line;
    if (rng() % 2) line += std::string(rng() % 3, ' ') + ":";
    const int n = static_cast<int>(rng() % 22);
    for (int i = 0; i < n; ++i) {
      line += words[rng() % words.size()];
      line += std::string(rng() % 4 == 0 ? 2 : 1, ' ');
    }
    if (rng() % 8) line += "\r\n";
    TToken fast, literal;
    const bool a = TChatParser().ParseLine(line, fast);
    const bool b = LiteralParseLine(line, literal);
    ASSERT_EQ(a, b) << line;
    ASSERT_EQ(fast.Prefix, literal.Prefix) << line;
    ASSERT_EQ(fast.Command, literal.Command) << line;
    for (std::size_t k = 1; k <= 15; ++k) ASSERT_EQ(fast.Params[k], literal.Params[k]) << line << " slot " << k;
  }
}
