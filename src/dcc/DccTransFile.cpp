#include "dcc/DccTransFile.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QFile>
#include <QHostAddress>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <new>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>

#include "dcc/DccProtocol.h"
#include "dcc/RecieveFileThread.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "session/FormFont.h"
#include "session/MainForm.h"
#include "session/Globals.h"

namespace tavi {

TDccTransFileForm*& DccTransFileForm = Globals().DccTransFileForm;
TSendFileThread*& SendFileThread = Globals().SendFileThread;

std::string TransferFileFilter() { return Sj(u8"すべてのファイル ( *.* )|*.*"); }

std::string OneTransferMessage() {
  return Sj(u8"現在、ファイルの転送が行われています。") + "\r\n" + Sj(u8"これがすんでから、もう一度やり直してください");
}

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> AckWait{60000};

// A path in the file system's encoding as the windows show it.
std::string PathText(const std::string& Path) { return ToSjis(QFile::decodeName(QByteArray::fromStdString(Path))); }

std::string ErrnoText(int Code) { return std::generic_category().message(Code); }

std::string FileErrorText(const std::string& Path, int Code) { return PathText(Path) + ": " + ErrnoText(Code); }

// The chosen file's size; false with the error text when it cannot be
// opened or does not fit the offer's 32 bits.
bool ReadFileSize(const std::string& Path, std::int32_t& Size, std::string& Error) {
  const int File = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (File < 0) {
    Error = FileErrorText(Path, errno);
    return false;
  }
  struct stat Info {};
  int Code = 0;
  if (::fstat(File, &Info) != 0) {
    Code = errno;
  } else if (S_ISDIR(Info.st_mode)) {
    Code = EISDIR;
  } else if (Info.st_size > INT32_MAX) {
    Code = EFBIG;
  }
  ::close(File);
  if (Code != 0) {
    Error = FileErrorText(Path, Code);
    return false;
  }
  Size = static_cast<std::int32_t>(Info.st_size);
  return true;
}

bool WriteWholeFile(const std::string& Path, const std::string& Bytes, std::string& Error) {
  std::FILE* File = std::fopen(Path.c_str(), "wb");
  if (!File) {
    Error = FileErrorText(Path, errno);
    return false;
  }
  const bool Written = std::fwrite(Bytes.data(), 1, Bytes.size(), File) == Bytes.size();
  int Code = Written ? 0 : errno;
  if (std::fclose(File) != 0 && Code == 0) Code = errno;
  if (!Written && Code == 0) Code = EIO;
  if (Code != 0) {
    Error = FileErrorText(Path, Code);
    return false;
  }
  return true;
}

// Acknowledgements are 4-byte writes, several of them in a row when the
// reads are small; held back for the peer's delayed ACK, each would cost
// tens of milliseconds.
void SendAtOnce(int Fd) {
  const int On = 1;
  if (Fd >= 0) ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
}

// A peer that holds its acknowledgements back until ours (Nagle) gets them
// sooner when we acknowledge its bytes at once. The kernel drops the mode
// again by itself, so it is asked for before every wait.
void AcknowledgeAtOnce(int Fd) {
#ifdef TCP_QUICKACK
  const int On = 1;
  if (Fd >= 0) ::setsockopt(Fd, IPPROTO_TCP, TCP_QUICKACK, &On, sizeof On);
#else
  (void)Fd;
#endif
}

// Hands each accepted descriptor over as it is, so that a worker can take
// it into a blocking socket.
class TListenSocket : public QTcpServer {
 public:
  using QTcpServer::QTcpServer;
  std::function<void(int)> Accepted;

 protected:
  void incomingConnection(qintptr Descriptor) override {
    if (Accepted) {
      Accepted(static_cast<int>(Descriptor));
    } else {
      ::close(static_cast<int>(Descriptor));
    }
  }
};

}  // namespace

// --- the sending worker ---

int TSendFileThread::AckWaitMs() { return AckWait.load(); }
void TSendFileThread::SetAckWaitMs(int Ms) { AckWait.store(Ms); }

