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
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <new>
#include <cerrno>
#include <chrono>
#include <thread>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>
#include <vector>

#include "dcc/DccProtocol.h"
#include "dcc/RecieveFileThread.h"
#include "dcc/SendFileThread.h"
#include "dcc/TransferIo.h"
#include "protocol/CaseMapping.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"
#include "core/Session.h"

namespace tavi {


std::string TransferFileFilter() { return U8(u8"すべてのファイル ( *.* )|*.*"); }

std::string OneTransferMessage() {
  return U8(u8"現在、ファイルの転送が行われています。") + "\r\n" + U8(u8"これがすんでから、もう一度やり直してください");
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Margin = 14;  // of the window's contents, left and right

// The chosen file's size; false with the error text when it cannot be
// opened.
bool ReadFileSize(const std::string& Path, std::int64_t& Size, std::string& Error) {
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
  }
  ::close(File);
  if (Code != 0) {
    Error = FileErrorText(Path, Code);
    return false;
  }
  Size = static_cast<std::int64_t>(Info.st_size);
  return true;
}

// The size of the regular, non-empty file at Path.
std::optional<std::int64_t> PartFileSize(const std::string& Path) {
  struct stat Part {};
  if (::stat(Path.c_str(), &Part) != 0 || !S_ISREG(Part.st_mode) || Part.st_size <= 0) return std::nullopt;
  return static_cast<std::int64_t>(Part.st_size);
}

enum class TPartAnswer { Resume, StartOver, Keep };

// What to do with the part of an offered file received before. Going on
// from it is what the user nearly always wants, so Enter does that; a part
// is the user's data all the same, and thrown away only on a second word.
// Lead, when given, says first what is offered.
TPartAnswer AskAboutPart(const std::string& Lead, const std::string& Path, std::int64_t PartSize,
                         std::int64_t OfferSize) {
  const std::string Held = PartHeldText(PathText(Path + ".part"), PartSize, OfferSize) + "\r\n";
  const std::string Start = (Lead.empty() ? std::string() : Lead + "\r\n") + Held;
  const std::string StartOver = U8(u8"受信した分を消して、最初から受信しますか？");
  if (PartSize < OfferSize) {
    if (Platform().AskYesNoDefaultYes(Start + U8(u8"続きから受信しますか？"))) return TPartAnswer::Resume;
    return Platform().AskYesNo(Held + StartOver) ? TPartAnswer::StartOver : TPartAnswer::Keep;
  }
  const std::string TooLarge = U8(u8"送られてくるファイル（") + SizeText(OfferSize) +
                               U8(u8"）の大きさに達しているため、続きからは受信できません。") + "\r\n";
  return Platform().AskYesNo(Start + TooLarge + StartOver) ? TPartAnswer::StartOver : TPartAnswer::Keep;
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

// --- the window ---

TDccTransFileForm::TDccTransFileForm(QWidget* Owner, TConnection& Connection)
    : QWidget(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), connection_(Connection) {
  setObjectName(QStringLiteral("DccTransFileForm"));
  setAttribute(Qt::WA_DeleteOnClose);
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);
  auto* Column = new QVBoxLayout(this);
  Column->setContentsMargins(Margin, 10, Margin, 10);
  Column->setSpacing(4);
  auto AddLabel = [&](const char* Name) {
    auto* Label = new QLabel(this);
    Label->setObjectName(QLatin1String(Name));
    Label->setTextFormat(Qt::PlainText);
    Column->addWidget(Label);
    return Label;
  };
  SubjectLabel = AddLabel("SubjectLabel");
  QFont Bold = SubjectLabel->font();
  Bold.setBold(true);
  SubjectLabel->setFont(Bold);
  PeerLabel = AddLabel("PeerLabel");

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setFixedHeight(16);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  Column->addSpacing(2);
  Column->addWidget(ProgressBar);

  AmountLabel = AddLabel("AmountLabel");
  RateLabel = AddLabel("RateLabel");
  StatusLabel = AddLabel("StatusLabel");
  // A reason such as a file error with its path may take more lines.
  StatusLabel->setWordWrap(true);
  StatusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  StatusLabel->setMinimumHeight(StatusLabel->fontMetrics().lineSpacing() * 3);
  StatusLabel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

  CloseButton = new QPushButton(QText(U8(u8"閉じる")), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setFixedSize(75, 25);
  Column->addWidget(CloseButton, 0, Qt::AlignHCenter);
  connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });

