// Joins, parts, quits, nick changes, kicks, modes, topics and names replies
// keep the channels and queries in step with the server.
#include "CoreFixture.h"
#include "core/EventProcessor.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const std::string T = "09:05";

// The flags of a channel, then topic, key, limit and ban masks.
std::string State(const TChannel& C) {
  std::string s;
  const std::pair<bool, char> flags[] = {{C.Joined, 'j'},      {C.PrivateMode, 'p'},   {C.SecretMode, 's'},
                                         {C.InviteMode, 'i'},  {C.TopicMode, 't'},     {C.MessageMode, 'n'},
                                         {C.ModeratedMode, 'm'}, {C.LimitMode, 'l'},   {C.KeyWordMode, 'k'},
                                         {C.SpeechMode, 'v'}};
  for (const auto& [set, letter] : flags)
    if (set) s += letter;
  s += "|" + C.Topic + "|" + C.KeyWord + "|" + std::to_string(C.LimitNumber);
  for (const std::string& mask : C.BanMaskList) s += "|" + mask;
  return s;
}

using ChannelEventsTest = CoreFixture;

TEST_F(ChannelEventsTest, OwnJoinTopicRepliesAndNamesReplies) {
  recorder->KeepDateLines = true;
  const std::string date = U8(u8"日付： ") + "2006/01/02";
  Feed(":me!~me@host JOIN :#tavi");
  Feed(":bob!b@h PRIVMSG me :hi");
  EXPECT_EQ(Take(), (Lines{"channel+ #tavi quietly", "#tavi talk " + date, "#tavi own " + T + U8(u8" チャンネルへ入室しました。"),
                           "query+ bob quietly", "query(bob) " + date, "query(bob) " + T + " [bob] hi",
                           "query~ bob speakers=bob"}));
  EXPECT_EQ(TakeSent(), (Lines{"MODE #tavi\r\n"}));  // the topic comes with the join
  TChannel& chat = *Connection().FindChannel("#tavi");
  EXPECT_TRUE(chat.Joined);

  const std::string topic = U8(u8"今日の話題");
  Feed(":irc.test 332 me #tavi :" + topic + " and more");
  Feed(":irc.test 331 me #tavi :No topic is set");
  Feed(":irc.test 331 me #nowhere :No topic is set");
  Feed(":irc.test 332 me #nowhere :x");
  EXPECT_EQ(Take(), (Lines{"#tavi event " + U8(u8"トピック： ") + topic + " and more",
                           "#tavi event " + U8(u8"トピックはついていません。")}));
  EXPECT_EQ(chat.Topic, "");  // the replies are shown, not stored

  // One reply over two lines replaces the JOIN's own entry; the next reply
  // replaces the list whole.
  const std::pair<std::string, std::string> names[] = {
      {":irc.test 353 me = #tavi :@me alice @bob", "@bob @me alice"},
      {":irc.test 353 me = #tavi :carol  dave ", "@bob @me alice carol dave"},
      {":irc.test 366 me #tavi :End of NAMES list.", "@bob @me alice carol dave"},
      {":irc.test 353 me = #tavi :carol  me ", "carol me"},
      {":irc.test 366 me #tavi :End of NAMES list.", "carol me"},
      {":irc.test 353 me = #nowhere :x", "carol me"}};
  for (const auto& [line, members] : names) {
    Feed(line);
    EXPECT_EQ(Members("#tavi"), members) << line;
  }
  EXPECT_TRUE(Take().empty() && Sent.empty());
  EXPECT_EQ(Connection().Channels().size(), 1u);
}

TEST_F(ChannelEventsTest, OthersJoinsAndTopicChanges) {
  TChannel& chat = Joined("#c");
  Feed(":alice!~a@h JOIN #c");
  Feed(":bob!~b@h JOIN :#other");  // opens a channel, quietly, and joined
  Feed(":alice!~a@h TOPIC #c :new topic here");
  Feed(":alice!~a@h TOPIC #C :any case");  // the server folds the case of names
  const std::string changed = U8(u8" がトピックを変えました： ");
  EXPECT_EQ(Take(), (Lines{"#c event " + T + " alice" + U8(u8" がチャンネルへ入室しました。"), "channel+ #other quietly",
                           "#other event " + T + " bob" + U8(u8" がチャンネルへ入室しました。"),
                           "#c event " + T + " alice" + changed + "new topic here", "#c event " + T + " alice" + changed + "any case"}));
  EXPECT_EQ(Members("#c") + "|" + Members("#other"), "alice me|bob");
  EXPECT_TRUE(Connection().FindChannel("#other")->Joined);
  EXPECT_EQ(chat.Topic, "any case");
  // "~" is the upper case of "^" until the server says it folds otherwise.
  TChannel& caret = Joined("#x^");
  Feed(":alice!~a@h TOPIC #X~ :folded");
  Feed(":srv 005 me CHANTYPES=# CASEMAPPING=strict-rfc1459 :are supported");
  Feed(":alice!~a@h TOPIC #X~ :a channel of its own");
  EXPECT_EQ(caret.Topic, "folded");
  Take();
  EXPECT_TRUE(Sent.empty());
}

