#include "session/ChatClientUnit.h"

#include <exception>
#include <vector>

#include "session/LineFramer.h"

namespace tavi {

TChatClient::TChatClient(std::shared_ptr<TBlockingSocket> ClientSocket, TChatClientEvents& Events, QObject* Context)
    : socket_(std::move(ClientSocket)), events_(Events), gate_(Context) {
  thread_ = std::thread([this] { Execute(); });
}

TChatClient::~TChatClient() { Stop(); }

void TChatClient::Terminate() {
  terminated_.store(true);
  stopLines_->store(true);
  // Only the wait is woken: the connection stays as it is, so a QUIT line
  // written just before still goes out when the thread closes it.
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

void TChatClient::Execute() {
  // The calls handed off capture only what outlives this object, by value:
  // the GUI thread may still be inside one after Stop() let us go.
  TChatClientEvents* Events = &events_;
  bool Abandoned = false;
  bool Failed = false;
  TLineFramer Framer;
  char Buffer[ReadSize + 1];

  try {
    while (!terminated_.load() && socket_->Connected() && !Abandoned && !Failed) {
      const TBlockingSocket::TWait Waited = socket_->WaitForData(TimeoutMs);
      if (Waited == TBlockingSocket::TWait::Timeout) continue;
      if (Waited == TBlockingSocket::TWait::Interrupted) break;
      if (Waited == TBlockingSocket::TWait::Error) {
        Failed = true;
        break;
      }

      bool EndOfStream = false;
      while (!terminated_.load()) {
        const long N = socket_->Read(Buffer, ReadSize);
        if (N < 0) {
          Failed = true;
          break;
        }
        if (N == 0) {
          terminated_.store(true);
          EndOfStream = true;
          break;
        }
        Framer.Append(std::string_view(Buffer, static_cast<std::size_t>(N)));
        // A full read means more may be waiting, but only what has already
        // arrived is read: a complete line must not wait for later data.
        if (static_cast<std::size_t>(N) < ReadSize) break;
        if (socket_->WaitForData(0) != TBlockingSocket::TWait::Data) break;
      }
      if (EndOfStream) {
        Abandoned = !gate_.Run([Events] { Events->EndOfStream(); });
        break;
      }
      if (Failed) break;

      // Every line framed from this burst goes over in one hand-off: still
      // one line at a time and in order, but without a thread round trip
      // per line. A terminate asked for by a handler stops the rest.
      std::vector<std::string> Lines;
      std::string Line;
      while (Framer.TakeLine(Line)) Lines.push_back(std::move(Line));
      if (!Lines.empty() && !terminated_.load()) {
        std::shared_ptr<std::atomic<bool>> Stop = stopLines_;
        if (!gate_.Run([Events, Stop, Lines = std::move(Lines)] {
              struct TBurst {
                TChatClientEvents* Events;
                ~TBurst() { Events->ReceivedLinesEnd(); }
              } Burst{Events};
              Events->ReceivedLinesBegin();
              for (const std::string& Each : Lines) {
                if (Stop->load()) break;
                Events->ReceivedLine(Each);
              }
            }))
          Abandoned = true;
      }
    }
  } catch (...) {
    // A failed read or a line that raised while it was processed.
    Failed = true;
  }

  // A connection closed under us by its owner is an end, not a failure.
  if (Failed && !socket_->Connected()) Failed = false;
  if (Failed && !Abandoned) {
    try {
      Abandoned = !gate_.Run([Events] { Events->ReceiveFailed(); });
    } catch (...) {
    }
  }
  socket_->Close();
  if (!Abandoned && !gate_.Abandoned()) {
    try {
      gate_.Run([Events] { Events->ConnectionClosed(); });
    } catch (...) {
    }
  }
  finished_.store(true);
}

}  // namespace tavi