  SetCaption(U8(u8"転送の準備中"));

  auto* Listener = new TListenSocket(this);
  Listener->setObjectName(QStringLiteral("ServerSocket"));
  Listener->Accepted = [this](int Descriptor) { ServerSocketGetThread(Descriptor); };
  ServerSocket = Listener;

  ClientSocket = std::make_shared<TBlockingSocket>();

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(CloseDelayMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  AcceptTimer = new QTimer(this);
  AcceptTimer->setObjectName(QStringLiteral("AcceptTimer"));
  AcceptTimer->setSingleShot(true);
  AcceptTimer->setInterval(AcceptWaitMs);
  connect(AcceptTimer, &QTimer::timeout, this, [this] { AcceptTimerTimer(); });
}

TDccTransFileForm::~TDccTransFileForm() {
  // Workers first, while everything they hand off to is still here; a
  // worker waiting for this thread is let go by Terminate.
  closed_ = true;
  CancelConnect();
  if (sendThread_) sendThread_->Terminate();
  if (recvThread_) recvThread_->Terminate();
  ForgetThreads();
  if (ServerSocket) ServerSocket->close();
  if (ClientSocket) ClientSocket->Close();
}

void TDccTransFileForm::ForgetThreads() {
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
  setWindowTitle(QText(Text));
  ShowStatus();
}

void TDccTransFileForm::SetReason(const std::string& Text) {
  reason_ = Text;
  ShowStatus();
}

TTransferState TDccTransFileForm::State() const {
  TTransferState State;
  State.Direction = Direction;
  State.FileName = Direction == TTransferDirection::Send ? PathText(FileNameWithoutFolder(FileName)) : FileName;
  State.Peer = PeerNick;
  State.Caption = caption_;
  State.Reason = reason_;
  // Receiving, no more than the file holds.
  State.Done = std::clamp<std::int64_t>(std::max(done_, StartAt), 0, FileSize);
  State.Size = FileSize;
  if (samples_.size() > 1 && (sendThread_ || recvThread_)) {
    const auto& [FirstTime, FirstBytes] = samples_.front();
    const auto& [LastTime, LastBytes] = samples_.back();
    const double Seconds = std::chrono::duration<double>(LastTime - FirstTime).count();
    if (Seconds > 0.1) State.BytesPerSecond = static_cast<double>(LastBytes - FirstBytes) / Seconds;
  }
  return State;
}

void TDccTransFileForm::LogEnd(TTransferEnd End, const std::string& Where) {
  connection_.ShowInServerLog(connection_.Stamp() + " " + TransferEndText(State(), End, Where));
}

void TDccTransFileForm::SetFileSize(std::int64_t Size) {
  FileSize = Size;
  progressShift_ = 0;
  while ((Size >> progressShift_) > INT_MAX) ++progressShift_;
  ProgressBar->setValue(0);
  ProgressBar->setRange(0, static_cast<int>(Size >> progressShift_));
  ShowStatus();
}

void TDccTransFileForm::SetProgress(std::int64_t Position) {
  done_ = Position;
  ProgressBar->setValue(static_cast<int>(std::min<std::int64_t>(Position >> progressShift_, INT_MAX)));
  // The speed over the last few seconds.
  const auto Now = Clock::now();
  samples_.emplace_back(Now, Position);
  while (samples_.size() > 2 && Now - samples_[1].first > std::chrono::seconds(3)) samples_.pop_front();
  ShowStatus();
}

void TDccTransFileForm::ShowStatus() {
  if (!CloseButton) return;  // still being built
  const TTransferTexts Texts = TransferTexts(State());
  // A long name keeps its start and its extension.
  const QString Subject = QText(Texts.Subject);
  SubjectLabel->setText(SubjectLabel->fontMetrics().elidedText(Subject, Qt::ElideMiddle, ClientWidth - 2 * Margin));
  SubjectLabel->setToolTip(Subject);
  PeerLabel->setText(QText(Texts.Peer));
  StatusLabel->setText(QText(Texts.Status));
  // Nothing to count before the peer has connected.
  AmountLabel->setText(samples_.empty() ? QString() : QText(Texts.Amount));
  RateLabel->setText(QText(Texts.Rate));
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
    Port = connection_.Session().DccPorts().Next();
    Listening = ServerSocket->listen(QHostAddress::AnyIPv4, Port);
  }
  if (Listening) return true;
  Platform().ShowMessage(StdText(ServerSocket->errorString()) + " (port " + std::to_string(Port) + ")");
  return false;
}

