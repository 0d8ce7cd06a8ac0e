// The client in a channel on a real IRC server (ngircd), with a second client
// written in the test that joins, talks, queries and leaves.
#include <QComboBox>
#include <QLineEdit>

#include "MainFormFixture.h"
#include "NgircdServer.h"
#include "QtWait.h"
#include "RawIrcPeer.h"
#include "conversation/Channel.h"
#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "kanji/Kanji.h"

using namespace tavi;
using namespace tavi::test;

namespace {

bool HasLine(const std::vector<std::string>& Lines, const std::string& Line) {
  return std::find(Lines.begin(), Lines.end(), Line) != Lines.end();
}

// Waits for what the client answers; the client's window runs meanwhile.
std::string Answer(TRawIrcPeer& Peer, const std::string& Needle) {
  std::string line;
  PumpUntil([&] { return !(line = Peer.WaitFor(Needle, 20)).empty(); }, 8000);
  return line;
}

bool Lists(TChatForm* Channel, const std::string& Nick) { return Channel && Channel->FindNick(Nick) >= 0; }

class ConversationEndToEndTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TMainForm& f = MakeForm(false);
    Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {},
                               std::to_string(server.Port())};
    ASSERT_TRUE(ConnectAndWait(f));
    ASSERT_TRUE(PumpUntil([&] { return f.ServerDisConnect->isEnabled(); }, 10000)) << f.StatusText();
  }

  TChatForm* Channel(const std::string& Name) { return qobject_cast<TChatForm*>(form->FindChildWindow(Name)); }

  TNgircdServer server;
};

}  // namespace

