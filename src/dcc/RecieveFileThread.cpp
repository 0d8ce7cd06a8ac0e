#include "dcc/RecieveFileThread.h"

#include <unistd.h>

#include <QMetaObject>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "dcc/TransferIo.h"
#include "dcc/TransferText.h"
#include "kanji/QtText.h"
#include "platform/BlockingSocket.h"

namespace tavi {


namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> DataWait{TRecieveFileThread::DefaultDataWaitMs};

// Writes all of Size bytes; the errno value, or 0.
int WriteAllToFile(int File, const char* Bytes, std::size_t Size) {
  while (Size > 0) {
    const ssize_t N = ::write(File, Bytes, Size);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return N < 0 ? errno : EIO;
    Bytes += N;
    Size -= static_cast<std::size_t>(N);
  }
  return 0;
}

}  // namespace

int TRecieveFileThread::DataWaitMs() { return DataWait.load(); }
void TRecieveFileThread::SetDataWaitMs(int Ms) { DataWait.store(Ms); }

TRecieveFileThread::TRecieveFileThread(TDccTransFileForm* Form, std::int64_t Expected, TBlockingSocket* Socket,
                                       int File, std::int64_t StartAt)
    : Socket(Socket), RecvExpected(Expected), form_(Form), file_(File), gate_(Form) {
  RecvTotal.store(StartAt);
}

TRecieveFileThread::~TRecieveFileThread() {
  Terminate();
  Join();
  CloseFile();  // never started
}

void TRecieveFileThread::CloseFile() {
  if (file_ >= 0) ::close(file_);
  file_ = -1;
}

void TRecieveFileThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TRecieveFileThread::Terminate() {
  terminated_.store(true);
  gate_.Abandon();
  Socket->Interrupt();
  Socket->Shutdown();
}

void TRecieveFileThread::Join() {
  if (!thread_.joinable()) return;
  if (!finished_.load()) Terminate();
  thread_.join();
}

void TRecieveFileThread::Execute() {
  TDccTransFileForm* Form = form_;
  bool Cut = false;  // the window let us go: hand nothing more to it
  auto LastShown = Clock::now();
  std::int64_t Shown = -1;

  auto Progress = [&](bool Final) {
    const std::int64_t Total = RecvTotal.load();
    if (Cut || Total == Shown) return;
    if (!Final && Clock::now() - LastShown < std::chrono::milliseconds(TDccTransFileForm::ProgressIntervalMs)) return;
    if (!gate_.Run([Form, Total] { Form->SetProgress(Total); })) Cut = true;
    Shown = Total;
    LastShown = Clock::now();
  };
  // The window tells of it at the end, in one message with the rest.
  auto Fail = [&](const std::string& Reason) {
    if (FailReason.empty()) FailReason = Reason;
  };
  auto ReceiveError = [&] {
    const std::string Why = ConnectionErrorText(*Socket);
    return Why == HungUpText() ? Why : U8(u8"DCCでファイルを受信中にエラーが発生しました。（") + Why + U8(u8"）");
  };

  std::vector<char> Buffer(RecvBufferSize);
  while (!terminated_.load() && !Cut && Socket->Connected() && RecvTotal.load() < RecvExpected) {
    // What is there already is read without a wait.
    long Count = Socket->ReadAvailable(Buffer.data(), Buffer.size());
    if (Count == -2) {
      const TBlockingSocket::TWait Waited = Socket->WaitForData(DataWaitMs());
      if (Waited == TBlockingSocket::TWait::Interrupted) break;
      if (Waited == TBlockingSocket::TWait::Timeout) {
        Fail(SilenceText(DataWaitMs()));
        Socket->Close();
      }
      if (Waited != TBlockingSocket::TWait::Error) continue;
      Count = -1;
    }
    if (Count > 0) {
      const std::int64_t Before = RecvTotal.load();
      // Bytes past the offered size are counted, which fails the transfer,
      // but not written.
      const auto Keep = static_cast<std::size_t>(std::min<std::int64_t>(Count, RecvExpected - Before));
      if (const int Code = WriteAllToFile(file_, Buffer.data(), Keep); Code != 0) {
        FileError = std::generic_category().message(Code);
        break;
      }
      RecvTotal.store(Before + Count);
      // Peers take the acknowledgement modulo 2^32.
      const bool Acked = Socket->WriteAll(EncodeAck(static_cast<std::uint32_t>(Before + Count)));
      Progress(false);
      if (!Acked) {
        terminated_.store(true);
        Fail(ReceiveError());
      }
    } else if (Count == 0) {
      Progress(true);
      Fail(HungUpText());
      Socket->Close();
    } else {
      terminated_.store(true);
      Progress(true);
      Fail(ReceiveError());
    }
  }
  Progress(true);
  // A file system may report a failed write only now.
  if (::close(file_) != 0 && FileError.empty()) FileError = std::generic_category().message(errno);
  file_ = -1;

  // The end goes over without waiting: its handler joins this thread.
  const bool ReportEnd = !Cut && !gate_.Abandoned();
  finished_.store(true);
  if (ReportEnd) QMetaObject::invokeMethod(Form, [Form] { Form->RecieveThreadTerminate(); }, Qt::QueuedConnection);
}

}  // namespace tavi
