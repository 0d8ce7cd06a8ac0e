// Messages, notices, CTCP queries and replies, DCC offers, and what the
// user types.
#include "CoreFixture.h"
#include "kanji/Kanji.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const std::string T = "09:05";
const std::string Refused = "Tavi 1.0" + U8(u8" ではサポートしていません。") + "\x01\r\n";

std::string Received(const std::string& Nick, const std::string& Query) {
  return "log " + T + " " + Nick + U8(u8" から ") + Query + U8(u8" コマンドを受信しました。");
}

using MessageEventsTest = CoreFixture;

TEST_F(MessageEventsTest, RefusedNicksGetNothingAtAll) {
  session->Connection().RecieveDenyList = {"x", "Bob"};
  Connection().Own.Modes.Notice = true;
  Channel("#c", "me bob");
  for (const char* line : {":BOB!b@h PRIVMSG me :\x01VERSION\x01", ":bOb!b@h PRIVMSG me :hello",
                           ":bob!b@h PRIVMSG #c :hello", ":bob!b@h NOTICE me :hello", ":BOB!b@h NOTICE #c :hello",
                           ":bob!b@h PRIVMSG me :\x01" "DCC CHAT chat 2130706433 7000\x01",
                           ":bob!b@h PRIVMSG me :\x01" "DCC RESUME f 1040 0\x01"})
    Feed(line);
  EXPECT_TRUE(Take().empty() && Sent.empty() && desk.Calls.empty());
  // The list is compared whole: a nick that only starts the same passes.
  Feed(":bobby!b@h PRIVMSG #c :hi");
  EXPECT_EQ(Take(), Lines{"#c talk " + T + " [bobby] hi"});
  // Another network's bob is someone else.
  TNetwork network;
  network.Name = "other";
  TConnection& other = session->AddConnection(network);
  other.Own.CurrentNick = "me";
  TEventRecorder heard(other);
  other.ReceiveLine(":bob!b@h PRIVMSG me :hello\r\n");
  EXPECT_FALSE(heard.Events.empty());
}

TEST_F(MessageEventsTest, QueriesAreLoggedAndAnswered) {
  session->Grobal().LoginName = "tavi";
  session->Grobal().HostName = "pc.example.jp";
  struct TCase {
    std::string Text, Query, Reply;
  };
  const TCase cases[] = {
      {"\x01PING 0123 456\x01", "PING", "NOTICE bob :\x01PING 0123 456\x01\r\n"},
      {"\x01VERSION\x01", "VERSION", "NOTICE bob :\x01VERSION Tavi 1.0\x01\r\n"},
      {"\x01USERINFO\x01", "USERINFO", "NOTICE bob :\x01" + U8(u8"USERINFO 現在サポートしていません。") + "\x01\r\n"},
      {"\x01" "FINGER\x01", "FINGER", "NOTICE bob :\x01" "FINGER tavi@pc.example.jp\x01\r\n"},
      {"\x01" "CLIENTINFO\x01", "CLIENTINFO", "NOTICE bob :\x01" "CLIENTINFO PING TIME FINGER VERSION\x01\r\n"},
      {"\x01TIME\x01", "TIME", "NOTICE bob :\x01TIME " + U8(u8"2006年1月2日 月曜日") + " 09 : 05 \x01\r\n"},
      // Exact words only: a lower-case query is refused by its own name.
      {"\x01ping 1\x01", "ping", "NOTICE bob :\x01ping " + Refused},
      {"\x01\x01", "", "NOTICE bob :\x01 " + Refused},
  };
  Channel("#c", "me bob");
  for (const std::string target : {"me", "#c"}) {
    for (const TCase& c : cases) {
      platform.Tick += 1000;  // well inside the ration
      Feed(":bob!b@h PRIVMSG " + target + " :" + c.Text);
      // Answered to the sender, never shown as a message.
      EXPECT_EQ(TakeSent(), Lines{c.Reply}) << c.Query;
      EXPECT_EQ(Take(), Lines{Received("bob", c.Query)}) << c.Query;
    }
  }
  EXPECT_TRUE(Connection().Queries().empty());
}

