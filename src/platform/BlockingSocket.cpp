#include "platform/BlockingSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tavi {

namespace {

using Clock = std::chrono::steady_clock;

// strerror_r comes in a GNU and a POSIX flavour; take either.
[[maybe_unused]] std::string ErrorString(int Rc, const char* Buffer) { return Rc == 0 ? Buffer : "Unknown error"; }
[[maybe_unused]] std::string ErrorString(const char* Text, const char*) { return Text; }

std::string ErrnoText(int Code) {
  char Buffer[256] = {};
  return ErrorString(::strerror_r(Code, Buffer, sizeof Buffer), Buffer);
}

// Milliseconds left until Deadline for poll(); -1 when there is no deadline.
int Remaining(bool Unlimited, Clock::time_point Deadline) {
  if (Unlimited) return -1;
  const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
  return Left <= 0 ? 0 : static_cast<int>(Left);
}

void SetBlocking(int Fd) {
  const int Flags = ::fcntl(Fd, F_GETFL);
  if (Flags >= 0) ::fcntl(Fd, F_SETFL, Flags & ~O_NONBLOCK);
}

void SetSendTimeout(int Fd, int Ms = TBlockingSocket::WriteTimeoutMs) {
  timeval Tv{};
  Tv.tv_sec = Ms / 1000;
  Tv.tv_usec = (Ms % 1000) * 1000;
  ::setsockopt(Fd, SOL_SOCKET, SO_SNDTIMEO, &Tv, sizeof Tv);
}

std::string AddressText(const sockaddr_storage& S) {
  char Text[INET6_ADDRSTRLEN] = {};
  if (S.ss_family == AF_INET) {
    const auto& In = reinterpret_cast<const sockaddr_in&>(S);
    if (::inet_ntop(AF_INET, &In.sin_addr, Text, sizeof Text)) return Text;
  } else if (S.ss_family == AF_INET6) {
    const auto& In6 = reinterpret_cast<const sockaddr_in6&>(S);
    if (IN6_IS_ADDR_V4MAPPED(&In6.sin6_addr)) {
      if (::inet_ntop(AF_INET, In6.sin6_addr.s6_addr + 12, Text, sizeof Text)) return Text;
    } else if (::inet_ntop(AF_INET6, &In6.sin6_addr, Text, sizeof Text)) {
      return Text;
    }
  }
  return {};
}

std::uint16_t PortOf(const sockaddr_storage& S) {
  if (S.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(S).sin_port);
  if (S.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(S).sin6_port);
  return 0;
}

}  // namespace