// The window of a join the user asked for takes the keyboard; one the
// server forces on us, or one it refused before, does not.
TEST_F(ChannelEventsTest, AskedForJoinsOpenActiveWindows) {
  Connection().NoteJoinRequest("#Mine,#two");
  Connection().Join("#keyed", "secret");
  EXPECT_EQ(TakeSent(), Lines{"JOIN #keyed secret\r\n"});
  for (const char* refusal : {"403", "405", "471", "473", "474", "475"}) {
    const std::string channel = std::string("#r") + refusal;
    Connection().NoteJoinRequest(channel);
    Feed(":irc.test " + std::string(refusal) + " me " + channel + " :Cannot join channel");
  }
  Connection().NoteJoinRequest("#other-error");
  Feed(":irc.test 401 me #other-error :No such nick");
  Take();

  Connection().NoteJoinRequest("#theirs");
  Feed(":x!u@h JOIN #theirs");  // someone else's join of it
  for (const char* channel : {"#mine", "#two", "#keyed", "#forced", "#r403", "#r405", "#r471", "#r473", "#r474",
                              "#r475", "#other-error", "#mine"}) {
    if (TChannel* open = Connection().FindChannel(channel)) Connection().CloseChannel(open);
    Feed(std::string(":me!u@h JOIN ") + channel);
  }
  // A request is used up by its join: the second #mine is forced.
  EXPECT_EQ(Of(Take(), "channel+"),
            (Lines{"channel+ #theirs quietly", "channel+ #mine active", "channel+ #two active", "channel+ #keyed active",
                   "channel+ #forced quietly", "channel+ #r403 quietly", "channel+ #r405 quietly",
                   "channel+ #r471 quietly", "channel+ #r473 quietly", "channel+ #r474 quietly",
                   "channel+ #r475 quietly", "channel+ #other-error active", "channel+ #mine quietly"}));
}

// 476 (a bad channel mask) refuses a join like the others.
TEST_F(ChannelEventsTest, ABadChannelMaskRefusalEndsTheJoinRequest) {
  Connection().NoteJoinRequest("#bad");
  Feed(":irc.test 476 me #bad :Bad Channel Mask");
  EXPECT_EQ(Take(), Lines{"error " + U8(u8"エラーコード：  ") + "476\r\n#bad :Bad Channel Mask\r\n"});
  Feed(":me!u@h JOIN #bad");
  EXPECT_EQ(Take().at(0), "channel+ #bad quietly");
}

TEST_F(ChannelEventsTest, ForcedJoinsOpenNoMoreThanTheBound) {
  constexpr int Bound = TConnection::MaxChannels;
  for (int i = 0; i < Bound + 3; ++i) Feed(":me!u@h JOIN #c" + std::to_string(i));
  Feed(":x!u@h JOIN #other");
  EXPECT_EQ(Connection().Channels().size(), std::size_t{Bound});
  EXPECT_EQ(Connection().FindChannel("#other"), nullptr);
  // The channels beyond are left again, each with a line in the server log.
  EXPECT_EQ(Of(TakeSent(), "PART "), (Lines{"PART #c250\r\n", "PART #c251\r\n", "PART #c252\r\n"}));
  const std::string note = U8(u8" のウインドウは開けません。チャンネルのウインドウが多すぎるため退室します。");
  EXPECT_EQ(Of(Take(), "log "), (Lines{"log " + T + " #c250" + note, "log " + T + " #c251" + note, "log " + T + " #c252" + note}));
  Feed(":y!u@h JOIN #c0");  // a channel that is open still takes its joins
  EXPECT_EQ(Members("#c0"), "me y");

  // Every network together has its bound too.
  session->SetChannelBoundInTotal(Bound + 2);
  TNetwork network;
  network.Name = "other";
  TConnection& other = session->AddConnection(network);
  other.Own.CurrentNick = "me";
  std::vector<std::string> sent;
  other.SetLineSink([&](const std::string& Line) { sent.push_back(Line); });
  for (int i = 0; i < 3; ++i) other.ReceiveLine(":me!u@h JOIN #d" + std::to_string(i) + "\r\n");
  EXPECT_EQ(other.Channels().size(), 2u);
  EXPECT_EQ(Of(sent, "PART "), Lines{"PART #d2\r\n"});
}

