#include "platform/BackgroundConnect.h"

#include <QMetaObject>
#include <QObject>
#include <thread>

#include "platform/BlockingSocket.h"

namespace tavi {

TBackgroundConnect::TBackgroundConnect(QObject* Context)
    : context_(Context), socket_(std::make_shared<TBlockingSocket>()) {}

std::shared_ptr<TBackgroundConnect> TBackgroundConnect::Start(QObject* Context, TWork Work) {
  std::shared_ptr<TBackgroundConnect> attempt(new TBackgroundConnect(Context));
  std::thread([attempt, Work = std::move(Work)] {
    std::function<void()> done = Work(*attempt->socket_);
    std::lock_guard lock(attempt->mutex_);
    if (attempt->cancelled_ || !done) return;
    // Checked again on arrival: a cancel may come while the call is queued.
    QMetaObject::invokeMethod(
        attempt->context_,
        [attempt, done = std::move(done)] {
          if (!attempt->Cancelled()) done();
        },
        Qt::QueuedConnection);
  }).detach();
  return attempt;
}

void TBackgroundConnect::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  socket_->Interrupt();
}

bool TBackgroundConnect::Cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

}  // namespace tavi