TBlockingSocket::TBlockingSocket() { wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

TBlockingSocket::TBlockingSocket(int ConnectedFd) : TBlockingSocket() {
  if (ConnectedFd >= 0) Adopt(ConnectedFd);
}

TBlockingSocket::~TBlockingSocket() {
  Close();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TBlockingSocket::Adopt(int Fd) {
  SetBlocking(Fd);
  ::fcntl(Fd, F_SETFD, FD_CLOEXEC);
  SetSendTimeout(Fd);
  fd_.store(Fd);
  remoteHost_ = RemoteAddress();
}

void TBlockingSocket::SetError(int Code, std::string Text) {
  std::lock_guard Lock(errorMutex_);
  errorCode_ = Code;
  errorText_ = std::move(Text);
}

void TBlockingSocket::SetErrno(int Code) { SetError(Code, ErrnoText(Code)); }

int TBlockingSocket::ErrorCode() const {
  std::lock_guard Lock(errorMutex_);
  return errorCode_;
}

std::string TBlockingSocket::ErrorText() const {
  std::lock_guard Lock(errorMutex_);
  return errorText_;
}

bool TBlockingSocket::Connect(const std::string& Host, std::uint16_t Port, int TimeoutMs) {
  if (Connected()) Close();
  remoteHost_ = Host;
  SetError(0, {});

  addrinfo Hints{};
  Hints.ai_family = AF_UNSPEC;
  Hints.ai_socktype = SOCK_STREAM;
  Hints.ai_flags = AI_NUMERICSERV;
  addrinfo* List = nullptr;
  const std::string Service = std::to_string(Port);
  const int Rc = ::getaddrinfo(Host.c_str(), Service.c_str(), &Hints, &List);
  if (Rc != 0) {
    if (Rc == EAI_SYSTEM) {
      SetErrno(errno);
    } else {
      SetError(Rc < 0 ? Rc : -Rc, ::gai_strerror(Rc));
    }
    return false;
  }

  const bool Unlimited = TimeoutMs < 0;
  const auto Deadline = Clock::now() + std::chrono::milliseconds(Unlimited ? 0 : TimeoutMs);
  int Error = EHOSTUNREACH;
  int Connected = -1;
  // Each address in turn, all within the one time-out.
  for (const addrinfo* A = List; A && Connected < 0; A = A->ai_next) {
    if (interrupted_.load()) {
      Error = ECANCELED;
      break;
    }
    const int Fd = ::socket(A->ai_family, A->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, A->ai_protocol);
    if (Fd < 0) {
      Error = errno;
      continue;
    }
    int Result = ::connect(Fd, A->ai_addr, A->ai_addrlen) == 0 ? 0 : errno;
    if (Result == EINPROGRESS || Result == EINTR) {
      Result = 0;
      for (;;) {
        pollfd P[2] = {{Fd, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
        const int N = ::poll(P, 2, Remaining(Unlimited, Deadline));
        if (N < 0 && errno == EINTR) continue;
        if (N < 0) {
          Result = errno;
        } else if (N == 0) {
          Result = ETIMEDOUT;
        } else if (P[1].revents && interrupted_.load()) {
          Result = ECANCELED;
        } else if (P[0].revents) {
          socklen_t Len = sizeof Result;
          if (::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &Result, &Len) != 0) Result = errno;
        } else {
          ClearWake();  // a stale wake-up from before the last Close
          continue;
        }
        break;
      }
    }
    if (Result == 0) {
      Connected = Fd;
    } else {
      ::close(Fd);
      Error = Result;
      if (Result == ETIMEDOUT || Result == ECANCELED) break;
    }
  }
  ::freeaddrinfo(List);

  if (Connected < 0) {
    SetErrno(Error);
    return false;
  }
  SetBlocking(Connected);
  SetSendTimeout(Connected);
  fd_.store(Connected);
  return true;
}

TBlockingSocket::TWait TBlockingSocket::WaitForData(int TimeoutMs) {
  bool CanRead = false, CanWrite = false;
  return WaitForDataOrRoom(TimeoutMs, false, CanRead, CanWrite);
}

TBlockingSocket::TWait TBlockingSocket::WaitForDataOrRoom(int TimeoutMs, bool WantWrite, bool& CanRead,
                                                          bool& CanWrite) {
  return WaitForDataOrRoom(TimeoutMs, true, WantWrite, CanRead, CanWrite);
}

TBlockingSocket::TWait TBlockingSocket::WaitForDataOrRoom(int TimeoutMs, bool WantRead, bool WantWrite,
                                                          bool& CanRead, bool& CanWrite) {
  CanRead = CanWrite = false;
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0) {
    SetErrno(ENOTCONN);
    return TWait::Error;
  }
  const bool Unlimited = TimeoutMs < 0;
  const auto Deadline = Clock::now() + std::chrono::milliseconds(Unlimited ? 0 : TimeoutMs);
  const short Events = static_cast<short>((WantRead || !WantWrite ? POLLIN : 0) | (WantWrite ? POLLOUT : 0));
  for (;;) {
    if (interrupted_.load()) return TWait::Interrupted;
    pollfd P[2] = {{Fd, Events, 0}, {wakeFd_, POLLIN, 0}};
    const int N = ::poll(P, 2, Remaining(Unlimited, Deadline));
    if (N < 0) {
      if (errno == EINTR) continue;
      SetErrno(errno);
      return TWait::Error;
    }
    if (N == 0) return TWait::Timeout;
    if (P[1].revents) {
      if (interrupted_.load()) return TWait::Interrupted;
      ClearWake();
      continue;
    }
    if (P[0].revents & POLLNVAL) {
      SetErrno(EBADF);
      return TWait::Error;
    }
    CanWrite = (P[0].revents & POLLOUT) != 0;
    CanRead = (P[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 || !CanWrite;
    return TWait::Data;  // readable, writable, hung up or failed: the call tells which
  }
}

long TBlockingSocket::Read(char* Buffer, std::size_t Size) {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0) {
    SetErrno(ENOTCONN);
    return -1;
  }
  for (;;) {
    const ssize_t N = ::recv(Fd, Buffer, Size, 0);
    if (N >= 0) return static_cast<long>(N);
    if (errno == EINTR) continue;
    SetErrno(errno);
    return -1;
  }
}

bool TBlockingSocket::WriteAll(std::string_view Bytes) {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0) {
    SetErrno(ENOTCONN);
    return false;
  }
  while (!Bytes.empty()) {
    const ssize_t N = ::send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
    if (N < 0) {
      if (errno == EINTR) continue;
      SetErrno(errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno);
      return false;
    }
    Bytes.remove_prefix(static_cast<std::size_t>(N));
  }
  return true;
}

long TBlockingSocket::ReadAvailable(char* Buffer, std::size_t Size) {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0) {
    SetErrno(ENOTCONN);
    return -1;
  }
  for (;;) {
    const ssize_t N = ::recv(Fd, Buffer, Size, MSG_DONTWAIT);
    if (N >= 0) return static_cast<long>(N);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
    SetErrno(errno);
    return -1;
  }
}

long TBlockingSocket::WriteSome(const char* Bytes, std::size_t Size) {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0) {
    SetErrno(ENOTCONN);
    return -1;
  }
  for (;;) {
    const ssize_t N = ::send(Fd, Bytes, Size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (N >= 0) return static_cast<long>(N);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    SetErrno(errno);
    return -1;
  }
}

void TBlockingSocket::SetWriteTimeout(int Ms) {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  // Zero would mean no time-out at all.
  if (Fd >= 0) SetSendTimeout(Fd, Ms > 0 ? Ms : 1);
}

void TBlockingSocket::Interrupt() {
  interrupted_.store(true);
  const std::uint64_t One = 1;
  if (wakeFd_ >= 0) {
    [[maybe_unused]] const ssize_t N = ::write(wakeFd_, &One, sizeof One);
  }
}

void TBlockingSocket::ClearWake() {
  std::uint64_t Count = 0;
  if (wakeFd_ >= 0) {
    [[maybe_unused]] const ssize_t N = ::read(wakeFd_, &Count, sizeof Count);
  }
}

void TBlockingSocket::Shutdown() {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd >= 0) ::shutdown(Fd, SHUT_RDWR);
}

