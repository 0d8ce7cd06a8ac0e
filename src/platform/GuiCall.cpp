#include "platform/GuiCall.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace tavi {

struct TGuiCallGate::TState {
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Abandoned = false;
};

namespace {

struct TCall {
  bool Done = false;     // ran to its end on the GUI thread
  bool Dropped = false;  // will never run
  std::exception_ptr Error;
};

// Owned by the queued event alone: whether it runs or is thrown away
// unrun, the waiting worker hears of it.
template <class State>
struct TDelivery {
  std::shared_ptr<State> S;
  std::shared_ptr<TCall> C;
  std::function<void()> Fn;
  bool Ran = false;

  void Deliver() {
    {
      std::lock_guard Lock(S->Mutex);
      if (S->Abandoned) return;
    }
    Ran = true;
    try {
      Fn();
    } catch (...) {
      C->Error = std::current_exception();
    }
    Finish(false);
  }

  void Finish(bool Drop) {
    {
      std::lock_guard Lock(S->Mutex);
      (Drop ? C->Dropped : C->Done) = true;
    }
    S->Changed.notify_all();
  }

  ~TDelivery() {
    if (!Ran) Finish(true);
  }
};

}  // namespace

TGuiCallGate::TGuiCallGate(QObject* Context) : state_(std::make_shared<TState>()), context_(Context) {}

TGuiCallGate::~TGuiCallGate() { Abandon(); }

bool TGuiCallGate::Run(std::function<void()> Call) {
  if (!context_ || QThread::currentThread() == context_->thread()) {
    if (Abandoned()) return false;
    Call();
    return true;
  }

  const std::shared_ptr<TState> S = state_;
  auto C = std::make_shared<TCall>();
  {
    std::lock_guard Lock(S->Mutex);
    if (S->Abandoned) return false;
  }
  auto D = std::make_shared<TDelivery<TState>>();
  D->S = S;
  D->C = C;
  D->Fn = std::move(Call);
  QMetaObject::invokeMethod(context_, [D] { D->Deliver(); }, Qt::QueuedConnection);
  D.reset();

  std::unique_lock Lock(S->Mutex);
  S->Changed.wait(Lock, [&] { return C->Done || C->Dropped || S->Abandoned; });
  if (!C->Done) return false;
  Lock.unlock();
  if (C->Error) std::rethrow_exception(C->Error);
  return true;
}

void TGuiCallGate::Abandon() {
  {
    std::lock_guard Lock(state_->Mutex);
    state_->Abandoned = true;
  }
  state_->Changed.notify_all();
}

bool TGuiCallGate::Abandoned() const {
  std::lock_guard Lock(state_->Mutex);
  return state_->Abandoned;
}

}  // namespace tavi
