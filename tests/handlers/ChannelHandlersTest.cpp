#include <QAction>
#include <QMenu>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "conversation/ListNamesWho.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "handlers/ServerLineHandlers.h"
#include "widgets/MdiChildForm.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

Lines Nicks(const TChatForm& Chat) {
  Lines nicks;
  for (int i = 0; i < Chat.NickCount(); ++i) nicks.push_back(Chat.NickAt(i));
  return nicks;
}

std::vector<QColor> NickColors(const TChatForm& Chat) {
  std::vector<QColor> colors;
  for (int i = 0; i < Chat.NickCount(); ++i) colors.push_back(Chat.NickColorAt(i));
  return colors;
}

// The event pane's lines behind the date line every window begins with.
Lines Events(const TChatForm& Chat) {
  Lines lines = Chat.RecvLines();
  EXPECT_FALSE(lines.empty());
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

QColor EventColor(const TChatForm& Chat, int EventIndex) { return Chat.RecvLineColor(EventIndex + 1); }

Lines TalkEvents(const TTalkForm& Talk) {
  Lines lines = Talk.RecvLines();
  EXPECT_FALSE(lines.empty());
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

// Everything a handler may change, to show that a line changed nothing.
struct Snapshot {
  std::vector<std::string> captions;
  std::vector<Lines> panes;
  std::vector<Lines> members;
  std::vector<std::vector<QColor>> memberColors;
  std::vector<std::string> chatState;
  std::string nick;
  std::string nickSetting;
  bool modes[4] = {};
  bool namesRequested = false;
  std::size_t listing = 0;

  bool operator==(const Snapshot&) const = default;
};

std::string ChatState(const TChatForm& c) {
  std::string s;
  for (bool b : {c.Joined, c.PrivateMode, c.SecretMode, c.InviteMode, c.TopicMode, c.MessageMode, c.ModeratedMode,
                 c.LimitMode, c.KeyWordMode, c.SpeechMode, c.ChannelOperator1->isEnabled()})
    s += b ? '1' : '0';
  s += "|" + c.Topic + "|" + c.KeyWord + "|" + std::to_string(c.LimitNumber);
  for (const std::string& mask : c.BanMaskList) s += "|" + mask;
  return s;
}

}  // namespace

class ChannelHandlersTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    Globals().CurrentNick = "me";
    GrobalArea().NickName1 = "me";
  }

  // The user's own JOIN, with the queries it sends forgotten.
  TChatForm& Joined(const std::string& Channel) {
    Feed(":me!~me@host JOIN :" + Channel + "\r\n");
    Sent.clear();
    TChatForm* chat = form->FindChannelWindow(Channel);
    EXPECT_NE(chat, nullptr) << Channel;
    return *chat;
  }

  // A joined channel whose members are Names (one whole names reply).
  TChatForm& Channel(const std::string& Name, const std::string& Names) {
    TChatForm& chat = Joined(Name);
    Feed(":irc.test 353 me = " + Name + " :" + Names + "\r\n");
    Feed(":irc.test 366 me " + Name + " :End of NAMES list.\r\n");
    return chat;
  }

  Snapshot Take() const {
    Snapshot s;
    for (TMdiChildForm* child : form->ChildWindows()) {
      s.captions.push_back(child->Caption());
      if (auto* chat = qobject_cast<TChatForm*>(child)) {
        s.panes.push_back(chat->RecvLines());
        s.members.push_back(Nicks(*chat));
        s.memberColors.push_back(NickColors(*chat));
        s.chatState.push_back(ChatState(*chat));
      } else if (auto* talk = qobject_cast<TTalkForm*>(child)) {
        s.panes.push_back(talk->RecvLines());
        s.members.push_back(talk->NickNames());
      }
    }
    const TGlobals& g = Globals();
    s.nick = g.CurrentNick;
    s.nickSetting = g.GrobalArea->NickName1;
    s.modes[0] = g.InvisibleMode;
    s.modes[1] = g.NoticeMode;
    s.modes[2] = g.WallOpsMode;
    s.modes[3] = g.IrcOpeMode;
    s.namesRequested = g.NamesRequested;
    auto* listing = form->findChild<TListNamesWhoForm*>();
    s.listing = listing ? listing->Lines().size() : 0;
    return s;
  }
};

