// The sending side's worker of a DCC file transfer.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/BlockingSocket.h"
#include "platform/GuiCall.h"

namespace tavi {

class TDccTransFileForm;

// The worker of one accepted connection on the sending side: keeps writing
// while acknowledgements come back, with at most MaxInFlight bytes
// unacknowledged, and ends when the last one equals the file size.
class TSendFileThread {
 public:
  static constexpr std::size_t BlockSize = 64 * 1024;
  // Fills a link of 100 MB/s with 100 ms of round trip, counting the bytes
  // that still wait in our own socket buffer.
  static constexpr std::int64_t MaxInFlight = 32 << 20;
  // How long to wait with neither an acknowledgement nor room to write
  // (tests shorten it).
  static constexpr int DefaultAckWaitMs = 60000;
  static int AckWaitMs();
  static void SetAckWaitMs(int Ms);

  // Created suspended; takes over the accepted descriptor. StartAt is the
  // position a resumed transfer goes on from.
  TSendFileThread(TDccTransFileForm* Form, int Descriptor, std::string FileName, std::int64_t FileSize,
                  std::int64_t StartAt = 0);
  // Stops and joins.
  ~TSendFileThread();
  TSendFileThread(const TSendFileThread&) = delete;
  TSendFileThread& operator=(const TSendFileThread&) = delete;

  void Start();
  // As TRecieveFileThread: ends without waiting, safe while the worker
  // waits for the GUI thread.
  void Terminate();
  void Join();
  bool Finished() const { return finished_.load(); }
  // After Join: whether the peer acknowledged the whole file, and if not,
  // why (empty when the window stopped it).
  bool Complete() const { return complete_; }
  const std::string& FailReason() const { return failReason_; }

 private:
  void Execute();

  TDccTransFileForm* const form_;
  TBlockingSocket socket_;
  const std::string fileName_;
  const std::int64_t fileSize_;
  const std::int64_t startAt_;
  TGuiCallGate gate_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool complete_ = false;
  std::string failReason_;
  std::thread thread_;
};

}  // namespace tavi
