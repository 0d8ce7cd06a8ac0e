#include <gtest/gtest.h>

#include <QObject>
#include <atomic>
#include <thread>

#include "QtWait.h"
#include "ScriptedServer.h"
#include "platform/BackgroundConnect.h"
#include "platform/BlockingSocket.h"

namespace tavi {
namespace {

using test::PumpFor;
using test::PumpUntil;
using test::TScriptedServer;

// The result comes back on the asking thread with the connected socket; a
// cancel, even one after the worker has handed its result over, drops it.
TEST(BackgroundConnect, HandsTheResultBackUnlessCancelledFirst) {
  QObject context;
  const std::thread::id gui = std::this_thread::get_id();

  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "kept");
    TScriptedServer server;
    const std::uint16_t port = server.Port();
    std::atomic<bool> delivered{false}, onGuiThread{false};
    auto attempt = TBackgroundConnect::Start(&context, [&, port](TBlockingSocket& Socket) {
      const bool ok = Socket.Connect("127.0.0.1", port, 5000);
      return std::function<void()>([&, ok] {
        onGuiThread = std::this_thread::get_id() == gui;
        delivered = ok;
      });
    });
    if (cancel) {
      // Long enough for the worker to have queued its result.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      attempt->Cancel();
      PumpFor(200);
      EXPECT_FALSE(delivered.load());
    } else {
      ASSERT_TRUE(PumpUntil([&] { return delivered.load(); }));
      EXPECT_TRUE(onGuiThread.load());
      EXPECT_TRUE(attempt->Socket()->Connected());
    }
  }
}

}  // namespace
}  // namespace tavi
