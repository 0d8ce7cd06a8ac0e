// The session core against real IRCv3 servers: SASL logins on inspircd with
// anope, and a bouncer's playback through ZNC.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <thread>
#include <string>

#include "AnopeServices.h"
#include "CoreFixture.h"
#include "InspircdServer.h"
#include "NgircdServer.h"
#include "QtWait.h"
#include "RawIrcPeer.h"
#include "TlsIdentity.h"
#include "ZncBouncer.h"
#include "core/ConnectionOptions.h"
#include "core/Networks.h"
#include "platform/Platform.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class Ircv3EndToEndTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    Connection().SetLineSink(nullptr);  // the lines go to the server
  }
  static TNetwork Network(const std::string& Nick, std::uint16_t Port, bool Tls = false) {
    TNetwork network;
    network.Name = "ircv3";
    network.Servers = {{"127.0.0.1", Port, Tls, ""}};
    network.Nick = Nick;
    network.LoginName = Nick;
    network.RealName = "Taro";
    network.HostName = "host";
    network.Encoding = TWireEncoding::Utf8;
    network.Reconnect = false;
    return network;
  }
  // Connects and waits until registered, or until the connection is over.
  bool ConnectAndSettle(const TNetwork& Network) {
    Connection().UseNetwork(Network);
    Connection().Connect();
    return PumpUntil([&] {
      return Connection().State() == TConnectionState::Registered ||
             (Connection().State() == TConnectionState::Idle && !Connection().Connecting());
    }, 15000);
  }
  bool LogHas(const std::string& Text) {
    const Lines events = Of(recorder->Events, "log ");
    return std::ranges::any_of(events, [&](const std::string& Line) { return Line.find(Text) != std::string::npos; });
  }
};

TEST_F(Ircv3EndToEndTest, SaslLogsInFailsAsTheNetworkSaysAndShowsACertificate) {
  std::string error;
  TInspircdServer server;
  ASSERT_TRUE(server.Start({.Services = true, .Tls = true}, error)) << error;
  TAnopeServices services;
  ASSERT_TRUE(services.Start(server, error)) << error;
  const TTlsIdentity identity = MakeSelfSignedIdentity("taro");
  ASSERT_TRUE(services.RegisterAccount("taro", "secret12", error, identity.Fingerprint)) << error;
  QTemporaryDir folder;
  ASSERT_TRUE(WriteIdentityFiles(identity, folder.path().toStdString()));
  PinFingerprint("127.0.0.1", server.TlsPort(), server.TlsFingerprint());

  struct TCase {
    const char* Name;
    TSaslLogin Login;
    bool Tls;
    bool Registered;
    const char* Said;
  };
  const TCase cases[] = {
      {"right password", {TSaslMechanism::Plain, "taro", "secret12", true}, false, true, "SASL でログインしました。"},
      {"wrong password, go on", {TSaslMechanism::Plain, "taro", "wrong", false}, false, true,
       "ログインせずに続けます。"},
      {"wrong password, end", {TSaslMechanism::Plain, "taro", "wrong", true}, false, false, "接続を終えます。"},
      {"certificate", {TSaslMechanism::External, "", "", true}, true, true, "SASL でログインしました。"},
  };
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    recorder->Events.clear();
    TNetwork network = Network("taro" + std::to_string(++n), c.Tls ? server.TlsPort() : server.Port(), c.Tls);
    network.Sasl = c.Login;
    if (c.Tls) {
      network.ClientCertFile = (folder.path() + QStringLiteral("/cert.pem")).toStdString();
      network.ClientKeyFile = (folder.path() + QStringLiteral("/key.pem")).toStdString();
    }
    ASSERT_TRUE(ConnectAndSettle(network));
    EXPECT_EQ(Connection().State() == TConnectionState::Registered, c.Registered);
    EXPECT_TRUE(LogHas(c.Said)) << ::testing::PrintToString(recorder->Events);
    if (c.Registered) {
      EXPECT_TRUE(Connection().Caps().Enabled("server-time"));
      EXPECT_TRUE(Connection().Caps().Enabled("multi-prefix"));
    } else {
      // Told in a box as well, and not tried again.
      EXPECT_FALSE(Of(recorder->Events, "message ").empty());
      EXPECT_FALSE(Connection().Reconnecting());
    }
    Connection().Close();
    PumpUntil([&] { return Connection().State() == TConnectionState::Idle; });
  }
}

// "hh:nn" of a moment as the test platform's clock (UTC) shows it.
std::string StampOf(std::int64_t UtcMs) {
  return QDateTime::fromMSecsSinceEpoch(UtcMs, Qt::UTC).toString(QStringLiteral("hh:mm")).toStdString();
}

