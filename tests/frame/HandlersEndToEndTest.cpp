// What ordinary servers do, on a real one (ngircd): no message of the day, a
// names reply over many lines, and a session that keeps going while a DCC
// question waits for the user.
#include <QDialog>
#include <QToolButton>
#include <memory>

#include "MainFormFixture.h"
#include "NgircdServer.h"
#include "QtWait.h"
#include "RawIrcPeer.h"
#include "conversation/Chat.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class HandlersEndToEndTest : public MainFormFixture {
 protected:
  // Starts the server and connects the client as "tavi"; true once the
  // session controls are enabled (registration ended).
  bool Connect(const TNgircdServer::TOptions& Options) {
    std::string error;
    if (!server.Start(Options, error)) {
      ADD_FAILURE() << error;
      return false;
    }
    TMainForm& f = MakeForm(false);
    Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {},
                               std::to_string(server.Port())};
    if (!ConnectAndWait(f)) return false;
    return PumpUntil([&] { return f.ServerDisConnect->isEnabled(); }, 10000);
  }

  std::unique_ptr<TRawIrcPeer> Peer(const std::string& Nick) {
    auto peer = std::make_unique<TRawIrcPeer>();
    EXPECT_TRUE(peer->Connect(TNgircdServer::Host(), server.Port()));
    EXPECT_TRUE(peer->Register(Nick));
    return peer;
  }

  TChatForm* Joined(const std::string& Channel) {
    form->Connection().SendLine("JOIN " + Channel + "\r\n");
    PumpUntil([&] { return form->FindChannelWindow(Channel) && form->FindChannelWindow(Channel)->Channel()->Joined; });
    return form->FindChannelWindow(Channel);
  }

  TNgircdServer server;
};

}  // namespace

TEST_F(HandlersEndToEndTest, AServerWithoutAMessageOfTheDayEndsRegistration) {
  TNgircdServer::TOptions options;
  options.Motd.clear();
  ASSERT_TRUE(Connect(options)) << form->StatusText();
  EXPECT_TRUE(form->JOINSpeedButton->isEnabled());
  bool shown = false;
  for (const std::string& line : MemoLines()) shown = shown || line.find("MOTD") != std::string::npos;
  EXPECT_TRUE(shown);
  EXPECT_TRUE(form->findChildren<QDialog*>().isEmpty());  // no error window
}

TEST_F(HandlersEndToEndTest, ABigChannelShowsEveryMember) {
  ASSERT_TRUE(Connect({}));
  std::vector<std::unique_ptr<TRawIrcPeer>> peers;
  for (int i = 0; i < 119; ++i) {
    peers.push_back(Peer("member" + std::to_string(i)));
    peers.back()->Send("JOIN #big\r\n");
  }
  peers.back()->WaitFor(" 366 ");
  TChatForm* chat = Joined("#big");
  ASSERT_NE(chat, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return chat->NickCount() == 120; })) << chat->NickCount();
  EXPECT_GE(chat->FindNick("tavi"), 0);
  EXPECT_GE(chat->FindNick("@member0"), 0);
  EXPECT_GE(chat->FindNick("member118"), 0);

  // A later NAMES reply replaces the list whole.
  peers[5]->Send("PART #big\r\n");
  ASSERT_TRUE(PumpUntil([&] { return chat->NickCount() == 119; }));
  form->Connection().SendLine("NAMES #big\r\n");
  PumpFor(1000);
  EXPECT_EQ(chat->NickCount(), 119);
  EXPECT_LT(chat->FindNick("member5"), 0);
}

TEST_F(HandlersEndToEndTest, TheSessionGoesOnWhileADccQuestionIsOpen) {
  TNgircdServer::TOptions options;
  options.PingTimeout = 2;
  options.PongTimeout = 3;
  ASSERT_TRUE(Connect(options)) << form->StatusText();
  TChatForm* chat = Joined("#c");
  ASSERT_NE(chat, nullptr);
  auto peer = Peer("peer");
  peer->Send("JOIN #c\r\n");
  ASSERT_TRUE(PumpUntil([&] { return chat->FindNick("peer") >= 0; }));

  // The question stays up for longer than the server waits for a PONG,
  // while the peer talks and offers more (and answers its own PINGs).
  bool heardWhileAsking = false;
  platform.WhileAsking = [&] {
    platform.WhileAsking = nullptr;
    peer->Send("PRIVMSG tavi :\x01" "DCC CHAT chat 2130706433 7001\x01\r\n");
    peer->Send("PRIVMSG #c :still here\r\n");
    for (int i = 0; i < 70; ++i) {
      PumpFor(100);
      peer->WaitFor("\x01none", 1);
    }
    for (const std::string& line : chat->RecvLines())
      heardWhileAsking = heardWhileAsking || line.find("still here") != std::string::npos;
  };
  peer->Send("PRIVMSG tavi :\x01" "DCC CHAT chat 2130706433 7000\x01\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !platform.Questions.empty(); }));
  PumpFor(200);
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_TRUE(heardWhileAsking);
  EXPECT_TRUE(form->Connection().SocketActive());  // the server's PINGs were answered
  bool refused = false;
  for (const std::string& line : MemoLines()) refused = refused || line.find(U8(u8"ほかの要求に答えるまで")) != std::string::npos;
  EXPECT_TRUE(refused);
  peer->Send("PRIVMSG #c :after\r\n");
  EXPECT_TRUE(PumpUntil([&] {
    const auto lines = chat->RecvLines();
    return !lines.empty() && lines.back().find("after") != std::string::npos;
  }));
}