TSendFileThread::TSendFileThread(TDccTransFileForm* Form, int Descriptor, std::string FileName, std::int32_t FileSize)
    : form_(Form), socket_(Descriptor), fileName_(std::move(FileName)), fileSize_(FileSize), gate_(Form) {
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

TSendFileThread::TAck TSendFileThread::ReadAck(std::uint32_t& Ack) {
  while (ackBytes_.size() < 4) {
    AcknowledgeAtOnce(socket_.Descriptor());
    switch (socket_.WaitForData(AckWaitMs())) {
      case TBlockingSocket::TWait::Data:
        break;
      case TBlockingSocket::TWait::Timeout:
        return TAck::Timeout;
      case TBlockingSocket::TWait::Interrupted:
        return TAck::Interrupted;
      case TBlockingSocket::TWait::Error:
        return TAck::Closed;
    }
    char Buffer[64];
    const long N = socket_.Read(Buffer, sizeof Buffer);
    if (N <= 0) return TAck::Closed;
    ackBytes_.append(Buffer, static_cast<std::size_t>(N));
  }
  unsigned char Bytes[4];
  std::memcpy(Bytes, ackBytes_.data(), 4);
  ackBytes_.erase(0, 4);
  Ack = DecodeAck(Bytes);
  return TAck::Got;
}

void TSendFileThread::Execute() {
  TDccTransFileForm* Form = form_;
  bool Cut = false;  // the window let us go: hand nothing more to it
  auto Hand = [&](std::function<void()> Call) {
    if (!Cut && !gate_.Run(std::move(Call))) Cut = true;
  };
  auto Caption = [&](const std::string& Text) { Hand([Form, Text] { Form->SetCaption(Text); }); };
  std::int32_t Shown = -1;
  auto LastShown = Clock::now();
  auto Progress = [&](bool Final) {
    const std::int32_t Total = SentTotal.load();
    if (Total == Shown) return;
    if (!Final && Clock::now() - LastShown < std::chrono::milliseconds(TDccTransFileForm::ProgressIntervalMs)) return;
    Hand([Form, Total] { Form->SetProgress(Total); });
    Shown = Total;
    LastShown = Clock::now();
  };

  Caption(Sj(u8"送信中"));
  SentTotal.store(0);
  bool Failed = false;
  bool HaveAck = false;
  std::uint32_t LastAck = 0;
  auto Fail = [&] {
    Failed = true;
    Caption(Sj(u8"送信に失敗しました。"));
    socket_.Close();
  };

  const int File = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
  if (File < 0) {
    Failed = true;
    const int Code = errno;
    Hand([Path = fileName_, Code] { Platform().ShowMessage(FileErrorText(Path, Code)); });
  } else {
    std::int64_t BytesRead = 0;
    char Block[BlockSize];
    while (!terminated_.load() && !Cut && socket_.Connected() && SentTotal.load() < fileSize_ &&
           BytesRead < fileSize_) {
      std::memset(Block, 0, sizeof Block);
      ssize_t Count;
      do {
        Count = ::read(File, Block, sizeof Block);
      } while (Count < 0 && errno == EINTR);
      if (Count < 0) {
        const int Code = errno;
        Hand([Path = fileName_, Code] { Platform().ShowMessage(FileErrorText(Path, Code)); });
        Fail();
        continue;
      }
      // A file that shrank since it was offered gives a block of nothing.
      if (Count == 0) {
        Fail();
        continue;
      }
      BytesRead += Count;
      if (!socket_.WriteAll(std::string_view(Block, static_cast<std::size_t>(Count)))) {
        if (!terminated_.load()) {
          const std::string Text = socket_.ErrorText();
          Hand([Text] { Platform().ShowMessage(Text); });
        }
        Fail();
        continue;
      }
      SentTotal.fetch_add(static_cast<std::int32_t>(Count));
      Progress(SentTotal.load() == fileSize_);

      // A receiver may acknowledge every read it made of the block: take
      // acknowledgements until one reaches the total. One past the total
      // or one going back cannot come from a receiver that has our bytes.
      const auto Total = static_cast<std::uint32_t>(SentTotal.load());
      for (;;) {
        std::uint32_t Ack = 0;
        if (ReadAck(Ack) != TAck::Got) {
          Fail();
          break;
        }
        const bool Wrong = Ack > Total || (HaveAck && Ack < LastAck);
        LastAck = Ack;
        HaveAck = true;
        if (Wrong) {
          Fail();
          break;
        }
        if (Ack == Total) break;
      }
    }
    ::close(File);
  }
  Progress(true);

  // An empty file is complete once its peer has connected: there is
  // nothing to acknowledge.
  const bool Complete = !Failed && SentTotal.load() == fileSize_ &&
                        (fileSize_ == 0 || (HaveAck && LastAck == static_cast<std::uint32_t>(fileSize_)));
  Caption(Complete ? Sj(u8"ファイルの転送が完了しました。") : Sj(u8"ファイルの転送に失敗しました。"));
  socket_.Close();

  // The end goes over without waiting: its handler joins this thread.
  const bool ReportEnd = !Cut && !gate_.Abandoned();
  finished_.store(true);
  if (ReportEnd) QMetaObject::invokeMethod(Form, [Form] { Form->SendThreadTerminate(); }, Qt::QueuedConnection);
}

// --- the window ---

TDccTransFileForm::TDccTransFileForm(QWidget* Owner)
    : QWidget(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("DccTransFileForm"));
  setAttribute(Qt::WA_DeleteOnClose);
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);
  SetCaption(Sj(u8"転送の準備中"));

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setGeometry(16, 24, 201, 16);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);

  CloseButton = new QPushButton(FromSjis(Sj(u8"閉じる")), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry(76, 72, 75, 25);
  connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });

  auto* Listener = new TListenSocket(this);
  Listener->setObjectName(QStringLiteral("ServerSocket"));
  Listener->Accepted = [this](int Descriptor) { ServerSocketGetThread(Descriptor); };
  ServerSocket = Listener;

  ClientSocket = std::make_unique<TBlockingSocket>();

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(CloseDelayMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TDccTransFileForm::~TDccTransFileForm() {
  // Workers first, while everything they hand off to is still here; a
  // worker waiting for this thread is let go by Terminate.
  closed_ = true;
  if (sendThread_) sendThread_->Terminate();
  if (recvThread_) recvThread_->Terminate();
  ForgetThreads();
  if (ServerSocket) ServerSocket->close();
  if (ClientSocket) ClientSocket->Close();
  if (DccTransFileForm == this) DccTransFileForm = nullptr;
}

void TDccTransFileForm::ForgetThreads() {
  if (SendFileThread && SendFileThread == sendThread_.get()) SendFileThread = nullptr;
  if (RecieveFileThread && RecieveFileThread == recvThread_.get()) RecieveFileThread = nullptr;
  sendThread_.reset();
  recvThread_.reset();
}

TDccTransFileForm* TDccTransFileForm::OwnedBy(const QObject* Owner) {
  if (!Owner) return nullptr;
  for (QObject* Child : Owner->children())
    if (auto* Form = qobject_cast<TDccTransFileForm*>(Child); Form && !Form->Closed()) return Form;
  return nullptr;
}

void TDccTransFileForm::SetCaption(const std::string& Text) {
  caption_ = Text;
  setWindowTitle(FromSjis(Text));
}

void TDccTransFileForm::SetProgress(std::int64_t Position) {
  ProgressBar->setValue(static_cast<int>(std::min<std::int64_t>(Position, INT_MAX)));
}

void TDccTransFileForm::AppendRecvStream(const std::string& Bytes) {
  if (RecvStream) RecvStream->append(Bytes);
}

void TDccTransFileForm::CloseSockets() {
  if (ServerSocket->isListening()) ServerSocket->close();
  if (ClientSocket->Connected()) ClientSocket->Close();
}

bool TDccTransFileForm::OpenServer(std::uint16_t& Port) {
  // A port of the table may be held by another program (or a chat): the
  // following ones are tried, each at most once.
  bool Listening = ServerSocket->listen(QHostAddress::AnyIPv4, Port);
  for (int I = 1; I < TDccPortTable::Size && !Listening; ++I) {
    Port = NextDccPort();
    Listening = ServerSocket->listen(QHostAddress::AnyIPv4, Port);
  }
  if (Listening) return true;
  Platform().ShowMessage(ToSjis(ServerSocket->errorString()) + " (port " + std::to_string(Port) + ")");
  return false;
}

bool TDccTransFileForm::OpenClient(const std::string& Host, std::uint16_t Port) {
  if (ClientSocket->Connect(Host, Port, ConnectTimeoutMs)) return true;
  Platform().ShowMessage(ClientSocket->ErrorText() + " (" + std::to_string(ClientSocket->ErrorCode()) + "), connect " +
                         Host + ":" + std::to_string(Port));
  return false;
}

void TDccTransFileForm::ClientSocketConnect() {
  SendAtOnce(ClientSocket->Descriptor());
  RecvStream = std::make_unique<std::string>();
  // Room for the whole file up front: growing a buffer of many megabytes
  // copies it on the GUI thread and stalls the window. Untouched room costs
  // no memory; when even that is refused the buffer grows as it goes.
  try {
    RecvStream->reserve(static_cast<std::size_t>(std::min<std::int32_t>(FileSize, MaxReservedBytes)));
  } catch (const std::bad_alloc&) {
  }
  recvThread_ = std::make_unique<TRecieveFileThread>(this, FileSize, ClientSocket.get());
  RecieveFileThread = recvThread_.get();
  recvThread_->Start();
  SetCaption(Sj(u8"受信中"));
}

void TDccTransFileForm::ServerSocketGetThread(int Descriptor) {
  // One offer, one receiver: a second peer would only get the file again
  // behind the first one's back.
  if (peerTaken_ || closed_) {
    ::close(Descriptor);
    return;
  }
  peerTaken_ = true;
  sendThread_ = std::make_unique<TSendFileThread>(this, Descriptor, FileName, FileSize);
  SendFileThread = sendThread_.get();
  sendThread_->Start();
}

void TDccTransFileForm::SendThreadTerminate() {
  if (closed_ || !sendThread_) return;
  sendThread_->Join();
  if (SendFileThread == sendThread_.get()) SendFileThread = nullptr;
  sendThread_.reset();
  Timer1->start();
}

void TDccTransFileForm::RecieveThreadTerminate() {
  if (closed_ || !recvThread_) return;
  recvThread_->Join();
  if (RecieveFileThread == recvThread_.get()) RecieveFileThread = nullptr;
  recvThread_.reset();
  ClientSocket->Close();

  std::unique_ptr<std::string> Received = std::move(RecvStream);
  // The save dialog runs an event loop of its own; the window may go
  // while it is open.
  QPointer<TDccTransFileForm> Self(this);
  if (Received && Received->size() == static_cast<std::size_t>(FileSize)) {
    const std::string Path =
        Platform().SaveFileName(parentWidget(), TransferFileFilter(), SafeProposedFileName(FileName));
    if (!Path.empty()) {
      std::string Error;
      if (WriteWholeFile(Path, *Received, Error)) {
        Platform().ShowMessage(PathText(Path) + Sj(u8"を保存しました。"));
      } else {
        Platform().ShowMessage(Error);
      }
    }
  } else {
    Platform().ShowMessage(Sj(u8"ファイルの受信に失敗しました。"));
  }
  Received.reset();
  if (Self) close();
}

void TDccTransFileForm::Timer1Timer() {
  Timer1->stop();
  ServerSocket->close();
  close();
}

void TDccTransFileForm::CloseButtonClick() { close(); }

bool TDccTransFileForm::FormCloseQuery() {
  if (!sendThread_ && !recvThread_) return true;
  return Platform().AskYesNo(Sj(u8"ファイルの転送中ですが、中止しますか？"));
}

void TDccTransFileForm::FormClose() {
  closed_ = true;
  // Cut off, not waited for: the destructor, which follows at once, joins.
  if (recvThread_) recvThread_->Terminate();
  if (sendThread_) sendThread_->Terminate();
  if (SendFileThread && SendFileThread == sendThread_.get()) SendFileThread = nullptr;
  if (RecieveFileThread && RecieveFileThread == recvThread_.get()) RecieveFileThread = nullptr;
  if (ServerSocket->isListening()) ServerSocket->close();
  Timer1->stop();
  if (DccTransFileForm == this) DccTransFileForm = nullptr;
}

void TDccTransFileForm::closeEvent(QCloseEvent* Event) {
  if (!closed_) {
    if (!FormCloseQuery()) {
      Event->ignore();
      return;
    }
    FormClose();
  }
  Event->accept();
}

TDccTransFileForm* TDccTransFileForm::OpenFor(QWidget* Owner) {
  auto* Form = new TDccTransFileForm(Owner);
  DccTransFileForm = Form;
  Form->SetCaption(Sj(u8"転送の準備中"));
  Form->show();
  Form->CloseSockets();
  return Form;
}

// --- offering and taking files ---

void SendDccFile(TMainForm& Main, const std::string& Nick) {
  const std::string Path = Platform().OpenFileName(&Main, TransferFileFilter());
  if (Path.empty()) return;
  if (TDccTransFileForm::OwnedBy(&Main)) {
    Platform().ShowMessage(OneTransferMessage());
    return;
  }

  TDccTransFileForm* Form = TDccTransFileForm::OpenFor(&Main);
  std::uint16_t Port = NextDccPort();

  Form->FileName = Path;
  std::string Error;
  if (!ReadFileSize(Path, Form->FileSize, Error)) {
    Platform().ShowMessage(Error);
    return;
  }
  Form->ProgressBar->setValue(0);
  Form->ProgressBar->setRange(0, Form->FileSize);
  if (!Form->OpenServer(Port)) return;

  // The offer carries the name as the peer's client shows it: Shift-JIS.
  const std::string OfferName = PathText(FileNameWithoutFolder(Path));
  Main.SendLine(DccSendOfferLine(Nick, OfferName, Main.LocalAddressNumber(), Port, Form->FileSize));
  Form->SetCaption(Nick + Sj(u8" の受信許可待ち"));
}

void ReceiveDccFile(TMainForm& Main, const std::string& Nick, const std::string& FileName,
                    const std::string& AddressNumber, const std::string& Port, const std::string& Size,
                    const std::string& Role) {
  (void)Role;  // always "CLIENT": we connect to the offerer
  // An offer that cannot be connected to is not put to the user at all.
  const std::optional<TDccEndpoint> Endpoint = CheckSendOffer(AddressNumber, Port, Size);
  if (!Endpoint) {
    Platform().ShowMessage(UnusableOfferMessage(Nick, "SEND", FileName, AddressNumber, Port, Size));
    return;
  }
  if (!Platform().AskYesNo(Nick + Sj(u8" から ") + FileName + Sj(u8" というファイルが送られてきています") + "\r\n" +
                           Sj(u8"受信しますか？")))
    return;
  if (TDccTransFileForm::OwnedBy(&Main)) {
    Platform().ShowMessage(OneTransferMessage());
    return;
  }

  TDccTransFileForm* Form = TDccTransFileForm::OpenFor(&Main);

  Form->FileName = FileName;
  Form->PeerNick = Nick;
  Form->FileSize = Endpoint->Size;
  Form->ProgressBar->setRange(0, Form->FileSize);

  Form->SetCaption(Sj(u8"接続待機中"));
  if (Form->OpenClient(Endpoint->Host, Endpoint->Port)) Form->ClientSocketConnect();
}

}  // namespace tavi
