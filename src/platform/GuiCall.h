// Synchronous hand-off from a worker thread to the GUI thread that can be
// abandoned: the worker waits until the GUI thread has run the call, or until
// the owner abandons the worker, after which queued calls do nothing. This
// lets the GUI thread stop and join a worker that is waiting for it.
#pragma once

#include <functional>
#include <memory>

class QObject;

namespace tavi {

class TGuiCallGate {
 public:
  // Context: an object living on the GUI thread; calls run in its thread.
  explicit TGuiCallGate(QObject* Context);
  ~TGuiCallGate();
  TGuiCallGate(const TGuiCallGate&) = delete;
  TGuiCallGate& operator=(const TGuiCallGate&) = delete;

  // From the worker: runs Call on the GUI thread and waits for it. Returns
  // false when abandoned (Call then never runs, or its effect is dropped),
  // or when the GUI thread dropped the call unrun (its Context or event
  // loop went away). An exception thrown by Call is thrown again here.
  // Called on the GUI thread itself, runs Call at once.
  bool Run(std::function<void()> Call);

  // From the GUI thread: wakes a waiting worker; nothing handed off runs
  // after this returns.
  void Abandon();
  bool Abandoned() const;

 private:
  struct TState;
  std::shared_ptr<TState> state_;
  QObject* context_;
};

}  // namespace tavi
