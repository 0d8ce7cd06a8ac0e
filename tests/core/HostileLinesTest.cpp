// What a broken or hostile server may send: short lines, every command word
// with any number of parameters, huge names replies.
#include "CoreFixture.h"
#include "protocol/ChatParser.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using HostileLinesTest = CoreFixture;

TEST_F(HostileLinesTest, ShortLinesChangeNothing) {
  Channel("#c", "me alice @bob");
  Query("alice,bob", {"alice"});
  Connection().Own.Modes.Invisible = true;
  // Everything the lines could change, as text.
  auto snapshot = [&] {
    const TConnection& c = Connection();
    std::string s = Members("#c") + "|" + c.Own.CurrentNick + "|" + std::to_string(c.Own.Modes.Invisible) +
                    std::to_string(c.Own.Modes.Notice) + "|" + c.Channels().front()->Topic;
    for (const auto& query : c.Queries()) s += "|" + query->Caption + ":" + std::to_string(query->Speakers().size());
    return s + "|" + std::to_string(c.Channels().size()) + std::to_string(c.Queries().size());
  };
  const std::string before = snapshot();
  for (const char* line : {":a!b@c JOIN :", ":a!b@c JOIN ", "JOIN :", ":a!b@c PART ", ":a!b@c PART :#c",
                           ":a KICK #c", ":a KICK ", "KICK #c ", ":a MODE #c", ":a MODE ", ":a MODE #c :",
                           ":a MODE me ", ":s 353 me", ":s 353 ", ":s 353 me = ", ":s 366 ", "NICK x",
                           ":a!b@c NICK :", ":a!b@c NICK ", "QUIT :bye", ":server QUIT :bye", ":a!b@c TOPIC ",
                           ":a!b@c TOPIC :#c", ":s 331 me", ":s 331 ", ":s 332 me", ":s 332 ", ":a KICK",
                           ":a!b@c PRIVMSG", ":a!b@c NOTICE me", ":a!b@c NOTICE ",
                           ":a!b@c NOTICE me :\x01", ":a!b@c NOTICE me :\x01 "}) {
    Feed(line);
    EXPECT_EQ(snapshot(), before) << line;
    EXPECT_EQ(Take(), Lines{}) << line;
  }
  EXPECT_TRUE(Sent.empty());
  // A bare SOH is a query with an empty word, refused to whoever sent it.
  Feed("PRIVMSG me :\x01");
  EXPECT_EQ(TakeSent(), Lines{"NOTICE  :\x01 Tavi 1.0" + U8(u8" ではサポートしていません。") + "\x01\r\n"});
}

TEST_F(HostileLinesTest, AnyCommandWithZeroOneFifteenOrSixteenParameters) {
  Channel("#c", "me x");
  std::string fifteen, sixteen;
  for (int i = 1; i <= 15; ++i) fifteen += " p" + std::to_string(i);
  sixteen = fifteen + " p16";  // one more than a line may have: not read
  for (const std::string_view word : CommandKeywords) {
    const std::string command(word);
    for (const std::string& params : {std::string(), std::string(" "), std::string(" me"), fifteen, sixteen,
                                      std::string(" #c :\x01"), std::string(" me :\x01" "DCC SEND")}) {
      platform.Tick += 1000;
      Feed(":x!y@z " + command + params);
    }
  }
  // Whatever it did, the connection still answers the next line.
  TakeSent();
  Feed("PING :alive");
  EXPECT_EQ(Sent, Lines{"PONG alive\r\n"});
}

TEST_F(HostileLinesTest, AFiftyThousandNickNamesReplyIsHeldWhole) {
  Joined("#huge");
  constexpr int PerLine = 50, LineCount = 1000;
  for (int line = 0; line < LineCount; ++line) {
    std::string names;
    for (int i = 0; i < PerLine; ++i) names += " n" + std::to_string(line * PerLine + i);
    Feed(":s 353 me = #huge :" + names.substr(1));
  }
  Feed(":s 366 me #huge :End");
  const TMemberList& members = Connection().FindChannel("#huge")->Members;
  ASSERT_EQ(members.Count(), PerLine * LineCount);
  EXPECT_EQ(members.At(PerLine * LineCount - 1).Nick, "n9999");  // sorted by name
  EXPECT_EQ(members.At(members.Find("n49999")).Nick, "n49999");
  EXPECT_EQ(members.rowCount(), PerLine * LineCount);
}

// One nick in 60,000 spellings of case is one member, and leaving takes it
// out at once; a nick listed again (as operator too) stays one entry.
TEST_F(HostileLinesTest, OneNickInManyCasesIsOneMember) {
  Joined("#dup");
  std::string names;
  for (int variant = 0; variant < 60000; ++variant) {
    std::string nick = "duplicatednickxx";
    for (std::size_t bit = 0; bit < nick.size(); ++bit)
      if (variant & (1 << bit)) nick[bit] = static_cast<char>(nick[bit] - 'a' + 'A');
    names += nick + " ";
    if (variant % 50 == 49) {
      Feed(":s 353 me = #dup :" + names);
      names.clear();
    }
  }
  Feed(":s 353 me = #dup :@DuplicatedNickXX me");
  Feed(":s 366 me #dup :End");
  EXPECT_EQ(Members("#dup"), "@DuplicatedNickXX me");
  Feed(":duplicatednickxx!u@h JOIN :#dup");
  EXPECT_EQ(Connection().FindChannel("#dup")->Members.Count(), 2);
  for (int i = 0; i < 20; ++i) Feed(":DUPLICATEDNICKXX!u@h PART #dup");
  EXPECT_EQ(Members("#dup"), "me");
}

}  // namespace
