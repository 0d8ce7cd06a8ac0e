#include "core/ChatClientUnit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <vector>

#include "core/LineFramer.h"

namespace tavi {

namespace {

// The send thread writes queued lines in chunks of about this size.
constexpr std::size_t WriteChunk = 64 * 1024;

// The lines of one read burst, handed to the GUI thread slice by slice.
struct TBurstLines {
  std::vector<std::string> Lines;
  std::size_t Next = 0;  // touched only inside a hand-off
};

}  // namespace

TChatClient::TChatClient(std::shared_ptr<TBlockingSocket> ClientSocket, TChatClientEvents& Events, QObject* Context,
                         TChatClientLimits Limits)
    : socket_(std::move(ClientSocket)), events_(Events), limits_(Limits), gate_(Context) {
  socket_->SetWriteTimeout(limits_.StallMs);
  writer_ = std::thread([this] { WriteLoop(); });
  thread_ = std::thread([this] { Execute(); });
}

TChatClient::~TChatClient() { Stop(); }

void TChatClient::Terminate() {
  terminated_.store(true);
  stopLines_->store(true);
  // Only the wait is woken: the connection stays as it is, so a QUIT line
  // queued just before still goes out before the thread closes it.
  socket_->Interrupt();
}

void TChatClient::Stop() {
  Terminate();
  gate_.Abandon();
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

bool TChatClient::Send(std::string Bytes) {
  std::unique_lock Lock(sendMutex_);
  if (sendFailed_ || stopWriting_) return false;
  if (queuedBytes_ + Bytes.size() > limits_.MaxQueuedBytes) {
    Lock.unlock();
    FailSending(TChatClientEvents::TSendFailure::Overflow, 0);
    return false;
  }
  queuedBytes_ += Bytes.size();
  queue_.push_back(std::move(Bytes));
  sendChanged_.notify_all();
  return true;
}

std::size_t TChatClient::QueuedBytes() const {
  std::lock_guard Lock(sendMutex_);
  return queuedBytes_;
}

void TChatClient::FailSending(TChatClientEvents::TSendFailure Why, int Code) {
  {
    std::lock_guard Lock(sendMutex_);
    if (sendFailed_ || stopWriting_) return;
    sendFailed_ = true;
    failure_ = Why;
    failureCode_ = Code;
    queue_.clear();
    sendChanged_.notify_all();
  }
  // Both threads leave their calls at once; the receive thread then reports
  // the failure and closes as for any lost connection.
  socket_->Shutdown();
}

void TChatClient::WriteLoop() {
  std::unique_lock Lock(sendMutex_);
  for (;;) {
    sendChanged_.wait(Lock, [this] { return stopWriting_ || sendFailed_ || !queue_.empty(); });
    if (stopWriting_ || sendFailed_) break;
    // Lines waiting together go out in one write, in their order.
    std::string Chunk = std::move(queue_.front());
    queue_.pop_front();
    while (!queue_.empty() && Chunk.size() + queue_.front().size() <= WriteChunk) {
      Chunk += queue_.front();
      queue_.pop_front();
    }
    writing_ = true;
    Lock.unlock();
    const bool Ok = socket_->WriteAll(Chunk);
    const int Code = Ok ? 0 : socket_->ErrorCode();
    Lock.lock();
    writing_ = false;
    queuedBytes_ -= std::min(queuedBytes_, Chunk.size());
    sendChanged_.notify_all();
    if (!Ok) {
      Lock.unlock();
      FailSending(Code == ETIMEDOUT ? TChatClientEvents::TSendFailure::Stalled
                                    : TChatClientEvents::TSendFailure::WriteError,
                  Code);
      return;
    }
  }
}

void TChatClient::FinishWriting() {
  std::unique_lock Lock(sendMutex_);
  sendChanged_.wait_for(Lock, std::chrono::milliseconds(std::max(0, limits_.FlushMs)),
                        [this] { return sendFailed_ || (queue_.empty() && !writing_); });
  stopWriting_ = true;
  sendChanged_.notify_all();
}

std::string TChatClient::FirstBytes() const {
  std::lock_guard Lock(firstMutex_);
  return firstBytes_;
}

void TChatClient::Execute() {
  // The calls handed off capture only what outlives this object, by value:
  // the GUI thread may still be inside one after Stop() let us go.
  TChatClientEvents* Events = &events_;
  bool Abandoned = false;
  bool Failed = false;
  TLineFramer Framer;
  char Buffer[ReadSize + 1];

  // A lost connection is reported as the send failure that caused it, if any.
  auto ReportEnd = [this, Events](void (TChatClientEvents::*Report)()) {
    bool SendFailed = false;
    TChatClientEvents::TSendFailure Why{};
    int Code = 0;
    {
      std::lock_guard Lock(sendMutex_);
      SendFailed = sendFailed_;
      Why = failure_;
      Code = failureCode_;
    }
    if (SendFailed) return gate_.Run([Events, Why, Code] { Events->SendFailed(Why, Code); });
    return gate_.Run([Events, Report] { (Events->*Report)(); });
  };

  using Clock = std::chrono::steady_clock;
  Clock::time_point LastHeard = Clock::now();
  bool Pinged = false;
  bool Silent = false;
  std::size_t FirstKept = 0;
  try {
    while (!terminated_.load() && socket_->Connected() && !Abandoned && !Failed) {
      int WaitMs = TimeoutMs;
      if (limits_.IdlePingMs > 0) {
        const auto Due = LastHeard + std::chrono::milliseconds(limits_.IdlePingMs) +
                         std::chrono::milliseconds(Pinged ? std::max(0, limits_.PingAnswerMs) : 0);
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Due - Clock::now()).count();
        if (Left <= 0) {
          if (Pinged) {
            Silent = true;
            break;
          }
          Pinged = true;
          Send("PING :" + socket_->RemoteHost() + "\r\n");
          continue;
        }
        WaitMs = static_cast<int>(std::min<long long>(WaitMs, Left));
      }
      const TBlockingSocket::TWait Waited = socket_->WaitForData(WaitMs);
      if (Waited == TBlockingSocket::TWait::Timeout) continue;
      if (Waited == TBlockingSocket::TWait::Interrupted) break;
      if (Waited == TBlockingSocket::TWait::Error) {
        Failed = true;
        break;
      }

      bool EndOfStream = false;
      std::size_t BurstRead = 0;
      while (!terminated_.load()) {
        const long N = socket_->Read(Buffer, ReadSize);
        if (N < 0) {
          // A read woken by the end of the connection is no failure.
          Failed = !terminated_.load();
          break;
        }
        if (N == 0) {
          terminated_.store(true);
          EndOfStream = true;
          break;
        }
        LastHeard = Clock::now();
        Pinged = false;
        if (FirstKept < FirstBytesKept) {
          const std::size_t Take = std::min(static_cast<std::size_t>(N), FirstBytesKept - FirstKept);
          std::lock_guard Lock(firstMutex_);
          firstBytes_.append(Buffer, Take);
          FirstKept += Take;
        }
        Framer.Append(std::string_view(Buffer, static_cast<std::size_t>(N)));
        BurstRead += static_cast<std::size_t>(N);
        // A full read means more may be waiting, but only what has already
        // arrived is read: a complete line must not wait for later data.
        if (static_cast<std::size_t>(N) < ReadSize) break;
        if (socket_->WaitForData(0) != TBlockingSocket::TWait::Data) break;
        if (BurstRead >= limits_.BurstBytes) break;
      }
      if (EndOfStream) {
        Abandoned = !ReportEnd(&TChatClientEvents::EndOfStream);
        break;
      }
      if (Failed) break;

      // The lines of this burst go over in slices: still one line at a time
      // and in order, without a thread round trip per line, yet a flood
      // never holds the GUI thread for long. A terminate asked for by a
      // handler stops the rest.
      auto Burst = std::make_shared<TBurstLines>();
      // Lines go over as the server sent them; they are read as text where
      // they are parsed, and names keep their bytes.
      std::string Line;
      bool HighBytes = false;
      while (Framer.TakeLine(Line, HighBytes)) Burst->Lines.push_back(std::move(Line));
      std::shared_ptr<std::atomic<bool>> Stop = stopLines_;
      const std::size_t SliceLines = std::max<std::size_t>(1, limits_.SliceLines);
      const auto SliceTime = std::chrono::milliseconds(limits_.SliceMs);
      while (Burst->Next < Burst->Lines.size() && !terminated_.load()) {
        if (!gate_.Run([Events, Stop, Burst, SliceLines, SliceTime] {
              struct TBracket {
                TChatClientEvents* Events;
                const TBurstLines& Burst;
                const std::atomic<bool>& Stop;
                ~TBracket() { Events->ReceivedLinesEnd(Burst.Next < Burst.Lines.size() && !Stop.load()); }
              } Bracket{Events, *Burst, *Stop};
              Events->ReceivedLinesBegin();
              const auto Start = std::chrono::steady_clock::now();
              const std::size_t First = Burst->Next;
              const std::size_t End = std::min(Burst->Lines.size(), First + SliceLines);
              while (Burst->Next < End && !Stop->load() && !Events->SliceFull()) {
                if (Burst->Next > First && std::chrono::steady_clock::now() - Start >= SliceTime) break;
                Events->ReceivedLine(Burst->Lines[Burst->Next++]);
              }
            })) {
          Abandoned = true;
          break;
        }
      }
    }
  } catch (...) {
    // A failed read or a line that raised while it was processed.
    Failed = true;
  }

  if (Silent && !Abandoned) Abandoned = !gate_.Run([Events] { Events->ServerSilent(); });
  // A connection closed under us by its owner is an end, not a failure.
  if (Failed && !socket_->Connected()) Failed = false;
  if (Failed && !Abandoned) {
    try {
      Abandoned = !ReportEnd(&TChatClientEvents::ReceiveFailed);
    } catch (...) {
    }
  }
  // Lines queued before the end (a QUIT) go out first, within a short bound.
  FinishWriting();
  socket_->Close();
  writer_.join();
  if (!Abandoned && !gate_.Abandoned()) {
    try {
      gate_.Run([Events] { Events->ConnectionClosed(); });
    } catch (...) {
    }
  }
  finished_.store(true);
}

}  // namespace tavi