TEST_F(ConversationEndToEndTest, APeerJoinsTalksQueriesAndLeaves) {
  // Join through the dialog, as the user does.
  form->JoinClick();
  auto* join = form->findChild<TChannelForm*>();
  ASSERT_NE(join, nullptr);
  join->ChannelComboBox->setCurrentText(QStringLiteral("#tavi"));
  join->OKButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return Channel("#tavi") && Channel("#tavi")->Channel()->Joined; }));
  TChatForm* chat = Channel("#tavi");
  ASSERT_TRUE(PumpUntil([&] { return Lists(chat, "@tavi"); }));  // the 353 names, operator as creator
  EXPECT_EQ(chat->NickColorAt(chat->FindNick("@tavi")), clGreen);
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05" + Sj(u8" チャンネルへ入室しました。")));

  TRawIrcPeer peer;
  ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
  ASSERT_TRUE(peer.Register("peer"));
  peer.Send("JOIN #tavi\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Lists(chat, "peer"); }));
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05 peer" + Sj(u8" がチャンネルへ入室しました。")));

  // Talk in the channel both ways; the client sends JIS as chosen.
  peer.Send("PRIVMSG #tavi :hello there\r\n");
  ASSERT_TRUE(PumpUntil([&] { return HasLine(chat->RecvLines(), "09:05 [peer] hello there"); }));
  Grobal().JISChoice = true;
  chat->SendEdit->setText(QString::fromUtf8("こんにちは"));
  chat->SendEditKeyDown(Qt::Key_Return);
  const std::string said = peer.WaitFor("PRIVMSG #tavi");
  EXPECT_NE(said.find(":\x1B$B$3$s$K$A$O\x1B(B\r\n"), std::string::npos) << said;
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05 [tavi] " + Sj(u8"こんにちは")));

  // A private message opens a talk window; a notice shows where peer is listed.
  peer.Send("PRIVMSG tavi :just you\r\n");
  ASSERT_TRUE(PumpUntil([&] { return form->FindChildWindow("peer") != nullptr; }));
  auto* talk = qobject_cast<TTalkForm*>(form->FindChildWindow("peer"));
  ASSERT_NE(talk, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return HasLine(talk->RecvLines(), "09:05 [peer] just you"); }));
  peer.Send("NOTICE tavi :a notice\r\n");
  ASSERT_TRUE(PumpUntil([&] { return HasLine(chat->RecvLines(), "09:05 [peer] a notice"); }));
  EXPECT_TRUE(HasLine(talk->RecvLines(), "09:05 [peer] a notice"));

  // CTCP queries are answered to the peer and logged.
  peer.Send("PRIVMSG tavi :\x01VERSION\x01\r\n");
  const std::string version = Answer(peer, "NOTICE peer :\x01VERSION ");

  EXPECT_NE(version.find("\x01VERSION " + session->VersionText + "\x01"), std::string::npos) << version;
  peer.Send("PRIVMSG tavi :\x01PING 12345\x01\r\n");
  EXPECT_FALSE(Answer(peer, "NOTICE peer :\x01PING 12345\x01").empty());
  peer.Send("PRIVMSG tavi :\x01" "CLIENTINFO\x01\r\n");
  EXPECT_FALSE(Answer(peer, "NOTICE peer :\x01" "CLIENTINFO PING TIME FINGER VERSION\x01").empty());
  bool logged = false;
  for (const std::string& line : MemoLines())
    if (line == "09:05 peer" + Sj(u8" から ") + "VERSION" + Sj(u8" コマンドを受信しました。")) logged = true;
  EXPECT_TRUE(logged);

  // A nick change renames the member and the talk window; a quit removes him.
  peer.Send("NICK peer2\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Lists(chat, "peer2"); }));
  EXPECT_FALSE(Lists(chat, "peer"));
  EXPECT_EQ(talk->Caption(), "peer2");
  peer.Send("QUIT :bye now\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !Lists(chat, "peer2"); }));
  // ngircd relays the reason quoted.
  bool quitLine = false;
  for (const std::string& line : chat->RecvLines())
    if (line.rfind("09:05 [peer2 ] ", 0) == 0 && line.find("bye now") != std::string::npos) quitLine = true;
  EXPECT_TRUE(quitLine);

  // Leaving: PART is confirmed by the server and the window stays.
  chat->PartClick();
  ASSERT_TRUE(PumpUntil([&] { return !chat->Channel()->Joined; }));
  EXPECT_EQ(chat->NickCount(), 0);
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05" + Sj(u8" チャンネルから退室しました。")));
}

TEST_F(ConversationEndToEndTest, ThreeCodesReadAlikeAndUtf8MeetsUtf8InAJapaneseChannel) {
  const std::string Sentence = Sj(u8"日本語のテキストです。①");
  const auto Utf8 = [](std::u8string_view Text) { return std::string(reinterpret_cast<const char*>(Text.data()), Text.size()); };
  Grobal().UTF8Choice = true;
  for (const char8_t* Name : {u8"#mix", u8"#日本語"}) {
    form->JoinClick();
    auto* join = form->findChild<TChannelForm*>();
    ASSERT_NE(join, nullptr);
    join->ChannelComboBox->setCurrentText(QString::fromUtf8(reinterpret_cast<const char*>(Name)));
    join->OKButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return Channel(Sj(Name)) && Channel(Sj(Name))->Channel()->Joined; })) << Utf8(Name);
  }

  TRawIrcPeer peer;
  ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
  ASSERT_TRUE(peer.Register("peer"));
  peer.Send("JOIN #mix," + Utf8(u8"#日本語") + "\r\n");
  TChatForm* mix = Channel("#mix");
  TChatForm* japanese = Channel(Sj(u8"#日本語"));
  ASSERT_TRUE(PumpUntil([&] { return Lists(mix, "peer") && Lists(japanese, "peer"); }));

  // One sentence as three clients send it; the window shows it three times alike.
  peer.Send("PRIVMSG #mix :" + SjisToJis(Sentence) + "\r\n");
  peer.Send("PRIVMSG #mix :" + Sentence + "\r\n");
  peer.Send("PRIVMSG #mix :" + Utf8(u8"日本語のテキストです。①") + "\r\n");
  peer.Send("PRIVMSG #mix :done\r\n");
  ASSERT_TRUE(PumpUntil([&] { return HasLine(mix->RecvLines(), "09:05 [peer] done"); }));
  const std::vector<std::string> lines = mix->RecvLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "09:05 [peer] " + Sentence), 3);

  // What the user types reaches the UTF-8 peer in the same Japanese-named channel.
  japanese->SendEdit->setText(QString::fromUtf8("こんにちは"));
  japanese->SendEditKeyDown(Qt::Key_Return);
  const std::string said = peer.WaitFor("PRIVMSG " + Utf8(u8"#日本語 :こんにちは\r\n"));
  EXPECT_EQ(said.rfind(":tavi!", 0), 0u) << said;
}
