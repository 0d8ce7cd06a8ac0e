// The PRIVMSG and NOTICE handlers on a real main window, fed server lines.
#include <QColor>
#include <QLineEdit>
#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

const std::string Version = "Tavi Version  for Windows";  // the fixture's program file has no version

// A window's event pane after its date line.
template <class TForm>
Lines Events(const TForm* Form) {
  Lines lines = Form->RecvLines();
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

std::string Received(const std::string& Nick, const std::string& Query) {
  return "09:05 " + Nick + Sj(u8" から ") + Query + Sj(u8" コマンドを受信しました。");
}

class MessageHandlersTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    Globals().CurrentNick = "me";
  }

  TChatForm* Channel(const std::string& Name, const Lines& Members = {}) {
    TChatForm* chat = form->OpenChannelWindow(Name);
    for (const std::string& member : Members) chat->AddNickLine(member);
    return chat;
  }

  std::vector<TTalkForm*> TalkWindows() const {
    std::vector<TTalkForm*> talks;
    for (TMdiChildForm* child : form->ChildWindows())
      if (auto* talk = qobject_cast<TTalkForm*>(child)) talks.push_back(talk);
    return talks;
  }
};

TEST_F(MessageHandlersTest, RefusedNicksGetNothingAtAll) {
  Globals().RecieveDenyList = {"x", "Bob"};
  Globals().NoticeMode = true;
  TChatForm* chat = Channel("#c", {"bob"});
  Feed(":BOB!b@h PRIVMSG me :\x01VERSION\x01\r\n");
  Feed(":bOb!b@h PRIVMSG me :hello\r\n");
  Feed(":bob!b@h PRIVMSG #c :hello\r\n");
  Feed(":bob!b@h NOTICE me :hello\r\n");
  Feed(":BOB!b@h NOTICE #c :hello\r\n");
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(MemoLines().empty());
  EXPECT_TRUE(Events(chat).empty());
  EXPECT_EQ(form->ChildWindows().size(), 1u);

  // The list is compared whole: a nick that only starts the same passes.
  Feed(":bobby!b@h PRIVMSG #c :hi\r\n");
  EXPECT_EQ(Events(chat), Lines{"09:05 [bobby] hi"});
}

TEST_F(MessageHandlersTest, QueriesAreLoggedAndAnswered) {
  GrobalArea().LoginName = "tavi";
  GrobalArea().HostName = "pc.example.jp";
  const std::string refused = Version + Sj(u8" ではサポートしていません。") + "\x01\r\n";
  struct TCase {
    std::string Text, Query, Reply;
  };
  const std::vector<TCase> cases = {
      {"\x01PING 0123 456\x01", "PING", "NOTICE bob :\x01PING 0123 456\x01\r\n"},
      {"\x01VERSION\x01", "VERSION", "NOTICE bob :\x01VERSION " + Version + "\x01\r\n"},
      {"\x01USERINFO\x01", "USERINFO", "NOTICE bob :\x01" + Sj(u8"USERINFO 現在サポートしていません。") + "\x01\r\n"},
      {"\x01" "FINGER\x01", "FINGER", "NOTICE bob :\x01" "FINGER tavi@pc.example.jp\x01\r\n"},
      {"\x01" "CLIENTINFO\x01", "CLIENTINFO", "NOTICE bob :\x01" "CLIENTINFO PING TIME FINGER VERSION\x01\r\n"},
      {"\x01TIME\x01", "TIME", "NOTICE bob :\x01TIME " + Sj(u8"2006年1月2日 月曜日") + " 09 : 05 \x01\r\n"},
      // Exact words only: a lower-case query is refused by its own name.
      {"\x01ping 1\x01", "ping", "NOTICE bob :\x01ping " + refused},
      {"\x01\x01", "", "NOTICE bob :\x01 " + refused},
  };
  Lines memo;
  for (const TCase& c : cases) {
    Sent.clear();
    platform.Tick += 1000;  // well inside the reply rate
    Feed(":bob!b@h PRIVMSG me :" + c.Text + "\r\n");
    EXPECT_EQ(Sent, Lines{c.Reply}) << c.Query;
    memo.push_back(Received("bob", c.Query));
  }
  EXPECT_EQ(MemoLines(), memo);
  EXPECT_TRUE(form->ChildWindows().empty());  // never shown as messages
}

