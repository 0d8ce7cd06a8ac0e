#include "protocol/ChannelState.h"

#include <gtest/gtest.h>

#include "kanji/QtText.h"

using namespace tavi;

namespace {

TToken Parse(const std::string& Line) {
  TToken token;
  EXPECT_TRUE(TChatParser().ParseLine(Line, token)) << Line;
  return token;
}

TChannelModeChange Change(char Letter, bool Adding, std::string Argument = {}, bool Takes = false) {
  return {Letter, Adding, std::move(Argument), Takes};
}

using Changes = std::vector<TChannelModeChange>;
using Lines = std::vector<std::string>;

std::string Padded(const std::string& Name) { return Name + std::string(16 - Name.size(), ' '); }

}  // namespace

TEST(ChannelStateTest, SenderNickAndWithoutColon) {
  EXPECT_EQ(SenderNick("alice!al@host.example"), "alice");
  EXPECT_EQ(SenderNick("a!b!c"), "a");
  EXPECT_EQ(SenderNick("irc.example.net"), "");
  EXPECT_EQ(SenderNick("!user@host"), "");
  EXPECT_EQ(SenderNick(""), "");

  EXPECT_EQ(WithoutColon(":#chan"), "#chan");
  EXPECT_EQ(WithoutColon("::two"), ":two");
  EXPECT_EQ(WithoutColon(":"), "");
  EXPECT_EQ(WithoutColon("#c:x"), "#c:x");
  EXPECT_EQ(WithoutColon(""), "");
}

TEST(ChannelStateTest, ReplaceListMemberReplacesWholeElementsOnly) {
  EXPECT_EQ(ReplaceListMember("a,b,c", "b", "new"), "a,new,c");
  EXPECT_EQ(ReplaceListMember("b,x,b", "b", "n"), "n,x,n");
  EXPECT_EQ(ReplaceListMember("bob", "bob", "robert"), "robert");
  // Exact and case-sensitive: neither a longer nick nor another case matches.
  EXPECT_EQ(ReplaceListMember("bobby,Bob", "bob", "x"), "bobby,Bob");
  // A trailing comma is dropped; empty elements elsewhere stay.
  EXPECT_EQ(ReplaceListMember("a,b,", "b", "n"), "a,n");
  EXPECT_EQ(ReplaceListMember("a,b,", "zz", "n"), "a,b");
  EXPECT_EQ(ReplaceListMember(",a,,b", "b", "n"), ",a,,n");
  EXPECT_EQ(ReplaceListMember("a,,", "q", "n"), "a,");
  EXPECT_EQ(ReplaceListMember("", "a", "n"), "");
  EXPECT_EQ(ReplaceListMember(",", "a", "n"), "");
}