TEST_F(MessageEventsTest, RepliesAreRationedForAllSendersTogether) {
  for (int i = 0; i < 5; ++i) Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01");
  EXPECT_EQ(TakeSent().size(), 3u);
  EXPECT_EQ(Take().size(), 5u);  // every query is logged
  // A refused DCC type is a reply like any other.
  Feed(":bob!b@h PRIVMSG me :\x01" "DCC FOO x\x01");
  platform.Tick += 1999;
  Feed(":carol!c@h PRIVMSG me :\x01PING 7\x01");
  EXPECT_TRUE(Sent.empty());
  platform.Tick += 1;
  Feed(":carol!c@h PRIVMSG me :\x01PING 7\x01");
  EXPECT_EQ(TakeSent(), Lines{"NOTICE carol :\x01PING 7\x01\r\n"});

  // The window slides on across the wrap of the 32-bit tick.
  platform.Tick = 0xFFFFFFFFu - 100;
  for (int i = 0; i < 4; ++i) Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01");
  EXPECT_EQ(TakeSent().size(), 3u);
  platform.Tick = 1898;  // 1999 ms later
  Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01");
  EXPECT_TRUE(Sent.empty());
  platform.Tick = 1899;
  Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01");
  EXPECT_EQ(TakeSent().size(), 1u);
}

TEST_F(MessageEventsTest, MessagesGoToTheirChannelOrTheQueryThatStandsForTheSender) {
  Connection().OpenChannel("#Chan");
  Take();
  Feed(":bob!b@h PRIVMSG #Chan :hi all");
  Feed(":bob!b@h PRIVMSG #chan :any case");  // the server folds the case of names
  Feed(":bob!b@h PRIVMSG #none :no window");
  Feed(":bob!b@h PRIVMSG #Chan :");  // empty text is a plain message
  EXPECT_EQ(Take(), (Lines{"#Chan talk " + T + " [bob] hi all", "#Chan talk " + T + " [bob] any case",
                           "#Chan talk " + T + " [bob] "}));

  Feed(":bob!b@h PRIVMSG me :hello");
  EXPECT_EQ(Take(), (Lines{"query+ bob quietly", "query(bob) " + T + " [bob] hello", "query~ bob speakers=bob"}));
  ASSERT_EQ(Connection().Queries().size(), 1u);
  EXPECT_EQ(Connection().Queries()[0]->MemberList, Lines{"bob"});
  // The same nick in another case finds it and is not listed twice.
  Feed(":BOB!b@h PRIVMSG me :again");
  EXPECT_EQ(Take(), Lines{"query(bob) " + T + " [BOB] again"});

  // A member list caption names the nick anywhere, in any case.
  Query("carol,Dave", {"carol"});
  Feed(":dave!d@h PRIVMSG me :hi");
  Feed(":DAVE!d@h PRIVMSG me :hi again");
  EXPECT_EQ(Take(), (Lines{"query(carol,Dave) " + T + " [dave] hi", "query~ carol,Dave speakers=carol,dave",
                           "query(carol,Dave) " + T + " [DAVE] hi again"}));
  // Without a "," the caption must be the nick, not merely contain it.
  Query("erinx");
  Feed(":erin!e@h PRIVMSG me :yo");
  EXPECT_EQ(Take().at(0), "query+ erin quietly");
  // A message to someone else's nick is no private one, and no channel.
  Feed(":frank!f@h PRIVMSG Me :hi");
  EXPECT_TRUE(Take().empty() && Sent.empty());
  EXPECT_EQ(Connection().Queries().size(), 4u);
}

TEST_F(MessageEventsTest, AFloodOfSendersOpensTenQueriesAMinute) {
  for (int i = 0; i < 12; ++i) Feed(":s" + std::to_string(i) + "!u@h PRIVMSG me :hi");
  EXPECT_EQ(Connection().Queries().size(), 10u);
  EXPECT_EQ(Of(Take(), "log "), (Lines{"log " + T + " [s10] hi", "log " + T + " [s11] hi"}));
  // Known senders still reach their queries; a minute later new ones open.
  Feed(":s3!u@h PRIVMSG me :again");
  EXPECT_EQ(Take(), Lines{"query(s3) " + T + " [s3] again"});
  platform.Tick += 60000;
  Feed(":s12!u@h PRIVMSG me :hi");
  EXPECT_EQ(Connection().Queries().size(), 11u);
}

