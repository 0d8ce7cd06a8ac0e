#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "ScriptedServer.h"
#include "platform/BlockingSocket.h"

namespace tavi {
namespace {

using Clock = std::chrono::steady_clock;
using TWait = TBlockingSocket::TWait;

long long MsSince(Clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

// A loopback listener that the test accepts from by hand.
struct TListener {
  int Fd = -1;
  std::uint16_t Port = 0;
  explicit TListener(int Backlog = 4) {
    Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    if (::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 && ::listen(Fd, Backlog) == 0 &&
        ::getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Len) == 0) {
      Port = ntohs(A.sin_port);
    }
  }
  int Accept(int TimeoutMs = 5000) {
    pollfd P{Fd, POLLIN, 0};
    if (::poll(&P, 1, TimeoutMs) != 1) return -1;
    return ::accept4(Fd, nullptr, nullptr, SOCK_CLOEXEC);
  }
  ~TListener() {
    if (Fd >= 0) ::close(Fd);
  }
};

// Reads exactly Size bytes, waiting at most a few seconds in all.
std::string ReadExactly(TBlockingSocket& S, std::size_t Size) {
  std::string Got;
  char Buffer[65536];
  const auto Start = Clock::now();
  while (Got.size() < Size && MsSince(Start) < 20000) {
    if (S.WaitForData(5000) != TWait::Data) break;
    const long N = S.Read(Buffer, std::min(sizeof Buffer, Size - Got.size()));
    if (N <= 0) break;
    Got.append(Buffer, static_cast<std::size_t>(N));
  }
  return Got;
}

std::string Pattern(std::size_t Size, unsigned Seed) {
  std::string S(Size, '\0');
  for (std::size_t I = 0; I < Size; ++I) S[I] = static_cast<char>((I * 131 + Seed) % 251);
  return S;
}

// ---- connecting ----

TEST(BlockingSocketConnect, KnowsBothEndsAndForgetsThemWhenClosed) {
  test::TScriptedServer Server;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", Server.Port(), 2000)) << S.ErrorText();
  EXPECT_TRUE(S.Connected());
  EXPECT_EQ(S.RemoteHost(), "127.0.0.1");
  EXPECT_EQ(S.RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(S.RemotePort(), Server.Port());
  EXPECT_EQ(S.LocalAddress(), "127.0.0.1");
  EXPECT_NE(S.LocalPort(), 0);
  EXPECT_NE(S.LocalPort(), Server.Port());
  EXPECT_TRUE(Server.WaitAccepted());
  S.Close();
  EXPECT_FALSE(S.Connected());
  EXPECT_EQ(S.RemoteAddress(), "");
  EXPECT_EQ(S.LocalPort(), 0);
}

TEST(BlockingSocketConnect, HostNamesResolve) {
  test::TScriptedServer Server;  // 127.0.0.1 only: an IPv6 "localhost" first must fall through
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("localhost", Server.Port(), 2000)) << S.ErrorText();
  EXPECT_EQ(S.RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(S.RemoteHost(), "localhost");
}

TEST(BlockingSocketConnect, RefusedConnectionReportsTheErrno) {
  std::uint16_t Port;
  {
    TListener Closed;
    Port = Closed.Port;
  }
  TBlockingSocket S;
  EXPECT_FALSE(S.Connect("127.0.0.1", Port, 2000));
  EXPECT_EQ(S.ErrorCode(), ECONNREFUSED);
  EXPECT_FALSE(S.ErrorText().empty());
  EXPECT_FALSE(S.Connected());
}

TEST(BlockingSocketConnect, GivesUpAfterTheTimeOut) {
  // A listener that never accepts: once its queue is full, the kernel drops
  // further SYNs and a connect stays pending.
  TListener Full(0);
  std::vector<int> Fillers;
  for (int I = 0; I < 8; ++I) {
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    A.sin_port = htons(Full.Port);
    ::connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A);
    Fillers.push_back(Fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  TBlockingSocket S;
  const auto Start = Clock::now();
  const bool Ok = S.Connect("127.0.0.1", Full.Port, 300);
  const long long Took = MsSince(Start);
  for (int Fd : Fillers) ::close(Fd);
  if (Ok) GTEST_SKIP() << "this kernel accepted past a full backlog";
  EXPECT_EQ(S.ErrorCode(), ETIMEDOUT);
  EXPECT_GE(Took, 250);
  EXPECT_LT(Took, 3000);
}

TEST(BlockingSocketConnect, AnUnconnectedSocketFailsCleanly) {
  TBlockingSocket S;
  char B[4];
  EXPECT_EQ(S.WaitForData(0), TWait::Error);
  EXPECT_EQ(S.Read(B, sizeof B), -1);
  EXPECT_FALSE(S.WriteAll("x"));
  EXPECT_EQ(S.ErrorCode(), ENOTCONN);
  EXPECT_EQ(S.LocalAddress(), "");
  S.Shutdown();
  S.Close();
}

// ---- reading, waiting, interrupting ----

TEST(BlockingSocketStream, ReadsWhatArrivedThenSeesEndOfStream) {
  test::TScriptedServer Server;
  Server.Send("hello\r\n");
  Server.CloseClient();
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", Server.Port(), 2000));
  EXPECT_EQ(ReadExactly(S, 7), "hello\r\n");
  ASSERT_EQ(S.WaitForData(2000), TWait::Data);
  char B[16];
  EXPECT_EQ(S.Read(B, sizeof B), 0);
}

TEST(BlockingSocketStream, WaitTimesOutOnSilenceAndZeroOnlyLooks) {
  test::TScriptedServer Server;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", Server.Port(), 2000));
  auto Start = Clock::now();
  EXPECT_EQ(S.WaitForData(0), TWait::Timeout);
  EXPECT_LT(MsSince(Start), 500);
  Start = Clock::now();
  EXPECT_EQ(S.WaitForData(80), TWait::Timeout);
  EXPECT_GE(MsSince(Start), 70);
}

TEST(BlockingSocketStream, InterruptWakesAWaitAtOnceAndLeavesTheConnection) {
  test::TScriptedServer Server;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", Server.Port(), 2000));
  std::atomic<bool> Waiting{false};
  auto Waited = std::async(std::launch::async, [&] {
    Waiting = true;
    return S.WaitForData(20000);
  });
  while (!Waiting) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto Start = Clock::now();
  S.Interrupt();
  ASSERT_EQ(Waited.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(Waited.get(), TWait::Interrupted);
  EXPECT_LT(MsSince(Start), 2000);

  // It stays interrupted, and the connection still carries data both ways.
  EXPECT_TRUE(S.Interrupted());
  EXPECT_EQ(S.WaitForData(20000), TWait::Interrupted);
  EXPECT_TRUE(S.WriteAll("QUIT :Leaving! \r\n"));
  auto Line = Server.ReadLine();
  EXPECT_EQ(Line.get(), "QUIT :Leaving! \r\n");

  // A closed and reopened socket waits again.
  S.Close();
  EXPECT_FALSE(S.Interrupted());
  test::TScriptedServer Second;
  ASSERT_TRUE(S.Connect("127.0.0.1", Second.Port(), 2000));
  EXPECT_EQ(S.WaitForData(50), TWait::Timeout);
}

TEST(BlockingSocketStream, ResetByThePeerFailsTheRead) {
  test::TScriptedServer Server;
  Server.Send("x");
  Server.Pause(50);
  Server.ResetClient();
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", Server.Port(), 2000));
  ASSERT_TRUE(Server.WaitIdle());
  char B[16];
  long N = 1;
  for (int I = 0; I < 3 && N > 0; ++I) {
    ASSERT_EQ(S.WaitForData(2000), TWait::Data);
    N = S.Read(B, sizeof B);
  }
  EXPECT_EQ(N, -1);
  EXPECT_EQ(S.ErrorCode(), ECONNRESET);
}

// ---- two threads at once ----

TEST(BlockingSocketThreads, OneReaderAndOneWriterAtOnce) {
  // Each side sends more than the socket buffers hold, so neither write can
  // finish unless the reads run beside it.
  TListener L;
  TBlockingSocket A;
  ASSERT_TRUE(A.Connect("127.0.0.1", L.Port, 2000));
  TBlockingSocket B(L.Accept());
  ASSERT_TRUE(B.Connected());
  EXPECT_EQ(B.RemotePort(), A.LocalPort());
  EXPECT_EQ(B.RemoteHost(), "127.0.0.1");

  const std::size_t Size = 8 << 20;
  const std::string ToB = Pattern(Size, 1), ToA = Pattern(Size, 7);
  auto WriteA = std::async(std::launch::async, [&] { return A.WriteAll(ToB); });
  auto WriteB = std::async(std::launch::async, [&] { return B.WriteAll(ToA); });
  auto ReadA = std::async(std::launch::async, [&] { return ReadExactly(A, Size); });
  auto ReadB = std::async(std::launch::async, [&] { return ReadExactly(B, Size); });
  EXPECT_TRUE(WriteA.get());
  EXPECT_TRUE(WriteB.get());
  EXPECT_TRUE(ReadA.get() == ToA);
  EXPECT_TRUE(ReadB.get() == ToB);
}

TEST(BlockingSocketThreads, WritingToAGonePeerFailsWithoutASignal) {
  // The peer resets only once the connect has returned: a reset racing the
  // connect itself would fail the connect instead.
  TListener L;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", L.Port, 5000)) << S.ErrorText();
  const int Peer = L.Accept();
  ASSERT_GE(Peer, 0);
  const linger Abort{1, 0};
  ::setsockopt(Peer, SOL_SOCKET, SO_LINGER, &Abort, sizeof Abort);
  ::close(Peer);
  // A broken pipe must come back as an error, not kill the program.
  const auto Before = std::signal(SIGPIPE, SIG_DFL);
  bool Ok = true;
  for (int I = 0; I < 50 && Ok; ++I) {
    Ok = S.WriteAll("PRIVMSG #a :hello\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(Ok);
  EXPECT_TRUE(S.ErrorCode() == EPIPE || S.ErrorCode() == ECONNRESET) << S.ErrorText();
  // After the reset has been reported, further writes meet a broken pipe.
  for (int I = 0; I < 3; ++I) EXPECT_FALSE(S.WriteAll("QUIT\r\n"));
  EXPECT_EQ(S.ErrorCode(), EPIPE);
  std::signal(SIGPIPE, Before);
}

// The write time-out counts from the last byte taken: a peer that stops
// reading fails the write one time-out after the buffers filled, not after
// one time-out per partial send.
TEST(BlockingSocketThreads, AWriteToAPeerThatStoppedReadingFailsOneTimeOutAfterTheLastByteTaken) {
  TListener L;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", L.Port, 2000));
  const int Peer = L.Accept();  // never reads
  ASSERT_GE(Peer, 0);
  constexpr int TimeoutMs = 500;
  S.SetWriteTimeout(TimeoutMs);
  // Several writes, each partly taken, as the send thread writes its queue.
  const std::string Chunk(64 << 10, 'x');
  const auto Start = Clock::now();
  bool Ok = true;
  for (int I = 0; I < 1024 && Ok; ++I) Ok = S.WriteAll(Chunk);
  const long long Took = MsSince(Start);
  EXPECT_FALSE(Ok);
  EXPECT_EQ(S.ErrorCode(), ETIMEDOUT);
  EXPECT_GE(Took, TimeoutMs - 50);
  EXPECT_LT(Took, TimeoutMs * 3 / 2);
  ::close(Peer);
}

TEST(BlockingSocketThreads, CloseReleasesAWriterStuckOnAFullBuffer) {
  TListener L;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", L.Port, 2000));
  const int Peer = L.Accept();  // never reads
  ASSERT_GE(Peer, 0);
  const std::string Big(64 << 20, 'x');
  std::atomic<bool> Writing{false};
  auto Wrote = std::async(std::launch::async, [&] {
    Writing = true;
    return S.WriteAll(Big);
  });
  while (!Writing) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto Start = Clock::now();
  S.Close();
  ASSERT_EQ(Wrote.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(Wrote.get());
  EXPECT_LT(MsSince(Start), 3000);
  EXPECT_FALSE(S.Connected());
  ::close(Peer);
}

TEST(BlockingSocketThreads, GracefulCloseDeliversWhatWasWrittenDespiteUnreadData) {
  // Unread input at close must not turn into a reset that loses our output.
  TListener L;
  TBlockingSocket S;
  ASSERT_TRUE(S.Connect("127.0.0.1", L.Port, 2000));
  TBlockingSocket Peer(L.Accept());
  ASSERT_TRUE(Peer.WriteAll(std::string(20000, 'p')));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(S.WriteAll("QUIT :Leaving! \r\n"));
  S.Close();
  EXPECT_EQ(ReadExactly(Peer, 17), "QUIT :Leaving! \r\n");
  ASSERT_EQ(Peer.WaitForData(2000), TWait::Data);
  char B[8];
  EXPECT_EQ(Peer.Read(B, sizeof B), 0);  // an orderly end, not a reset
}

}  // namespace
}  // namespace tavi