TEST_F(MessageHandlersTest, QueryToAChannelIsAnsweredToTheSender) {
  TChatForm* chat = Channel("#c", {"bob"});
  Feed(":bob!b@h PRIVMSG #c :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent, (Lines{"NOTICE bob :\x01VERSION " + Version + "\x01\r\n"}));
  EXPECT_EQ(MemoLines(), (Lines{Received("bob", "VERSION")}));
  EXPECT_TRUE(Events(chat).empty());
  EXPECT_EQ(form->ChildWindows().size(), 1u);
}

TEST_F(MessageHandlersTest, DccQueryIsLoggedButNotRefused) {
  Feed(":bob!b@h PRIVMSG me :\x01" "DCC CHAT chat 3232235786 7000\x01\r\n");
  EXPECT_EQ(MemoLines(), Lines{Received("bob", "DCC")});
  EXPECT_TRUE(Sent.empty());
  // The offer is put to the user after the line (declined here by the empty
  // answer queue), never inside its handling.
  EXPECT_TRUE(platform.Questions.empty());
  Settle();
  ASSERT_EQ(platform.Questions.size(), 1u);
  EXPECT_NE(platform.Questions[0].find("bob"), std::string::npos);
}

TEST_F(MessageHandlersTest, OneDccQuestionAtATime) {
  // While the question is open, lines are still handled: more offers are
  // refused in the server log, PINGs answered.
  std::vector<std::string> during;
  platform.WhileAsking = [&] {
    Feed(":carol!c@h PRIVMSG me :\x01" "DCC SEND f 3232235786 7000 10\x01\r\n");
    Feed("PING :srv\r\n");
    during = Sent;
  };
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC CHAT chat 3232235786 7000\x01\r\n");
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_EQ(during, Lines{"PONG srv\r\n"});
  EXPECT_EQ(MemoLines().back(), "09:05 carol" + Sj(u8" からの DCC ") + "SEND" +
                                    Sj(u8" の要求は、ほかの要求に答えるまで受け付けません。"));
  // Answered: the next offer is asked again.
  platform.WhileAsking = nullptr;
  FeedAndSettle(":carol!c@h PRIVMSG me :\x01" "DCC CHAT chat 3232235786 7000\x01\r\n");
  EXPECT_EQ(platform.Questions.size(), 2u);
}

TEST_F(MessageHandlersTest, BurstOfQueriesIsRationed) {
  for (int i = 0; i < 5; ++i) Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent.size(), 3u);
  EXPECT_EQ(MemoLines().size(), 5u);

  platform.Tick += 1999;
  Feed(":carol!c@h PRIVMSG me :\x01PING 7\x01\r\n");
  EXPECT_EQ(Sent.size(), 3u);  // the limit is for all senders together
  platform.Tick += 1;
  Feed(":carol!c@h PRIVMSG me :\x01PING 7\x01\r\n");
  ASSERT_EQ(Sent.size(), 4u);
  EXPECT_EQ(Sent[3], "NOTICE carol :\x01PING 7\x01\r\n");
  EXPECT_EQ(MemoLines().size(), 7u);

  // The window slides on across the wrap of the 32-bit tick.
  platform.Tick = 0xFFFFFFFFu - 100;
  for (int i = 0; i < 4; ++i) Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent.size(), 7u);
  platform.Tick = 1898;  // 1999 ms later
  Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent.size(), 7u);
  platform.Tick = 1899;
  Feed(":bob!b@h PRIVMSG me :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent.size(), 8u);
  EXPECT_EQ(MemoLines().size(), 13u);
}

TEST_F(MessageHandlersTest, PrivateMessageOpensATalkWindowOnce) {
  Feed(":bob!b@h PRIVMSG me :hello\r\n");
  std::vector<TTalkForm*> talks = TalkWindows();
  ASSERT_EQ(talks.size(), 1u);
  TTalkForm* talk = talks[0];
  EXPECT_EQ(talk->Caption(), "bob");
  EXPECT_EQ(Events(talk), Lines{"09:05 [bob] hello"});
  EXPECT_EQ(talk->NickNames(), Lines{"bob"});
  EXPECT_EQ(talk->MemberList, Lines{"bob"});

  // The same nick in another case finds it and is not listed twice.
  Feed(":BOB!b@h PRIVMSG me :again\r\n");
  EXPECT_EQ(TalkWindows().size(), 1u);
  EXPECT_EQ(Events(talk), (Lines{"09:05 [bob] hello", "09:05 [BOB] again"}));
  EXPECT_EQ(talk->NickNames(), Lines{"bob"});
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(MemoLines().empty());
}