TEST_F(MessageEventsTest, NoticesReachEveryWindowThatKnowsTheSender) {
  Channel("#a", "carol BOB");
  Channel("#b", "@bob");
  Channel("#c", "carol bobby");
  Feed(":bob!b@h PRIVMSG me :first");
  Query("bob,carol");  // no speakers yet
  Take();
  struct TCase {
    std::string Line;
    Lines Events;
  };
  const TCase cases[] = {
      {":bob!b@h NOTICE me :note",
       {"#a talk " + T + " [bob] note", "#b talk " + T + " [bob] note", "query(bob) " + T + " [bob] note"}},
      // To a channel: that channel only, whoever it lists.
      {":zed!z@h NOTICE #c :to the channel", {"#c talk " + T + " [zed] to the channel"}},
      // Nobody knows the sender and notice mode is off: dropped.
      {":zed!z@h NOTICE me :lost", {}},
      {":zed!z@h NOTICE #nowhere :lost", {}},
      // A CTCP reply shows its word in the channels.
      {":bob!b@h NOTICE me :\x01version Tavi 2.0 for Windows\x01",
       {"#a event " + T + " [bob] VERSION Tavi 2.0 for Windows", "#b event " + T + " [bob] VERSION Tavi 2.0 for Windows",
        "query(bob) " + T + " [bob] Tavi 2.0 for Windows"}},
      // Without a space there is no reply word: shown plain, closing SOH kept.
      {":bob!b@h NOTICE me :\x01VERSION\x01",
       {"#a talk " + T + " [bob] VERSION\x01", "#b talk " + T + " [bob] VERSION\x01",
        "query(bob) " + T + " [bob] VERSION\x01"}},
  };
  for (const TCase& c : cases) {
    Feed(c.Line);
    EXPECT_EQ(Take(), c.Events) << c.Line;
  }
  EXPECT_TRUE(Sent.empty());
}

TEST_F(MessageEventsTest, NoticeModeOpensAQueryForUnclaimedNotices) {
  Connection().Own.Modes.Notice = true;
  Feed(":irc.test NOTICE me :*** first");
  Feed(":irc.test NOTICE me :*** second");
  EXPECT_EQ(Take(), (Lines{"query+  quietly", "query() " + T + " [] *** first", "query~  speakers=",
                           "query() " + T + " [] *** second"}));
  // A notice a window took opens nothing.
  Channel("#a", "me bob");
  Feed(":bob!b@h NOTICE me :seen");
  Feed(":zed!z@h NOTICE me :\x01VERSION x\x01");
  EXPECT_EQ(Take(), (Lines{"#a talk " + T + " [bob] seen", "query+ zed quietly", "query(zed) " + T + " [zed] x",
                           "query~ zed speakers=zed"}));
}

TEST_F(MessageEventsTest, PingRepliesShowTheirRoundTripOnce) {
  TChannel& chat = Channel("#a", "me @bob");
  Channel("#b", "me bob");
  chat.PingToken = "123";
  chat.PingSentTime = 1000;
  platform.Tick = 1250;
  Feed(":bob!b@h NOTICE me :\x01PING 123\x01");
  EXPECT_EQ(Take(), Lines{"#a event " + T + " [bob] PING 250" + U8(u8" ミリ秒です。")});
  EXPECT_EQ(chat.PingReplyTime, 1250u);
  // The token answered already, or one no channel sent: the server log.
  for (const std::string token : {"123", "424242"}) {
    Feed(":bob!b@h NOTICE me :\x01PING " + token + "\x01");
    EXPECT_EQ(Take(), Lines{"log " + T + " [bob] PING " + token});
  }
  // The round trip is an unsigned 32-bit difference.
  chat.PingToken = "1";
  chat.PingSentTime = 0xFFFFFF00u;
  platform.Tick = 0x100;
  Feed(":bob!b@h NOTICE me :\x01PING 1\x01");
  EXPECT_EQ(Take(), Lines{"#a event " + T + " [bob] PING 512" + U8(u8" ミリ秒です。")});
  EXPECT_TRUE(Sent.empty());
}

