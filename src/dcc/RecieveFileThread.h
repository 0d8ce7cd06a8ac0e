// (The name keeps its old spelling, "Recieve", as the window names have it.)
// The receiving side's worker of a DCC SEND: reads the offered file in pieces
// of up to 64 KiB straight into the part file, acknowledges every read at
// once and hands the progress to the transfer window a few times a second.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/GuiCall.h"

namespace tavi {

class TBlockingSocket;
class TDccTransFileForm;

class TRecieveFileThread {
 public:
  static constexpr std::size_t RecvBufferSize = 64 * 1024;
  // No data for this long ends the transfer (tests shorten it).
  static constexpr int DefaultDataWaitMs = 60000;
  static int DataWaitMs();
  static void SetDataWaitMs(int Ms);

  // Created suspended. Socket is connected and stays its owner's. File,
  // open for writing at StartAt, becomes the thread's: it is closed here,
  // off the GUI thread, as some file systems write back on close. Form lives
  // on the GUI thread and outlives the thread (it joins it).
  TRecieveFileThread(TDccTransFileForm* Form, std::int64_t Expected, TBlockingSocket* Socket, int File,
                     std::int64_t StartAt = 0);
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
  // The file's size and the position reached, which a last read may carry
  // past the size.
  const std::int64_t RecvExpected;
  std::atomic<std::int64_t> RecvTotal{0};
  // Set when writing the file failed: the text to show.
  std::string FileError;
  // Set when the peer or the connection ended the transfer early: why.
  // Both are read after Join.
  std::string FailReason;

 private:
  void Execute();
  void CloseFile();

  TDccTransFileForm* const form_;
  int file_;
  TGuiCallGate gate_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};


}  // namespace tavi
