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
#include "kanji/WireText.h"
#include "core/ChatLog.h"
#include "core/ConnectionOptions.h"

#include <QDir>
#include <QFile>
#include <iconv.h>

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
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05" + U8(u8" チャンネルへ入室しました。")));

  TRawIrcPeer peer;
  ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
  ASSERT_TRUE(peer.Register("peer"));
  peer.Send("JOIN #tavi\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Lists(chat, "peer"); }));
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05 peer" + U8(u8" がチャンネルへ入室しました。")));

  // Talk in the channel both ways; the client sends JIS as chosen.
  peer.Send("PRIVMSG #tavi :hello there\r\n");
  ASSERT_TRUE(PumpUntil([&] { return HasLine(chat->RecvLines(), "09:05 [peer] hello there"); }));
  Grobal().JISChoice = true;
  chat->SendEdit->setText(QString::fromUtf8("こんにちは"));
  chat->SendEditKeyDown(Qt::Key_Return);
  const std::string said = peer.WaitFor("PRIVMSG #tavi");
  EXPECT_NE(said.find(":\x1B$B$3$s$K$A$O\x1B(B\r\n"), std::string::npos) << said;
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05 [tavi] " + U8(u8"こんにちは")));

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
    if (line == "09:05 peer" + U8(u8" から ") + "VERSION" + U8(u8" コマンドを受信しました。")) logged = true;
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
    if (line.rfind("09:05 peer2" + U8(u8" が IRC を終了しました。"), 0) == 0 && line.find("bye now") != std::string::npos)
      quitLine = true;
  EXPECT_TRUE(quitLine);

  // Leaving: PART is confirmed by the server and the window stays.
  chat->PartClick();
  ASSERT_TRUE(PumpUntil([&] { return !chat->Channel()->Joined; }));
  EXPECT_EQ(chat->NickCount(), 0);
  EXPECT_TRUE(HasLine(chat->RecvLines(), "09:05" + U8(u8" チャンネルから退室しました。")));
}

// Whether glibc's ISO-2022-JP reads Bytes whole, as irssi and WeeChat do.
bool IconvReadsJis(std::string Bytes) {
  iconv_t cd = iconv_open("UTF-8", "ISO-2022-JP");
  char out[2048];
  char* in = Bytes.data();
  char* o = out;
  std::size_t inLeft = Bytes.size(), outLeft = sizeof out;
  const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  return ok;
}

TEST_F(ConversationEndToEndTest, EveryEncodingReadsRightIsLoggedExactlyAndAnswersGoInTheChannelsOwn) {
  QDir(TChatLog::DefaultFolder()).removeRecursively();
  SaveConnectionOptions(TConnectionOptions::With(false, true, true));
  Connection().ReloadOptions();
  ASSERT_NE(session->ChatLog(), nullptr);
  const std::string jisName = EncodeWire(U8(u8"#日本語"), TWireEncoding::Jis);
  const std::string utf8Name = U8(u8"#日本語");
  Grobal().UTF8Choice = true;
  for (const std::string& name : {std::string("#mix"), jisName, utf8Name}) Connection().SendWire("JOIN " + name + "\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Connection().Channels().size() == 3; }));
  // The same text in JIS and in UTF-8 names two channels, and two windows.
  EXPECT_EQ(form->findChildren<TChatForm*>().size(), 3);
  TChannel* jisChannel = Connection().FindChannel(jisName);
  ASSERT_TRUE(jisChannel && jisChannel != Connection().FindChannel(utf8Name));

  struct Peer {
    const char* Nick;
    std::string Said;  // as the peer's client writes it
    std::string Shown;
  } said[] = {
      {"jis", "\x1B$B4A;z$G$9\x1B(B \x1B(I6@6E\x1B(B", U8(u8"漢字です ｶﾀｶﾅ")},
      {"sjis", "\x87\x40\x87\x8A \xB6\xC0\xB6\xC5", U8(u8"①㈱ ｶﾀｶﾅ")},
      {"utf", U8(u8"漢字 😀 café 한국어 Ελληνικά"), U8(u8"漢字 😀 café 한국어 Ελληνικά")},
  };
  std::vector<std::unique_ptr<TRawIrcPeer>> peers;
  for (const Peer& p : said) {
    peers.push_back(std::make_unique<TRawIrcPeer>());
    ASSERT_TRUE(peers.back()->Connect(TNgircdServer::Host(), server.Port()));
    ASSERT_TRUE(peers.back()->Register(p.Nick));
    peers.back()->Send("JOIN #mix," + jisName + "," + utf8Name + "\r\n");
    ASSERT_FALSE(peers.back()->WaitFor(" 366 ").empty());
  }
  TChatForm* mix = Channel("#mix");
  for (std::size_t i = 0; i < peers.size(); ++i) {
    peers[i]->Send("PRIVMSG #mix :" + said[i].Said + "\r\n");
    const std::string line = "09:05 [" + std::string(said[i].Nick) + "] " + said[i].Shown;
    ASSERT_TRUE(PumpUntil([&] { return HasLine(mix->RecvLines(), line); })) << line;
  }

  // The answer in #mix goes in UTF-8, what its last speaker wrote in.
  mix->SendEdit->setText(QString::fromUtf8("どうも 😀"));
  mix->SendEditKeyDown(Qt::Key_Return);
  EXPECT_NE(peers[2]->WaitFor(U8(u8"PRIVMSG #mix :どうも 😀\r\n")).rfind(":tavi!", 0), std::string::npos);

  // In the JIS channel JIS cannot hold the emoji: the user is asked, and
  // the line goes as ISO-2022-JP that glibc reads whole.
  peers[0]->Send("PRIVMSG " + jisName + " :" + said[0].Said + "\r\n");
  TChatForm* jisWindow = nullptr;
  for (TChatForm* chat : form->findChildren<TChatForm*>())
    if (chat->Channel() == jisChannel) jisWindow = chat;
  ASSERT_NE(jisWindow, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return HasLine(jisWindow->RecvLines(), "09:05 [jis] " + said[0].Shown); }));
  platform.ChoiceAnswers = {1};
  jisWindow->SendEdit->setText(QString::fromUtf8("了解 😀 ①ｶﾅ"));
  jisWindow->SendEditKeyDown(Qt::Key_Return);
  ASSERT_EQ(platform.ChoiceLists.size(), 1u);
  EXPECT_NE(platform.Questions.back().find(U8(u8"😀")), std::string::npos);
  const std::string jisLine = peers[0]->WaitFor("PRIVMSG " + jisName + " :\x1B$BN;");
  const std::string text = jisLine.substr(jisLine.find(" :", jisLine.find("PRIVMSG")) + 2);
  EXPECT_EQ(text, "\x1B$BN;2r\x1B(B \x1B$B\".\x1B(B (1)\x1B$B%+%J\x1B(B\r\n");
  EXPECT_TRUE(IconvReadsJis(text));

  // The log holds each line as it was shown, in UTF-8.
  form.reset();
  session.reset();
  QFile log(TChatLog(TChatLog::DefaultFolder())
                .FilePath(QString::fromStdString(TNgircdServer::Host()), QStringLiteral("#mix"), platform.Now()));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << log.fileName().toStdString();
  const QString logged = QString::fromUtf8(log.readAll());
  for (const Peer& p : said)
    EXPECT_TRUE(logged.contains(QText("09:05 [" + std::string(p.Nick) + "] " + p.Shown))) << p.Shown;
}
