#include <gtest/gtest.h>

#include <QObject>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "QtWait.h"
#include "ScriptedServer.h"
#include "core/ChatClientUnit.h"

namespace tavi {
namespace {

using namespace std::string_literals;
using test::PumpFor;
using test::PumpUntil;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

long long MsSince(Clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

// Records every report; runs on the GUI thread only.
class TRecorder : public TChatClientEvents {
 public:
  Lines Received;
  std::vector<std::string> Log;  // "line", "eof", "failed", "sendfailed", "closed" in order
  std::vector<std::size_t> Slices;  // lines run by each hand-off
  std::vector<std::size_t> Bursts;  // lines of each burst (slices until one says none follow)
  bool InBurst = false;
  int OffThread = 0;
  std::function<void(const std::string&)> OnLine;
  std::size_t FullAfter = 0;  // a slice says it is full after this many lines

  void ReceivedLine(const std::string& Line) override {
    Note("line");
    Received.push_back(Line);
    if (!Slices.empty()) ++Slices.back();
    if (!Bursts.empty()) ++Bursts.back();
    if (OnLine) OnLine(Line);
  }
  void ReceivedLinesBegin() override {
    Slices.push_back(0);
    if (!InBurst) Bursts.push_back(0);
    InBurst = true;
  }
  void ReceivedLinesEnd(bool MoreFollow) override { InBurst = MoreFollow; }
  bool SliceFull() const override { return FullAfter && !Slices.empty() && Slices.back() >= FullAfter; }
  void EndOfStream() override { Note("eof"); }
  void ReceiveFailed() override { Note("failed"); }
  void SendFailed(TSendFailure, int) override { Note("sendfailed"); }
  void ConnectionClosed() override { Note("closed"); }

  bool Closed() const { return !Log.empty() && Log.back() == "closed"; }
  // The reports other than lines.
  std::vector<std::string> Ends() const {
    std::vector<std::string> R;
    for (const std::string& E : Log)
      if (E != "line") R.push_back(E);
    return R;
  }

 private:
  void Note(const char* What) {
    if (std::this_thread::get_id() != Gui) ++OffThread;
    Log.emplace_back(What);
  }
  std::thread::id Gui = std::this_thread::get_id();
};

class ChatClient : public ::testing::Test {
 protected:
  void SetUp() override {
    Socket = std::make_shared<TBlockingSocket>();
    ASSERT_TRUE(Socket->Connect("127.0.0.1", Server.Port(), 2000)) << Socket->ErrorText();
    Client = std::make_unique<TChatClient>(Socket, Events, &Context, Limits);
  }
  void TearDown() override {
    Client.reset();
    EXPECT_EQ(Events.OffThread, 0);
  }

  // Plays what was queued on the server and collects Count lines.
  Lines Receive(std::size_t Count, int TimeoutMs = 5000) {
    PumpUntil([&] { return Events.Received.size() >= Count || Events.Closed(); }, TimeoutMs);
    return Events.Received;
  }

  TChatClientLimits Limits;
  test::TScriptedServer Server;
  QObject Context;
  TRecorder Events;
  std::shared_ptr<TBlockingSocket> Socket;
  std::unique_ptr<TChatClient> Client;
};

// ---- framing over a real connection ----

TEST_F(ChatClient, BlanksBehindALineGoOnlyInTheSameRead) {
  Server.Send("abc\r\n   def\r\n");
  Server.Pause(150);
  Server.Send("ghi\r\n");
  Server.Pause(150);
  Server.Send("   jkl\r\n");
  EXPECT_EQ(Receive(4), (Lines{"abc\r\n", "def\r\n", "ghi\r\n", "   jkl\r\n"}));
}

TEST_F(ChatClient, PiecesOfALineAreJoinedAndLoneLfStays) {
  Server.Send("PI");
  Server.Pause(150);
  Server.Send("NG :x\r\n");
  Server.Send("abc\ndef\r\n");
  Server.Send("ab\0cd\r\n"s);
  Server.Send("\r\n");
  EXPECT_EQ(Receive(4), (Lines{"PING :x\r\n", "abc\ndef\r\n", "abcd\r\n", "\r\n"}));
}

TEST_F(ChatClient, AShiftJisCharacterAcrossTheReadSizeArrivesWhole) {
  // The double-byte character takes bytes 127 and 128 of the line.
  std::string First = ":nick!u@h PRIVMSG #a :" + std::string(126 - 22, 'x') + "\x82\xa0" + "tail\r\n";
  ASSERT_EQ(First.substr(126, 2), "\x82\xa0");
  std::string Second = ":n PRIVMSG #b :" + std::string(126 - 15, 'y') + "\x93\xfa" + "end\r\n";
  Server.Send(First);
  Server.Pause(150);
  Server.Send(Second.substr(0, 127));  // a full read, then nothing for a while
  Server.Pause(200);
  Server.Send(Second.substr(127));
  EXPECT_EQ(Receive(2), (Lines{First, Second}));
}

TEST_F(ChatClient, LinesArriveInTheBytesTheyWereSentIn) {
  // A UTF-8 line cut inside a character across reads, then Shift-JIS, JIS
  // and ASCII lines: names are known by their bytes, so the thread hands
  // every line over untouched.
  const std::string Utf8 = ":a PRIVMSG #a :\xE6\x97\xA5\xE6\x9C\xAC\r\n";
  Server.Send(Utf8.substr(0, 17));
  Server.Pause(100);
  Server.Send(Utf8.substr(17) + ":b PRIVMSG #a :\x93\xFA\x96\x7B\r\n:c PRIVMSG #a :\x1B$BF|K\\\x1B(B\r\nPING :x\r\n");
  EXPECT_EQ(Receive(4), (Lines{Utf8, ":b PRIVMSG #a :\x93\xFA\x96\x7B\r\n",
                               ":c PRIVMSG #a :\x1B$BF|K\\\x1B(B\r\n", "PING :x\r\n"}));
}

TEST_F(ChatClient, ALineThatFillsWholeReadsIsNotHeldBack) {
  // 127 and 254 bytes: after a full read the thread must frame what it has
  // instead of waiting for more, though the server then stays silent.
  const std::string One = "PING :" + std::string(127 - 8, 'p') + "\r\n";
  const std::string Two = "PING :" + std::string(254 - 8, 'q') + "\r\n";
  ASSERT_EQ(One.size(), 127u);
  Server.Send(One);
  EXPECT_EQ(Receive(1, 3000), (Lines{One}));
  Server.Send(Two);
  EXPECT_EQ(Receive(2, 3000), (Lines{One, Two}));
}

TEST_F(ChatClient, AnOverlongLineIsDroppedAndTheNextArrives) {
  Server.Send("before\r\n" + std::string(200 * 1000, 'z'));
  Server.Send("\r\nPING :after\r\n");
  EXPECT_EQ(Receive(2), (Lines{"before\r\n", "PING :after\r\n"}));
}

TEST_F(ChatClient, ABurstOfLinesArrivesInOrder) {
  std::string Burst;
  Lines Want;
  for (int I = 0; I < 5000; ++I) {
    Want.push_back(":srv 372 me :- motd line " + std::to_string(I) + "\r\n");
    Burst += Want.back();
  }
  Server.Send(Burst.substr(0, Burst.size() / 2));
  Server.Send(Burst.substr(Burst.size() / 2));
  EXPECT_EQ(Receive(Want.size(), 20000), Want);
  EXPECT_EQ(Events.Ends(), std::vector<std::string>{});
}

TEST_F(ChatClient, AFloodInOneWriteIsHandedOverInBoundedSlices) {
  std::string Burst;
  Lines Want;
  for (int I = 0; I < 5000; ++I) {
    Want.push_back("PRIVMSG #a :" + std::to_string(I) + "\r\n");
    Burst += Want.back();
  }
  Server.Send(Burst);
  EXPECT_EQ(Receive(Want.size(), 20000), Want);
  ASSERT_GE(Events.Slices.size(), Want.size() / TChatClientLimits{}.SliceLines);
  EXPECT_LE(*std::max_element(Events.Slices.begin(), Events.Slices.end()), TChatClientLimits{}.SliceLines);
}

// A server that never pauses: the bytes waiting are read a bounded burst at
// a time, each handed over before the next is read, not all at once.
class ChatClientSmallBursts : public ChatClient {
 protected:
  void SetUp() override {
    Limits.BurstBytes = 64 * 1024;
    ChatClient::SetUp();
  }
};

TEST_F(ChatClientSmallBursts, AServerThatNeverPausesIsReadInBoundedBursts) {
  const std::string Line = "PRIVMSG #nowhere :" + std::string(44, 'x') + "\r\n";
  ASSERT_EQ(Line.size(), 64u);
  const std::size_t Count = (8u << 20) / Line.size();
  std::string Flood;
  Flood.reserve(Count * Line.size());
  for (std::size_t I = 0; I < Count; ++I) Flood += Line;
  Server.Send(std::move(Flood));
  EXPECT_EQ(Receive(Count, 60000).size(), Count);
  ASSERT_GT(Events.Bursts.size(), 1u);
  const std::size_t Largest = *std::max_element(Events.Bursts.begin(), Events.Bursts.end());
  EXPECT_LE(Largest * Line.size(), Limits.BurstBytes + 2 * TChatClient::ReadSize);
}

TEST_F(ChatClient, ASlowLineEndsItsSliceEarly) {
  // Each line takes at least 20 ms, so a 30 ms slice holds two, three at most.
  Events.OnLine = [](const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
  std::string Burst;
  for (int I = 0; I < 12; ++I) Burst += "x" + std::to_string(I) + "\r\n";
  Server.Send(Burst);
  ASSERT_EQ(Receive(12).size(), 12u);
  EXPECT_LE(*std::max_element(Events.Slices.begin(), Events.Slices.end()), 3u);
  EXPECT_EQ(Events.Received.back(), "x11\r\n");
}

TEST_F(ChatClient, ASliceThatSaysItIsFullEndsEarly) {
  Events.FullAfter = 4;
  std::string Burst;
  Lines Want;
  for (int I = 0; I < 50; ++I) {
    Want.push_back("JOIN #c" + std::to_string(I) + "\r\n");
    Burst += Want.back();
  }
  Server.Send(Burst);
  EXPECT_EQ(Receive(Want.size()), Want);
  EXPECT_LE(*std::max_element(Events.Slices.begin(), Events.Slices.end()), 4u);
}

// ---- how the thread ends ----

TEST_F(ChatClient, EndOfStreamIsReportedThenTheClose) {
  Server.Send("ERROR :Closing link\r\n");
  Server.Pause(100);
  Server.CloseClient();
  ASSERT_TRUE(PumpUntil([&] { return Events.Closed(); }));
  EXPECT_EQ(Events.Received, (Lines{"ERROR :Closing link\r\n"}));
  EXPECT_EQ(Events.Ends(), (std::vector<std::string>{"eof", "closed"}));
  EXPECT_TRUE(PumpUntil([&] { return Client->Finished(); }));
  EXPECT_TRUE(Client->Terminated());
  EXPECT_FALSE(Socket->Connected());
}

TEST_F(ChatClient, AResetConnectionIsAReceiveFailure) {
  Server.Send("one\r\n");
  Server.Pause(100);
  Server.ResetClient();
  ASSERT_TRUE(PumpUntil([&] { return Events.Closed(); }));
  EXPECT_EQ(Events.Received, (Lines{"one\r\n"}));
  EXPECT_EQ(Events.Ends(), (std::vector<std::string>{"failed", "closed"}));
  EXPECT_FALSE(Socket->Connected());
}

TEST_F(ChatClient, ALineThatThrowsEndsTheThreadAndDropsTheRest) {
  Events.OnLine = [](const std::string& Line) {
    if (Line == "boom\r\n") throw std::runtime_error("handler failed");
  };
  Server.Send("a\r\nboom\r\nc\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Events.Closed(); }));
  PumpFor(100);
  EXPECT_EQ(Events.Received, (Lines{"a\r\n", "boom\r\n"}));
  EXPECT_EQ(Events.Ends(), (std::vector<std::string>{"failed", "closed"}));
  EXPECT_FALSE(Socket->Connected());
}

TEST_F(ChatClient, ANonStandardExceptionIsAFailureToo) {
  Events.OnLine = [](const std::string& Line) {
    if (Line == "bang\r\n") throw 42;
  };
  Server.Send("bang\r\nc\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Events.Closed(); }));
  EXPECT_EQ(Events.Received, (Lines{"bang\r\n"}));
  EXPECT_EQ(Events.Ends(), (std::vector<std::string>{"failed", "closed"}));
}

TEST_F(ChatClient, TerminateOnASilentServerEndsAtOnceAndKeepsTheQuitLine) {
  Server.Send("hello\r\n");
  ASSERT_EQ(Receive(1), (Lines{"hello\r\n"}));
  auto Quit = Server.ReadLine();
  ASSERT_TRUE(Socket->WriteAll("QUIT :Leaving! \r\n"));
  const auto Start = Clock::now();
  Client->Terminate();
  ASSERT_TRUE(PumpUntil([&] { return Events.Closed(); }, 5000));
  EXPECT_LT(MsSince(Start), 2000);
  EXPECT_EQ(Events.Ends(), std::vector<std::string>{"closed"});
  EXPECT_TRUE(PumpUntil([&] { return Client->Finished(); }));
  EXPECT_EQ(Quit.get(), "QUIT :Leaving! \r\n");
}

TEST_F(ChatClient, LinesAfterATerminateAreNotDispatched) {
  Server.Send("one\r\n");
  ASSERT_EQ(Receive(1), Lines{"one\r\n"});
  Client->Terminate();
  Server.Send("two\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Events.Closed(); }));
  PumpFor(100);
  EXPECT_EQ(Events.Received, Lines{"one\r\n"});
}

TEST_F(ChatClient, StopOnASilentServerReturnsAtOnceWithoutReports) {
  PumpFor(100);  // the thread is in its wait by now
  const auto Start = Clock::now();
  Client->Stop();
  EXPECT_LT(MsSince(Start), 2000);
  EXPECT_TRUE(Client->Finished());
  EXPECT_FALSE(Socket->Connected());
  PumpFor(100);
  EXPECT_EQ(Events.Log, std::vector<std::string>{});
}

TEST_F(ChatClient, StopWhileAHandOffWaitsForTheGuiThreadDoesNotDeadlock) {
  Server.Send("one\r\ntwo\r\n");
  ASSERT_TRUE(Server.WaitIdle());
  // The GUI thread runs no events, so the thread sits waiting in the hand-off.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto Start = Clock::now();
  Client->Stop();
  EXPECT_LT(MsSince(Start), 2000);
  EXPECT_TRUE(Client->Finished());
  PumpFor(100);
  EXPECT_EQ(Events.Log, std::vector<std::string>{});
}

TEST_F(ChatClient, TheOwnerMayDestroyTheClientFromInsideALine) {
  Events.OnLine = [&](const std::string&) { Client.reset(); };
  Server.Send("one\r\ntwo\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Client == nullptr; }));
  PumpFor(150);
  EXPECT_EQ(Events.Received, Lines{"one\r\n"});
  EXPECT_EQ(Events.Ends(), std::vector<std::string>{});
  EXPECT_FALSE(Socket->Connected());
}

}  // namespace
}  // namespace tavi