TEST_F(ChannelEventsTest, PartsOfOthersAndOfTheUser) {
  TChannel& chat = Channel("#c", "me alice @bob carol");
  const std::string left = U8(u8" が退室しました。");
  struct TCase {
    std::string Line, Members, Event;
  };
  const TCase cases[] = {
      // A parting message that is the nick says nothing.
      {":alice!~a@h PART #c :alice", "@bob carol me", "#c event " + T + " alice" + left},
      {":bob!~b@h PART #c bob", "carol me", "#c event " + T + " bob" + left},
      {":carol!~c@h PART :#c carol", "carol me", ""},  // the channel is no trailing text
      {":carol!~c@h PART #c :Leaving now", "me", "#c event " + T + " carol" + left + U8(u8"（Leaving now）")},
      {":dave!d@h JOIN #c", "dave me", "#c event " + T + " dave" + U8(u8" がチャンネルへ入室しました。")},
      // Without a sender nick the second parameter names the member.
      {":irc.test PART #c dave", "me", "#c event " + T + " dave" + left},
      {":irc.test PART #c", "me", "#c event " + T + " " + left},
      {":x!x@h PART #nowhere", "me", ""},
  };
  for (const TCase& c : cases) {
    Feed(c.Line);
    EXPECT_EQ(Members("#c"), c.Members) << c.Line;
    EXPECT_EQ(Take(), c.Event.empty() ? Lines{} : Lines{c.Event}) << c.Line;
  }

  Feed(":me!~me@h MODE #c +pstinml-k+kvb 5 key me *!*@x");
  Feed(":me!~me@h TOPIC #c :topic");
  ASSERT_EQ(State(chat), "jpsitnmlkv|topic|key|5|*!*@x");
  Take();
  Feed(":me!~me@h PART #c");
  EXPECT_EQ(Take(), Lines{"#c own " + T + U8(u8" チャンネルから退室しました。")});
  EXPECT_EQ(Members("#c"), "");
  EXPECT_EQ(State(chat), "|||0");
  // The channel stays, and joining again reuses it.
  Feed(":me!~me@h JOIN #c");
  EXPECT_EQ(Connection().Channels().size(), 1u);
  EXPECT_TRUE(chat.Joined);
}

TEST_F(ChannelEventsTest, QuitReachesEveryChannelAndQueryOfTheMember) {
  Channel("#a", "me alice");
  Channel("#b", "@alice bob");
  Channel("#c", "me bob");
  Query("bob,alice", {"bob", "Alice"});
  Query("bob");
  Query("bobby");
  Feed(":alice!~a@h QUIT :Gone to lunch");
  const std::string line = T + " alice" + U8(u8" が IRC を終了しました。（Gone to lunch）");
  EXPECT_EQ(Take(), (Lines{"#a event " + line, "#b event " + line, "query~ bob,alice speakers=bob",
                           "query(bob,alice) " + line}));
  EXPECT_EQ(Members("#a") + "|" + Members("#b"), "me|bob");

  // Captions are searched for the nick as plain text.
  Feed(":bob!~b@h QUIT :");
  const std::string bob = T + " bob" + U8(u8" が IRC を終了しました。");
  Feed(":irc.test QUIT :bye");  // without a sender nick nobody quits
  EXPECT_EQ(Take(), (Lines{"#b event " + bob, "#c event " + bob, "query~ bob,alice speakers=",
                           "query(bob,alice) " + bob, "query(bob) " + bob, "query(bobby) " + bob}));
  EXPECT_EQ(Members("#c"), "me");
}