TEST_F(ChannelHandlersTest, WholeOwnJoin) {
  Feed(":me!~me@host JOIN :#tavi\r\n");
  TChatForm* chat = form->FindChannelWindow("#tavi");
  ASSERT_NE(chat, nullptr);
  EXPECT_TRUE(chat->Joined);
  EXPECT_EQ(Events(*chat), (Lines{"09:05" + Sj(u8" チャンネルへ入室しました。")}));
  EXPECT_EQ(EventColor(*chat, 0), clGreen);
  EXPECT_EQ(Nicks(*chat), (Lines{"me"}));
  EXPECT_EQ(chat->NickColorAt(0), clGreen);
  EXPECT_EQ(Sent, (Lines{"MODE #tavi\r\n", "TOPIC #tavi\r\n"}));
  EXPECT_EQ(ToSjis(chat->WindowMenuItem->text()), "#tavi");

  const std::string topic = Sj(u8"今日の話題");
  Feed(":irc.test 332 me #tavi :" + topic + " and more\r\n");
  EXPECT_EQ(Events(*chat).back(), Sj(u8"トピック： ") + topic + " and more");
  EXPECT_EQ(EventColor(*chat, 1), clBlue);
  EXPECT_EQ(chat->Topic, "");  // the reply is shown, not stored

  // The names come over two lines: the pane holds both, after the JOIN's
  // own entry is replaced.
  EXPECT_FALSE(chat->ChannelOperator1->isEnabled());
  Feed(":irc.test 353 me = #tavi :@me alice @bob\r\n");
  EXPECT_EQ(Nicks(*chat), (Lines{"@me", "alice", "@bob"}));
  EXPECT_EQ(NickColors(*chat), (std::vector<QColor>{clGreen, clBlack, clRed}));
  EXPECT_TRUE(chat->ChannelOperator1->isEnabled());
  Feed(":irc.test 353 me = #tavi :carol  dave \r\n");
  EXPECT_EQ(Nicks(*chat), (Lines{"@me", "alice", "@bob", "carol", "dave"}));
  EXPECT_EQ(NickColors(*chat), (std::vector<QColor>{clGreen, clBlack, clRed, clBlack, clBlack}));
  Feed(":irc.test 366 me #tavi :End of NAMES list.\r\n");
  EXPECT_EQ(Nicks(*chat), (Lines{"@me", "alice", "@bob", "carol", "dave"}));
  // A later reply replaces the list whole.
  Feed(":irc.test 353 me = #tavi :carol  me \r\n");
  EXPECT_EQ(Nicks(*chat), (Lines{"carol", "me"}));
  EXPECT_EQ(NickColors(*chat), (std::vector<QColor>{clBlack, clGreen}));
  EXPECT_TRUE(chat->ChannelOperator1->isEnabled());
  Feed(":irc.test 366 me #tavi :End of NAMES list.\r\n");
  EXPECT_EQ(Nicks(*chat), (Lines{"carol", "me"}));
  EXPECT_EQ(Events(*chat).size(), 2u);
  EXPECT_EQ(Sent.size(), 2u);
  EXPECT_EQ(form->ChildWindows().size(), 1u);
}

