#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "TlsIdentity.h"

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
  if (sslContext_) SSL_CTX_free(sslContext_);
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

void TScriptedServer::AcceptNext(int TimeoutMs) {
  Queue([this, TimeoutMs](bool Play) {
    if (!Play) return;
    DropClient(false);
    if (!Accept(TimeoutMs)) Fail("no second client");
  });
}

void TScriptedServer::StartTls(const TTlsIdentity& Identity) {
  Queue([this, Identity](bool Play) {
    if (Play && EnsureClient() && !Handshake(Identity)) Fail("TLS handshake failed");
  });
}

int TScriptedServer::Accepted() const {
  std::lock_guard Lock(mutex_);
  return acceptCount_;
}

bool TScriptedServer::Handshake(const TTlsIdentity& Identity) {
  {
    std::signal(SIGPIPE, SIG_IGN);  // OpenSSL writes with write()
    // Each handshake may show another certificate.
    if (sslContext_) SSL_CTX_free(sslContext_);
    sslContext_ = SSL_CTX_new(TLS_server_method());
    BIO* Cert = BIO_new_mem_buf(Identity.CertificatePem.data(), static_cast<int>(Identity.CertificatePem.size()));
    BIO* Key = BIO_new_mem_buf(Identity.KeyPem.data(), static_cast<int>(Identity.KeyPem.size()));
    X509* X = PEM_read_bio_X509(Cert, nullptr, nullptr, nullptr);
    EVP_PKEY* K = PEM_read_bio_PrivateKey(Key, nullptr, nullptr, nullptr);
    SSL_CTX_use_certificate(sslContext_, X);
    SSL_CTX_use_PrivateKey(sslContext_, K);
    X509_free(X);
    EVP_PKEY_free(K);
    BIO_free(Cert);
    BIO_free(Key);
  }
  ssl_ = SSL_new(sslContext_);
  SSL_set_fd(ssl_, clientFd_);
  const auto Deadline = Clock::now() + std::chrono::milliseconds(StepTimeoutMs);
  for (;;) {
    ERR_clear_error();
    const int Rc = SSL_accept(ssl_);
    if (Rc == 1) return true;
    const int E = SSL_get_error(ssl_, Rc);
    if (E != SSL_ERROR_WANT_READ && E != SSL_ERROR_WANT_WRITE) return false;
    pollfd P[2] = {{clientFd_, static_cast<short>(E == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0}, {stopFd_, POLLIN, 0}};
    if (::poll(P, 2, MsLeft(Deadline)) <= 0 || P[1].revents) return false;
  }
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
  Accept(-1);
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

bool TScriptedServer::Accept(int TimeoutMs) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    pollfd P[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int N = ::poll(P, 2, TimeoutMs < 0 ? -1 : MsLeft(Deadline));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0 || P[1].revents) return false;
    const int Fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (Fd < 0) continue;
    clientFd_ = Fd;
    {
      std::lock_guard Lock(mutex_);
      accepted_ = true;
      ++acceptCount_;
    }
    changed_.notify_all();
    return true;
  }
}

bool TScriptedServer::SendAll(const std::string& Bytes) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(StepTimeoutMs);
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    if (ssl_) {
      ERR_clear_error();
      const int N = SSL_write(ssl_, Bytes.data() + Done, static_cast<int>(Bytes.size() - Done));
      if (N > 0) {
        Done += static_cast<std::size_t>(N);
        continue;
      }
      const int E = SSL_get_error(ssl_, N);
      if (E != SSL_ERROR_WANT_READ && E != SSL_ERROR_WANT_WRITE) return false;
      pollfd P[2] = {{clientFd_, static_cast<short>(E == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0}, {stopFd_, POLLIN, 0}};
      const int R = ::poll(P, 2, MsLeft(Deadline));
      if (R == 0 || P[1].revents) return false;
      continue;
    }
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
      // A server of the old kind lets CAP pass unanswered.
      if (!knowsCap_ && Line.starts_with("CAP ")) continue;
      return Line;
    }
    pollfd P[2] = {{clientFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    // Text TLS has decrypted already shows on no descriptor.
    const int R = ssl_ && SSL_pending(ssl_) > 0 ? 1 : ::poll(P, 2, MsLeft(Deadline));
    if (R < 0 && errno == EINTR) continue;
    bool Over = R <= 0 || P[1].revents;
    if (!Over) {
      char Buffer[4096];
      ssize_t N = 0;
      if (ssl_) {
        ERR_clear_error();
        N = SSL_read(ssl_, Buffer, sizeof Buffer);
        if (N <= 0) {
          const int E = SSL_get_error(ssl_, static_cast<int>(N));
          N = -1;
          errno = E == SSL_ERROR_WANT_READ || E == SSL_ERROR_WANT_WRITE ? EAGAIN : EPIPE;
        }
      } else {
        N = ::recv(clientFd_, Buffer, sizeof Buffer, 0);
      }
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
  if (ssl_) {
    if (!Reset) SSL_shutdown(ssl_);
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
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
