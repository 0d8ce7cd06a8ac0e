#include "dcc/RecieveFileThread.h"

#include <QMetaObject>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "kanji/SjisText.h"
#include "platform/BlockingSocket.h"
#include "platform/Platform.h"
#include "session/Globals.h"

namespace tavi {

TRecieveFileThread*& RecieveFileThread = Globals().RecieveFileThread;

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> DataWait{60000};

// Bytes held back by the worker before they go to the window in one
// hand-off, besides the time limit: a round trip to the GUI thread for
// every 128 bytes would cost more than the transfer itself.
constexpr std::size_t BatchLimit = 1 << 20;

}  // namespace

int TRecieveFileThread::DataWaitMs() { return DataWait.load(); }
void TRecieveFileThread::SetDataWaitMs(int Ms) { DataWait.store(Ms); }

TRecieveFileThread::TRecieveFileThread(TDccTransFileForm* Form, std::int32_t Expected, TBlockingSocket* Socket)
    : Socket(Socket), RecvExpected(Expected), form_(Form), gate_(Form) {}

TRecieveFileThread::~TRecieveFileThread() {
  Terminate();
  Join();
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
  std::string Batch;
  auto LastHandOff = Clock::now();

  auto HandOver = [&] {
    if (Cut) return;
    auto Bytes = std::make_shared<std::string>(std::move(Batch));
    Batch.clear();
    const std::int64_t Total = RecvTotal.load();
    if (!gate_.Run([Form, Bytes, Total] {
          Form->AppendRecvStream(*Bytes);
          Form->SetProgress(Total);
        }))
      Cut = true;
    LastHandOff = Clock::now();
  };
  auto Report = [&](const std::string& Text) {
    // After Terminate the gate is abandoned, so a stop asked for by the
    // window shows nothing.
    if (Cut) return;
    if (!gate_.Run([Text] { Platform().ShowMessage(Text); })) Cut = true;
  };
  const std::string ReceiveError = Sj(u8"DCCでファイルを受信中にエラーが発生しました。");

  while (!terminated_.load() && !Cut && Socket->Connected() && RecvTotal.load() < RecvExpected) {
    std::memset(RecvBuffer, 0, sizeof RecvBuffer);
    const TBlockingSocket::TWait Waited = Socket->WaitForData(DataWaitMs());
    if (Waited == TBlockingSocket::TWait::Interrupted) break;
    if (Waited == TBlockingSocket::TWait::Timeout) {
      Socket->Close();
      continue;
    }
    RecvCount = Waited == TBlockingSocket::TWait::Data ? Socket->Read(RecvBuffer, sizeof RecvBuffer) : -1;
    if (RecvCount > 0) {
      Batch.append(RecvBuffer, static_cast<std::size_t>(RecvCount));
      RecvTotal.fetch_add(RecvCount);
      // The acknowledgement goes out at once; the window gets the bytes in
      // batches, which only changes when they are seen, not what is saved.
      const bool Acked = Socket->WriteAll(EncodeAck(static_cast<std::uint32_t>(RecvTotal.load())));
      if (Batch.size() >= BatchLimit || Clock::now() - LastHandOff >= std::chrono::milliseconds(
                                                                            TDccTransFileForm::ProgressIntervalMs))
        HandOver();
      if (!Acked) {
        terminated_.store(true);
        HandOver();
        Report(ReceiveError);
      }
    } else if (RecvCount == 0) {
      HandOver();
      Report(ReceiveError);
      Socket->Close();
    } else {
      terminated_.store(true);
      HandOver();
      Report(ReceiveError);
    }
  }
  HandOver();

  // The end goes over without waiting: its handler joins this thread.
  const bool ReportEnd = !Cut && !gate_.Abandoned();
  finished_.store(true);
  if (ReportEnd) QMetaObject::invokeMethod(Form, [Form] { Form->RecieveThreadTerminate(); }, Qt::QueuedConnection);
}

}  // namespace tavi