void TBlockingSocket::Close() {
  const int Fd = fd_.exchange(-1);
  if (Fd >= 0) {
    std::unique_lock Lock(use_, std::defer_lock);
    // A call of the other thread normally ends at once; one that is stuck
    // (a full send buffer, a long wait) is released by ending the connection.
    if (!Lock.try_lock_for(std::chrono::milliseconds(200))) {
      ::shutdown(Fd, SHUT_RDWR);
      Lock.lock();
    }
    // Closing with unread data makes the kernel reset the connection and
    // drop what is still queued to send, such as a QUIT line.
    char Scrap[4096];
    for (int I = 0; I < 256; ++I) {
      const ssize_t N = ::recv(Fd, Scrap, sizeof Scrap, MSG_DONTWAIT);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) break;
    }
    ::close(Fd);
  }
  interrupted_.store(false);
  ClearWake();
}

std::string TBlockingSocket::LocalAddress() const {
  std::shared_lock Lock(use_);
  sockaddr_storage S{};
  socklen_t Len = sizeof S;
  const int Fd = fd_.load();
  if (Fd < 0 || ::getsockname(Fd, reinterpret_cast<sockaddr*>(&S), &Len) != 0) return {};
  return AddressText(S);
}

std::string TBlockingSocket::RemoteAddress() const {
  std::shared_lock Lock(use_);
  sockaddr_storage S{};
  socklen_t Len = sizeof S;
  const int Fd = fd_.load();
  if (Fd < 0 || ::getpeername(Fd, reinterpret_cast<sockaddr*>(&S), &Len) != 0) return {};
  return AddressText(S);
}

std::uint16_t TBlockingSocket::LocalPort() const {
  std::shared_lock Lock(use_);
  sockaddr_storage S{};
  socklen_t Len = sizeof S;
  const int Fd = fd_.load();
  if (Fd < 0 || ::getsockname(Fd, reinterpret_cast<sockaddr*>(&S), &Len) != 0) return 0;
  return PortOf(S);
}

std::uint16_t TBlockingSocket::RemotePort() const {
  std::shared_lock Lock(use_);
  sockaddr_storage S{};
  socklen_t Len = sizeof S;
  const int Fd = fd_.load();
  if (Fd < 0 || ::getpeername(Fd, reinterpret_cast<sockaddr*>(&S), &Len) != 0) return 0;
  return PortOf(S);
}

}  // namespace tavi
