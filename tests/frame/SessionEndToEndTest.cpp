// The client against a real IRC server (ngircd) on a free loopback port,
// with a second client written in the test.
#include <QApplication>
#include <QFile>
#include <tuple>

#include "GhostRelay.h"
#include "MainFormFixture.h"
#include "NgircdServer.h"
#include "QtWait.h"
#include "RawIrcPeer.h"
#include "conversation/Chat.h"
#include "core/ConnectionOptions.h"
#include "core/ChatLog.h"
#include "core/Session.h"
#include "core/TypedCommands.h"
#include "dialogs/AwayCmd.h"
#include "frame/WindowList.h"
#include "platform/Platform.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class SessionEndToEndTest : public MainFormFixture {
 protected:
  void StartServer(const TNgircdServer::TOptions& Options = {}) {
    std::string error;
    ASSERT_TRUE(server.Start(Options, error)) << error;
  }
  void ConnectClient(TMainForm& f) {
    Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {},
                               std::to_string(server.Port())};
    ASSERT_TRUE(ConnectAndWait(f));
    ASSERT_TRUE(f.Connection().SocketActive());
    ASSERT_TRUE(PumpUntil([&] { return f.ServerDisConnect->isEnabled(); }, 10000)) << f.StatusText();
  }
  TNgircdServer server;
};

}  // namespace

TEST_F(SessionEndToEndTest, RegistersShowsTheMotdAndQuits) {
  StartServer();
  TMainForm& f = MakeForm(false);
  ConnectClient(f);
  EXPECT_EQ(Own().CurrentNick, "tavi");
  EXPECT_TRUE(f.Command1->isEnabled());
  EXPECT_TRUE(f.JOINSpeedButton->isEnabled());
  bool motd = false;
  for (const std::string& line : MemoLines())
    if (line.find("Welcome to the Tavi test server") != std::string::npos) motd = true;
  EXPECT_TRUE(motd);
  for (const std::string& line : MemoLines()) EXPECT_EQ(line.substr(0, 6), "09:05 ");

  // A peer on a shared channel sees the QUIT line as the client sent it.
  TRawIrcPeer peer;
  ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
  ASSERT_TRUE(peer.Register("peer"));
  // The peer is in first, so the client's JOIN reaches it as a line.
  peer.Send("JOIN #tavi\r\n");
  ASSERT_FALSE(peer.WaitFor(" 366 ").empty());
  f.Connection().SendLine("JOIN #tavi\r\n");
  ASSERT_FALSE(peer.WaitFor(":tavi!").empty());
  f.Connection().Disconnect();
  // ngircd relays the reason trimmed and quoted.
  const std::string quit = peer.WaitFor(" QUIT ");
  EXPECT_EQ(quit.substr(0, 6), ":tavi!");
  EXPECT_NE(quit.find("Leaving!"), std::string::npos) << quit;
  ASSERT_TRUE(PumpUntil([&] { return f.ServerConnect->isEnabled(); }));
  EXPECT_FALSE(f.ServerDisConnect->isEnabled());
  EXPECT_FALSE(f.Connection().SocketActive());
}

TEST_F(SessionEndToEndTest, AnswersTheServersPingAndStaysConnected) {
  TNgircdServer::TOptions options;
  options.PingTimeout = 2;
  options.PongTimeout = 2;
  StartServer(options);
  TMainForm& f = MakeForm(false);
  ConnectClient(f);
  // Three rounds of ping and pong time-outs: an unanswered PING would have
  // ended the session by now.
  PumpFor(9000);
  EXPECT_TRUE(f.Connection().SocketActive());
  EXPECT_TRUE(f.ServerDisConnect->isEnabled());
  for (const std::string& line : MemoLines()) EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
}