TEST_F(MessageEventsTest, ActionsAndTypedText) {
  TChannel& chat = Channel("#a", "me bob");
  Feed(":bob!b@h PRIVMSG #a :\x01" "ACTION waves\x01");
  Feed(":bob!b@h PRIVMSG me :\x01" "ACTION nods\x01");
  EXPECT_EQ(Take(), (Lines{"#a event " + T + " * bob waves", "query+ bob quietly", "query(bob) " + T + " * bob nods",
                           "query~ bob speakers=bob"}));
  EXPECT_TRUE(Sent.empty());  // never answered
  TQuery& query = *Connection().Queries().at(0);

  struct TCase {
    bool ToChannel;
    std::string Typed, Sent, Shown;
  };
  const TCase cases[] = {
      {true, "/me smiles", "PRIVMSG #a :\x01" "ACTION smiles\x01\r\n", "#a event " + T + " * me smiles"},
      {true, "hello", "PRIVMSG #a :hello\r\n", "#a talk " + T + " [me] hello"},
      {false, "/me smiles", "PRIVMSG bob :\x01" "ACTION smiles\x01\r\n", "query(bob) " + T + " * me smiles"},
      {false, "hi there", "PRIVMSG bob :hi there\r\n", "query(bob) " + T + " [me] hi there"},
  };
  for (const TCase& c : cases) {
    if (c.ToChannel)
      Connection().Say(chat, c.Typed);
    else
      Connection().Say(query, c.Typed);
    EXPECT_EQ(TakeSent(), Lines{c.Sent}) << c.Typed;
    EXPECT_EQ(Take(), Lines{c.Shown}) << c.Typed;
  }
  Connection().Say(chat, "");
  EXPECT_TRUE(Sent.empty() && Take().empty());
}

TEST_F(MessageEventsTest, ServerTimeStampsTheLine) {
  Channel("#c", "me alice");
  Feed("@time=2006-01-02T08:58:00.000Z;msgid=x :alice!a@h PRIVMSG #c :hello");
  // Said on another day: with its date.
  Feed("@time=2026-12-09T10:00:00.000Z :alice!a@h PRIVMSG #c :hello again");
  Feed("@time=garbage :alice!a@h PRIVMSG #c :later");
  Feed("@msgid=y :bob!b@h JOIN #c");
  EXPECT_EQ(Take(), (Lines{"#c talk 08:58 [alice] hello", "#c talk 12/09 10:00 [alice] hello again",
                           "#c talk " + T + " [alice] later",
                           "#c event " + T + " bob" + U8(u8" がチャンネルへ入室しました。")}));
}

TEST_F(MessageEventsTest, LinesAreReadByWhatTheyAreAndAnswersGoInTheEncodingLastHeard) {
  TChannel& chat = Channel("#a", "me bob");
  session->Grobal().JISChoice = true;
  Connection().SendLine(U8(u8"PRIVMSG #a :こん\r\n"));
  EXPECT_EQ(TakeSent(), Lines{"PRIVMSG #a :\x1B$B$3$s\x1B(B\r\n"});
  struct Case {
    std::string Wire;  // bob's text as sent
    std::string Shown;
    std::string Answer;  // "ok 😀" as it goes back
  } cases[] = {
      {"\x1B$B$3$s$K$A$O\x1B(B \x1B(I6@6E\x1B(B", U8(u8"こんにちは ｶﾀｶﾅ"), "ok \x1B$B\".\x1B(B"},
      {"\x87\x40\x87\x8A \xB6\xC0\xB6\xC5", U8(u8"①㈱ ｶﾀｶﾅ"), "ok \x81\xAC"},
      {U8(u8"漢字 😀 café 한국어 Ελληνικά"), U8(u8"漢字 😀 café 한국어 Ελληνικά"), U8(u8"ok 😀")},
      {"plain ascii keeps the last", "plain ascii keeps the last", U8(u8"ok 😀")},
  };
  for (const Case& c : cases) {
    Feed(":bob!u@h PRIVMSG #a :" + c.Wire);
    EXPECT_EQ(Take(), Lines{"#a talk " + T + " [bob] " + c.Shown}) << c.Shown;
    Connection().Say(chat, U8(u8"ok 😀"));
    EXPECT_EQ(TakeSent(), Lines{"PRIVMSG #a :" + c.Answer + "\r\n"}) << c.Shown;
    Take();
  }
  // The user's fixed choice holds over what is heard.
  chat.Writing.Chosen = TWireEncoding::Sjis;
  Connection().Say(chat, U8(u8"日本"));
  EXPECT_EQ(TakeSent(), Lines{"PRIVMSG #a :\x93\xFA\x96{\r\n"});
  Take();

  Feed(":bob!u@h PRIVMSG #a :" + std::string(65000, 'm'));
  const Lines events = Take();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].size(), std::string("#a talk ").size() + DisplayLineBytes);
}