void TDccTransFileForm::OpenClient(const std::string& Host, std::uint16_t Port) {
  CancelConnect();
  connecting_ = TBackgroundConnect::Start(this, [this, Host, Port](TBlockingSocket& Socket) {
    const bool ok = Socket.Connect(Host, Port, ConnectTimeoutMs);
    const std::string error =
        ok ? std::string() : Socket.ErrorText() + " (" + std::to_string(Socket.ErrorCode()) + ")";
    return std::function<void()>([this, ok, error, Host, Port] { ConnectFinished(ok, error, Host, Port); });
  });
}

void TDccTransFileForm::CancelConnect() {
  if (!connecting_) return;
  connecting_->Cancel();
  connecting_.reset();
}

void TDccTransFileForm::ConnectFinished(bool Ok, const std::string& Error, const std::string& Host,
                                        std::uint16_t Port) {
  const std::shared_ptr<TBackgroundConnect> attempt = std::move(connecting_);
  if (!attempt || closed_) return;
  if (!Ok) {
    const std::string Reason = Error + ", connect " + Host + ":" + std::to_string(Port);
    SetCaption(U8(u8"ファイルの受信に失敗しました。"));
    SetReason(Reason);
    LogEnd(TTransferEnd::Failed, StartAt > 0 ? KeptPart() : std::string());
    Platform().ShowMessage(Reason);
    return;
  }
  ClientSocket = attempt->Socket();
  ClientSocketConnect();
}

void TDccTransFileForm::ClientSocketConnect() {
  SendAtOnce(ClientSocket->Descriptor());
  const int file = OpenPartFile();
  if (file < 0) {
    const std::string Reason = FileErrorText(PartPath(), errno);
    ClientSocket->Close();
    SetCaption(U8(u8"ファイルの受信に失敗しました。"));
    SetReason(Reason);
    LogEnd(TTransferEnd::Failed);
    Platform().ShowMessage(Reason);
    return;
  }
  SetProgress(StartAt);
  recvThread_ = std::make_unique<TRecieveFileThread>(this, FileSize, ClientSocket.get(), file, StartAt);
  recvThread_->Start();
  SetCaption(U8(u8"受信中"));
}