TEST_F(Ircv3EndToEndTest, ABouncersPlaybackShowsTheTimesLinesWereSaid) {
  std::string error;
  TZncOnNgircd servers;
  ASSERT_TRUE(servers.Start(error)) << error;
  TRawIrcPeer& peer = servers.Peer;
  const std::int64_t said = QDateTime::currentMSecsSinceEpoch();
  peer.Send("PRIVMSG #tavi :said before you came\r\nPING :sync\r\n");
  ASSERT_FALSE(peer.WaitFor("PONG").empty());
  // The bouncer takes the line from its server in its own time.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  // The test clock stands still at another time: a line stamped when it was
  // shown would carry that time.
  TNetwork network = Network("tavi", servers.Znc.Port());
  network.Servers.front().Password = TZncBouncer::LoginPassword();
  ASSERT_TRUE(ConnectAndSettle(network));
  ASSERT_EQ(Connection().State(), TConnectionState::Registered);
  EXPECT_TRUE(Connection().Caps().Enabled("server-time"));
  EXPECT_TRUE(Connection().Caps().Enabled("batch"));
  std::string shown;
  ASSERT_TRUE(PumpUntil([&] {
    for (const std::string& event : recorder->Events)
      if (event.find("said before you came") != std::string::npos) shown = event;
    return !shown.empty();
  }, 5000));
  const std::string stamp = TimeStamp(platform.Now());
  ASSERT_NE(StampOf(said), stamp) << "the test clock stands at the real time";
  // The test clock's day is another: the line carries its date as well.
  EXPECT_TRUE(shown.starts_with("#tavi talk ")) << shown;
  EXPECT_TRUE(shown.find(" " + StampOf(said) + " [peer]") != std::string::npos ||
              shown.find(" " + StampOf(said + 1000) + " [peer]") != std::string::npos)
      << shown;
  // Marked as history, in a block of its own.
  const Lines channel = Of(recorder->Events, "#tavi ");
  const auto mark = std::ranges::find_if(channel, [](const std::string& Line) {
    return Line.find(U8(u8"――― 履歴 ―――")) != std::string::npos;
  });
  ASSERT_NE(mark, channel.end()) << ::testing::PrintToString(recorder->Events);
  EXPECT_LT(mark - channel.begin(), std::ranges::find(channel, shown) - channel.begin());
  Connection().Close();
}

// On a server with the capabilities: ranks of several letters, members
// going away, and the user's own lines shown once, as the server echoes them.
TEST_F(Ircv3EndToEndTest, RanksAwayMembersAndEchoedLinesFollowTheServer) {
  std::string error;
  TInspircdServer server;
  ASSERT_TRUE(server.Start({}, error)) << error;
  TRawIrcPeer bob;
  ASSERT_TRUE(bob.Connect(server.Host(), server.Port()));
  ASSERT_TRUE(bob.Register("bob"));
  bob.Send("JOIN #room\r\nMODE #room +v bob\r\n");
  ASSERT_FALSE(bob.WaitFor("MODE #room +v").empty());

  ASSERT_TRUE(ConnectAndSettle(Network("taro", server.Port())));
  ASSERT_EQ(Connection().State(), TConnectionState::Registered);
  for (const char* cap : {"multi-prefix", "away-notify", "echo-message", "userhost-in-names"})
    EXPECT_TRUE(Connection().Caps().Enabled(cap)) << cap;
  Connection().SendLine("JOIN #room\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Connection().FindChannel("#room") && Members("#room").find("bob") != std::string::npos; }));
  TChannel& room = *Connection().FindChannel("#room");
  const auto bobMember = [&] { return room.Members.At(room.Members.Find("bob")); };
  EXPECT_EQ(bobMember().Ranks, "@+");
  EXPECT_EQ(bobMember().Host, "127.0.0.1");

  bob.Send("AWAY :lunch\r\n");
  ASSERT_TRUE(PumpUntil([&] { return bobMember().Away; }));
  EXPECT_EQ(bobMember().AwayMessage, "lunch");

  recorder->Events.clear();
  Connection().Say(room, "echoed once");
  ASSERT_FALSE(bob.WaitFor("PRIVMSG #room :echoed once").empty());
  ASSERT_TRUE(PumpUntil([&] { return !Of(recorder->Events, "#room ").empty(); }));
  PumpUntil([] { return false; }, 300);  // a second line would come by now
  const Lines shown = Of(recorder->Events, "#room ");
  ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
  EXPECT_NE(shown[0].find("[taro] echoed once"), std::string::npos) << shown[0];
  Connection().Close();
}

}  // namespace