TEST_F(MessageEventsTest, NamesAreKnownByTheirBytesOnTheWire) {
  // "#日本語" joined in JIS and in UTF-8 are two channels on the server.
  const std::string jis = "#\x1B$BF|K\\8l\x1B(B", utf8 = U8(u8"#日本語");
  Feed(":me!u@h JOIN " + jis);
  Feed(":me!u@h JOIN " + utf8);
  ASSERT_EQ(Connection().Channels().size(), 2u);
  TChannel* a = Connection().FindChannel(jis);
  TChannel* b = Connection().FindChannel(utf8);
  ASSERT_TRUE(a && b && a != b);
  EXPECT_EQ(a->Name(), utf8);
  EXPECT_EQ(b->Name(), utf8);
  Take();
  TakeSent();
  Feed(":bob!u@h PRIVMSG " + jis + " :jis");
  Feed(":bob!u@h PRIVMSG " + utf8 + " :utf");
  EXPECT_EQ(Take(), (Lines{utf8 + " talk " + T + " [bob] jis", utf8 + " talk " + T + " [bob] utf"}));
  // Replies go to the bytes the server knows.
  Connection().Say(*a, "x");
  Connection().Say(*b, "y");
  EXPECT_EQ(TakeSent(), (Lines{"PRIVMSG " + jis + " :x\r\n", "PRIVMSG " + utf8 + " :y\r\n"}));
}

TEST_F(MessageEventsTest, ChatAndFileOffersGoToTheDeskOneAtATime) {
  Feed(":bob!b@h PRIVMSG me :\x01" "DCC chat chat 2130706433 7000\x01");
  EXPECT_EQ(desk.Calls, Lines{"offer bob chat chat 2130706433 7000"});
  EXPECT_EQ(Take(), Lines{Received("bob", "DCC")});
  // While that question is open, other offers are refused in the server
  // log, and the server is still answered.
  Feed(":carol!c@h PRIVMSG me :\x01" "DCC SEND f 3232235786 7000 10\x01");
  Feed("PING :srv");
  EXPECT_EQ(Take(), (Lines{Received("carol", "DCC"), "log " + T + " carol" + U8(u8" からの DCC ") + "SEND" +
                                                         U8(u8" の要求は、ほかの要求に答えるまで受け付けません。")}));
  EXPECT_EQ(TakeSent(), Lines{"PONG srv\r\n"});
  ASSERT_TRUE(desk.Answer);
  desk.Answer();
  Feed(":carol!c@h PRIVMSG me :\x01" "DCC SEND f 3232235786 7000 10\x01");
  EXPECT_EQ(desk.Calls.back(), "offer carol SEND f 3232235786 7000 10");
  EXPECT_EQ(desk.Calls.size(), 2u);
}

TEST_F(MessageEventsTest, AnswersAboutOurTransfersGoToTheDeskAndOtherTypesAreRefused) {
  const std::string notSupported = U8(u8" をサポートしていません。") + "\x01\r\n";
  struct TCase {
    bool DeskTakes;
    std::string Offer, Call, Reply;
  };
  const TCase cases[] = {
      {true, "DCC RESUME my file.txt 1040 512", "resume bob my file.txt 1040 512", ""},
      {true, "DCC ACCEPT f 1040 512", "accept bob f 1040 512", ""},
      {false, "DCC RESUME f 1040 0", "resume bob f 1040 0",
       "NOTICE bob :\x01" "DCC Tavi 1.0" + U8(u8" では ") + "RESUME" + notSupported},
      {true, "DCC FOO x", "", "NOTICE bob :\x01" "DCC Tavi 1.0" + U8(u8" では ") + "FOO" + notSupported},
  };
  for (const TCase& c : cases) {
    desk.Calls.clear();
    desk.TakesAnswers = c.DeskTakes;
    platform.Tick += 1000;
    Feed(":bob!b@h PRIVMSG me :\x01" + c.Offer + "\x01");
    EXPECT_EQ(desk.Calls, c.Call.empty() ? Lines{} : Lines{c.Call}) << c.Offer;
    EXPECT_EQ(TakeSent(), c.Reply.empty() ? Lines{} : Lines{c.Reply}) << c.Offer;
  }
  EXPECT_FALSE(desk.Answer);  // nothing was put to the user
}

}  // namespace