TEST_F(SessionEndToEndTest, RegistersAndTalksOverTlsWithAPinnedCertificate) {
  TNgircdServer::TOptions options;
  options.Tls = true;
  StartServer(options);
  SaveConnectionOptions(TConnectionOptions::With(true, true, false));
  TMainForm& f = MakeForm(false);
  Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {},
                             std::to_string(server.TlsPort())};
  Grobal().JISChoice = true;
  platform.ChoiceAnswers = {1};
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_TRUE(f.Connection().SocketActive()) << f.StatusText();
  ASSERT_EQ(platform.Questions.size(), 1u);
  EXPECT_NE(platform.Questions[0].find(server.TlsFingerprint()), std::string::npos);
  EXPECT_EQ(PinnedFingerprint(TNgircdServer::Host(), server.TlsPort()), server.TlsFingerprint());
  ASSERT_TRUE(PumpUntil([&] { return f.ServerDisConnect->isEnabled(); }, 10000)) << f.StatusText();

  // A plain peer and the TLS client talk in a channel, Japanese both ways.
  TRawIrcPeer peer;
  ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
  ASSERT_TRUE(peer.Register("peer"));
  peer.Send("JOIN #tls\r\n");
  ASSERT_FALSE(peer.WaitFor(" 366 ").empty());
  f.Connection().SendLine("JOIN #tls\r\n");
  ASSERT_FALSE(peer.WaitFor(":tavi!").empty());
  f.Connection().SendLine(U8(u8"PRIVMSG #tls :あ\r\n"));
  EXPECT_NE(peer.WaitFor("PRIVMSG #tls").find(":\x1B$B$\"\x1B(B"), std::string::npos);
  peer.Send("PRIVMSG #tls :\x1B$B$$\x1B(B\r\n");
  ASSERT_TRUE(PumpUntil([&] {
    TChatForm* chat = f.FindChannelWindow("#tls");
    return chat && chat->RecvLines().back() == "09:05 [peer] " + U8(u8"い");
  }));
  f.Connection().Disconnect();
  ASSERT_TRUE(PumpUntil([&] { return f.ServerConnect->isEnabled(); }));
  EXPECT_FALSE(f.Connection().Reconnecting());
}

// After a drop the old session lingers on the server, holding the nick: the
// reconnect registers at once under a stand-in, with no dialog, and takes
// the nick back once the server has timed the ghost out.
TEST_F(SessionEndToEndTest, AReconnectPastAGhostRegistersAtOnceAndTakesTheNickBack) {
  TNgircdServer::TOptions options;
  options.PingTimeout = 2;
  options.PongTimeout = 2;
  StartServer(options);
  TGhostRelay relay(server.Port());
  TMainForm& f = MakeForm(false);
  f.Connection().SetReconnectLimits({200, 1000, 60000, 500});
  Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {}, std::to_string(relay.Port())};
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_TRUE(PumpUntil([&] { return f.Connection().State() == TConnectionState::Registered; }, 10000));
  ASSERT_EQ(Own().CurrentNick, "tavi");

  relay.Cut();
  ASSERT_TRUE(PumpUntil([&] { return f.Connection().Reconnecting(); }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return f.Connection().State() == TConnectionState::Registered; }, 5000))
      << f.StatusText();
  EXPECT_EQ(Own().CurrentNick, "tavi_");
  EXPECT_TRUE(platform.Messages.empty());
  for (QWidget* window : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<TAwayCmdForm*>(window) && window->isVisible());
  // The ghost answers no PING: the server ends it within its two time-outs.
  ASSERT_TRUE(PumpUntil([&] { return Own().CurrentNick == "tavi"; }, 12000));
  EXPECT_EQ(Grobal().NickName1, "tavi");
}

