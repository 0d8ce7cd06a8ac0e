#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace tavi::test {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point Deadline) {
  const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
  return Left <= 0 ? 0 : static_cast<int>(Left);
}

}  // namespace

TScriptedServer::TScriptedServer() {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (stopFd_ < 0 || listenFd_ < 0) throw std::runtime_error("scripted server: no socket");
  const int One = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = 0;
  socklen_t Len = sizeof A;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || ::listen(listenFd_, 4) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&A), &Len) != 0) {
    throw std::runtime_error(std::string("scripted server: ") + std::strerror(errno));
  }
  port_ = ntohs(A.sin_port);
  thread_ = std::thread([this] { Main(); });
}

TScriptedServer::~TScriptedServer() {
  {
    std::lock_guard Lock(mutex_);
    stop_ = true;
  }
  const std::uint64_t One = 1;
  [[maybe_unused]] const ssize_t N = ::write(stopFd_, &One, sizeof One);
  changed_.notify_all();
  thread_.join();
  for (TStep& Step : steps_) Step(false);
  DropClient(false);
  ::close(listenFd_);
  ::close(stopFd_);
}

void TScriptedServer::Queue(TStep Step) {
  {
    std::lock_guard Lock(mutex_);
    steps_.push_back(std::move(Step));
    ++queued_;
  }
  changed_.notify_all();
}

void TScriptedServer::Send(std::string Bytes) {
  Queue([this, Bytes = std::move(Bytes)](bool Play) {
    if (Play && EnsureClient() && !SendAll(Bytes)) Fail("send failed");
  });
}

void TScriptedServer::Pause(int Ms) {
  Queue([this, Ms](bool Play) {
    if (Play) Sleep(Ms);
  });
}

std::future<std::string> TScriptedServer::ReadLine(int TimeoutMs) {
  auto Promise = std::make_shared<std::promise<std::string>>();
  std::future<std::string> Result = Promise->get_future();
  Queue([this, Promise, TimeoutMs](bool Play) {
    Promise->set_value(Play && EnsureClient() ? ReceiveLine(TimeoutMs) : std::string());
  });
  return Result;
}

void TScriptedServer::CloseClient() {
  Queue([this](bool Play) {
    if (Play) DropClient(false);
  });
}

void TScriptedServer::ResetClient() {
  Queue([this](bool Play) {
    if (Play) DropClient(true);
  });
}

bool TScriptedServer::WaitAccepted(int TimeoutMs) {
  std::unique_lock Lock(mutex_);
  return changed_.wait_for(Lock, std::chrono::milliseconds(TimeoutMs), [this] { return accepted_; });
}

bool TScriptedServer::WaitIdle(int TimeoutMs) {
  std::unique_lock Lock(mutex_);
  const std::size_t Target = queued_;
  return changed_.wait_for(Lock, std::chrono::milliseconds(TimeoutMs), [&] { return played_ >= Target; });
}

std::string TScriptedServer::Error() const {
  std::lock_guard Lock(mutex_);
  return error_;
}

void TScriptedServer::Fail(const std::string& What) {
  std::lock_guard Lock(mutex_);
  if (error_.empty()) error_ = What;
}

void TScriptedServer::Main() {
  Accept();
  for (;;) {
    TStep Step;
    {
      std::unique_lock Lock(mutex_);
      changed_.wait(Lock, [this] { return stop_ || !steps_.empty(); });
      if (stop_) return;
      Step = std::move(steps_.front());
      steps_.pop_front();
    }
    Step(true);
    {
      std::lock_guard Lock(mutex_);
      ++played_;
    }
    changed_.notify_all();
  }
}

bool TScriptedServer::EnsureClient() {
  if (clientFd_ >= 0) return true;
  Fail("no client");
  return false;
}

void TScriptedServer::Accept() {
  for (;;) {
    pollfd P[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int N = ::poll(P, 2, -1);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 || P[1].revents) return;
    const int Fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (Fd < 0) continue;
    clientFd_ = Fd;
    {
      std::lock_guard Lock(mutex_);
      accepted_ = true;
    }
    changed_.notify_all();
    return;
  }
}

bool TScriptedServer::SendAll(const std::string& Bytes) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(StepTimeoutMs);
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t N = ::send(clientFd_, Bytes.data() + Done, Bytes.size() - Done, MSG_NOSIGNAL);
    if (N > 0) {
      Done += static_cast<std::size_t>(N);
      continue;
    }
    if (N < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    pollfd P[2] = {{clientFd_, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
    const int R = ::poll(P, 2, MsLeft(Deadline));
    if (R == 0 || P[1].revents) return false;
  }
  return true;
}

std::string TScriptedServer::ReceiveLine(int TimeoutMs) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    const std::size_t End = received_.find("\r\n");
    if (End != std::string::npos) {
      std::string Line = received_.substr(0, End + 2);
      received_.erase(0, End + 2);
      return Line;
    }
    pollfd P[2] = {{clientFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int R = ::poll(P, 2, MsLeft(Deadline));
    if (R < 0 && errno == EINTR) continue;
    bool Over = R <= 0 || P[1].revents;
    if (!Over) {
      char Buffer[4096];
      const ssize_t N = ::recv(clientFd_, Buffer, sizeof Buffer, 0);
      if (N > 0) {
        received_.append(Buffer, static_cast<std::size_t>(N));
      } else if (!(N < 0 && (errno == EAGAIN || errno == EINTR))) {
        Over = true;
      }
    }
    if (Over) {
      std::string Rest;
      Rest.swap(received_);
      return Rest;
    }
  }
}

void TScriptedServer::DropClient(bool Reset) {
  if (clientFd_ < 0) return;
  if (Reset) {
    const linger Abort{1, 0};
    ::setsockopt(clientFd_, SOL_SOCKET, SO_LINGER, &Abort, sizeof Abort);
  } else {
    // Unread bytes at close would turn the close into a reset.
    char Buffer[4096];
    while (::recv(clientFd_, Buffer, sizeof Buffer, MSG_DONTWAIT) > 0) {
    }
  }
  ::close(clientFd_);
  clientFd_ = -1;
}

bool TScriptedServer::Sleep(int Ms) {
  std::unique_lock Lock(mutex_);
  return !changed_.wait_for(Lock, std::chrono::milliseconds(Ms), [this] { return stop_; });
}

}  // namespace tavi::test