TEST_F(ChannelHandlersTest, OthersTrafficAndTopics) {
  TChatForm& chat = Joined("#c");
  Feed(":alice!~a@h JOIN #c\r\n");
  EXPECT_EQ(Events(chat).back(), "09:05 alice" + Sj(u8" がチャンネルへ入室しました。"));
  EXPECT_EQ(EventColor(chat, 1), clBlue);
  EXPECT_EQ(Nicks(chat), (Lines{"me", "alice"}));
  EXPECT_EQ(chat.NickColorAt(1), clBlack);

  // Someone else's JOIN of a channel without a window opens one.
  Feed(":bob!~b@h JOIN :#other\r\n");
  TChatForm* other = form->FindChannelWindow("#other");
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(other->Joined);
  EXPECT_EQ(Nicks(*other), (Lines{"bob"}));
  EXPECT_TRUE(Sent.empty());

  const std::size_t before = Events(chat).size();
  Feed(":alice!~a@h TOPIC #c :new topic here\r\n");
  EXPECT_EQ(chat.Topic, "new topic here");
  EXPECT_EQ(Events(chat).size(), before);
  // Captions compare exactly.
  Feed(":alice!~a@h TOPIC #C :wrong window\r\n");
  EXPECT_EQ(chat.Topic, "new topic here");

  Feed(":irc.test 331 me #c :No topic is set\r\n");
  EXPECT_EQ(Events(chat).back(), Sj(u8"トピックはついていません。"));
  EXPECT_EQ(EventColor(chat, static_cast<int>(before)), clBlue);
  Feed(":irc.test 331 me #nowhere :No topic is set\r\n");
  Feed(":irc.test 332 me #nowhere :x\r\n");
  EXPECT_EQ(form->ChildWindows().size(), 2u);

  // A talk window of the same name is no channel window.
  TTalkForm* talk = form->OpenTalkWindow("#t");
  Feed(":x!~x@h TOPIC #t :t\r\n");
  Feed(":irc.test 331 me #t :No topic\r\n");
  EXPECT_EQ(TalkEvents(*talk).size(), 0u);
}

