// Replies to the user's queries, server errors, and the lines of
// registration and server status.
#include "CoreFixture.h"
#include "core/EventProcessor.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const std::string T = "09:05";

struct TCase {
  std::string Line;
  Lines Events;
};

class QueryEventsTest : public CoreFixture {
 protected:
  // Feeds each line in turn and compares what it made the connection tell.
  void Run(const std::vector<TCase>& Cases) {
    for (const TCase& c : Cases) {
      Feed(c.Line);
      EXPECT_EQ(Take(), c.Events) << c.Line;
    }
  }
};

TEST_F(QueryEventsTest, WhoisAndWhowasFillFieldsAndEndOnce) {
  Run({
      {":s 311 me alice ~al host.example * :Alice Liddell",
       {"whois colour Whois", "whois Nick=alice", "whois Login=~al", "whois Host=host.example",
        "whois RealName=Alice Liddell"}},
      {":s 312 me alice irc.example :Example server", {"whois Nick=alice", "whois Server=irc.example Example server"}},
      {":s 313 me alice :is an IRC operator", {"whois Operator=alice is an IRC operator"}},
      {":s 317 me alice 42 :seconds idle", {"whois Nick=alice", "whois Idle=42 seconds idle"}},
      {":s 319 me alice :@#a #b", {"whois Nick=alice", "whois Channels=@#a #b"}},
      {":s 318 me alice :End of WHOIS list", {"whois end"}},
      {":s 318 me alice :End of WHOIS list", {}},  // nothing new to show
      {":s 314 me carol ~c old.example * :Carol C",
       {"whois colour Whowas", "whois Nick=carol", "whois Login=~c", "whois Host=old.example", "whois RealName=Carol C"}},
      {":s 318 me carol :End", {}},  // a WHOWAS answer ends with 369
      {":s 369 me carol :End of WHOWAS", {"whois end"}},
      {":s 369 me carol :End of WHOWAS", {}},
      {":s 311 me", {"whois colour Whois", "whois Nick=", "whois Login=", "whois Host=", "whois RealName="}},
      {":s 313 me", {"whois Operator= "}},
      {":s 318 me", {"whois end"}},
  });
}

TEST_F(QueryEventsTest, AdminLinesWaitForTheLastOne) {
  Run({
      {":s 256 me irc.example :Administrative info", {}},  // the text is the second parameter
      {":s 257 me :Tokyo, Japan", {}},
      {":s 258 me :Example Network", {}},
      {":s 259 me :admin@example.org", {"admin irc.example|Tokyo, Japan|Example Network|admin@example.org"}},
      {":s 259 me :alone", {"admin |||alone"}},  // the kept lines were used up
  });
}

TEST_F(QueryEventsTest, ChannelListOnlyWhenAskedPaddedAndBounded) {
  const std::string name = "listing " + U8(u8"チャンネル名： ");
  const std::string users = "listing         " + U8(u8"人数； ");
  const std::string topic = "listing         " + U8(u8"トピック： ");
  const std::string end = "listing end " + U8(u8"チャンネル名のリスト");
  Run({{":s 322 me #x 3 :t", {}}, {":s 323 me :End", {}}});  // nobody asked

  Connection().Own.ListRequests = 1;
  Run({
      {":s 322 me #five 5 :small talk", {name + "#five", users + "       5", topic + "small talk"}},
      {":s 322 me &local 3 :server notices", {}},  // the server's local channels are left out
      {":s 322 me #twelve 12 :", {name + "#twelve", users + "      12", topic}},
      {":s 322 me #huge 123456789 notopic", {name + "#huge", users + "123456789", topic + "notopic"}},
      {":s 323 me :End of LIST", {end}},
      {":s 322 me #late 1 :t", {}},
      {":s 323 me :End of LIST", {}},
  });
  EXPECT_EQ(Connection().Own.ListRequests, 0);

  Connection().Own.ListRequests = 1;
  const int extra = 7;
  for (int i = 0; i < TListCap::MaxEntries + extra; ++i) Feed(":s 322 me #c" + std::to_string(i) + " 1 :t");
  Feed(":s 323 me :End");
  const Lines listing = Take();
  ASSERT_EQ(listing.size(), 3u * TListCap::MaxEntries + 2);
  EXPECT_EQ(listing[listing.size() - 2], "listing " + LeftOutText(extra));
  EXPECT_EQ(listing.back(), end);
}

TEST_F(QueryEventsTest, IsonAnswersOnlyAsManyAsAsked) {
  Run({{":s 303 me :alice", {}}});
  Connection().Own.IsonRequests = 2;
  Run({{":s 303 me :alice bob ", {"ison alice bob"}}, {":s 303 me :", {"ison "}}, {":s 303 me :late", {}}});
}

