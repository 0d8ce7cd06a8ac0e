// What the windows show of reconnecting: a channel window kept across a drop
// and joined again, the buttons while waiting. The policy itself (the waits,
// giving up) is tested on the connection. Scripted servers on loopback.
#include <algorithm>

#include "MainFormFixture.h"
#include "ScriptedServer.h"
#include "conversation/Chat.h"
#include "core/ConnectionOptions.h"
#include "core/DesktopSettings.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class ReconnectTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
  }
  TMainForm& Make(std::uint16_t Port, TConnection::TReconnectLimits Limits = {1, 4}) {
    TMainForm& f = MakeForm(false);
    Grobal() = TGrobalArea{"", "abc", "Taro", "me", "host", "127.0.0.1", {}, std::to_string(Port)};
    f.Connection().SetReconnectLimits(Limits);
    return f;
  }
  // Reads the registration and answers it; the client then sends MODE.
  static void Register(TScriptedServer& Server) {
    Server.ReadLine();
    Server.ReadLine();
    Server.Send(":srv 001 abc :Welcome\r\n:srv 376 abc :End of MOTD\r\n");
    Server.ReadLine();
  }
  bool HasLine(const std::vector<std::string>& Lines, const std::u8string& Part) const {
    return std::any_of(Lines.begin(), Lines.end(),
                       [&](const std::string& L) { return L.find(U8(Part.c_str())) != std::string::npos; });
  }
};

TEST(ReconnectScheduleTest, WaitsDoubleFromFiveSecondsUpToFiveMinutes) {
  const int expected[] = {5, 10, 20, 40, 80, 160, 300, 300, 300};
  for (int attempt = 0; attempt < 9; ++attempt)
    EXPECT_EQ(TConnection::ReconnectDelayMs(attempt, {}), expected[attempt] * 1000) << attempt;
}

TEST_F(ReconnectTest, DropAfterJoinReconnectsRegistersAndRejoinsWithTheKey) {
  TScriptedServer server;
  TMainForm& f = Make(server.Port());
  Register(server);
  server.Send(":abc!u@h JOIN :#chan\r\n:srv MODE #chan +k secret\r\n");
  server.ReadLine();  // MODE #chan
  // A channel left before the drop keeps its window but is not joined again.
  server.Send(":abc!u@h JOIN :#left\r\n");
  auto left = server.ReadLine();  // MODE #left
  server.Send(":abc!u@h PART #left\r\n");
  server.CloseClient();
  server.AcceptNext();
  auto nick = server.ReadLine();
  server.ReadLine();  // USER
  server.Send(":srv 001 abc :Welcome\r\n:srv 376 abc :End of MOTD\r\n");
  auto join = server.ReadLine();
  auto mode = server.ReadLine();
  ASSERT_TRUE(ConnectAndWait(f));

  EXPECT_EQ(Await(left), "MODE #left\r\n");
  EXPECT_EQ(Await(join), "JOIN #chan secret\r\n");
  EXPECT_EQ(Await(mode).rfind("MODE abc", 0), 0u);
  ASSERT_NE(f.FindChannelWindow("#left"), nullptr);
  EXPECT_EQ(Await(nick), "NICK abc\r\n");
  EXPECT_EQ(server.Accepted(), 2);
  EXPECT_FALSE(f.Connection().Reconnecting());
  EXPECT_TRUE(HasLine(MemoLines(), u8"サーバーとの接続が切れました。"));
  TChatForm* chat = f.FindChannelWindow("#chan");
  ASSERT_NE(chat, nullptr);
  EXPECT_TRUE(HasLine(chat->RecvLines(), u8"サーバーに再接続しました。"));

  // The server's JOIN makes the kept window joined again.
  server.Send(":abc!u@h JOIN :#chan\r\n");
  ASSERT_TRUE(PumpUntil([&] { return chat->Channel()->Joined; }));

  // A disconnect the user asks for never reconnects.
  server.ReadLine();  // MODE #chan
  auto quit = server.ReadLine();
  f.Connection().Disconnect();
  EXPECT_EQ(Await(quit), "QUIT :Leaving! \r\n");
  server.CloseClient();
  ASSERT_TRUE(PumpUntil([&] { return !f.Connection().SocketActive() && f.ServerConnect->isEnabled(); }));
  PumpFor(100);
  EXPECT_FALSE(f.Connection().Reconnecting());
  EXPECT_EQ(server.Accepted(), 2);
  // The window stays with its text, its caption marked.
  ASSERT_EQ(f.FindChannelWindow("#chan"), chat);
  EXPECT_TRUE(HasLine(chat->RecvLines(), u8"サーバーに再接続しました。"));
  EXPECT_EQ(StdText(chat->windowTitle()), "#chan" + U8(u8" （未接続）"));
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

TEST_F(ReconnectTest, SilentServerIsPingedThenDroppedAndReconnected) {
  TScriptedServer server;
  TMainForm& f = Make(server.Port(), {60000, 60000});
  TChatClientLimits limits;
  limits.IdlePingMs = 300;
  limits.PingAnswerMs = 100;
  f.Connection().SetConnectionLimits(limits);
  Register(server);
  auto ping = server.ReadLine();
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_EQ(Await(ping), "PING :127.0.0.1\r\n");
  ASSERT_TRUE(PumpUntil([&] { return f.Connection().Reconnecting(); }));
  EXPECT_TRUE(HasLine(MemoLines(), u8"サーバーからの応答がないため"));
  EXPECT_NE(f.StatusText().find(U8(u8"秒後にサーバーへ再接続します。")), std::string::npos);
  EXPECT_TRUE(f.ServerDisConnect->isEnabled());

  // Disconnect while waiting gives it up.
  f.Connection().Disconnect();
  EXPECT_FALSE(f.Connection().Reconnecting());
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
}

TEST_F(ReconnectTest, TurnedOffOrNeverRegisteredDoesNotReconnect) {
  for (const bool registerFirst : {true, false}) {
    SCOPED_TRACE(registerFirst);
    SaveConnectionOptions(TConnectionOptions::With(false, registerFirst ? false : true, false));
    TScriptedServer server;
    TMainForm& f = Make(server.Port());
    if (registerFirst) Register(server);
    server.CloseClient();
    ASSERT_TRUE(ConnectAndWait(f));
    ASSERT_TRUE(PumpUntil([&] { return !f.Connection().SocketActive() && f.ServerConnect->isEnabled(); }));
    PumpFor(50);
    EXPECT_FALSE(f.Connection().Reconnecting());
    EXPECT_EQ(server.Accepted(), 1);
    form.reset();
  }
}

}  // namespace