TEST_F(ChannelHandlersTest, PartOfOthersAndOfTheUser) {
  TChatForm& chat = Channel("#c", "me alice @bob carol");
  Feed(":alice!~a@h PART #c :alice\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"me", "@bob", "carol"}));
  EXPECT_EQ(Events(chat).back(), "09:05 alice" + Sj(u8" が退室しました。"));
  EXPECT_EQ(EventColor(chat, 1), clBlue);
  Feed(":bob!~b@h PART #c bob\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"me", "carol"}));
  Feed(":carol!~c@h PART :#c carol\r\n");  // not the caption
  EXPECT_EQ(Nicks(chat), (Lines{"me", "carol"}));
  // The leaver is the sender, whatever the parting message says.
  Feed(":carol!~c@h PART #c :Leaving now\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"me"}));
  EXPECT_EQ(Events(chat).back(), "09:05 carol" + Sj(u8" が退室しました。"));
  // Without a sender nick the second parameter names the member.
  chat.AddNickLine("dave");
  Feed(":irc.test PART #c dave\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"me"}));
  Feed(":irc.test PART #c\r\n");
  EXPECT_EQ(Events(chat).back(), "09:05 " + Sj(u8" が退室しました。"));

  Feed(":me!~me@h MODE #c +pstinml-k+kvb 5 key *!*@x\r\n");
  Feed(":me!~me@h TOPIC #c :topic\r\n");
  ASSERT_TRUE(chat.PrivateMode && chat.SpeechMode && chat.KeyWordMode && chat.LimitMode);
  const std::size_t before = Events(chat).size();
  Feed(":me!~me@h PART #c\r\n");  // no parting message
  EXPECT_EQ(Nicks(chat), Lines{});
  EXPECT_EQ(Events(chat).size(), before + 1);
  EXPECT_EQ(Events(chat).back(), "09:05" + Sj(u8" チャンネルから退室しました。"));
  EXPECT_EQ(EventColor(chat, static_cast<int>(before)), clGreen);
  EXPECT_EQ(ChatState(chat), "00000000000|||0");
  EXPECT_EQ(form->FindChannelWindow("#c"), &chat);  // the window stays

  // Joining again reuses it.
  Feed(":me!~me@h JOIN #c\r\n");
  EXPECT_EQ(form->ChildWindows().size(), 1u);
  EXPECT_TRUE(chat.Joined);
}

TEST_F(ChannelHandlersTest, QuitReachesEveryWindowOfTheMember) {
  TChatForm& a = Channel("#a", "me alice");
  TChatForm& b = Channel("#b", "@alice bob");
  TChatForm& c = Channel("#c", "me bob");
  TTalkForm* talk = form->OpenTalkWindow("bob,alice");
  talk->AddNick("bob");
  talk->AddNick("Alice");
  TTalkForm* bobOnly = form->OpenTalkWindow("bob");
  const std::size_t aBefore = Events(a).size(), cBefore = Events(c).size();

  Feed(":alice!~a@h QUIT :Gone to lunch\r\n");
  const std::string line = "09:05 [alice ] Gone to lunch";
  EXPECT_EQ(Nicks(a), (Lines{"me"}));
  EXPECT_EQ(Events(a).size(), aBefore + 1);
  EXPECT_EQ(Events(a).back(), line);
  EXPECT_EQ(EventColor(a, static_cast<int>(aBefore)), clBlue);
  EXPECT_EQ(Nicks(b), (Lines{"bob"}));
  EXPECT_EQ(Events(b).back(), line);
  EXPECT_EQ(Events(c).size(), cBefore);
  EXPECT_EQ(TalkEvents(*talk), (Lines{line}));
  EXPECT_EQ(talk->NickNames(), (Lines{"bob"}));
  EXPECT_TRUE(TalkEvents(*bobOnly).empty());

  // A member listed twice is one entry, which goes; captions are searched
  // for the nick as plain text.
  Feed(":irc.test 353 me = #c :@bob me bob\r\n");
  TTalkForm* longer = form->OpenTalkWindow("bobby");
  Feed(":bob!~b@h QUIT :\r\n");
  EXPECT_EQ(Nicks(c), (Lines{"me"}));
  EXPECT_EQ(Events(c).back(), "09:05 [bob ] ");
  EXPECT_EQ(TalkEvents(*longer), (Lines{"09:05 [bob ] "}));
  EXPECT_EQ(TalkEvents(*bobOnly), (Lines{"09:05 [bob ] "}));
}

TEST_F(ChannelHandlersTest, NickChanges) {
  TChatForm& chat = Channel("#c", "@me b @x bb");
  TChatForm& other = Channel("#d", "me x");
  TTalkForm* talk = form->OpenTalkWindow("a,b,c");
  talk->AddNick("B");
  talk->MemberList = {"a", "b", "c"};
  TTalkForm* trailing = form->OpenTalkWindow("q,b,");
  const std::size_t events = Events(chat).size();

  Feed(":b!~b@h NICK :new\r\n");
  EXPECT_EQ(talk->Caption(), "a,new,c");
  EXPECT_EQ(ToSjis(talk->WindowMenuItem->text()), "a,new,c");
  EXPECT_EQ(talk->NickNames(), (Lines{"new"}));
  EXPECT_EQ(talk->MemberList, (Lines{"a", "new", "c"}));  // the next line goes to the new name
  EXPECT_EQ(trailing->Caption(), "q,new");
  EXPECT_EQ(ToSjis(trailing->WindowMenuItem->text()), "q,new");
  EXPECT_EQ(Nicks(chat), (Lines{"@me", "new", "@x", "bb"}));
  EXPECT_EQ(chat.NickColorAt(1), clBlack);
  EXPECT_EQ(Globals().CurrentNick, "me");

  Feed(":x!~x@h NICK y\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"@me", "new", "@y", "bb"}));
  EXPECT_EQ(chat.NickColorAt(2), clRed);
  EXPECT_EQ(Nicks(other), (Lines{"me", "y"}));
  EXPECT_EQ(other.NickColorAt(1), clBlack);

  Globals().EnteredNick = "me2";  // as the nick dialog sets it
  Feed(":me!~me@h NICK :me2\r\n");
  EXPECT_EQ(Globals().CurrentNick, "me2");
  EXPECT_EQ(GrobalArea().NickName1, "me2");
  EXPECT_EQ(Nicks(chat), (Lines{"@me2", "new", "@y", "bb"}));
  EXPECT_EQ(chat.NickColorAt(0), clGreen);
  EXPECT_EQ(Nicks(other), (Lines{"me2", "y"}));
  EXPECT_EQ(other.NickColorAt(0), clGreen);
  EXPECT_EQ(Events(chat).size(), events);  // nothing is written
}

TEST_F(ChannelHandlersTest, Kicks) {
  TChatForm& chat = Channel("#c", "me alice @bob carol @dave");
  chat.TopicMode = true;
  chat.Topic = "t";
  chat.BanMaskList = {"m!*@*"};

  Feed(":me!~me@h KICK #c alice :bye\r\n");
  EXPECT_EQ(Events(chat).back(), "09:05 alice " + Sj(u8" を追放しました。"));
  EXPECT_EQ(EventColor(chat, static_cast<int>(Events(chat).size()) - 1), clGreen);
  EXPECT_EQ(Nicks(chat), (Lines{"me", "@bob", "carol", "@dave"}));

  std::size_t before = Events(chat).size();
  Feed(":bob!~b@h KICK #c carol :spam\r\n");
  EXPECT_EQ(Events(chat).size(), before + 2);
  EXPECT_EQ(Events(chat)[before], "09:05 carol" + Sj(u8" は ") + "bob " + Sj(u8" により追放されました。"));
  EXPECT_EQ(Events(chat)[before + 1], "        " + Sj(u8"理由は ") + "spam");
  EXPECT_EQ(EventColor(chat, static_cast<int>(before)), clBlue);
  EXPECT_EQ(EventColor(chat, static_cast<int>(before + 1)), clBlue);
  Feed(":bob!~b@h KICK #c dave :bob\r\n");  // the reason is the kicker: no reason line
  EXPECT_EQ(Events(chat).size(), before + 3);
  EXPECT_EQ(Nicks(chat), (Lines{"me", "@bob"}));

  before = Events(chat).size();
  Feed(":bob!~b@h KICK #c me :bob\r\n");
  EXPECT_EQ(Events(chat).size(), before + 1);
  EXPECT_EQ(Events(chat).back(), "09:05 bob " + Sj(u8" から追放されました。"));
  EXPECT_EQ(EventColor(chat, static_cast<int>(before)), clGreen);
  EXPECT_EQ(Nicks(chat), Lines{});
  EXPECT_FALSE(chat.Joined);
  EXPECT_TRUE(chat.TopicMode);
  EXPECT_EQ(chat.Topic, "t");
  EXPECT_EQ(chat.BanMaskList, (Lines{"m!*@*"}));

  TChatForm& again = Joined("#c");
  EXPECT_EQ(&again, &chat);
  Feed(":bob!~b@h KICK #c me :flood\r\n");
  EXPECT_EQ(Events(chat).back(), "        " + Sj(u8"理由は ") + "flood");
  EXPECT_EQ(EventColor(chat, static_cast<int>(Events(chat).size()) - 1), clGreen);
}

TEST_F(ChannelHandlersTest, ChannelModes) {
  TChatForm& chat = Channel("#c", "me alice @bob carol");
  const std::size_t events = Events(chat).size();

  Feed(":x!~x@h MODE #c +o-o alice bob\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"me", "@alice", "bob", "carol"}));
  EXPECT_EQ(NickColors(chat), (std::vector<QColor>{clGreen, clRed, clBlack, clBlack}));
  // "v" takes nothing: "carol" becomes a mode string, so carol stays.
  Feed(":x!~x@h MODE #c +ov me carol\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"@me", "@alice", "bob", "carol"}));
  EXPECT_EQ(chat.NickColorAt(0), clGreen);
  EXPECT_TRUE(chat.ChannelOperator1->isEnabled());
  EXPECT_TRUE(chat.SpeechMode);
  Feed(":x!~x@h MODE #c -o me\r\n");
  EXPECT_EQ(chat.NickAt(0), "me");
  EXPECT_EQ(chat.NickColorAt(0), clGreen);
  EXPECT_FALSE(chat.ChannelOperator1->isEnabled());
  Feed(":x!~x@h MODE #c +o ALICE\r\n");  // already "@alice": not found as ALICE
  Feed(":x!~x@h MODE #c -o nobody\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"me", "@alice", "bob", "carol"}));

  Feed(":x!~x@h MODE #c +k secret\r\n");
  EXPECT_TRUE(chat.KeyWordMode);
  EXPECT_EQ(chat.KeyWord, "secret");
  // "-k" takes no key: the key text is read as modes of its own.
  Feed(":x!~x@h MODE #c -k +tn\r\n");
  EXPECT_FALSE(chat.KeyWordMode);
  EXPECT_EQ(chat.KeyWord, "");
  EXPECT_TRUE(chat.TopicMode && chat.MessageMode);

  Feed(":x!~x@h MODE #c +b *!*@bad.example\r\n");
  Feed(":x!~x@h MODE #c +b x!*@*\r\n");
  Feed(":x!~x@h MODE #c -b *!*@other\r\n");
  EXPECT_EQ(chat.BanMaskList, (Lines{"*!*@bad.example", "x!*@*"}));
  Feed(":x!~x@h MODE #c -b *!*@BAD.example\r\n");
  EXPECT_EQ(chat.BanMaskList, (Lines{"x!*@*"}));

  Feed(":x!~x@h MODE #c +l 10\r\n");
  EXPECT_TRUE(chat.LimitMode);
  EXPECT_EQ(chat.LimitNumber, 10);
  Feed(":x!~x@h MODE #c +l x\r\n");
  EXPECT_FALSE(chat.LimitMode);
  EXPECT_EQ(chat.LimitNumber, 0);
  Feed(":x!~x@h MODE #c +l 7\r\n");
  Feed(":x!~x@h MODE #c -l\r\n");
  EXPECT_FALSE(chat.LimitMode);
  EXPECT_EQ(chat.LimitNumber, 0);

  Feed(":x!~x@h MODE #c +psim\r\n");
  EXPECT_TRUE(chat.PrivateMode && chat.SecretMode && chat.InviteMode && chat.ModeratedMode);
  Feed(":x!~x@h MODE #c -ps+z-im\r\n");
  EXPECT_FALSE(chat.PrivateMode || chat.SecretMode || chat.InviteMode || chat.ModeratedMode);
  EXPECT_EQ(Events(chat).size(), events);  // no mode change is shown

  // Other windows are not touched.
  TChatForm& other = Channel("#d", "me");
  Feed(":x!~x@h MODE #c +t\r\n");
  Feed(":x!~x@h MODE #nowhere +t\r\n");
  EXPECT_FALSE(other.TopicMode);
}

TEST_F(ChannelHandlersTest, UserModes) {
  TGlobals& g = Globals();
  Feed(":me MODE me :+i-w\r\n");
  EXPECT_TRUE(g.InvisibleMode);
  EXPECT_FALSE(g.NoticeMode || g.WallOpsMode || g.IrcOpeMode);
  Feed(":me MODE me :+w\r\n");  // a change, not the whole set: i stays
  EXPECT_TRUE(g.InvisibleMode && g.WallOpsMode);
  Feed(":me MODE me \r\n");  // no mode text: nothing changes
  EXPECT_TRUE(g.InvisibleMode && g.WallOpsMode);
  Feed(":me MODE me -i\r\n");
  EXPECT_FALSE(g.InvisibleMode || g.NoticeMode || g.IrcOpeMode);
  EXPECT_TRUE(g.WallOpsMode);
  Feed(":srv 221 me +so\r\n");  // the reply is the whole set
  EXPECT_TRUE(g.NoticeMode && g.IrcOpeMode);
  EXPECT_FALSE(g.InvisibleMode || g.WallOpsMode);
  // Another nickname is a channel name, not the user.
  Feed(":me MODE ME +i\r\n");
  EXPECT_FALSE(g.InvisibleMode);
}

TEST_F(ChannelHandlersTest, RequestedNamesListing) {
  TChatForm& chat = Channel("#c", "me alice");
  TGlobals& g = Globals();
  g.NamesRequested = true;
  Feed(":irc.test 353 me = #c :@a b c d e\r\n");
  Feed(":irc.test 353 me * &SERVERS :irc.test\r\n");
  Feed(":irc.test 353 me * #x :f\r\n");
  const std::string pad(8, ' ');
  auto cell = [](const std::string& Name) { return Name + std::string(16 - Name.size(), ' '); };
  auto* listing = form->findChild<TListNamesWhoForm*>();
  ASSERT_NE(listing, nullptr);
  EXPECT_EQ(listing->Lines(),
            (Lines{Sj(u8"チャンネル名： ") + "#c", pad + cell("@a") + cell("b") + cell("c") + cell("d") + "e",
                   Sj(u8"チャンネル名： ") + "#x", pad + "f"}));
  EXPECT_FALSE(listing->isVisible());
  EXPECT_EQ(Nicks(chat), (Lines{"me", "alice"}));  // no channel window is touched
  Feed(":irc.test 366 me * :End of NAMES list.\r\n");
  EXPECT_FALSE(g.NamesRequested);
  EXPECT_TRUE(listing->isVisible());
  EXPECT_EQ(listing->Caption(), Sj(u8"ニックネームのリスト"));

  Feed(":irc.test 353 me = #c :@a b\r\n");
  EXPECT_EQ(Nicks(chat), (Lines{"@a", "b"}));
  EXPECT_EQ(listing->Lines().size(), 4u);
  Feed(":irc.test 366 me #c :End\r\n");
  EXPECT_FALSE(g.NamesRequested);
}

TEST_F(ChannelHandlersTest, ShortLinesChangeNothing) {
  Channel("#c", "me alice @bob");
  TTalkForm* talk = form->OpenTalkWindow("alice,bob");
  talk->AddNick("alice");
  Globals().InvisibleMode = true;
  Sent.clear();
  const Snapshot before = Take();

  for (const char* line : {":a!b@c JOIN :\r\n", ":a!b@c JOIN \r\n", "JOIN :\r\n", ":a!b@c PART \r\n",
                           ":a!b@c PART :#c\r\n", ":a KICK #c\r\n", ":a KICK \r\n", "KICK #c \r\n",
                           ":a MODE #c\r\n", ":a MODE \r\n", ":a MODE #c :\r\n", ":a MODE me \r\n",
                           ":s 353 me\r\n", ":s 353 \r\n", ":s 353 me = \r\n", ":s 366 \r\n", "NICK x\r\n",
                           ":a!b@c NICK :\r\n", ":a!b@c NICK \r\n", "QUIT :bye\r\n", ":server QUIT :bye\r\n",
                           ":a!b@c TOPIC \r\n", ":a!b@c TOPIC :#c\r\n", ":s 331 me\r\n", ":s 331 \r\n",
                           ":s 332 me\r\n", ":s 332 \r\n", ":a!b@c INVITE me\r\n", ":a!b@c INVITE \r\n",
                           ":a!b@c INVITE me :#c\r\n", ":a KICK\r\n"}) {
    Feed(line);
    EXPECT_TRUE(Take() == before) << line;
  }
  EXPECT_TRUE(Sent.empty());
}

TEST_F(ChannelHandlersTest, JoinPartAndKickKeepTheLast256Lines) {
  TChatForm& chat = Joined("#c");
  for (int i = 0; i < 300; ++i) Feed(":u" + std::to_string(i) + "!x@h JOIN #c\r\n");
  Lines lines = chat.RecvLines();
  ASSERT_EQ(lines.size(), 256u);
  EXPECT_EQ(lines.back(), "09:05 u299" + Sj(u8" がチャンネルへ入室しました。"));
  EXPECT_EQ(lines.front(), "09:05 u44" + Sj(u8" がチャンネルへ入室しました。"));
  Feed(":u1!x@h PART #c u1\r\n");
  Feed(":me!x@h KICK #c u2 :r\r\n");
  EXPECT_EQ(chat.RecvLines().size(), 256u);
  EXPECT_EQ(chat.RecvLineColor(255), clGreen);
  // A quit is not trimmed.
  Feed(":u3!x@h QUIT :q\r\n");
  EXPECT_EQ(chat.RecvLines().size(), 257u);
}