int TDccTransFileForm::OpenPartFile() const {
  const std::string path = PartPath();
  // A fresh start replaces the part file, a resumed one cuts it to the
  // accepted position in case it has grown since, and fails if it has
  // shrunk. Neither truncates a file to empty: ext4 then writes the whole
  // file back when it is closed.
  if (StartAt == 0 && ::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (file < 0) return -1;
  struct stat info {};
  bool ok = ::fstat(file, &info) == 0;
  if (ok && info.st_size < StartAt) {
    errno = ENODATA;  // padding it out would put zeros into the file
    ok = false;
  }
  ok = ok && (info.st_size == StartAt || ::ftruncate(file, StartAt) == 0) &&
       ::lseek(file, StartAt, SEEK_SET) == StartAt;
  if (!ok) {
    const int error = errno;
    ::close(file);
    errno = error;
    return -1;
  }
  return file;
}

void TDccTransFileForm::ServerSocketGetThread(int Descriptor) {
  // One offer, one receiver: a second peer would only get the file again
  // behind the first one's back.
  if (peerTaken_ || closed_) {
    ::close(Descriptor);
    return;
  }
  peerTaken_ = true;
  sendThread_ = std::make_unique<TSendFileThread>(this, Descriptor, FileName, FileSize, StartAt);
  SetProgress(StartAt);
  sendThread_->Start();
}

void TDccTransFileForm::SendThreadTerminate() {
  if (closed_ || !sendThread_) return;
  sendThread_->Join();
  const bool Complete = sendThread_->Complete();
  const std::string Reason = sendThread_->FailReason();
  sendThread_.reset();
  ServerSocket->close();
  if (Complete) {
    LogEnd(TTransferEnd::Done);
    ShowStatus();
    Timer1->start();
    return;
  }
  // Stays, saying why, until the user has read it and closes it.
  SetReason(Reason);
  LogEnd(TTransferEnd::Failed);
}

void TDccTransFileForm::RecieveThreadTerminate() {
  if (closed_ || !recvThread_) return;
  recvThread_->Join();
  const std::int64_t Received = recvThread_->RecvTotal.load();
  std::string Reason = recvThread_->FailReason;
  if (!recvThread_->FileError.empty()) Reason = PathText(PartPath()) + ": " + recvThread_->FileError;
  recvThread_.reset();
  ClientSocket->Close();
  if (Reason.empty() && Received > FileSize)
    Reason = U8(u8"申し出の大きさ（") + SizeText(FileSize) + U8(u8"）より多くのデータが送られてきました。");
  if (Reason.empty() && Received == FileSize && std::rename(PartPath().c_str(), SavePath.c_str()) != 0)
    Reason = FileErrorText(SavePath, errno);

  // One message says how it ended. The box runs an event loop of its own;
  // the window may go while it is open.
  QPointer<TDccTransFileForm> Self(this);
  if (Reason.empty() && Received == FileSize) {
    LogEnd(TTransferEnd::Done, PathText(SavePath));
    Platform().ShowMessage(PathText(SavePath) + U8(u8"を保存しました。"));
  } else {
    const std::string Failed = U8(u8"ファイルの受信に失敗しました。");
    SetCaption(Failed);
    SetReason(Reason);
    const std::string Kept = KeptPart();
    LogEnd(TTransferEnd::Failed, Kept);
    Platform().ShowMessage(Failed + "\r\n" + Reason + "\r\n" + Kept);
  }
  if (Self) close();
}

std::string TDccTransFileForm::KeptPart() const {
  struct stat Part {};
  const std::int64_t Size = ::stat(PartPath().c_str(), &Part) == 0 ? static_cast<std::int64_t>(Part.st_size) : 0;
  return PartKeptText(PathText(PartPath()), Size);
}

void TDccTransFileForm::Timer1Timer() {
  Timer1->stop();
  ServerSocket->close();
  close();
}

void TDccTransFileForm::AcceptTimerTimer() {
  if (closed_ || !AwaitingAccept) return;
  AwaitingAccept = false;
  const std::string Reason = PeerNick + U8(u8" から再開の応答がありませんでした。");
  const std::string Kept = KeptPart();
  SetCaption(U8(u8"ファイルの受信に失敗しました。"));
  SetReason(Reason);
  LogEnd(TTransferEnd::Failed, Kept);
  QPointer<TDccTransFileForm> Self(this);
  Platform().ShowMessage(Reason + "\r\n" + Kept);
  if (Self) close();
}

void TDccTransFileForm::CloseButtonClick() { close(); }

bool TDccTransFileForm::FormCloseQuery() {
  if (!sendThread_ && !recvThread_) return true;
  return Platform().AskYesNo(U8(u8"ファイルの転送中ですが、中止しますか？"));
}

void TDccTransFileForm::FormClose() {
  if (recvThread_) {
    done_ = recvThread_->RecvTotal.load();
    LogEnd(TTransferEnd::Cancelled, KeptPart());
  } else if (sendThread_) {
    LogEnd(TTransferEnd::Cancelled);
  }
  closed_ = true;
  // Cut off, not waited for: the destructor, which follows at once, joins.
  if (recvThread_) recvThread_->Terminate();
  if (sendThread_) sendThread_->Terminate();
  if (ServerSocket->isListening()) ServerSocket->close();
  Timer1->stop();
  AcceptTimer->stop();
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

TDccTransFileForm* TDccTransFileForm::OpenFor(QWidget* Owner, TConnection& Connection) {
  auto* Form = new TDccTransFileForm(Owner, Connection);
  Form->SetCaption(U8(u8"転送の準備中"));
  Form->show();
  Form->CloseSockets();
  return Form;
}

// --- offering and taking files ---

void SendDccFile(QWidget* Owner, TConnection& Connection, const std::string& Nick) {
  const std::string Path = Platform().OpenFileName(Owner, TransferFileFilter());
  if (Path.empty()) return;
  if (TDccTransFileForm::OwnedBy(Owner)) {
    Platform().ShowMessage(OneTransferMessage());
    return;
  }

  TDccTransFileForm* Form = TDccTransFileForm::OpenFor(Owner, Connection);
  std::uint16_t Port = Connection.Session().DccPorts().Next();

  Form->Direction = TTransferDirection::Send;
  Form->FileName = Path;
  Form->PeerNick = Nick;
  std::int64_t Size = 0;
  std::string Error;
  if (!ReadFileSize(Path, Size, Error)) {
    Platform().ShowMessage(Error);
    return;
  }
  Form->SetFileSize(Size);
  if (!Form->OpenServer(Port)) return;
  Form->OfferPort = std::to_string(Port);

  // The offer carries the name as text, in the network's encoding.
  const std::string OfferName = PathText(FileNameWithoutFolder(Path));
  Connection.SendLine(DccSendOfferLine(Nick, OfferName, Connection.LocalAddressNumber(), Port, Form->FileSize));
  Form->SetCaption(Nick + U8(u8" の受信許可待ち"));
}

void ReceiveDccFile(QWidget* Owner, TConnection& Connection, const std::string& Nick, const std::string& FileName,
                    const std::string& AddressNumber, const std::string& Port, const std::string& Size,
                    const std::string& Role) {
  (void)Role;  // always "CLIENT": we connect to the offerer
  // An offer that cannot be connected to is not put to the user at all.
  const std::optional<TDccEndpoint> Endpoint = CheckSendOffer(AddressNumber, Port, Size);
  if (!Endpoint) {
    Platform().ShowNotice(UnusableOfferMessage(Nick, "SEND", FileName, AddressNumber, Port, Size));
    return;
  }
  const std::string Offered = OfferedFileText(Nick, FileName, Endpoint->Size);
  auto Busy = [Owner] {
    // Questions and dialogs run event loops: another transfer may have
    // begun meanwhile.
    if (!TDccTransFileForm::OwnedBy(Owner)) return false;
    Platform().ShowMessage(OneTransferMessage());
    return true;
  };

  // A part of this file received before, where the file would be saved,
  // says where it goes: the question is whether to go on from it.
  const std::string Folder = Platform().SaveFolder();
  const std::string Proposed = SafeProposedFileName(FileName);
  std::string Path = Folder.empty() ? std::string() : Folder + "/" + NativePath(Proposed);
  std::optional<std::int64_t> Part = Path.empty() ? std::nullopt : PartFileSize(Path + ".part");
  TPartAnswer Answer = TPartAnswer::StartOver;
  if (Part) {
    Answer = AskAboutPart(Offered, Path, *Part, Endpoint->Size);
    if (Answer == TPartAnswer::Keep || Busy()) return;
  } else {
    if (!Platform().AskYesNo(Offered + "\r\n" + U8(u8"受信しますか？")) || Busy()) return;
    // Where it goes is chosen now: the bytes go to disk as they come.
    Path = Platform().SaveFileName(Owner, TransferFileFilter(), Folder.empty() ? Proposed : PathText(Path));
    if (Path.empty() || Busy()) return;
    Part = PartFileSize(Path + ".part");
    if (Part) {
      Answer = AskAboutPart({}, Path, *Part, Endpoint->Size);
      if (Answer == TPartAnswer::Keep || Busy()) return;
    }
  }
  const std::int64_t StartAt = Answer == TPartAnswer::Resume ? *Part : 0;

  TDccTransFileForm* Form = TDccTransFileForm::OpenFor(Owner, Connection);
  Form->Direction = TTransferDirection::Receive;
  Form->FileName = FileName;
  Form->PeerNick = Nick;
  Form->SavePath = Path;
  Form->OfferPort = std::to_string(Endpoint->Port);
  Form->OffererHost = Endpoint->Host;
  Form->OffererPort = Endpoint->Port;
  Form->SetFileSize(Endpoint->Size);

  if (StartAt > 0) {
    Form->StartAt = StartAt;
    Form->AwaitingAccept = true;
    Connection.SendLine(DccResumeLine(Nick, FileName, Endpoint->Port, StartAt));
    Form->SetCaption(U8(u8"再開の応答待ち"));
    Form->AcceptTimer->start();
    return;
  }
  Form->SetCaption(U8(u8"接続待機中"));
  Form->OpenClient(Endpoint->Host, Endpoint->Port);
}

bool ResumeDccSend(QWidget* Owner, TConnection& Connection, const std::string& Nick, const std::string& FileName,
                   const std::string& Port, const std::string& Position) {
  TDccTransFileForm* Form = TDccTransFileForm::OwnedBy(Owner);
  const std::optional<std::int64_t> At = ReadPosition(Position);
  // Only an offer still waiting for its peer, to that nick at that port,
  // through this connection.
  if (!Form || &Form->Connection() != &Connection || !At || Form->OfferPort.empty() || Form->OfferPort != Port || !SameName(Form->PeerNick, Nick) ||
      !Form->ServerSocket->isListening() || Form->SendThread())
    return false;
  if (*At >= Form->FileSize) return false;
  Form->StartAt = *At;
  Connection.SendLine(DccAcceptLine(Nick, FileName, Port, *At));
  return true;
}

bool AcceptDccResume(QWidget* Owner, TConnection& Connection, const std::string& Nick, const std::string& Port,
                     const std::string& Position) {
  TDccTransFileForm* Form = TDccTransFileForm::OwnedBy(Owner);
  const std::optional<std::int64_t> At = ReadPosition(Position);
  if (!Form || &Form->Connection() != &Connection || !At || !Form->AwaitingAccept || Form->OfferPort != Port || !SameName(Form->PeerNick, Nick) ||
      *At > Form->StartAt)
    return false;
  Form->AwaitingAccept = false;
  Form->AcceptTimer->stop();
  Form->StartAt = *At;
  // The connect waits for the offerer: not inside the line handler.
  QPointer<TDccTransFileForm> Queued(Form);
  QMetaObject::invokeMethod(
      Form,
      [Queued] {
        if (!Queued || Queued->Closed()) return;
        Queued->SetCaption(U8(u8"接続待機中"));
        Queued->OpenClient(Queued->OffererHost, Queued->OffererPort);
      },
      Qt::QueuedConnection);
  return true;
}

}  // namespace tavi