// Two networks at once, the second opened with /connect: a channel of the
// same name on each keeps its lines, members, encoding and log apart, and
// one server stopping and coming back leaves the other working.
TEST_F(SessionEndToEndTest, TwoNetworksKeepTheirChannelsApartAndSurviveEachOthersDrop) {
  StartServer();
  TNgircdServer other;
  std::string error;
  ASSERT_TRUE(other.Start(error)) << error;
  // The first server is reached through a relay, whose port stays the same
  // when the server starts again on another.
  TGhostRelay relay(server.Port());
  SaveConnectionOptions(TConnectionOptions::With(false, true, true));
  TMainForm& f = MakeForm(false);
  Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {}, std::to_string(relay.Port())};
  Grobal().UTF8Choice = true;  // what /connect takes over for the second network
  TConnection& first = f.Connection();
  first.SetReconnectLimits({200, 1000});
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_TRUE(PumpUntil([&] { return first.State() == TConnectionState::Registered; }, 10000));
  first.SendLine("JOIN #early\r\n");
  ASSERT_TRUE(PumpUntil([&] { return f.FindChannelWindow("#early") != nullptr; }));
  RunTypedLine(first, "/connect 127.0.0.1 " + std::to_string(other.Port()), nullptr, nullptr);
  ASSERT_EQ(session->Connections().size(), 2u);
  TConnection& second = *session->Connections()[1];
  Grobal().UTF8Choice = false;
  Grobal().JISChoice = true;  // the first network speaks JIS
  ASSERT_TRUE(PumpUntil([&] { return second.State() == TConnectionState::Registered; }, 10000));
  EXPECT_EQ(second.NetworkName(), "127.0.0.1:" + std::to_string(other.Port()));

  TRawIrcPeer jis, utf8;
  ASSERT_TRUE(jis.Connect(TNgircdServer::Host(), server.Port()) && jis.Register("jisuser"));
  ASSERT_TRUE(utf8.Connect(TNgircdServer::Host(), other.Port()) && utf8.Register("utf8user"));
  jis.Send("JOIN #same\r\n");
  utf8.Send("JOIN #same\r\n");
  ASSERT_FALSE(jis.WaitFor(" 366 ").empty());
  ASSERT_FALSE(utf8.WaitFor(" 366 ").empty());
  first.SendLine("JOIN #same\r\n");
  second.SendLine("JOIN #same\r\n");
  const auto windowOf = [&](TConnection& C) -> TChatForm* {
    for (TMdiChildForm* child : f.ChildWindows())
      if (auto* chat = qobject_cast<TChatForm*>(child); chat && chat->Connection() == &C && chat->Caption() == "#same")
        return chat;
    return nullptr;
  };
  ASSERT_TRUE(PumpUntil([&] { return windowOf(first) && windowOf(second); }, 5000));
  TChatForm* one = windowOf(first);
  TChatForm* two = windowOf(second);
  ASSERT_TRUE(PumpUntil([&] { return one->FindNick("@jisuser") >= 0 && two->FindNick("@utf8user") >= 0; }));
  // Each window says its network, and the list keeps a network's windows together.
  EXPECT_EQ(one->windowTitle(), QStringLiteral("#same [127.0.0.1]"));
  EXPECT_EQ(two->windowTitle(), QText("#same [" + second.NetworkName() + "]"));
  const std::vector<TMdiChildForm*> listed = f.WindowList->Windows();
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0], f.FindChannelWindow("#early"));
  EXPECT_EQ(listed[1], one);
  EXPECT_EQ(listed[2]->Connection(), &second);
  EXPECT_EQ(listed[3], two);
  EXPECT_LT(one->FindNick("@utf8user"), 0);
  EXPECT_LT(two->FindNick("@jisuser"), 0);

  jis.Send("PRIVMSG #same :\x1B$B$\"\x1B(B\r\n");
  utf8.Send(U8(u8"PRIVMSG #same :い\r\n"));
  ASSERT_TRUE(PumpUntil([&] {
    return one->RecvLines().back() == "09:05 [jisuser] " + U8(u8"あ") &&
           two->RecvLines().back() == "09:05 [utf8user] " + U8(u8"い");
  }));
  first.Say(*first.FindChannel("#same"), U8(u8"う"));
  second.Say(*second.FindChannel("#same"), U8(u8"え"));
  EXPECT_NE(jis.WaitFor("PRIVMSG #same").find(":\x1B$B$&\x1B(B"), std::string::npos);
  EXPECT_NE(utf8.WaitFor("PRIVMSG #same").find(U8(u8":え")), std::string::npos);
  for (const auto& [network, line, not_] : {std::tuple{first.NetworkName(), U8(u8"あ"), U8(u8"い")},
                                           std::tuple{second.NetworkName(), U8(u8"い"), U8(u8"あ")}}) {
    session->ChatLog()->Flush();
    QFile log(session->ChatLog()->FilePath(QText(network), QStringLiteral("#same"), Platform().Now()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << log.fileName().toStdString();
    const std::string text = log.readAll().toStdString();
    EXPECT_NE(text.find(line), std::string::npos) << network;
    EXPECT_EQ(text.find(not_), std::string::npos) << network;
  }

  // The first server goes and comes back; the second goes on.
  server.Stop();
  ASSERT_TRUE(PumpUntil([&] { return first.State() != TConnectionState::Registered; }, 5000));
  utf8.Send(U8(u8"PRIVMSG #same :お\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return two->RecvLines().back() == "09:05 [utf8user] " + U8(u8"お"); }));
  EXPECT_EQ(second.State(), TConnectionState::Registered);
  ASSERT_TRUE(server.Start(error)) << error;
  relay.SetServerPort(server.Port());
  ASSERT_TRUE(PumpUntil([&] { return first.State() == TConnectionState::Registered; }, 15000)) << f.StatusText();
  // Joined again, in the window it had.
  ASSERT_TRUE(PumpUntil([&] { return first.FindChannel("#same") && first.FindChannel("#same")->Joined; }, 5000));
  EXPECT_EQ(windowOf(first), one);

  // Closing the second network's server window ends that network and its
  // windows; the first goes on.
  for (TMdiChildForm* child : f.ChildWindows())
    if (child->Connection() == &second && child->objectName() == QStringLiteral("ServerLogForm")) child->close();
  ASSERT_TRUE(PumpUntil([&] { return session->Connections().size() == 1; }));
  EXPECT_FALSE(utf8.WaitFor(" QUIT ").empty());
  EXPECT_EQ(windowOf(first), one);
  for (TMdiChildForm* child : f.ChildWindows()) EXPECT_EQ(child->Connection(), &first) << child->Caption();
}