TEST_F(ChannelEventsTest, NickChangesRenameMembersQueriesAndTheUser) {
  Channel("#c", "@me b @x bb");
  Channel("#d", "me x");
  TQuery& group = Query("a,b,c", {"B"});
  Query("q,b,");
  Query("zed");

  Feed(":b!~b@h NICK :new");
  EXPECT_EQ(Take(), (Lines{"query~ a,new,c speakers=new", "query~ q,new speakers=", "nick b -> new",
                           "#c event " + T + " b" + U8(u8" は ") + "new" + U8(u8" に名前を変えました。")}));
  EXPECT_EQ(group.MemberList, (Lines{"a", "new", "c"}));  // the next line goes to the new name
  EXPECT_EQ(Members("#c"), "@me @x bb new");

  // Shown in each window the member shares; the user's own change as own.
  Feed(":x!~x@h NICK y");
  EXPECT_EQ(Members("#c") + "|" + Members("#d") + "|" + Connection().Own.CurrentNick, "@me @y bb new|me y|me");
  EXPECT_EQ(Of(Take(), "#"), (Lines{"#c event " + T + " x" + U8(u8" は ") + "y" + U8(u8" に名前を変えました。"),
                                    "#d event " + T + " x" + U8(u8" は ") + "y" + U8(u8" に名前を変えました。")}));

  // The user's own nick: adopted, and saved only when it is the one typed.
  Connection().Own.EnteredNick = "me2";
  session->Grobal().NickName1 = "me";
  Feed(":me!~me@h NICK :me2");
  EXPECT_EQ(Connection().Own.CurrentNick + "|" + session->Grobal().NickName1, "me2|me2");
  EXPECT_EQ(Members("#c") + "|" + Members("#d"), "@me2 @y bb new|me2 y");
  EXPECT_EQ(Of(Take(), "#d"), (Lines{"#d own " + T + U8(u8" ニックネームを ") + "me2" + U8(u8" に変えました。")}));
  Feed(":me2!u@h NICK :me3");
  EXPECT_EQ(Connection().Own.CurrentNick + "|" + session->Grobal().NickName1, "me3|me2");
  // Renamed onto a nick listed already: one member, where the renamed was.
  Feed(":bb!u@h NICK :new");
  EXPECT_EQ(Members("#c"), "@me3 @y new");
  // A nick no server may give is not adopted.
  Feed(":me3!u@h NICK :#not-a-nick");
  EXPECT_EQ(Connection().Own.CurrentNick, "me3");
  EXPECT_EQ(Of(Take(), "nick "), (Lines{"nick me2 -> me3", "nick bb -> new", "nick me3 -> #not-a-nick"}));
}

TEST_F(ChannelEventsTest, Kicks) {
  TChannel& chat = Channel("#c", "me alice @bob carol @dave");
  chat.TopicMode = true;
  chat.Topic = "t";
  chat.BanMaskList = {"m!*@*"};
  struct TCase {
    std::string Line, Members;
    Lines Events;
  };
  const TCase cases[] = {
      {":me!~me@h KICK #c alice :bye", "@bob @dave carol me", {"#c own " + T + " alice " + U8(u8" を追放しました。")}},
      {":bob!~b@h KICK #c carol :spam",
       "@bob @dave me",
       {"#c event " + T + " carol" + U8(u8" は ") + "bob " + U8(u8" により追放されました。"),
        "#c event         " + U8(u8"理由は ") + "spam"}},
      // The reason is the kicker's nick: no reason line.
      {":bob!~b@h KICK #c dave :bob", "@bob me", {"#c event " + T + " dave" + U8(u8" は ") + "bob " + U8(u8" により追放されました。")}},
      {":bob!~b@h KICK #c", "@bob me", {}},
      {":bob!~b@h KICK #nowhere me :x", "@bob me", {}},
      {":bob!~b@h KICK #c me :bob", "", {"#c own " + T + " bob " + U8(u8" から追放されました。")}},
  };
  for (const TCase& c : cases) {
    Feed(c.Line);
    EXPECT_EQ(Members("#c"), c.Members) << c.Line;
    EXPECT_EQ(Take(), c.Events) << c.Line;
  }
  // Modes, topic and ban masks stay until the next own JOIN.
  EXPECT_EQ(State(chat), "t|t||0|m!*@*");

  EXPECT_EQ(&Joined("#c"), &chat);
  Feed(":bob!~b@h KICK #c me :flood");
  EXPECT_EQ(Take(), (Lines{"#c own " + T + " bob " + U8(u8" から追放されました。"),
                           "#c own         " + U8(u8"理由は ") + "flood"}));
}