TEST_F(MessageHandlersTest, AFloodOfSendersOpensTenTalkWindowsAMinute) {
  for (int i = 0; i < 12; ++i) Feed(":s" + std::to_string(i) + "!u@h PRIVMSG me :hi\r\n");
  EXPECT_EQ(TalkWindows().size(), 10u);
  EXPECT_EQ(MemoLines(), (Lines{"09:05 [s10] hi", "09:05 [s11] hi"}));
  // Known senders still reach their windows; a minute later new ones open.
  Feed(":s3!u@h PRIVMSG me :again\r\n");
  EXPECT_EQ(Events(TalkWindows()[3]).back(), "09:05 [s3] again");
  platform.Tick += 60000;
  Feed(":s12!u@h PRIVMSG me :hi\r\n");
  EXPECT_EQ(TalkWindows().size(), 11u);
}

TEST_F(MessageHandlersTest, PrivateMessageFindsAMemberListCaption) {
  // A channel window with the nick as caption is not a conversation.
  TChatForm* chat = Channel("dave");
  TTalkForm* group = form->OpenTalkWindow("carol,Dave");
  group->AddNick("carol");
  Feed(":dave!d@h PRIVMSG me :hi\r\n");
  Feed(":DAVE!d@h PRIVMSG me :hi again\r\n");
  EXPECT_EQ(TalkWindows().size(), 1u);
  EXPECT_EQ(Events(group), (Lines{"09:05 [dave] hi", "09:05 [DAVE] hi again"}));
  EXPECT_EQ(group->NickNames(), (Lines{"carol", "dave"}));
  EXPECT_TRUE(Events(chat).empty());

  // Without a "," the caption must be the nick, not merely contain it.
  TTalkForm* single = form->OpenTalkWindow("erinx");
  Feed(":erin!e@h PRIVMSG me :yo\r\n");
  EXPECT_TRUE(Events(single).empty());
  ASSERT_EQ(TalkWindows().size(), 3u);
  EXPECT_EQ(TalkWindows()[2]->Caption(), "erin");

  // A message to someone else's nick is not private: no channel, dropped.
  Feed(":frank!f@h PRIVMSG Me :hi\r\n");
  EXPECT_EQ(form->ChildWindows().size(), 4u);
}

TEST_F(MessageHandlersTest, ChannelMessagesNeedTheExactCaption) {
  TChatForm* chat = Channel("#Chan");
  Feed(":bob!b@h PRIVMSG #Chan :hi all\r\n");
  Feed(":bob!b@h PRIVMSG #chan :wrong case\r\n");
  Feed(":bob!b@h PRIVMSG #none :no window\r\n");
  Feed(":bob!b@h PRIVMSG #Chan :\r\n");  // empty text is a plain message
  EXPECT_EQ(Events(chat), (Lines{"09:05 [bob] hi all", "09:05 [bob] "}));
  EXPECT_EQ(chat->RecvLineColor(1), clBlack);
  EXPECT_EQ(chat->RecvLineColor(2), clBlack);
  EXPECT_EQ(form->ChildWindows().size(), 1u);
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(MemoLines().empty());
}

TEST_F(MessageHandlersTest, PanesKeepTheirLast256Lines) {
  TChatForm* chat = Channel("#c");
  for (int i = 0; i < 300; ++i) {
    Feed(":bob!b@h PRIVMSG #c :" + std::to_string(i) + "\r\n");
    Feed(":bob!b@h PRIVMSG me :" + std::to_string(i) + "\r\n");
  }
  const Lines channel = chat->RecvLines();
  ASSERT_EQ(channel.size(), 256u);
  EXPECT_EQ(channel.front(), "09:05 [bob] 44");
  EXPECT_EQ(channel.back(), "09:05 [bob] 299");
  ASSERT_EQ(TalkWindows().size(), 1u);
  const Lines talk = TalkWindows()[0]->RecvLines();
  ASSERT_EQ(talk.size(), 256u);
  EXPECT_EQ(talk.back(), "09:05 [bob] 299");
}

