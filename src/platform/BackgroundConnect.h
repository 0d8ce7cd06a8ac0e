// A connect on a thread of its own: resolving and connecting may take a
// minute, and the window that asked must stay usable meanwhile. The work's
// result is handed to the asking object's thread, unless that object
// cancelled the attempt first.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace tavi {

class TBlockingSocket;

class TBackgroundConnect {
 public:
  // Work runs on the new thread with the attempt's socket (connect, and a
  // handshake if any) and returns the call to make on Context's thread.
  using TWork = std::function<std::function<void()>(TBlockingSocket& Socket)>;
  static std::shared_ptr<TBackgroundConnect> Start(QObject* Context, TWork Work);

  // On Context's thread: nothing is handed over after this, and a connect
  // under way ends early. The socket closes with the thread's last use.
  void Cancel();
  bool Cancelled() const;

  // The connected socket, for the handed-over call to take.
  const std::shared_ptr<TBlockingSocket>& Socket() const { return socket_; }

 private:
  explicit TBackgroundConnect(QObject* Context);

  mutable std::mutex mutex_;
  bool cancelled_ = false;
  QObject* const context_;
  const std::shared_ptr<TBlockingSocket> socket_;
};

}  // namespace tavi
