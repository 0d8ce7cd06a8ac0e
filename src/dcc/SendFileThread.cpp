#include "dcc/SendFileThread.h"

#include <fcntl.h>
#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <vector>

#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "dcc/TransferIo.h"
#include "dcc/TransferText.h"
#include "kanji/QtText.h"

namespace tavi {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> AckWait{TSendFileThread::DefaultAckWaitMs};

}  // namespace

int TSendFileThread::AckWaitMs() { return AckWait.load(); }
void TSendFileThread::SetAckWaitMs(int Ms) { AckWait.store(Ms); }

TSendFileThread::TSendFileThread(TDccTransFileForm* Form, int Descriptor, std::string FileName, std::int64_t FileSize,
                                 std::int64_t StartAt)
    : form_(Form),
      socket_(Descriptor),
      fileName_(std::move(FileName)),
      fileSize_(FileSize),
      startAt_(StartAt),
      gate_(Form) {
  SendAtOnce(socket_.Descriptor());
}

TSendFileThread::~TSendFileThread() {
  Terminate();
  Join();
}

void TSendFileThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TSendFileThread::Terminate() {
  terminated_.store(true);
  gate_.Abandon();
  socket_.Interrupt();
  socket_.Shutdown();
}

void TSendFileThread::Join() {
  if (!thread_.joinable()) return;
  if (!finished_.load()) Terminate();
  thread_.join();
}

void TSendFileThread::Execute() {
  TDccTransFileForm* Form = form_;
  bool Cut = false;  // the window let us go: hand nothing more to it
  auto Hand = [&](std::function<void()> Call) {
    if (!Cut && !gate_.Run(std::move(Call))) Cut = true;
  };
  auto Caption = [&](const std::string& Text) { Hand([Form, Text] { Form->SetCaption(Text); }); };
  std::int64_t Shown = -1;
  auto LastShown = Clock::now();
  TAckPosition Acks(startAt_);
  std::int64_t Sent = startAt_;  // bytes of the file that went to the connection
  // What the peer has acknowledged: bytes written may still be on their
  // way, or lost with the connection.
  auto Progress = [&](bool Final) {
    const std::int64_t Total = Acks.Acked();
    if (Total == Shown) return;
    if (!Final && Clock::now() - LastShown < std::chrono::milliseconds(TDccTransFileForm::ProgressIntervalMs)) return;
    Hand([Form, Total] { Form->SetProgress(Total); });
    Shown = Total;
    LastShown = Clock::now();
  };

  Caption(U8(u8"送信中"));
  bool Failed = false;
  // The first reason is the one that counts: the rest follow from it.
  auto Fail = [&](const std::string& Reason) {
    Failed = true;
    if (failReason_.empty()) failReason_ = Reason;
    Caption(U8(u8"送信に失敗しました。"));
    socket_.Close();
  };

  const int File = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
  if (File < 0) {
    Failed = true;
    failReason_ = FileErrorText(fileName_, errno);
  } else {
    std::vector<char> Block(BlockSize);
    std::size_t Have = 0, Written = 0;  // bytes of Block read from the file, and sent of them
    std::string AckBytes;               // acknowledgement bytes short of a whole one
    char AckBuffer[16384];
    auto LastActive = Clock::now();  // of the last acknowledgement or write
    while (!Failed && !terminated_.load() && !Cut && Acks.Acked() < fileSize_) {
      // The next block, as far as the bytes in flight allow.
      if (Written == Have && Sent < fileSize_ && Sent - Acks.Acked() < MaxInFlight) {
        const auto Want = static_cast<std::size_t>(
            std::min<std::int64_t>({static_cast<std::int64_t>(BlockSize), fileSize_ - Sent,
                                    MaxInFlight - (Sent - Acks.Acked())}));
        ssize_t Count;
        do {
          Count = ::pread(File, Block.data(), Want, Sent);
        } while (Count < 0 && errno == EINTR);
        if (Count <= 0) {
          Fail(Count < 0 ? FileErrorText(fileName_, errno)
                         : PathText(fileName_) + U8(u8": 申し出た後でファイルが短くなりました。"));
          continue;
        }
        Have = static_cast<std::size_t>(Count);
        Written = 0;
      }
      // Acknowledgements and bytes as far as they go without waiting.
      bool Moved = false;
      const long Got = socket_.ReadAvailable(AckBuffer, sizeof AckBuffer);
      if (Got == 0 || Got == -1) {
        Fail(Got == 0 ? HungUpText() : ConnectionErrorText(socket_));
        continue;
      }
      if (Got > 0) {
        Moved = true;
        AckBytes.append(AckBuffer, static_cast<std::size_t>(Got));
        std::size_t At = 0;
        for (; At + 4 <= AckBytes.size(); At += 4)
          if (!Acks.Take(DecodeAck(reinterpret_cast<const unsigned char*>(AckBytes.data() + At)), Sent)) break;
        if (At + 4 <= AckBytes.size()) {
          Fail(U8(u8"相手の受信確認が送った量と合いません。"));
          continue;
        }
        AckBytes.erase(0, At);
      }
      if (Written < Have) {
        const long N = socket_.WriteSome(Block.data() + Written, Have - Written);
        if (N < 0) {
          Fail(terminated_.load() ? std::string() : ConnectionErrorText(socket_));
          continue;
        }
        if (N > 0) {
          Moved = true;
          Written += static_cast<std::size_t>(N);
          Sent += N;
        }
      }
      if (Moved) {
        LastActive = Clock::now();
        Progress(false);
        continue;
      }
      // Neither moves: wait, in short steps so that the window sees the last
      // bytes of a stall.
      AcknowledgeAtOnce(socket_.Descriptor());
      bool CanRead = false, CanWrite = false;
      const int Wait = std::min(AckWaitMs(), TDccTransFileForm::ProgressIntervalMs);
      // With bytes to write, only room wakes us: the acknowledgements that
      // come meanwhile are read at the next turn, not one wake-up each.
      const bool WantWrite = Written < Have;
      switch (socket_.WaitForDataOrRoom(Wait, !WantWrite, WantWrite, CanRead, CanWrite)) {
        case TBlockingSocket::TWait::Data:
          break;
        case TBlockingSocket::TWait::Interrupted:
          Failed = true;
          break;
        case TBlockingSocket::TWait::Timeout:
          if (Clock::now() - LastActive >= std::chrono::milliseconds(AckWaitMs())) {
            Fail(SilenceText(AckWaitMs()));
          } else {
            Progress(true);
          }
          break;
        case TBlockingSocket::TWait::Error:
          Fail(ConnectionErrorText(socket_));
          break;
      }
    }
    ::close(File);
  }
  Progress(true);

  // An empty file is complete once its peer has connected: there is
  // nothing to acknowledge.
  complete_ = !Failed && Acks.Acked() == fileSize_;
  Caption(complete_ ? U8(u8"ファイルの転送が完了しました。") : U8(u8"ファイルの転送に失敗しました。"));
  socket_.Close();

  // The end goes over without waiting: its handler joins this thread.
  const bool ReportEnd = !Cut && !gate_.Abandoned();
  finished_.store(true);
  if (ReportEnd) QMetaObject::invokeMethod(Form, [Form] { Form->SendThreadTerminate(); }, Qt::QueuedConnection);
}

}  // namespace tavi
