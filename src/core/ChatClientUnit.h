// The threads of one server connection (TChatClient; not a chat window,
// despite the name). The receive thread waits, reads at most 127 bytes at a
// time, frames lines and hands them, in order and synchronously, to the GUI
// thread. The send thread writes the queued lines, so that the GUI thread
// never waits on a server that does not read.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/BlockingSocket.h"
#include "platform/GuiCall.h"

class QObject;

namespace tavi {

// What the receive thread reports; every call runs on the GUI thread.
class TChatClientEvents {
 public:
  virtual ~TChatClientEvents() = default;
  // One line with its CR LF. An exception thrown here ends the thread
  // with ReceiveFailed; the lines behind it are dropped.
  virtual void ReceivedLine(const std::string& Line) = 0;
  // Around the lines of one burst, so that work every line would repeat
  // (trimming the logs) can be done once for all of them. MoreFollow: the
  // next slice of the same read follows at once.
  virtual void ReceivedLinesBegin() {}
  virtual void ReceivedLinesEnd(bool /*MoreFollow*/) {}
  // True when the lines handled since ReceivedLinesBegin left enough work
  // behind (new windows to lay out and paint) that the slice should end
  // early, so the GUI gets its turn.
  virtual bool SliceFull() const { return false; }
  virtual void EndOfStream() = 0;       // the server closed the connection
  virtual void ReceiveFailed() = 0;     // a read failed or a line raised
  // Sending failed and the connection was dropped for it; reported in place
  // of EndOfStream / ReceiveFailed. Code: the errno value of a failed write.
  enum class TSendFailure { Stalled, Overflow, WriteError };
  virtual void SendFailed(TSendFailure Why, int Code) = 0;
  // Nothing came from the server, not even after a PING of our own; the
  // connection is dropped for it. Reported in place of EndOfStream.
  virtual void ServerSilent() {}
  // Last, after the socket is closed; not called once Stop() was called.
  virtual void ConnectionClosed() = 0;
};

// Bounds of one connection; tests lower them.
struct TChatClientLimits {
  // A write that makes no progress for this long drops the connection.
  int StallMs = 60000;
  // More bytes than this waiting to be sent drops the connection.
  std::size_t MaxQueuedBytes = 4u << 20;
  // How long the end of the connection waits for queued lines (a QUIT).
  int FlushMs = 1000;
  // One hand-off to the GUI thread runs at most this many lines, and starts
  // no further line after this many milliseconds.
  std::size_t SliceLines = 200;
  int SliceMs = 30;
  // One burst reads at most about this many bytes; its lines go over to
  // the GUI thread before more is read, so that a server that never
  // pauses cannot fill memory faster than the windows take it.
  std::size_t BurstBytes = 1u << 20;
  // After this long without a byte from the server a PING of our own goes
  // out; when nothing answers for PingAnswerMs more, the connection is
  // treated as dead. 0 turns the check off.
  int IdlePingMs = 240000;
  int PingAnswerMs = 60000;
};

class TChatClient {
 public:
  static constexpr int TimeoutMs = 60000;
  static constexpr std::size_t ReadSize = 127;

  // Starts at once. Context lives on the GUI thread.
  TChatClient(std::shared_ptr<TBlockingSocket> ClientSocket, TChatClientEvents& Events, QObject* Context,
              TChatClientLimits Limits = {});
  // Abandons and joins.
  ~TChatClient();

  // Asks the thread to end; a wait in progress returns at once. Lines still
  // pending are not dispatched.
  void Terminate();
  // Terminate, and nothing handed off runs any more; then waits for the end.
  // Safe on the GUI thread while the worker waits for it.
  void Stop();
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }

  // Queues bytes for the send thread and returns at once. False, and nothing
  // queued, once sending has failed; a queue past its bound fails sending.
  bool Send(std::string Bytes);
  // Bytes queued and not yet written.
  std::size_t QueuedBytes() const;
  // The first bytes the server sent, up to FirstBytesKept: what a server
  // that speaks no IRC said.
  static constexpr std::size_t FirstBytesKept = 16;
  std::string FirstBytes() const;

 private:
  void Execute();
  void WriteLoop();
  // Records the first failure and ends the connection under both threads.
  void FailSending(TChatClientEvents::TSendFailure Why, int Code);
  // Waits, bounded, until the queue is written or sending failed; then ends
  // the send thread.
  void FinishWriting();

  std::shared_ptr<TBlockingSocket> socket_;
  TChatClientEvents& events_;
  const TChatClientLimits limits_;
  TGuiCallGate gate_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  // Shared with hand-offs in flight, which may outlive this object.
  std::shared_ptr<std::atomic<bool>> stopLines_ = std::make_shared<std::atomic<bool>>(false);

  mutable std::mutex firstMutex_;
  std::string firstBytes_;
  mutable std::mutex sendMutex_;
  std::condition_variable sendChanged_;
  std::deque<std::string> queue_;
  std::size_t queuedBytes_ = 0;
  bool writing_ = false;      // a line is out of the queue, not yet written
  bool stopWriting_ = false;
  bool sendFailed_ = false;
  TChatClientEvents::TSendFailure failure_ = TChatClientEvents::TSendFailure::WriteError;
  int failureCode_ = 0;
  std::thread writer_;
  std::thread thread_;
};

}  // namespace tavi
