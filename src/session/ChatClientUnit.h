// The receive thread of one server connection (TChatClient; not a chat window,
// despite the name): waits, reads at most 127 bytes at a time, frames lines and
// hands each one, in order and synchronously, to the GUI thread.
#pragma once

#include <atomic>
#include <memory>
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
  // (trimming the logs) can be done once for all of them.
  virtual void ReceivedLinesBegin() {}
  virtual void ReceivedLinesEnd() {}
  virtual void EndOfStream() = 0;       // the server closed the connection
  virtual void ReceiveFailed() = 0;     // a read failed or a line raised
  // Last, after the socket is closed; not called once Stop() was called.
  virtual void ConnectionClosed() = 0;
};

class TChatClient {
 public:
  static constexpr int TimeoutMs = 60000;
  static constexpr std::size_t ReadSize = 127;

  // Starts at once. Context lives on the GUI thread.
  TChatClient(std::shared_ptr<TBlockingSocket> ClientSocket, TChatClientEvents& Events, QObject* Context);
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

 private:
  void Execute();

  std::shared_ptr<TBlockingSocket> socket_;
  TChatClientEvents& events_;
  TGuiCallGate gate_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  // Shared with hand-offs in flight, which may outlive this object.
  std::shared_ptr<std::atomic<bool>> stopLines_ = std::make_shared<std::atomic<bool>>(false);
  std::thread thread_;
};

}  // namespace tavi