TEST_F(QueryEventsTest, InvitationsVersionAndAwayNotices) {
  Channel("#a", "me Alice");  // members are found without regard to case
  Channel("#b", "@alice");
  Channel("#c", "alicia");
  Query("bob,alice");
  Query("carol");
  const std::string away = T + " alice" + U8(u8" は不在です。") + "\r\n< gone fishing >";
  Run({
      {":s 301 me alice :gone fishing", {"#a event " + away, "#b event " + away, "query(bob,alice) " + away}},
      {":s 301 me", {}},  // an away notice without a name reaches nobody
      {":s 351 me <b>ngircd-26.1.</b> irc.example :+CHLMSX", {"version <b>ngircd-26.1.</b>"}},
      {":s 351 me", {"version "}},
      {":alice!a@h INVITE me :#secret", {"invited alice #secret"}},
      // Answers to our INVITEs are notices, which wait for nobody.
      {":s 341 me bob #chan", {}},
  });
  EXPECT_EQ(platform.Notices, Lines{U8(u8"me が bob へ \r\n     チャンネル： #chan への招待状を送付しました。")});
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(QueryEventsTest, BanListsOnlyWhileAskedForAndBounded) {
  TChannel& asked = Channel("#a", "me");
  TChannel& other = Channel("#b", "me");
  asked.BanMaskPending = true;
  Run({
      {":s 367 me #a *!*@bad.example op 1136160000", {}},
      {":s 367 me #a nasty!*@* op 1136160000", {}},
      {":s 367 me #A upper!*@* op 1", {}},  // the server folds the case of names
      {":s 368 me #a :End of channel ban list", {"banlist #a"}},
      {":s 367 me #b x!*@* op 1", {}},
      {":s 368 me #b :End of channel ban list", {}},
      {":s 367 me #none y!*@* op 1", {}},
      {":s 368 me #none :End", {}},
  });
  EXPECT_EQ(asked.BanMaskList, (Lines{"*!*@bad.example", "nasty!*@*", "upper!*@*"}));
  EXPECT_TRUE(other.BanMaskList.empty());

  other.BanMaskPending = true;
  const int extra = 7;
  for (int i = 0; i < TListCap::MaxEntries + extra; ++i) Feed(":s 367 me #b m" + std::to_string(i) + "!*@* op 1");
  Feed(":s 368 me #b :End");
  EXPECT_EQ(other.BanMaskList.size(), std::size_t(TListCap::MaxEntries));
  EXPECT_EQ(Take(), (Lines{"#b event " + T + " " + LeftOutText(extra), "banlist #b"}));
}

TEST_F(QueryEventsTest, ServerErrors) {
  const std::string code = "error " + U8(u8"エラーコード：  ");
  Run({
      {":s 401 me nobody :No such nick/channel", {code + "401\r\nnobody :No such nick/channel\r\n"}},
      // A trailing fourth parameter keeps its colon on a line of its own.
      {":s 502 me MODE other :Cannot change mode for other users",
       {code + "502\r\nMODE other\r\n:Cannot change mode for other users"}},
      // The nick in use asks for another before the error shows.
      {":s 433 * tavi :Nickname is already in use", {"nick rejected", code + "433\r\ntavi :Nickname is already in use\r\n"}},
      {":s 432 * a$c :Erroneous nickname", {code + "432\r\na$c :Erroneous nickname\r\n"}},
      {":s 474 me #c :Cannot join channel (+b)", {code + "474\r\n#c :Cannot join channel (+b)\r\n"}},
      {":s 401 me", {code + "401\r\n \r\n"}},
      {":s 400 me x :outside the range", {}},
  });
}

TEST_F(QueryEventsTest, WelcomeMotdAndPing) {
  TOwnState& own = Connection().Own;
  own.CurrentNick = "abc";
  own.EnteredNick = "abcd";  // typed in the nick dialog
  platform.Time.Minute = 7;
  Run({
      {":irc.test 001 abcd :Welcome to IRC", {"status " + U8(u8"IRCサーバーとの接続が完了しました。")}},
      {":irc.test 375 abcd :- irc.test Message of the day", {"log 09:07 :- irc.test Message of the day"}},
      {":irc.test 372 abcd :- text", {"log 09:07 :- text"}},
      {":irc.test 376 abcd :End of MOTD", {"log 09:07 :End of MOTD", "state Registered"}},
      {":irc.test 376 abcd :End", {"log 09:07 :End"}},
  });
  EXPECT_EQ(own.CurrentNick, "abcd");
  EXPECT_EQ(session->Grobal().NickName1, "abcd");
  // Each end of the message of the day asks for the user's modes.
  EXPECT_EQ(TakeSent(), (Lines{"MODE abcd\r\n", "MODE abcd\r\n"}));

  for (const char* ping : {"PING :abc", "PING abc", "PING abc def", "PING :", "PING"}) Feed(ping);
  EXPECT_EQ(TakeSent(), (Lines{"PONG abc\r\n", "PONG abc\r\n", "PONG abc\r\n", "PONG \r\n", "PONG \r\n"}));
  platform.Time.Hour = 21;
  platform.Time.Minute = 5;
  Run({
      {"ERROR :Closing Link: some reason", {"log 21:05 ERROR :Closing Link: some reason"}},
      {"ERROR one two :three four", {"log 21:05 ERROR one two :three four"}},
      {"ERROR :Closing Link: me (Ping timeout)", {"log 21:05 ERROR :Closing Link: me (Ping timeout)"}},
  });
  EXPECT_TRUE(Sent.empty());
}

TEST_F(QueryEventsTest, MissingMessageOfTheDayEndsRegistrationToo) {
  Run({{":irc.test 422 me :MOTD File is missing", {"log " + T + " :MOTD File is missing", "state Registered"}}});
  EXPECT_EQ(Connection().State(), TConnectionState::Registered);
  EXPECT_EQ(TakeSent(), Lines{"MODE me\r\n"});
}

TEST_F(QueryEventsTest, TheServersNickIsSavedOnlyWhenTheUserTypedIt) {
  session->Grobal().NickName1 = "taro";
  const std::pair<std::string, std::string> cases[] = {
      {"", "taro"}, {std::string(60000, 'n'), "taro"}, {"a\x02" "b", "taro"}, {"#x", "taro"}, {"jiro", "jiro"}};
  for (const auto& [nick, adopted] : cases) {
    Connection().Own.CurrentNick = "taro";
    Feed(":s 001 " + nick + " :Welcome");
    EXPECT_EQ(Connection().Own.CurrentNick, adopted) << nick.size();
    EXPECT_EQ(session->Grobal().NickName1, "taro") << nick.size();
  }
}

}  // namespace
