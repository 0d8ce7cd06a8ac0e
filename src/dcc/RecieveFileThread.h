// (The name keeps its old spelling, "Recieve", as the window names have it.)
// The receiving side's worker of a DCC SEND: reads the offered file in pieces
// of at most 128 bytes, acknowledges every read at once and hands the bytes and
// the progress to the transfer window on the GUI thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "platform/GuiCall.h"

namespace tavi {

class TBlockingSocket;
class TDccTransFileForm;

class TRecieveFileThread {
 public:
  static constexpr std::size_t RecvBufferSize = 128;
  // No data for this long ends the transfer (60 s; tests shorten it).
  static int DataWaitMs();
  static void SetDataWaitMs(int Ms);

  // Created suspended. Socket is connected and stays its owner's; Form
  // lives on the GUI thread and outlives the thread (it joins it).
  TRecieveFileThread(TDccTransFileForm* Form, std::int32_t Expected, TBlockingSocket* Socket);
  // Stops and joins.
  ~TRecieveFileThread();
  TRecieveFileThread(const TRecieveFileThread&) = delete;
  TRecieveFileThread& operator=(const TRecieveFileThread&) = delete;

  void Start();
  // Asks the thread to end without waiting: nothing it hands off runs any
  // more and a blocked wait or read returns. Safe on the GUI thread while
  // the worker waits for it.
  void Terminate();
  // Waits for the end (Terminate first unless the thread has reported it).
  void Join();
  bool Finished() const { return finished_.load(); }

  TBlockingSocket* const Socket;
  // The bytes to receive and the bytes received so far. The total is kept
  // wide: a last read may go past a size close to 2^31.
  const std::int32_t RecvExpected;
  std::atomic<std::int64_t> RecvTotal{0};

 private:
  void Execute();

  TDccTransFileForm* const form_;
  TGuiCallGate gate_;
  char RecvBuffer[RecvBufferSize] = {};
  long RecvCount = 0;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// The running receive thread, or none.
extern TRecieveFileThread*& RecieveFileThread;

}  // namespace tavi
