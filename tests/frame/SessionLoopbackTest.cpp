// The session against a scripted server on 127.0.0.1: real sockets, the real
// receive thread, and the main window.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "MainFormFixture.h"
#include "QtWait.h"
#include "ScriptedServer.h"
#include "core/ConnectionOptions.h"
#include "core/TypedCommands.h"
#include "dialogs/AwayCmd.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class SessionLoopbackTest : public MainFormFixture {
 protected:
  void Configure(std::uint16_t Port) {
    Grobal() = TGrobalArea{"", "abc", "Taro", "me", "host", "127.0.0.1", {}, std::to_string(Port)};
  }
};

}  // namespace

TEST_F(SessionLoopbackTest, RegistersAndBecomesUsableAtTheEndOfTheMotd) {
  TScriptedServer server;
  TMainForm& f = MakeForm(false);
  Configure(server.Port());
  auto nick = server.ReadLine();
  auto user = server.ReadLine();
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_TRUE(f.Connection().SocketActive());
  EXPECT_EQ(f.StatusText(), U8(u8"サーバーへニックネームを送出中です。"));
  EXPECT_FALSE(f.ServerConnect->isEnabled());
  EXPECT_FALSE(f.ConnectSpeedButton->isEnabled());
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
  EXPECT_EQ(nick.get(), "NICK abc\r\n");
  EXPECT_EQ(user.get(), "USER me host 127.0.0.1 :Taro\r\n");

  server.Send(":srv 001 abc_ :Welcome\r\n:srv 375 abc_ :- srv MOTD\r\n:srv 372 abc_ :- hello\r\n");
  server.Send(":srv 376 abc_ :End of MOTD\r\nPING :srv\r\n");
  auto mode = server.ReadLine();
  auto pong = server.ReadLine();
  EXPECT_EQ(Await(mode), "MODE abc_\r\n");
  EXPECT_EQ(Await(pong), "PONG srv\r\n");
  EXPECT_TRUE(f.ServerDisConnect->isEnabled());
  EXPECT_EQ(MemoLines().size(), 3u);
  EXPECT_EQ(f.StatusText(), U8(u8"IRCサーバーとの接続が完了しました。"));

  auto quit = server.ReadLine();
  f.Connection().Disconnect();
  EXPECT_EQ(Await(quit), "QUIT :Leaving! \r\n");
  ASSERT_TRUE(PumpUntil([&] { return !f.Connection().SocketActive() && f.ServerConnect->isEnabled(); }));
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
  EXPECT_FALSE(f.Command1->isEnabled());
  EXPECT_EQ(f.StatusText(), "");
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

// The status bar marks the user away from the server's 306 to its 305, with
// the message of the last AWAY, and never past the end of the connection.
TEST_F(SessionLoopbackTest, TheAwayMarkFollowsTheServer) {
  TScriptedServer server;
  TMainForm& f = MakeForm();
  Configure(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  Feed(":srv 376 abc :End of MOTD\r\n");
  const std::string marked = ":srv 306 abc :You have been marked as being away\r\n";
  const struct {
    std::function<void()> Do;
    std::string Shown;
  } steps[] = {
      {[&] {
         f.AwayCmdClick();
         f.AwayDialog()->AwayMessageEdit->setText(QText(U8(u8"食事中")));
         f.AwayDialog()->OKButton->click();
       },
       ""},
      {[&] { Feed(marked); }, U8(u8"（不在： 食事中）")},
      {[&] { Feed(":srv 305 abc :You are no longer marked as being away\r\n"); }, ""},
      {[&] { RunTypedLine(f.Connection(), U8(u8"/away 会議中"), nullptr, nullptr); }, ""},
      {[&] { Feed(marked); }, U8(u8"（不在： 会議中）")},
      {[&] { f.Connection().Disconnect(); }, ""},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    steps[i].Do();
    EXPECT_EQ(f.AwayLabel->isHidden() ? std::string() : StdText(f.AwayLabel->text()), steps[i].Shown) << "step " << i;
  }
  EXPECT_TRUE(PumpUntil([&] { return f.ServerConnect->isEnabled(); }));
}

TEST_F(SessionLoopbackTest, PasswordGoesFirstAndJisIsSentWhenChosen) {
  TScriptedServer server;
  TMainForm& f = MakeForm(false);
  Configure(server.Port());
  Grobal().Password = "pw";
  Grobal().NickName1 = U8(u8"あ");
  Grobal().JISChoice = true;
  auto pass = server.ReadLine();
  auto nick = server.ReadLine();
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_EQ(pass.get(), "PASS pw\r\n");
  EXPECT_EQ(nick.get(), "NICK \x1B$B$\"\x1B(B\r\n");
}

TEST_F(SessionLoopbackTest, EndOfStreamResetsTheWindow) {
  SaveConnectionOptions(TConnectionOptions::With(false, false, false));  // a drop that is not followed by reconnecting
  TScriptedServer server;
  TMainForm& f = MakeForm(false);
  Configure(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  server.ReadLine();  // NICK
  server.ReadLine();  // USER
  server.Send(":srv 376 abc :End\r\n");
  // The close follows the client's last line, which would otherwise turn it
  // into a reset on its way.
  auto mode = server.ReadLine();
  ASSERT_TRUE(PumpUntil([&] { return f.ServerDisConnect->isEnabled(); }));
  server.CloseClient();
  EXPECT_EQ(mode.get(), "MODE abc\r\n");
  ASSERT_TRUE(PumpUntil([&] { return f.ServerConnect->isEnabled(); }));
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(SessionLoopbackTest, DisconnectFromASilentServerIsImmediate) {
  TScriptedServer server;
  TMainForm& f = MakeForm(false);
  Configure(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_TRUE(server.WaitAccepted());
  const auto start = std::chrono::steady_clock::now();
  f.Connection().Disconnect();
  ASSERT_TRUE(PumpUntil([&] { return f.ServerConnect->isEnabled(); }, 3000));
  // Far below the 60-second wait of a blocking read.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(SessionLoopbackTest, ConnectWhileConnectedClosesWithoutQuit) {
  TScriptedServer first, second;
  TMainForm& f = MakeForm(false);
  Configure(first.Port());
  auto firstNick = first.ReadLine();
  auto firstUser = first.ReadLine();
  auto afterUser = first.ReadLine(2000);
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_EQ(firstNick.get(), "NICK abc\r\n");
  EXPECT_EQ(firstUser.get(), "USER me host 127.0.0.1 :Taro\r\n");

  Configure(second.Port());
  auto secondNick = second.ReadLine();
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_EQ(afterUser.get(), "");  // closed, and no QUIT came
  EXPECT_EQ(secondNick.get(), "NICK abc\r\n");
  EXPECT_TRUE(f.Connection().SocketActive());
  EXPECT_FALSE(f.ServerConnect->isEnabled());
}

TEST_F(SessionLoopbackTest, DisconnectWhileNotConnectedSendsNothing) {
  TMainForm& f = MakeForm(false);
  f.Connection().Disconnect();
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_TRUE(f.ServerConnect->isEnabled());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(SessionLoopbackTest, ARefusedConnectionIsReported) {
  std::uint16_t port = 0;
  {
    TScriptedServer gone;
    port = gone.Port();
  }
  TMainForm& f = MakeForm(false);
  Configure(port);
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_TRUE(f.ServerConnect->isEnabled());
  EXPECT_EQ(f.StatusText(), U8(u8"接続できませんでした：サーバーが接続を拒否しました。　サーバー名：127.0.0.1 : ") +
                                std::to_string(port));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.Messages[0].find(U8(u8"サーバー 127.0.0.1 : ") + std::to_string(port) + U8(u8" に接続できませんでした。")),
            std::string::npos);
}

TEST_F(SessionLoopbackTest, ClosingTheProgramWhileConnectedSendsQuitAndSaves) {
  TScriptedServer server;
  TMainForm& f = MakeForm(false);
  Configure(server.Port());
  auto nick = server.ReadLine();
  auto user = server.ReadLine();
  auto quit = server.ReadLine();
  ASSERT_TRUE(ConnectAndWait(f));
  server.Send(":srv 372 abc :- a line that may arrive while closing\r\n");
  EXPECT_EQ(user.get(), "USER me host 127.0.0.1 :Taro\r\n");
  f.close();
  EXPECT_EQ(quit.get(), "QUIT :Leaving! \r\n");
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(IniPath())));
}

namespace {

struct TStalledCase {
  const char* Name;
  TChatClientLimits Limits;
  const char8_t* Status;  // how the status bar starts
};

class StalledServerTest : public SessionLoopbackTest, public ::testing::WithParamInterface<TStalledCase> {};

TChatClientLimits Lowered(int StallMs, std::size_t MaxQueuedBytes) {
  TChatClientLimits L;
  L.StallMs = StallMs;
  L.MaxQueuedBytes = MaxQueuedBytes;
  return L;
}

}  // namespace

TEST_P(StalledServerTest, SendingNeverWaitsAndTheConnectionIsDropped) {
  TScriptedServer server;  // accepts, never reads
  TMainForm& f = MakeForm(false);
  f.Connection().SetConnectionLimits(GetParam().Limits);
  Configure(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_TRUE(f.Connection().SocketActive());
  // Far more than the kernel buffers of a loopback connection hold.
  const std::string line = "PRIVMSG #a :" + std::string(1000, 'x') + "\r\n";
  for (int i = 0; i < 32 * 1024; ++i) f.Connection().SendLine(line);
  ASSERT_TRUE(PumpUntil([&] { return !f.Connection().SocketActive() && f.ServerConnect->isEnabled(); }, 20000));
  EXPECT_EQ(f.StatusText().rfind(U8(GetParam().Status), 0), 0u) << f.StatusText();
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
  EXPECT_TRUE(platform.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Limits, StalledServerTest,
    ::testing::Values(
        TStalledCase{"Stall", Lowered(300, std::size_t(1) << 30),
                     u8"エラーが発生しました。　サーバーがデータを受け取らないため"},
        TStalledCase{"QueueLimit", Lowered(60000, 256 * 1024),
                     u8"エラーが発生しました。　送信待ちのデータが多すぎるため"}),
    [](const ::testing::TestParamInfo<TStalledCase>& Info) { return std::string(Info.param.Name); });

namespace {

// A listener on 127.0.0.1 whose accept queue is full and that never
// accepts: the kernel drops further SYNs, so a connect to it never ends.
class TFullListener {
 public:
  TFullListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&A), Len) != 0 || ::listen(fd_, 0) != 0) return;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&A), &Len);
    port_ = ntohs(A.sin_port);
    for (int I = 0; I < 3; ++I) {
      const int F = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      ::connect(F, reinterpret_cast<sockaddr*>(&A), sizeof A);
      fillers_.push_back(F);
    }
  }
  ~TFullListener() {
    for (int F : fillers_) ::close(F);
    ::close(fd_);
  }
  std::uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> fillers_;
};