// Each line applies to the state the lines before it left.
TEST_F(ChannelEventsTest, ChannelModes) {
  TChannel& chat = Channel("#c", "me alice @bob carol");
  TChannel& other = Channel("#d", "me");
  struct TCase {
    const char* Line;
    const char* Members;
    const char* State;
  };
  const TCase cases[] = {
      {"+o-o alice bob", "@alice bob carol me", "j|||0"},
      // Every rank letter takes a nick; only the user's own voice counts.
      {"+ov me carol", "@alice @me +carol bob", "j|||0"},
      {"-o me", "@alice +carol bob me", "j|||0"},
      {"+v ME", "@alice +carol +me bob", "jv|||0"},
      {"+o CAROL", "@alice @carol +me bob", "jv|||0"},
      {"-o nobody", "@alice @carol +me bob", "jv|||0"},
      {"-o", "@alice @carol +me bob", "jv|||0"},
      {"+k secret", "@alice @carol +me bob", "jkv||secret|0"},
      // "-k" takes no key: what follows is read as modes of its own.
      {"-k +tn", "@alice @carol +me bob", "jtnv|||0"},
      {"+b *!*@bad.example", "@alice @carol +me bob", "jtnv|||0|*!*@bad.example"},
      {"+b x!*@*", "@alice @carol +me bob", "jtnv|||0|*!*@bad.example|x!*@*"},
      {"-b *!*@other", "@alice @carol +me bob", "jtnv|||0|*!*@bad.example|x!*@*"},
      {"-b *!*@BAD.example", "@alice @carol +me bob", "jtnv|||0|x!*@*"},
      {"+l 10", "@alice @carol +me bob", "jtnlv|||10|x!*@*"},
      {"+l x", "@alice @carol +me bob", "jtnv|||0|x!*@*"},
      {"+l 7", "@alice @carol +me bob", "jtnlv|||7|x!*@*"},
      {"-l", "@alice @carol +me bob", "jtnv|||0|x!*@*"},
      {"+psim", "@alice @carol +me bob", "jpsitnmv|||0|x!*@*"},
      {"-ps+z-im-v me", "@alice @carol bob me", "jtn|||0|x!*@*"},
  };
  for (const TCase& c : cases) {
    Feed(std::string(":x!~x@h MODE #c ") + c.Line);
    EXPECT_EQ(Members("#c"), c.Members) << c.Line;
    EXPECT_EQ(State(chat), c.State) << c.Line;
  }
  Feed(":x!~x@h MODE #nowhere +t");
  EXPECT_EQ(State(other), "j|||0");
  // Each change is shown as the server sent it, by whom.
  const Lines shown = Take();
  EXPECT_EQ(shown.size(), std::size(cases));
  EXPECT_EQ(shown.front(), "#c event " + T + " x" + U8(u8" がモードを変えました： ") + "+o-o alice bob");
  EXPECT_TRUE(Sent.empty());

  // With the server's word on its modes, "-k" takes its key and modes of
  // other kinds their arguments; its channel marks and name are taken too.
  Feed(":irc.test 005 me CHANMODES=beI,kj,l,imnpst CHANTYPES=#& NETWORK=Example\\x20Net :are supported");
  Feed(":x!~x@h MODE #c +k-k+ej+o key key *!*@ok 3:5 bob");
  EXPECT_EQ(Members("#c"), "@alice @bob @carol me");
  EXPECT_EQ(State(chat), "jtn|||0|x!*@*");
  EXPECT_EQ(Connection().AnnouncedNetwork(), "Example Net");
  EXPECT_TRUE(Connection().IsChannelName("&local"));
  EXPECT_FALSE(Connection().IsChannelName("+modeless"));

  // A flood of +b keeps the first masks only.
  for (int i = 0; i < TListCap::MaxEntries + 5; ++i) Feed(":x!~x@h MODE #d +b m" + std::to_string(i) + "!*@*");
  EXPECT_EQ(other.BanMaskList.size(), std::size_t(TListCap::MaxEntries));
}

