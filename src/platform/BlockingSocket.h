// A small blocking TCP client socket over POSIX sockets. One reader thread
// and one writer thread may use it at once; Interrupt() wakes a blocked wait
// from any thread without touching the connection. StartTls() turns an open
// connection into a TLS one (OpenSSL); every call below then works on the
// TLS stream instead of the raw bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>

struct ssl_st;
struct ssl_ctx_st;

namespace tavi {

// What a TLS handshake found out about the server's certificate.
struct TTlsCheck {
  enum class TVerdict { Trusted, Untrusted, Failed };
  TVerdict Verdict = TVerdict::Failed;
  // SHA-256 of the server's certificate, "AB:CD:...", once it is known.
  std::string Fingerprint;
  // Why the certificate is not trusted, or why the handshake failed
  // (OpenSSL's words).
  std::string Reason;
  // The handshake failed because the peer spoke no TLS, closed, or timed out.
  enum class TFailure { None, NotTls, Closed, Timeout, Cancelled, Other };
  TFailure Failure = TFailure::None;
};

// A certificate and its private key (PEM files) the client shows in the
// handshake; none when CertFile is empty.
struct TClientIdentity {
  std::string CertFile;
  std::string KeyFile;  // empty: the key is in CertFile
};

class TBlockingSocket {
 public:
  enum class TWait { Data, Timeout, Interrupted, Error };

  // Writes that make no progress for this long fail.
  static constexpr int WriteTimeoutMs = 60000;

  TBlockingSocket();
  // Takes over an already connected descriptor (an accepted DCC peer).
  explicit TBlockingSocket(int ConnectedFd);
  ~TBlockingSocket();
  TBlockingSocket(const TBlockingSocket&) = delete;
  TBlockingSocket& operator=(const TBlockingSocket&) = delete;

  // Resolves Host and connects, giving up after TimeoutMs. On failure
  // returns false with ErrorCode (an errno value, or a negative resolver
  // code) and ErrorText set. An open connection is closed first.
  bool Connect(const std::string& Host, std::uint16_t Port, int TimeoutMs);

  // Runs a TLS handshake over the open connection, checking the chain
  // against the system's certificate store and the name against Host. An
  // untrusted certificate still completes the handshake (Untrusted): the
  // caller decides. On Failed the connection stays open but is unusable.
  // Identity, when given, is shown to the server (a client certificate).
  TTlsCheck StartTls(const std::string& Host, int TimeoutMs, const TClientIdentity& Identity = {});
  bool Tls() const { return ssl_ != nullptr; }

  // Waits until data (or end of stream) can be read; TimeoutMs < 0 waits
  // without limit, 0 only looks.
  TWait WaitForData(int TimeoutMs);
  // As WaitForData, and with WantWrite also until a write can take bytes;
  // on Data, CanRead and CanWrite say which (a hang-up reads).
  TWait WaitForDataOrRoom(int TimeoutMs, bool WantWrite, bool& CanRead, bool& CanWrite);
  // With WantRead false, waits for room to write only (a hang-up or an
  // error still ends the wait): a writer that reads whatever has come at
  // its next turn need not wake for every small reply.
  TWait WaitForDataOrRoom(int TimeoutMs, bool WantRead, bool WantWrite, bool& CanRead, bool& CanWrite);
  // Reads at most Size bytes of what is there now: -2 when nothing is.
  // This and WriteSome work on plain connections only (-1, EOPNOTSUPP on
  // a TLS one).
  long ReadAvailable(char* Buffer, std::size_t Size);
  // Reads at most Size bytes; 0 at end of stream, -1 on error.
  long Read(char* Buffer, std::size_t Size);
  // Writes every byte; false on error (ErrorCode/ErrorText set). A send
  // that makes no progress for the write time-out fails with ETIMEDOUT.
  bool WriteAll(std::string_view Bytes);
  // Writes what the send buffer takes now, without waiting: the count, 0
  // when it is full, -1 on error.
  long WriteSome(const char* Bytes, std::size_t Size);
  // Sets that time-out (WriteTimeoutMs unless set) for the writes to come.
  void SetWriteTimeout(int Ms);

  // Wakes any WaitForData now and later until the socket is closed.
  void Interrupt();
  bool Interrupted() const { return interrupted_.load(); }
  // Ends both directions at once; blocked reads return.
  void Shutdown();
  // Closes gracefully: data already written still goes out. Safe while the
  // other thread is inside a call; that call then fails.
  void Close();

  bool Connected() const { return fd_.load() >= 0; }
  // The peer has closed or reset the connection (data it sent before may
  // still wait to be read); true when it is not open.
  bool PeerClosed() const;
  int Descriptor() const { return fd_.load(); }
  std::string LocalAddress() const;   // "a.b.c.d", empty when unknown
  std::string RemoteAddress() const;
  std::uint16_t LocalPort() const;
  std::uint16_t RemotePort() const;
  const std::string& RemoteHost() const { return remoteHost_; }

  // The last error of either thread.
  int ErrorCode() const;
  std::string ErrorText() const;

 private:
  void SetError(int Code, std::string Text);
  void SetErrno(int Code);
  void Adopt(int Fd);
  void ClearWake();
  // Waits for the descriptor (Events), or for a wake-up when Wakeable.
  // 1 ready, 0 time-out, -1 interrupted (Wakeable only), -2 failure.
  int PollFor(int Fd, short Events, int TimeoutMs, bool Wakeable);
  TWait WaitForTlsData(int Fd, int TimeoutMs);
  long ReadTls(int Fd, char* Buffer, std::size_t Size);
  bool WriteAllTls(int Fd, std::string_view Bytes);
  void FreeTls();
  // The descriptor of a plain connection (under use_), or -1 with the error set.
  int PlainFd();

  std::atomic<int> fd_{-1};
  // Held shared by every call that uses fd_, exclusively by Close(), so
  // that a descriptor is never closed (and its number reused) under a call.
  mutable std::shared_timed_mutex use_;
  int wakeFd_ = -1;  // eventfd used by Interrupt()
  std::atomic<bool> interrupted_{false};
  std::string remoteHost_;
  mutable std::mutex errorMutex_;
  int errorCode_ = 0;
  std::string errorText_;
  // TLS state: the reader and the writer take turns on ssl_ under sslMutex_,
  // each call non-blocking, and wait for the descriptor outside the lock.
  ::ssl_st* ssl_ = nullptr;
  ::ssl_ctx_st* sslContext_ = nullptr;
  std::mutex sslMutex_;
  std::atomic<int> writeTimeoutMs_{WriteTimeoutMs};
};

}  // namespace tavi
