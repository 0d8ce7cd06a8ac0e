// The IRCv3 servers of the end-to-end tests, seen from a raw client: inspircd
// with anope offers what a modern network offers and logs in over SASL; ZNC
// plays back what was said before a client attached, at its original time.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "AnopeServices.h"
#include "InspircdServer.h"
#include "NgircdServer.h"
#include "RawIrcPeer.h"
#include "TlsIdentity.h"
#include "ZncBouncer.h"

using namespace tavi;
using namespace tavi::test;

namespace {

// The numeric that ends a SASL exchange (903 success, 904 failure, ...),
// past the 900 "logged in as" that precedes a success.
std::string SaslOutcome(TRawIrcPeer& Peer) {
  for (;;) {
    const std::string line = Peer.WaitFor(" 90");
    if (line.empty() || line.find(" 900 ") == std::string::npos) return line;
  }
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The time tag of a line in milliseconds since the epoch; -1 without one.
std::int64_t TimeTagMs(const std::string& Line) {
  const std::size_t at = Line.find("time=");
  if (Line.rfind('@', 0) != 0 || at == std::string::npos) return -1;
  const std::string value = Line.substr(at + 5, Line.find_first_of("; ", at) - at - 5);
  const QDateTime time = QDateTime::fromString(QString::fromStdString(value), Qt::ISODateWithMs);
  return time.isValid() ? time.toMSecsSinceEpoch() : -1;
}

}  // namespace

TEST(Ircv3ServersTest, InspircdWithAnopeOffersCapabilitiesAndSasl) {
  std::string error;
  TInspircdServer server;
  ASSERT_TRUE(server.Start({.Services = true, .Tls = true}, error)) << error;
  TAnopeServices services;
  ASSERT_TRUE(services.Start(server, error)) << error;
  // With a certificate for SASL EXTERNAL, which raw clients cannot show.
  ASSERT_TRUE(services.RegisterAccount("alice", "secret12", error, MakeSelfSignedIdentity("alice").Fingerprint))
      << error;

  TBlockingSocket tls;
  ASSERT_TRUE(tls.Connect(server.Host(), server.TlsPort(), 5000));
  EXPECT_EQ(tls.StartTls(server.Host(), 5000).Fingerprint, server.TlsFingerprint());

  TRawIrcPeer peer;
  ASSERT_TRUE(peer.Connect(server.Host(), server.Port()));
  peer.Send("CAP LS 302\r\n");
  const std::string reply = peer.WaitFor(" CAP * LS :");
  const std::string ls = " " + reply.substr(reply.find(" LS :") + 5);
  for (const char* cap : {" sasl=", "PLAIN", " server-time", " batch", " echo-message", " multi-prefix", " away-notify",
                          " account-notify", " extended-join", " chghost", " message-tags", " userhost-in-names",
                          " setname", " cap-notify", " invite-notify", " account-tag", " labeled-response"})
    EXPECT_NE(ls.find(cap), std::string::npos) << cap << " not in" << ls;

  const struct {
    const char* Password;
    const char* Outcome;
  } logins[] = {{"secret12", " 903 "}, {"wrong", " 904 "}};
  int n = 0;
  for (const auto& login : logins) {
    SCOPED_TRACE(login.Password);
    TRawIrcPeer client;
    ASSERT_TRUE(client.Connect(server.Host(), server.Port()));
    const std::string nick = "sasl" + std::to_string(++n);
    client.Send("CAP REQ :sasl\r\nNICK " + nick + "\r\nUSER " + nick + " 0 * :Sasl\r\n");
    ASSERT_FALSE(client.WaitFor(" ACK :sasl").empty());
    client.Send("AUTHENTICATE PLAIN\r\n");
    ASSERT_FALSE(client.WaitFor("AUTHENTICATE ").empty());
    const std::string plain = std::string("alice\0alice\0", 12) + login.Password;
    client.Send("AUTHENTICATE " + QByteArray::fromStdString(plain).toBase64().toStdString() + "\r\n");
    EXPECT_NE(SaslOutcome(client).find(login.Outcome), std::string::npos);
  }
}

TEST(Ircv3ServersTest, ZncPlaysBackEarlierLinesAtTheirTime) {
  std::string error;
  TZncOnNgircd servers;
  ASSERT_TRUE(servers.Start(error)) << error;
  TRawIrcPeer& peer = servers.Peer;
  TZncBouncer& znc = servers.Znc;
  const std::int64_t before = NowMs();
  peer.Send("PRIVMSG #tavi :first line\r\nPRIVMSG #tavi :second line\r\n");
  // The server has relayed both lines to ZNC once it answers what followed.
  peer.Send("PING :sync\r\n");
  ASSERT_FALSE(peer.WaitFor("PONG").empty());
  const std::int64_t after = NowMs();
  // Time enough that a line stamped at playback is told from one stamped
  // when it was said.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  TRawIrcPeer client;
  ASSERT_TRUE(client.Connect(znc.Host(), znc.Port()));
  client.Send("CAP LS 302\r\nCAP REQ :server-time batch\r\nPASS " + TZncBouncer::LoginPassword() +
              "\r\nNICK tavi\r\nUSER tavi 0 * :Tavi\r\nCAP END\r\n");
  ASSERT_FALSE(client.WaitFor(" znc.in/playback #tavi").empty());
  for (const char* text : {"first line", "second line"}) {
    const std::string line = client.WaitFor(std::string("PRIVMSG #tavi :") + text);
    EXPECT_NE(line.find("batch="), std::string::npos) << line;
    const std::int64_t time = TimeTagMs(line);
    EXPECT_GE(time, before) << line;
    EXPECT_LE(time, after + 100) << line;
  }
}