TEST_F(MessageHandlersTest, NoticeToTheUserGoesToEveryWindowListingTheSender) {
  TChatForm* plain = Channel("#a", {"carol", "BOB"});
  TChatForm* op = Channel("#b", {"@bob"});
  TChatForm* other = Channel("#c", {"carol", "bobby"});
  Feed(":bob!b@h PRIVMSG me :first\r\n");
  TTalkForm* talk = TalkWindows().at(0);
  TTalkForm* stranger = form->OpenTalkWindow("bob,carol");  // lists nobody yet

  Feed(":bob!b@h NOTICE me :note\r\n");
  for (TChatForm* chat : {plain, op}) {
    EXPECT_EQ(Events(chat), Lines{"09:05 [bob] note"}) << chat->Caption();
    EXPECT_EQ(chat->RecvLineColor(1), clBlack);
  }
  EXPECT_TRUE(Events(other).empty());
  EXPECT_EQ(Events(talk), (Lines{"09:05 [bob] first", "09:05 [bob] note"}));
  EXPECT_TRUE(Events(stranger).empty());

  // To a channel: only that window, whoever is listed.
  Feed(":zed!z@h NOTICE #c :to the channel\r\n");
  EXPECT_EQ(Events(other), Lines{"09:05 [zed] to the channel"});
  EXPECT_EQ(Events(plain).size(), 1u);

  // Nobody lists the sender and notice mode is off: dropped.
  Feed(":zed!z@h NOTICE me :lost\r\n");
  Feed(":zed!z@h NOTICE #nowhere :lost\r\n");
  EXPECT_EQ(form->ChildWindows().size(), 5u);
  EXPECT_EQ(Events(other).size(), 1u);
  EXPECT_TRUE(Sent.empty());
}

TEST_F(MessageHandlersTest, CtcpRepliesInChannelAndTalkWindows) {
  TChatForm* chat = Channel("#a", {"@bob"});
  TChatForm* other = Channel("#b", {"bob"});
  Feed(":bob!b@h PRIVMSG me :hi\r\n");
  TTalkForm* talk = TalkWindows().at(0);

  // A PING reply shows once, in the window that sent its token.
  chat->NickNameRichEdit->setCurrentRow(0);
  chat->CtcpClick("PING");
  ASSERT_EQ(Sent.size(), 1u);
  EXPECT_EQ(Sent[0], "PRIVMSG bob :\x01PING " + chat->PingToken + "\x01\r\n");
  Sent.clear();
  chat->PingSentTime = 1000;
  platform.Tick = 1250;
  Feed(":bob!b@h NOTICE me :\x01PING " + chat->PingToken + "\x01\r\n");
  EXPECT_EQ(chat->PingReplyTime, 1250u);
  Feed(":bob!b@h NOTICE me :\x01version Tavi 2.0 for Windows\x01\r\n");
  // Without a space there is no reply word: shown plain, closing SOH kept.
  Feed(":bob!b@h NOTICE me :\x01VERSION\x01\r\n");

  EXPECT_EQ(Events(chat), (Lines{"09:05 [bob] PING 250" + Sj(u8" ミリ秒です。"),
                                 "09:05 [bob] VERSION Tavi 2.0 for Windows", "09:05 [bob] VERSION\x01"}));
  EXPECT_EQ(chat->RecvLineColor(1), clBlue);
  EXPECT_EQ(chat->RecvLineColor(2), clBlue);
  EXPECT_EQ(chat->RecvLineColor(3), clBlack);
  EXPECT_EQ(Events(other), (Lines{"09:05 [bob] VERSION Tavi 2.0 for Windows", "09:05 [bob] VERSION\x01"}));
  EXPECT_EQ(Events(talk), (Lines{"09:05 [bob] hi", "09:05 [bob] Tavi 2.0 for Windows", "09:05 [bob] VERSION\x01"}));
  EXPECT_TRUE(MemoLines().empty());

  // The token answered already, or one no window sent: the server log, with
  // no round trip.
  for (const std::string& token : {chat->PingToken, std::string("424242")}) {
    Feed(":bob!b@h NOTICE me :\x01PING " + token + "\x01\r\n");
    EXPECT_EQ(MemoLines().back(), "09:05 [bob] PING " + token);
  }
  EXPECT_EQ(Events(chat).size(), 3u);

  // The round trip is an unsigned 32-bit difference.
  chat->PingToken = "1";
  chat->PingSentTime = 0xFFFFFF00u;
  platform.Tick = 0x100;
  Feed(":bob!b@h NOTICE me :\x01PING 1\x01\r\n");
  EXPECT_EQ(Events(chat).back(), "09:05 [bob] PING 512" + Sj(u8" ミリ秒です。"));
  EXPECT_TRUE(Sent.empty());
}

