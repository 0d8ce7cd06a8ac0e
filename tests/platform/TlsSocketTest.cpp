// The blocking socket's TLS mode against a TLS server of the test's own.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "ScriptedServer.h"
#include "TlsIdentity.h"
#include "platform/BlockingSocket.h"

namespace tavi {
namespace {

using test::TScriptedServer;
using TVerdict = TTlsCheck::TVerdict;
using TFailure = TTlsCheck::TFailure;

std::string ReadUntil(TBlockingSocket& Socket, std::size_t Count) {
  std::string Got;
  char Buffer[127];
  while (Got.size() < Count && Socket.WaitForData(5000) == TBlockingSocket::TWait::Data) {
    const long N = Socket.Read(Buffer, sizeof Buffer);
    if (N <= 0) break;
    Got.append(Buffer, static_cast<std::size_t>(N));
  }
  return Got;
}

TEST(TlsSocketTest, SelfSignedCertificateIsUntrustedWithItsFingerprintAndCarriesBytesExactly) {
  const test::TTlsIdentity identity = test::MakeSelfSignedIdentity();
  TScriptedServer server;
  server.StartTls(identity);
  // JIS escapes, a zero-free binary mix and more than one read's worth.
  std::string bytes = "PRIVMSG #a :\x1B$B$\"$$\x1B(B \x82\xA0\xE3\x81\x82\r\n";
  for (int i = 0; i < 40; ++i) bytes += std::string(100, static_cast<char>('a' + i % 26)) + "\r\n";
  server.Send(bytes);
  auto echoed = server.ReadLine();

  TBlockingSocket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), 5000));
  const TTlsCheck check = socket.StartTls("127.0.0.1", 5000);
  EXPECT_EQ(check.Verdict, TVerdict::Untrusted);
  EXPECT_EQ(check.Fingerprint, identity.Fingerprint);
  EXPECT_FALSE(check.Reason.empty());
  EXPECT_TRUE(socket.Tls());

  EXPECT_EQ(ReadUntil(socket, bytes.size()), bytes);
  // The raw calls of the file transfer refuse rather than bypass TLS.
  char scrap[8];
  EXPECT_EQ(socket.ReadAvailable(scrap, sizeof scrap), -1);
  EXPECT_EQ(socket.WriteSome("x", 1), -1);
  EXPECT_EQ(socket.ErrorCode(), EOPNOTSUPP);
  const std::string line = "NICK \x1B$B$\"\x1B(B\r\n";
  ASSERT_TRUE(socket.WriteAll(line));
  EXPECT_EQ(echoed.get(), line);
  EXPECT_TRUE(server.Error().empty()) << server.Error();

  // A wait is woken by an interrupt, as on a plain connection.
  socket.Interrupt();
  EXPECT_EQ(socket.WaitForData(5000), TBlockingSocket::TWait::Interrupted);
  socket.Close();
  EXPECT_FALSE(socket.Tls());
}

TEST(TlsSocketTest, EndOfStreamReadsAsZero) {
  TScriptedServer server;
  server.StartTls(test::MakeSelfSignedIdentity());
  server.Send("bye\r\n");
  server.CloseClient();
  TBlockingSocket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), 5000));
  ASSERT_EQ(socket.StartTls("127.0.0.1", 5000).Verdict, TVerdict::Untrusted);
  EXPECT_EQ(ReadUntil(socket, 5), "bye\r\n");
  char buffer[16];
  ASSERT_EQ(socket.WaitForData(5000), TBlockingSocket::TWait::Data);
  EXPECT_EQ(socket.Read(buffer, sizeof buffer), 0);
}

TEST(TlsSocketTest, HandshakeFailuresSayWhy) {
  struct TCase {
    const char* Name;
    void (*Script)(TScriptedServer&);
    TFailure Expected;
  };
  const TCase cases[] = {
      {"plain IRC server", [](TScriptedServer& S) { S.Send(":irc.example NOTICE * :*** Looking up your hostname\r\n"); },
       TFailure::NotTls},
      {"server closes", [](TScriptedServer& S) { S.CloseClient(); }, TFailure::Closed},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedServer server;
    server.WaitAccepted(0);
    c.Script(server);
    TBlockingSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port(), 5000));
    const TTlsCheck check = socket.StartTls("127.0.0.1", 5000);
    EXPECT_EQ(check.Verdict, TVerdict::Failed);
    EXPECT_EQ(check.Failure, c.Expected);
    EXPECT_FALSE(check.Reason.empty());
  }
  // A silent server: the handshake gives up at its time-out.
  TScriptedServer silent;
  TBlockingSocket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", silent.Port(), 5000));
  EXPECT_EQ(socket.StartTls("127.0.0.1", 50).Failure, TFailure::Timeout);
}

}  // namespace
}  // namespace tavi
