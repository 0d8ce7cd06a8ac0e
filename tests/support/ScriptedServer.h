// A real TCP server on 127.0.0.1 for loopback tests. It accepts one client
// on its own thread and plays the steps the test queues, in order. Every
// step is bounded in time and the server stops at destruction, so a failing
// test never hangs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

struct ssl_st;
struct ssl_ctx_st;

namespace tavi::test {

struct TTlsIdentity;

class TScriptedServer {
 public:
  static constexpr int StepTimeoutMs = 5000;

  // Listens on a free port of 127.0.0.1 at once.
  TScriptedServer();
  ~TScriptedServer();
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;

  std::uint16_t Port() const { return port_; }

  // Steps, played once the client has connected.
  void Send(std::string Bytes);
  void Pause(int Ms);
  // The next bytes the client sent, up to and with CR LF; whatever came
  // before a time-out or end of stream otherwise.
  std::future<std::string> ReadLine(int TimeoutMs = StepTimeoutMs);
  void CloseClient();  // an orderly close
  void ResetClient();  // an abortive close: the client sees a reset
  // The client's CAP lines are read like any other; by default they are
  // passed over, as a server that knows no CAP does.
  void KnowCap() { knowsCap_ = true; }
  // Drops the client, if any, and takes the next one that connects.
  void AcceptNext(int TimeoutMs = StepTimeoutMs);
  // Answers the client's TLS handshake with Identity; from then on the
  // steps send and read through TLS. A failed handshake is an Error().
  void StartTls(const TTlsIdentity& Identity);
  // How many clients were accepted so far.
  int Accepted() const;

  bool WaitAccepted(int TimeoutMs = StepTimeoutMs);
  // True when every step queued so far has been played.
  bool WaitIdle(int TimeoutMs = StepTimeoutMs);
  // The first step that went wrong, empty while all went well.
  std::string Error() const;

 private:
  using TStep = std::function<void(bool Play)>;  // Play false: dropped at stop

  void Queue(TStep Step);
  void Main();
  bool Accept(int TimeoutMs);
  bool Handshake(const TTlsIdentity& Identity);
  bool EnsureClient();
  bool SendAll(const std::string& Bytes);
  std::string ReceiveLine(int TimeoutMs);
  void DropClient(bool Reset);
  void Fail(const std::string& What);
  // Sleeps up to Ms; false when the server is stopping.
  bool Sleep(int Ms);

  int listenFd_ = -1;
  int clientFd_ = -1;
  int stopFd_ = -1;
  std::uint16_t port_ = 0;
  std::string received_;  // read from the client, not yet handed out
  std::atomic<bool> knowsCap_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TStep> steps_;
  std::size_t queued_ = 0, played_ = 0;
  bool accepted_ = false;
  int acceptCount_ = 0;
  ::ssl_ctx_st* sslContext_ = nullptr;
  ::ssl_st* ssl_ = nullptr;
  bool stop_ = false;
  std::string error_;
  std::thread thread_;
};

}  // namespace tavi::test