TEST(ChannelStateTest, SplitNamesTrimsEachEntry) {
  EXPECT_EQ(SplitNames("@op alice bob"), (Lines{"@op", "alice", "bob"}));
  EXPECT_EQ(SplitNames("a   b \t"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitNames("a \x01" "b\x02 c"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(SplitNames("solo"), (Lines{"solo"}));
  EXPECT_EQ(SplitNames(""), Lines{});
  // A leading space leaves an empty first entry, as the rule reads.
  EXPECT_EQ(SplitNames(" x"), (Lines{"", "x"}));
  // Double-byte names pass through whole.
  const std::string kanji = U8(u8"太郎");
  EXPECT_EQ(SplitNames(kanji + " " + kanji), (Lines{kanji, kanji}));
}

TEST(ChannelStateTest, NamesListingRowsOfFive) {
  const std::string heading = U8(u8"チャンネル名： ");
  const std::string pad8(8, ' ');
  const Lines five{"@a", "b", "c", "d", "e"};
  EXPECT_EQ(NamesListingLines("#c", five, heading),
            (Lines{heading + "#c", pad8 + Padded("@a") + Padded("b") + Padded("c") + Padded("d") + "e"}));

  const Lines seven{"n1", "n2", "n3", "n4", "n5", "n6", "n7"};
  EXPECT_EQ(NamesListingLines("#c", seven, heading),
            (Lines{heading + "#c", pad8 + Padded("n1") + Padded("n2") + Padded("n3") + Padded("n4") + "n5",
                   pad8 + Padded("n6") + "n7"}));

  // Names of 16 characters or more get no padding.
  const std::string longName(16, 'x');
  const std::string longer(19, 'y');
  EXPECT_EQ(NamesListingLines("#c", {longName, longer, "z"}, heading),
            (Lines{heading + "#c", pad8 + longName + longer + "z"}));

  EXPECT_EQ(NamesListingLines("#empty", {}, heading), (Lines{heading + "#empty"}));
}

TEST(ChannelStateTest, NamesListingLeavesOutServerChannels) {
  const std::string heading = U8(u8"チャンネル名： ");
  for (const char* channel : {"&AUTH", "&SERVICES", "&LOCAL", "&HASH", "&SERVERS", "&NUMERICS", "&CHANNEL", "&KILLS",
                              "&NOTICES", "&ERRORS", "&servers", " &Kills\t"})
    EXPECT_TRUE(NamesListingLines(channel, {"a", "b"}, heading).empty()) << channel;
  EXPECT_EQ(NamesListingLines("&mine", {"a"}, heading).size(), 2u);
  EXPECT_EQ(NamesListingLines("&SERVERSX", {"a"}, heading).size(), 2u);
}

TEST(ChannelStateTest, ChannelModesTakeArgumentsFromLaterSlots) {
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c +o-o a b\r\n")),
            (Changes{Change('o', true, "a", true), Change('o', false, "b", true)}));
  // Every rank letter takes a nick; the server's own ranks when it names them.
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c +ov a xm\r\n")),
            (Changes{Change('o', true, "a", true), Change('v', true, "xm", true)}));
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c +qh-a a b c\r\n"), "qaohv"),
            (Changes{Change('q', true, "a", true), Change('h', true, "b", true), Change('a', false, "c", true)}));
  // "-k" takes no key: "lock" is a mode string ("l" sign, then o, c, k),
  // and its "o" takes the next slot.
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c -k lock bob\r\n")),
            (Changes{Change('k', false), Change('o', false, "bob", true), Change('k', false)}));
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c -l\r\n")), (Changes{Change('l', false)}));
  // Arguments are taken in letter order across signs.
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c +lb-o+k 5 m!*@* op pw\r\n")),
            (Changes{Change('l', true, "5", true), Change('b', true, "m!*@*", true), Change('o', false, "op", true),
                     Change('k', true, "pw", true)}));
}

TEST(ChannelStateTest, ChannelModesOnShortOrOddLines) {
  // Arguments that are not there are empty.
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c +oo a\r\n")),
            (Changes{Change('o', true, "a", true), Change('o', true, "", true)}));
  EXPECT_TRUE(ParseChannelModes(Parse(":n!u@h MODE #c\r\n")).empty());
  EXPECT_TRUE(ParseChannelModes(Parse(":n!u@h MODE #c :\r\n")).empty());
  // A leading ":" of the mode string goes; a blank slot ends the strings.
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c :+s n\r\n")), (Changes{Change('s', true), Change('n', true)}));
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c +m \r\n")), (Changes{Change('m', true)}));
  // Anything but "+" as the first character means removing.
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c i\r\n")), Changes{});
  EXPECT_EQ(ParseChannelModes(Parse(":n!u@h MODE #c xi\r\n")), (Changes{Change('i', false)}));

  // Fourteen mode strings after the channel: every slot up to 15 is read.
  std::string line = ":n!u@h MODE #c";
  for (int i = 0; i < 14; ++i) line += " +m";
  EXPECT_EQ(ParseChannelModes(Parse(line + "\r\n")).size(), 14u);
  // All arguments used up at the end of the slots.
  TToken full;
  full.Params[1] = "#c";
  full.Params[2] = "+" + std::string(16, 'o');
  for (int k = 3; k <= 15; ++k) full.Params[k] = "n" + std::to_string(k);
  const Changes changes = ParseChannelModes(full);
  ASSERT_EQ(changes.size(), 16u);
  EXPECT_EQ(changes[0].Argument, "n3");
  EXPECT_EQ(changes[12].Argument, "n15");
  EXPECT_EQ(changes[13].Argument, "");
}