// Members are known by the nick without its ranks: the server's PREFIX,
// several ranks in one names entry, and every change follows them.
TEST_F(ChannelEventsTest, RankedMembersFollowEveryChange) {
  Joined("#r");
  Feed(":srv 005 me PREFIX=(qaohv)~&@%+ :are supported");
  Feed(":srv 353 me = #r :+bob ~&@me %+hal +@ann zed +v1 +v2");
  Feed(":srv 366 me #r :End");
  const std::pair<const char*, const char*> cases[] = {
      {"", "~me @ann %hal +bob +v1 +v2 zed"},
      {":v1!u@h QUIT :bye", "~me @ann %hal +bob +v2 zed"},
      {":v2!u@h PART #r", "~me @ann %hal +bob zed"},
      {":bob!u@h NICK robert", "~me @ann %hal +robert zed"},
      {":me!u@h MODE #r -o+v ann zed", "~me %hal +ann +robert +zed"},
      {":me!u@h MODE #r -v ann", "~me %hal +robert +zed ann"},
      {":me!u@h MODE #r -qa me me", "@me %hal +robert +zed ann"},
      {":me!u@h MODE #r -h+q hal Zed", "~zed @me +hal +robert ann"},
      {":me!u@h KICK #r robert :out", "~zed @me +hal ann"},
  };
  for (const auto& [line, members] : cases) {
    if (*line) Feed(line);
    EXPECT_EQ(Members("#r"), members) << line;
  }
  EXPECT_EQ(Connection().FindChannel("#r")->Members.OperatorCount(), 2);
}

TEST_F(ChannelEventsTest, UserModes) {
  const std::pair<const char*, const char*> cases[] = {
      {":me MODE me :+i-w", "i"},  {":me MODE me :+w", "iw"},  // a change, not the whole set
      {":me MODE me ", "iw"},      {":me MODE me -i", "w"},
      {":srv 221 me +so", "so"},  // the reply is the whole set
      {":me MODE ME +i", "so"},    // another nick is a channel name
      {":s 221 me +iw", "iw"},     {":s 221 me :+so", "so"},
      {":s 221 me", "so"},         {":s 221 me -i", ""},
  };
  for (const auto& [line, expected] : cases) {
    Feed(line);
    const TUserModes& m = Connection().Own.Modes;
    std::string modes;
    for (const auto& [set, letter] : {std::pair{m.Invisible, 'i'}, {m.Notice, 's'}, {m.WallOps, 'w'}, {m.IrcOpe, 'o'}})
      if (set) modes += letter;
    EXPECT_EQ(modes, expected) << line;
  }
  EXPECT_TRUE(Take().empty());
}

TEST_F(ChannelEventsTest, RequestedNamesListingIsBounded) {
  Channel("#c", "me alice");
  TOwnState& own = Connection().Own;
  own.NamesRequested = true;
  Feed(":irc.test 353 me = #c :@a b c d e");
  Feed(":irc.test 353 me * &SERVERS :irc.test");
  Feed(":irc.test 353 me * #x :f");
  const std::string pad(8, ' '), name = "listing " + U8(u8"チャンネル名： ");
  auto cell = [](const std::string& Nick) { return Nick + std::string(16 - Nick.size(), ' '); };
  EXPECT_EQ(Take(), (Lines{name + "#c", "listing " + pad + cell("@a") + cell("b") + cell("c") + cell("d") + "e",
                           name + "#x", "listing " + pad + "f"}));
  EXPECT_EQ(Members("#c"), "alice me");  // no channel is touched
  Feed(":irc.test 366 me * :End of NAMES list.");
  EXPECT_EQ(Take(), Lines{"listing end " + U8(u8"ニックネームのリスト")});
  EXPECT_FALSE(own.NamesRequested);

  // Unasked, a reply fills the channel again.
  Feed(":irc.test 353 me = #c :@a b");
  Feed(":irc.test 366 me #c :End");
  EXPECT_EQ(Members("#c"), "@a b");
  EXPECT_TRUE(Take().empty());

  // Two lines a channel: the bound cuts the listing and counts the rest.
  own.NamesRequested = true;
  const int extra = 7;
  for (int i = 0; i < (TListCap::MaxEntries + extra) / 2 + 1; ++i)
    Feed(":irc.test 353 me = #n" + std::to_string(i) + " :x");
  Feed(":irc.test 366 me * :End");
  const Lines listing = Take();
  ASSERT_EQ(listing.size(), std::size_t(TListCap::MaxEntries) + 2);
  EXPECT_EQ(listing[listing.size() - 2], "listing " + LeftOutText(extra + 1));
  EXPECT_EQ(listing.back(), "listing end " + U8(u8"ニックネームのリスト"));
}

}  // namespace