struct TCancelCase {
  const char* Name;
  void (*Cancel)(TMainForm&);
};

class CancelConnectTest : public SessionLoopbackTest, public ::testing::WithParamInterface<TCancelCase> {};

}  // namespace

TEST_P(CancelConnectTest, AConnectThatNeverEndsCanBeCancelled) {
  TFullListener listener;
  ASSERT_NE(listener.Port(), 0);
  TMainForm& f = MakeForm(false);
  Configure(listener.Port());
  f.Connection().Connect();
  // The window keeps running its events while the connect waits.
  PumpFor(300);
  ASSERT_TRUE(f.Connection().Connecting());
  EXPECT_EQ(f.StatusText(), U8(u8"サーバーに接続を試みています。"));
  EXPECT_TRUE(f.ServerDisConnect->isEnabled());
  EXPECT_TRUE(f.DisConnectSpeedButton->isEnabled());

  GetParam().Cancel(f);
  EXPECT_FALSE(f.Connection().Connecting());
  PumpFor(200);
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_TRUE(f.ServerConnect->isEnabled());
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
  EXPECT_EQ(f.StatusText(), "");
  EXPECT_TRUE(platform.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Actions, CancelConnectTest,
    ::testing::Values(TCancelCase{"Disconnect", [](TMainForm& f) { f.Connection().Disconnect(); }},
                      TCancelCase{"DisconnectButton", [](TMainForm& f) { f.DisConnectSpeedButton->click(); }},
                      TCancelCase{"CloseWindow", [](TMainForm& f) { f.close(); }}),
    [](const ::testing::TestParamInfo<TCancelCase>& Info) { return std::string(Info.param.Name); });

TEST_F(SessionLoopbackTest, ASupersededConnectNeverReachesTheWindow) {
  TScriptedServer first, second;
  TMainForm& f = MakeForm(false);
  Configure(first.Port());
  auto firstLine = first.ReadLine(3000);
  // The first connect has surely ended on its thread before its result is
  // looked at; only the second may take effect.
  f.Connection().Connect();
  ASSERT_TRUE(first.WaitAccepted());
  Configure(second.Port());
  auto nick = second.ReadLine();
  f.Connection().Connect();
  ASSERT_TRUE(PumpUntil([&] { return !f.Connection().Connecting(); }));
  EXPECT_EQ(Await(nick), "NICK abc\r\n");
  PumpFor(200);
  EXPECT_TRUE(f.Connection().SocketActive());
  EXPECT_EQ(f.Connection().SocketPort(), int{second.Port()});
  EXPECT_EQ(Await(firstLine), "");  // closed unused
  EXPECT_TRUE(platform.Messages.empty());
}
