#include <gtest/gtest.h>

#include <QObject>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "QtWait.h"
#include "platform/GuiCall.h"

namespace tavi {
namespace {

using test::PumpFor;
using test::PumpUntil;

class GuiCallGate : public ::testing::Test {
 protected:
  QObject Context;  // lives on the test's (GUI) thread
  std::thread::id Gui = std::this_thread::get_id();
};

TEST_F(GuiCallGate, WorkerCallsRunOnTheGuiThreadInOrder) {
  TGuiCallGate Gate(&Context);
  std::vector<int> Seen;
  std::atomic<int> WrongThread{0};
  std::atomic<int> Refused{0};
  std::atomic<bool> Done{false};
  std::thread Worker([&] {
    for (int I = 0; I < 200; ++I) {
      const bool Ran = Gate.Run([&, I] {
        if (std::this_thread::get_id() != Gui) ++WrongThread;
        Seen.push_back(I);
      });
      // The call has run before Run returns: the worker may rely on it.
      if (!Ran || static_cast<int>(Seen.size()) != I + 1) ++Refused;
    }
    Done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return Done.load(); }));
  Worker.join();
  ASSERT_EQ(Seen.size(), 200u);
  for (int I = 0; I < 200; ++I) EXPECT_EQ(Seen[I], I);
  EXPECT_EQ(WrongThread, 0);
  EXPECT_EQ(Refused, 0);
}

TEST_F(GuiCallGate, TwoWorkersEachKeepTheirOwnOrder) {
  TGuiCallGate Gate(&Context);
  std::vector<std::pair<int, int>> Seen;
  std::atomic<int> Finished{0};
  auto Work = [&](int Who) {
    for (int I = 0; I < 100; ++I) Gate.Run([&, Who, I] { Seen.emplace_back(Who, I); });
    ++Finished;
  };
  std::thread A(Work, 0), B(Work, 1);
  EXPECT_TRUE(PumpUntil([&] { return Finished == 2; }));
  A.join();
  B.join();
  int Next[2] = {0, 0};
  for (auto [Who, I] : Seen) EXPECT_EQ(I, Next[Who]++);
  EXPECT_EQ(Next[0], 100);
  EXPECT_EQ(Next[1], 100);
}

TEST_F(GuiCallGate, OnTheGuiThreadRunsInline) {
  TGuiCallGate Gate(&Context);
  int Ran = 0;
  EXPECT_TRUE(Gate.Run([&] { ++Ran; }));
  EXPECT_EQ(Ran, 1);  // no event loop was needed
  Gate.Abandon();
  EXPECT_FALSE(Gate.Run([&] { ++Ran; }));
  EXPECT_EQ(Ran, 1);
}

TEST_F(GuiCallGate, AbandonWakesAWaitingWorkerAndTheCallNeverRuns) {
  TGuiCallGate Gate(&Context);
  std::atomic<bool> Ran{false};
  std::atomic<bool> Entering{false};
  auto Result = std::async(std::launch::async, [&] {
    Entering = true;
    return Gate.Run([&] { Ran = true; });
  });
  while (!Entering) std::this_thread::yield();
  // The call is queued but the GUI thread does not run its loop.
  EXPECT_EQ(Result.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  Gate.Abandon();
  ASSERT_EQ(Result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(Result.get());
  PumpFor(50);
  EXPECT_FALSE(Ran);
  EXPECT_TRUE(Gate.Abandoned());

  // Later calls are refused at once.
  auto Later = std::async(std::launch::async, [&] { return Gate.Run([&] { Ran = true; }); });
  ASSERT_EQ(Later.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(Later.get());
  PumpFor(20);
  EXPECT_FALSE(Ran);
}

TEST_F(GuiCallGate, AQueuedCallArrivingAfterTheGateIsGoneDoesNothing) {
  std::atomic<bool> Ran{false};
  std::future<bool> Result;
  {
    TGuiCallGate Gate(&Context);
    std::atomic<bool> Entering{false};
    Result = std::async(std::launch::async, [&] {
      Entering = true;
      return Gate.Run([&] { Ran = true; });
    });
    while (!Entering) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // ~TGuiCallGate abandons; the worker must not touch it afterwards.
    ASSERT_EQ(Result.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  }
  ASSERT_EQ(Result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(Result.get());
  PumpFor(50);
  EXPECT_FALSE(Ran);
}

TEST_F(GuiCallGate, AbandonFromInsideACallLetsTheWorkerGo) {
  // The owner stops the worker from within a hand-off, as a window that
  // closes the connection while it handles a line does.
  TGuiCallGate Gate(&Context);
  std::atomic<bool> WorkerBack{false};
  bool SawWorkerBack = false;
  auto Result = std::async(std::launch::async, [&] {
    const bool Ran = Gate.Run([&] {
      Gate.Abandon();
      SawWorkerBack = PumpUntil([&] { return WorkerBack.load(); }, 5000);
    });
    WorkerBack = true;
    return Ran;
  });
  EXPECT_TRUE(PumpUntil([&] { return Result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_FALSE(Result.get());
  EXPECT_TRUE(SawWorkerBack);
}

TEST_F(GuiCallGate, AnExceptionOnTheGuiThreadIsThrownInTheWorker) {
  TGuiCallGate Gate(&Context);
  auto Result = std::async(std::launch::async, [&]() -> std::string {
    try {
      Gate.Run([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& E) {
      return E.what();
    }
    return "nothing thrown";
  });
  EXPECT_TRUE(PumpUntil([&] { return Result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(Result.get(), "handler failed");
}

TEST_F(GuiCallGate, ACallDroppedWithItsContextReleasesTheWorker) {
  auto Doomed = std::make_unique<QObject>();
  TGuiCallGate Gate(Doomed.get());
  std::atomic<bool> Entering{false};
  std::atomic<bool> Ran{false};
  auto Result = std::async(std::launch::async, [&] {
    Entering = true;
    return Gate.Run([&] { Ran = true; });
  });
  while (!Entering) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Doomed.reset();  // its pending events go with it
  ASSERT_EQ(Result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(Result.get());
  EXPECT_FALSE(Ran);
}

}  // namespace
}  // namespace tavi