TEST(ChannelStateTest, RankPrefixesAndNamesEntries) {
  const TRankPrefixes five = TRankPrefixes::FromIsupport("(qaohv)~&@%+");
  EXPECT_EQ(five.Modes, "qaohv");
  EXPECT_EQ(five.Symbols, "~&@%+");
  for (const char* bad : {"", "qaohv", "(ov)@", "(ov@+", "(o v)@ +"})
    EXPECT_EQ(TRankPrefixes::FromIsupport(bad), TRankPrefixes()) << bad;
  struct Case {
    const char* Entry;
    const char* Ranks;
    const char* Nick;
    bool Operator;
  } cases[] = {{"nick", "", "nick", false},       {"+bob", "+", "bob", false},   {"%+hal", "%+", "hal", false},
               {"+@~own", "~@+", "own", true},    {"@@op", "@", "op", true},     {"&x!u@h", "&", "x", true},
               {"+", "+", "", false},             {"!odd", "", "", false}};
  for (const Case& c : cases) {
    const auto [ranks, nick] = SplitRanks(c.Entry, five);
    EXPECT_EQ(ranks, c.Ranks) << c.Entry;
    EXPECT_EQ(nick, c.Nick) << c.Entry;
    EXPECT_EQ(five.IsOperator(ranks), c.Operator) << c.Entry;
  }
  // Without a PREFIX the ranks are "@" and "+" only.
  EXPECT_EQ(SplitRanks("%+hal", TRankPrefixes()), (std::pair<std::string, std::string>{"", "%+hal"}));
  EXPECT_TRUE(five.Holds("@+", 'v'));
  EXPECT_FALSE(TRankPrefixes().Holds("@", 'h'));
}

TEST(ChannelStateTest, DecimalNumber) {
  std::int32_t value = 7;
  EXPECT_TRUE(DecimalNumber("10", value));
  EXPECT_EQ(value, 10);
  EXPECT_TRUE(DecimalNumber("+5", value));
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(DecimalNumber("-3", value));
  EXPECT_EQ(value, -3);
  for (const char* bad : {"", "x", "10x", " 10", "+", "+-1", "99999999999"}) EXPECT_FALSE(DecimalNumber(bad, value)) << bad;
}

TEST(ChannelStateTest, UserModeChangesApplyToTheKnownModes) {
  // {text, start, after the change}; i, s, w, o.
  const TUserModes none{}, iw{true, false, true, false};
  const struct {
    const char* text;
    TUserModes start, after;
  } cases[] = {
      {":+w", {true, false, false, false}, iw},  // an echoed +w keeps i
      {"+i-w", {false, true, true, true}, {true, true, false, true}},
      {"-i+so", iw, {false, true, true, true}},
      {"i", iw, iw},      // no sign: nothing
      {"+xyz", iw, iw},   // unknown letters: nothing
      {":", iw, iw},
      {"", iw, iw},
      {"-iswo", iw, none},
  };
  for (const auto& c : cases) {
    TUserModes modes = c.start;
    ParseUserModes(c.text, modes);
    EXPECT_EQ(modes, c.after) << c.text;
  }
  // 221 states the whole set.
  TUserModes modes = iw;
  ParseUserModeSet(":+so", modes);
  EXPECT_EQ(modes, (TUserModes{false, true, false, true}));
  ParseUserModeSet("", modes);
  EXPECT_EQ(modes, (TUserModes{false, true, false, true}));
}

TEST(ChannelStateTest, PlausibleNicks) {
  for (const char* good : {"a", "taro_", "[x]", "\x82\xA0", "abcdefghijabcdefghijabcdefghij"})
    EXPECT_TRUE(IsPlausibleNick(good)) << good;
  for (const std::string& bad : {std::string(), std::string(31, 'a'), std::string("a b"), std::string(":a"),
                                 std::string("#a"), std::string("a,b"), std::string("a\x01"), std::string("@op")})
    EXPECT_FALSE(IsPlausibleNick(bad)) << bad;
}
