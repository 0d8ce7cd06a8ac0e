#include "platform/BlockingSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <csignal>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>

#include <QString>
#include <cstring>

namespace tavi {

namespace {

using Clock = std::chrono::steady_clock;

// strerror_r comes in a GNU and a POSIX flavour; take either.
[[maybe_unused]] std::string ErrorString(int Rc, const char* Buffer) { return Rc == 0 ? Buffer : "Unknown error"; }
[[maybe_unused]] std::string ErrorString(const char* Text, const char*) { return Text; }

// The system's messages come in the locale's encoding; the program's text is
// UTF-8.
std::string SystemText(const std::string& Text) { return QString::fromLocal8Bit(Text).toStdString(); }

std::string ErrnoText(int Code) {
  char Buffer[256] = {};
  return SystemText(ErrorString(::strerror_r(Code, Buffer, sizeof Buffer), Buffer));
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

void SetNonBlocking(int Fd) {
  const int Flags = ::fcntl(Fd, F_GETFL);
  if (Flags >= 0) ::fcntl(Fd, F_SETFL, Flags | O_NONBLOCK);
}

bool IsAddressLiteral(const std::string& Host) {
  unsigned char Scrap[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, Host.c_str(), Scrap) == 1 || ::inet_pton(AF_INET6, Host.c_str(), Scrap) == 1;
}

// OpenSSL's reason for the last failure of this thread, with its queue emptied.
std::string TakeSslErrors(unsigned long* First = nullptr) {
  std::string Text;
  if (First) *First = 0;
  while (const unsigned long E = ::ERR_get_error()) {
    if (First && *First == 0) *First = E;
    char Buffer[256];
    ::ERR_error_string_n(E, Buffer, sizeof Buffer);
    if (!Text.empty()) Text += "; ";
    Text += Buffer;
  }
  return Text;
}

std::string Sha256Fingerprint(X509* Certificate) {
  unsigned char Digest[EVP_MAX_MD_SIZE];
  unsigned Length = 0;
  if (!Certificate || ::X509_digest(Certificate, ::EVP_sha256(), Digest, &Length) != 1) return {};
  static const char Hex[] = "0123456789ABCDEF";
  std::string Text;
  for (unsigned I = 0; I < Length; ++I) {
    if (I) Text += ':';
    Text += Hex[Digest[I] >> 4];
    Text += Hex[Digest[I] & 15];
  }
  return Text;
}

}  // namespace

TBlockingSocket::TBlockingSocket() { wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

TBlockingSocket::TBlockingSocket(int ConnectedFd) : TBlockingSocket() {
  if (ConnectedFd >= 0) Adopt(ConnectedFd);
}

TBlockingSocket::~TBlockingSocket() {
  Close();
  FreeTls();  // a handshake that failed before the connection was closed
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TBlockingSocket::Adopt(int Fd) {
  SetBlocking(Fd);
  ::fcntl(Fd, F_SETFD, FD_CLOEXEC);
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
      SetError(Rc < 0 ? Rc : -Rc, SystemText(::gai_strerror(Rc)));
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
  fd_.store(Connected);
  return true;
}

int TBlockingSocket::PollFor(int Fd, short Events, int TimeoutMs, bool Wakeable) {
  const bool Unlimited = TimeoutMs < 0;
  const auto Deadline = Clock::now() + std::chrono::milliseconds(Unlimited ? 0 : TimeoutMs);
  for (;;) {
    if (Wakeable && interrupted_.load()) return -1;
    pollfd P[2] = {{Fd, Events, 0}, {wakeFd_, POLLIN, 0}};
    const int N = ::poll(P, Wakeable ? 2 : 1, Remaining(Unlimited, Deadline));
    if (N < 0) {
      if (errno == EINTR) continue;
      SetErrno(errno);
      return -2;
    }
    if (N == 0) return 0;
    if (Wakeable && P[1].revents) {
      if (interrupted_.load()) return -1;
      ClearWake();
      continue;
    }
    return 1;
  }
}

TTlsCheck TBlockingSocket::StartTls(const std::string& Host, int TimeoutMs, const TClientIdentity& Identity) {
  TTlsCheck Check;
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0 || ssl_) {
    Check.Failure = TTlsCheck::TFailure::Other;
    Check.Reason = Fd < 0 ? ErrnoText(ENOTCONN) : "already TLS";
    return Check;
  }
  // OpenSSL writes with write(), not send(MSG_NOSIGNAL): a peer that has
  // gone would kill the program with SIGPIPE instead of failing the write.
  static std::once_flag IgnorePipe;
  std::call_once(IgnorePipe, [] { std::signal(SIGPIPE, SIG_IGN); });
  ::ERR_clear_error();
  sslContext_ = ::SSL_CTX_new(::TLS_client_method());
  if (!sslContext_) {
    Check.Failure = TTlsCheck::TFailure::Other;
    Check.Reason = TakeSslErrors();
    return Check;
  }
  ::SSL_CTX_set_min_proto_version(sslContext_, TLS1_2_VERSION);
  ::SSL_CTX_set_default_verify_paths(sslContext_);
  // The chain and the name are checked, but the verdict is the caller's:
  // an unknown certificate may still be accepted by the user.
  ::SSL_CTX_set_verify(sslContext_, SSL_VERIFY_NONE, nullptr);
  ::SSL_CTX_set_mode(sslContext_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Many servers just close the connection; that is an end of stream here.
  ::SSL_CTX_set_options(sslContext_, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (!Identity.CertFile.empty()) {
    const std::string& keyFile = Identity.KeyFile.empty() ? Identity.CertFile : Identity.KeyFile;
    if (::SSL_CTX_use_certificate_chain_file(sslContext_, Identity.CertFile.c_str()) != 1 ||
        ::SSL_CTX_use_PrivateKey_file(sslContext_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        ::SSL_CTX_check_private_key(sslContext_) != 1) {
      Check.Failure = TTlsCheck::TFailure::Other;
      Check.Reason = "client certificate: " + TakeSslErrors();
      return Check;
    }
  }
  ssl_ = ::SSL_new(sslContext_);
  if (!ssl_ || ::SSL_set_fd(ssl_, Fd) != 1) {
    Check.Failure = TTlsCheck::TFailure::Other;
    Check.Reason = TakeSslErrors();
    return Check;
  }
  if (IsAddressLiteral(Host)) {
    ::X509_VERIFY_PARAM_set1_ip_asc(::SSL_get0_param(ssl_), Host.c_str());
  } else {
    ::SSL_set_tlsext_host_name(ssl_, Host.c_str());
    ::SSL_set1_host(ssl_, Host.c_str());
  }
  // From here on the descriptor never blocks: the reader and the writer wait
  // in poll(), outside the lock they share the TLS state under.
  SetNonBlocking(Fd);

  const bool Unlimited = TimeoutMs < 0;
  const auto Deadline = Clock::now() + std::chrono::milliseconds(Unlimited ? 0 : TimeoutMs);
  for (;;) {
    ::ERR_clear_error();
    errno = 0;
    const int Rc = ::SSL_connect(ssl_);
    if (Rc == 1) break;
    const int Error = ::SSL_get_error(ssl_, Rc);
    const int SavedErrno = errno;
    if (Error == SSL_ERROR_WANT_READ || Error == SSL_ERROR_WANT_WRITE) {
      const int P = PollFor(Fd, Error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, Remaining(Unlimited, Deadline), true);
      if (P == 1) continue;
      Check.Failure = P == 0 ? TTlsCheck::TFailure::Timeout
                      : P == -1 ? TTlsCheck::TFailure::Cancelled
                                : TTlsCheck::TFailure::Other;
      Check.Reason = ErrnoText(P == 0 ? ETIMEDOUT : P == -1 ? ECANCELED : ErrorCode());
      SetErrno(P == 0 ? ETIMEDOUT : ECANCELED);
      return Check;
    }
    unsigned long First = 0;
    Check.Reason = TakeSslErrors(&First);
    const int Reason = ERR_GET_REASON(First);
    if (Reason == SSL_R_WRONG_VERSION_NUMBER || Reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
        Reason == SSL_R_UNKNOWN_PROTOCOL || Reason == SSL_R_RECORD_LENGTH_MISMATCH) {
      Check.Failure = TTlsCheck::TFailure::NotTls;
    } else if (Error == SSL_ERROR_ZERO_RETURN || (Error == SSL_ERROR_SYSCALL && First == 0) ||
               Reason == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      Check.Failure = TTlsCheck::TFailure::Closed;
      if (Check.Reason.empty()) Check.Reason = SavedErrno ? ErrnoText(SavedErrno) : "connection closed";
    } else {
      Check.Failure = TTlsCheck::TFailure::Other;
    }
    SetError(EPROTO, Check.Reason);
    return Check;
  }

  X509* Certificate = ::SSL_get1_peer_certificate(ssl_);
  Check.Fingerprint = Sha256Fingerprint(Certificate);
  if (Certificate) ::X509_free(Certificate);
  const long Verified = ::SSL_get_verify_result(ssl_);
  if (Certificate && Verified == X509_V_OK) {
    Check.Verdict = TTlsCheck::TVerdict::Trusted;
  } else {
    Check.Verdict = TTlsCheck::TVerdict::Untrusted;
    Check.Reason = Certificate ? ::X509_verify_cert_error_string(Verified) : "no certificate";
  }
  return Check;
}

TBlockingSocket::TWait TBlockingSocket::WaitForTlsData(int Fd, int TimeoutMs) {
  const bool Unlimited = TimeoutMs < 0;
  const auto Deadline = Clock::now() + std::chrono::milliseconds(Unlimited ? 0 : TimeoutMs);
  for (;;) {
    if (interrupted_.load()) return TWait::Interrupted;
    short Events = POLLIN;
    {
      // Readable bytes may be a record that holds no text (a session
      // ticket): only decrypted data counts.
      std::lock_guard Ssl(sslMutex_);
      if (::SSL_pending(ssl_) > 0) return TWait::Data;
      ::ERR_clear_error();
      char Scrap;
      const int N = ::SSL_peek(ssl_, &Scrap, 1);
      if (N > 0) return TWait::Data;
      const int Error = ::SSL_get_error(ssl_, N);
      if (Error == SSL_ERROR_WANT_WRITE) {
        Events = POLLOUT;
      } else if (Error != SSL_ERROR_WANT_READ) {
        return TWait::Data;  // end of stream or failure: the read tells which
      }
    }
    const int P = PollFor(Fd, Events, Remaining(Unlimited, Deadline), true);
    if (P == 0) return TWait::Timeout;
    if (P == -1) return TWait::Interrupted;
    if (P < 0) return TWait::Error;
  }
}

long TBlockingSocket::ReadTls(int Fd, char* Buffer, std::size_t Size) {
  for (;;) {
    short Events = POLLIN;
    {
      std::lock_guard Ssl(sslMutex_);
      ::ERR_clear_error();
      errno = 0;
      const int N = ::SSL_read(ssl_, Buffer, static_cast<int>(std::min<std::size_t>(Size, INT_MAX)));
      if (N > 0) return N;
      const int Error = ::SSL_get_error(ssl_, N);
      const int SavedErrno = errno;
      if (Error == SSL_ERROR_ZERO_RETURN) return 0;
      if (Error == SSL_ERROR_WANT_WRITE) {
        Events = POLLOUT;
      } else if (Error != SSL_ERROR_WANT_READ) {
        const std::string Reason = TakeSslErrors();
        if (Error == SSL_ERROR_SYSCALL && SavedErrno == 0 && Reason.empty()) return 0;
        SetError(SavedErrno ? SavedErrno : EPROTO, Reason.empty() ? ErrnoText(SavedErrno ? SavedErrno : EPROTO) : Reason);
        return -1;
      }
    }
    const int P = PollFor(Fd, Events, -1, true);
    if (P == -1) SetErrno(ECANCELED);
    if (P != 1) return -1;
  }
}

bool TBlockingSocket::WriteAllTls(int Fd, std::string_view Bytes) {
  while (!Bytes.empty()) {
    short Events = POLLOUT;
    {
      std::lock_guard Ssl(sslMutex_);
      ::ERR_clear_error();
      errno = 0;
      const int N = ::SSL_write(ssl_, Bytes.data(), static_cast<int>(std::min<std::size_t>(Bytes.size(), INT_MAX)));
      if (N > 0) {
        Bytes.remove_prefix(static_cast<std::size_t>(N));
        continue;
      }
      const int Error = ::SSL_get_error(ssl_, N);
      const int SavedErrno = errno;
      if (Error == SSL_ERROR_WANT_READ) {
        Events = POLLIN;
      } else if (Error != SSL_ERROR_WANT_WRITE) {
        const std::string Reason = TakeSslErrors();
        const int Code = SavedErrno ? SavedErrno : EPIPE;
        SetError(Code, Reason.empty() ? ErrnoText(Code) : Reason);
        return false;
      }
    }
    // The same stall bound as a plain send; a shutdown ends the wait.
    const int P = PollFor(Fd, Events, writeTimeoutMs_.load(), false);
    if (P == 0) {
      SetErrno(ETIMEDOUT);
      return false;
    }
    if (P < 0) return false;
  }
  return true;
}

void TBlockingSocket::FreeTls() {
  if (ssl_) {
    ::ERR_clear_error();
    ::SSL_shutdown(ssl_);  // one try at close_notify; the descriptor never blocks
    ::SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (sslContext_) {
    ::SSL_CTX_free(sslContext_);
    sslContext_ = nullptr;
  }
  ::ERR_clear_error();
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
  if (ssl_) return WaitForTlsData(Fd, TimeoutMs);
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
  if (ssl_) return ReadTls(Fd, Buffer, Size);
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
  if (ssl_) return WriteAllTls(Fd, Bytes);
  // The time-out counts from the last byte the connection took, whatever
  // the calls: a blocking send's own time-out starts again with each call
  // that took a part, so a peer that stopped reading held on for twice it.
  auto LastTaken = Clock::now();
  while (!Bytes.empty()) {
    const ssize_t N = ::send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (N > 0) {
      Bytes.remove_prefix(static_cast<std::size_t>(N));
      LastTaken = Clock::now();
      continue;
    }
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      SetErrno(errno);
      return false;
    }
    const int Left = Remaining(false, LastTaken + std::chrono::milliseconds(writeTimeoutMs_.load()));
    // A shutdown ends the wait at once.
    const int P = Left > 0 ? PollFor(Fd, POLLOUT, Left, false) : 0;
    if (P == 0) {
      SetErrno(ETIMEDOUT);
      return false;
    }
    if (P < 0) return false;
  }
  return true;
}

int TBlockingSocket::PlainFd() {
  const int Fd = fd_.load();
  // Bytes sent or taken past the TLS layer would break its records.
  if (Fd < 0 || ssl_) {
    SetErrno(Fd < 0 ? ENOTCONN : EOPNOTSUPP);
    return -1;
  }
  return Fd;
}

long TBlockingSocket::ReadAvailable(char* Buffer, std::size_t Size) {
  std::shared_lock Lock(use_);
  const int Fd = PlainFd();
  if (Fd < 0) return -1;
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
  const int Fd = PlainFd();
  if (Fd < 0) return -1;
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
  writeTimeoutMs_.store(Ms > 0 ? Ms : 1);
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
    FreeTls();
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

bool TBlockingSocket::PeerClosed() const {
  std::shared_lock Lock(use_);
  const int Fd = fd_.load();
  if (Fd < 0) return true;
  pollfd P{Fd, POLLRDHUP, 0};
  return ::poll(&P, 1, 0) > 0 && (P.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
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