TEST_F(MessageHandlersTest, ActionsShowWhereSaidAndAreNeverAnswered) {
  TChatForm* chat = Channel("#a", {"bob"});
  Feed(":bob!b@h PRIVMSG #a :\x01" "ACTION waves\x01\r\n");
  Feed(":bob!b@h PRIVMSG me :\x01" "ACTION nods\x01\r\n");
  EXPECT_EQ(Events(chat), (Lines{"09:05 * bob waves"}));
  EXPECT_EQ(chat->RecvLineColor(1), clBlue);
  ASSERT_EQ(TalkWindows().size(), 1u);
  TTalkForm* talk = TalkWindows()[0];
  EXPECT_EQ(Events(talk), (Lines{"09:05 * bob nods"}));
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(MemoLines().empty());

  // "/me" typed in a channel or talk window goes out as an ACTION.
  struct {
    TMdiChildForm* window;
    QLineEdit* edit;
    std::function<void()> enter;
    std::string sent;
  } typed[] = {
      {chat, chat->SendEdit, [&] { chat->SendEditKeyDown(Qt::Key_Return); }, "PRIVMSG #a :\x01" "ACTION smiles\x01\r\n"},
      {talk, talk->SendEdit, [&] { talk->SendEditKeyDown(Qt::Key_Return); }, "PRIVMSG bob :\x01" "ACTION smiles\x01\r\n"},
  };
  for (auto& t : typed) {
    Sent.clear();
    t.edit->setText(QStringLiteral("/me smiles"));
    t.enter();
    EXPECT_EQ(Sent, Lines{t.sent});
  }
  EXPECT_EQ(Events(chat).back(), "09:05 * me smiles");
  EXPECT_EQ(chat->RecvLineColor(2), clBlue);
  EXPECT_EQ(Events(talk).back(), "09:05 * me smiles");
}

TEST_F(MessageHandlersTest, NoticeModeOpensATalkWindowForUnclaimedNotices) {
  Globals().NoticeMode = true;
  Feed(":irc.test NOTICE me :*** first\r\n");
  ASSERT_EQ(TalkWindows().size(), 1u);
  TTalkForm* server = TalkWindows()[0];
  EXPECT_EQ(server->Caption(), "");
  EXPECT_EQ(server->MemberList, Lines{""});
  Feed(":irc.test NOTICE me :*** second\r\n");
  EXPECT_EQ(TalkWindows().size(), 1u);
  EXPECT_EQ(Events(server), (Lines{"09:05 [] *** first", "09:05 [] *** second"}));

  // A notice that a window took opens nothing.
  TChatForm* chat = Channel("#a", {"bob"});
  Feed(":bob!b@h NOTICE me :seen\r\n");
  EXPECT_EQ(TalkWindows().size(), 1u);
  EXPECT_EQ(Events(chat), Lines{"09:05 [bob] seen"});
  Feed(":zed!z@h NOTICE me :\x01VERSION x\x01\r\n");
  ASSERT_EQ(TalkWindows().size(), 2u);
  EXPECT_EQ(TalkWindows()[1]->Caption(), "zed");
  EXPECT_EQ(Events(TalkWindows()[1]), Lines{"09:05 [zed] x"});
}

TEST_F(MessageHandlersTest, ShortLinesCrashNothing) {
  Globals().NoticeMode = false;
  Channel("#c", {"a"});
  for (const char* line : {":a!b@c PRIVMSG\r\n", ":a!b@c PRIVMSG #c\r\n", ":a!b@c NOTICE me\r\n",
                           ":a!b@c PRIVMSG \r\n", ":a!b@c NOTICE \r\n", "PRIVMSG me :\x01\r\n",
                           ":a!b@c NOTICE me :\x01\r\n", ":a!b@c NOTICE me :\x01 \r\n", ":! PRIVMSG me :\x01\r\n"})
    Feed(line);
  // Only the two bare SOH queries are answered, each with an empty word.
  EXPECT_EQ(Sent, (Lines{"NOTICE  :\x01 " + Version + Sj(u8" ではサポートしていません。") + "\x01\r\n",
                         "NOTICE  :\x01 " + Version + Sj(u8" ではサポートしていません。") + "\x01\r\n"}));
}

}  // namespace
