// The DCC file transfer over real loopback connections. The other side is
// played with plain sockets on threads of the test's own, while the test
// thread runs the event loop that the workers hand their calls to.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "MainFormFixture.h"
#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "dcc/SendFileThread.h"
#include "dcc/RecieveFileThread.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Clock = std::chrono::steady_clock;

const std::string Loopback = "2130706433";  // 127.0.0.1
const std::string LocalNumber = "3232235786";  // the fake platform's 192.168.1.10
constexpr std::size_t MiB = 1024 * 1024;

std::string HungUp() { return U8(u8"相手が途中で接続を切りました。"); }
std::string ReceiveFailed() { return U8(u8"ファイルの受信に失敗しました。"); }
std::string SendDone() { return U8(u8"ファイルの転送が完了しました。"); }
std::string SendFailed() { return U8(u8"ファイルの転送に失敗しました。"); }
std::string BlockFailed() { return U8(u8"送信に失敗しました。"); }
std::string CloseQuestion() { return U8(u8"ファイルの転送中ですが、中止しますか？"); }
std::string PartKept(const std::string& Saved, const std::string& Size) {
  return Saved + ".part" + U8(u8" に受信した分（") + Size + U8(u8"）を残しました。");
}
// The one message of a receive that ended early.
std::string ReceiveFailedMessage(const std::string& Reason, const std::string& Saved, const std::string& Size) {
  return ReceiveFailed() + "\r\n" + Reason + "\r\n" + PartKept(Saved, Size);
}

long long Ms(Clock::duration D) { return std::chrono::duration_cast<std::chrono::milliseconds>(D).count(); }

// Bytes that differ from file to file and from place to place.
std::string Pattern(std::size_t Size, std::uint32_t Seed) {
  std::string bytes(Size, '\0');
  std::uint32_t x = Seed * 2654435761u + 1;
  for (char& c : bytes) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- the scripted peer's side: plain blocking POSIX sockets ---

bool Readable(int Fd, int TimeoutMs) {
  pollfd p{Fd, POLLIN, 0};
  int n;
  do {
    n = ::poll(&p, 1, TimeoutMs);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

// >0 bytes, 0 at the end of the stream, -1 on error, -2 when nothing came.
long ReadSome(int Fd, char* Buffer, std::size_t Size, int TimeoutMs) {
  if (!Readable(Fd, TimeoutMs)) return -2;
  const ssize_t n = ::recv(Fd, Buffer, Size, 0);
  return n < 0 ? -1 : static_cast<long>(n);
}

bool ReadExactly(int Fd, std::string& Into, std::size_t Count, int TimeoutMs = 5000) {
  char buffer[4096];
  while (Count > 0) {
    const long n = ReadSome(Fd, buffer, std::min(Count, sizeof buffer), TimeoutMs);
    if (n <= 0) return false;
    Into.append(buffer, static_cast<std::size_t>(n));
    Count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAllFd(int Fd, std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t n = ::send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool SendAck(int Fd, std::uint32_t Total) { return WriteAllFd(Fd, EncodeAck(Total)); }

bool ReadAckFd(int Fd, std::uint32_t& Ack, int TimeoutMs = 5000) {
  std::string bytes;
  if (!ReadExactly(Fd, bytes, 4, TimeoutMs)) return false;
  Ack = DecodeAck(reinterpret_cast<const unsigned char*>(bytes.data()));
  return true;
}

// Reads until the other side hangs up; what still comes is kept in Extra.
bool AwaitEnd(int Fd, std::string* Extra = nullptr, int TimeoutMs = 5000) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  char buffer[4096];
  for (;;) {
    const int left = static_cast<int>(std::max<long long>(0, Ms(deadline - Clock::now())));
    const long n = ReadSome(Fd, buffer, sizeof buffer, left);
    if (n == 0 || n == -1) return true;  // closed, or reset
    if (n == -2) return false;
    if (Extra) Extra->append(buffer, static_cast<std::size_t>(n));
  }
}

int ConnectTo(std::uint16_t Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(Port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A listening socket on 127.0.0.1 and a free port.
struct TListener {
  int Fd = -1;
  std::uint16_t Port = 0;

  TListener() {
    Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(Fd, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(Fd, 4) == 0 &&
        ::getsockname(Fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      Port = ntohs(a.sin_port);
  }
  ~TListener() { Close(); }
  void Close() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }
  std::string PortText() const { return std::to_string(Port); }
  // Someone has connected and waits to be accepted.
  bool Pending(int TimeoutMs = 0) const { return Readable(Fd, TimeoutMs); }
  int Accept(int TimeoutMs = 5000) const {
    return Readable(Fd, TimeoutMs) ? ::accept4(Fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }
};

// A script on a thread of its own; every script gives up by itself.
class TPeer {
 public:
  TPeer() = default;
  explicit TPeer(std::function<void()> Script) { Run(std::move(Script)); }
  ~TPeer() { Join(); }
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;

  void Run(std::function<void()> Script) {
    thread_ = std::thread([this, Script = std::move(Script)] {
      Script();
      done_.store(true);
    });
  }
  bool Done() const { return done_.load(); }
  // Runs the event loop until the script has ended.
  bool Await(int TimeoutMs = 10000) {
    if (!PumpUntil([&] { return done_.load(); }, TimeoutMs)) return false;
    Join();
    return true;
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// What a scripted sender saw.
struct TSenderLog {
  std::vector<std::uint32_t> Acks;
  std::atomic<std::uint32_t> LastAck{0};
  bool AllAcked = false;
  bool SawEnd = false;
};

// A well-behaved sender: blocks of 1024 bytes from From on, each followed
// by reading acknowledgements until the one for everything so far.
void SendInBlocks(int Fd, const std::string& Data, TSenderLog& Log, std::size_t From = 0) {
  std::size_t sent = From;
  while (sent < Data.size()) {
    const std::size_t n = std::min<std::size_t>(1024, Data.size() - sent);
    if (!WriteAllFd(Fd, std::string_view(Data).substr(sent, n))) return;
    sent += n;
    for (;;) {
      std::uint32_t ack = 0;
      if (!ReadAckFd(Fd, ack)) return;
      Log.Acks.push_back(ack);
      Log.LastAck.store(ack);
      if (ack >= sent) break;
    }
  }
  Log.AllAcked = true;
  Log.SawEnd = AwaitEnd(Fd);
}

// What a scripted receiver got.
struct TReceiverLog {
  std::string Data;
  std::atomic<std::size_t> Count{0};
  bool SawEnd = false;
};

// Reads at most ReadSize bytes at a time and acknowledges the total after
// every AckEvery bytes and at the end of the file; then waits for the
// sender to hang up, keeping anything more it sends.
void ReceiveAcking(int Fd, std::size_t Expected, std::size_t ReadSize, std::size_t AckEvery, TReceiverLog& Log) {
  char buffer[4096];
  std::size_t unacked = 0;
  while (Log.Data.size() < Expected) {
    const long n = ReadSome(Fd, buffer, std::min({ReadSize, sizeof buffer, Expected - Log.Data.size()}), 5000);
    if (n <= 0) return;
    Log.Data.append(buffer, static_cast<std::size_t>(n));
    Log.Count.store(Log.Data.size());
    unacked += static_cast<std::size_t>(n);
    if (unacked >= AckEvery || Log.Data.size() == Expected) {
      if (!SendAck(Fd, static_cast<std::uint32_t>(Log.Data.size()))) return;
      unacked = 0;
    }
  }
  Log.SawEnd = AwaitEnd(Fd, &Log.Data);
}

// Every caption any transfer window takes, in order.
class TCaptionLog : public QObject {
 public:
  TCaptionLog() { QCoreApplication::instance()->installEventFilter(this); }
  ~TCaptionLog() override { QCoreApplication::instance()->removeEventFilter(this); }
  std::vector<std::string> Captions;

 protected:
  bool eventFilter(QObject* Object, QEvent* Event) override {
    if (Event->type() == QEvent::WindowTitleChange)
      if (auto* form = qobject_cast<TDccTransFileForm*>(Object)) Captions.push_back(StdText(form->windowTitle()));
    return false;
  }
};

struct TOffer {
  std::string Nick, Name, Address;
  std::uint16_t Port = 0;
  long long Size = -1;
};

std::optional<TOffer> ParseOffer(const std::string& Line) {
  static const std::regex Form("^PRIVMSG (\\S+) :\x01" "DCC SEND (.+) (\\d+) (\\d+) (\\d+)\x01\r\n$");
  std::smatch m;
  if (!std::regex_match(Line, m, Form)) return std::nullopt;
  return TOffer{m[1], m[2], m[3], static_cast<std::uint16_t>(std::stoi(m[4])), std::stoll(m[5])};
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class DccTransFileTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    Own().CurrentNick = "me";
    captions = std::make_unique<TCaptionLog>();
  }
  void TearDown() override {
    second.reset();
    secondSession.reset();
    MainFormFixture::TearDown();
    DeleteClosed();
    captions.reset();
  }

  static TDccTransFileForm* Transfer(TMainForm& F) { return TDccTransFileForm::OwnedBy(&F); }
  std::string LastLogLine() const {
    const std::vector<std::string> lines = MemoLines();
    return lines.empty() ? std::string() : lines.back();
  }

  void ClearRecords() {
    platform.Messages.clear();
    platform.Notices.clear();
    platform.Questions.clear();
    platform.YesDefaultQuestions.clear();
    platform.SaveProposals.clear();
    platform.SaveFilters.clear();
    captions->Captions.clear();
    Sent.clear();
  }

  std::string WriteFile(const std::string& Name, const std::string& Bytes) {
    const std::string path = folder.filePath(QString::fromStdString(Name)).toStdString();
    std::ofstream(path, std::ios::binary).write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    return path;
  }
  std::string SavePath(const std::string& Name) const {
    return folder.filePath(QString::fromStdString(Name)).toStdString();
  }

  // Offers a file from nick bob at 127.0.0.1 and says Yes to it.
  void AcceptOffer(TMainForm& F, const std::string& Name, const TListener& From, std::size_t Size) {
    platform.YesNoAnswers = {true};
    ReceiveDccFile(&F, F.Connection(), "bob", Name, Loopback, From.PortText(), std::to_string(Size), "CLIENT");
  }

  // Sends Path to alice; the offer caught in Sent.
  std::optional<TOffer> StartSend(TMainForm& F, const std::string& Path) {
    const std::size_t before = Sent.size();
    platform.OpenFileAnswers = {Path};
    SendDccFile(&F, F.Connection(), "alice");
    if (Sent.size() != before + 1) return std::nullopt;
    return ParseOffer(Sent.back());
  }

  // bob offers Name, 100,000 bytes, from Listener; Part is already here and
  // the user takes the offer and goes on from the part. The save path.
  std::string ResumeOffer(TMainForm& F, const std::string& Name, const std::string& Part, const TListener& Listener) {
    const std::string saved = SavePath(Name);
    WriteFile(Name + ".part", Part);
    platform.YesNoAnswers = {true, true};
    platform.SaveFileAnswers = {saved};
    ReceiveDccFile(&F, F.Connection(), "bob", Name, Loopback, Listener.PortText(), "100000", "CLIENT");
    return saved;
  }

  // The send has ended and its worker is gone: the caption alone comes a
  // moment before the worker's end reaches the window.
  static bool SendEnded(TDccTransFileForm* T) {
    return (T->Caption() == SendDone() || T->Caption() == SendFailed()) && !T->SendThread();
  }

  // Closes the window of an ended send the way its timer does, and frees it.
  void LetTimerClose(TMainForm& F) {
    TDccTransFileForm* t = Transfer(F);
    ASSERT_NE(t, nullptr);
    QPointer<TDccTransFileForm> guard(t);
    EXPECT_TRUE(t->Timer1->isActive());
    EXPECT_EQ(t->Timer1->interval(), 10000);
    t->Timer1->start(1);
    EXPECT_TRUE(PumpUntil([&] { return Transfer(F) == nullptr; }));
    DeleteClosed();
    EXPECT_TRUE(guard.isNull());
  }

  std::unique_ptr<TCaptionLog> captions;
  // A second copy of the client: its own session and main window.
  std::unique_ptr<TSession> secondSession;
  std::unique_ptr<TMainForm> second;
  TMainForm& MakeSecond() {
    secondSession = std::make_unique<TSession>();
    second = std::make_unique<TMainForm>(*secondSession);
    return *second;
  }
};

}  // namespace

// --- receiving ---

TEST_F(DccTransFileTest, ReceivedFilesOfEverySizeArriveWholeUnderTheChosenName) {
  TMainForm& f = MakeForm();
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{1024}, 3 * MiB + 17}) {
    SCOPED_TRACE(size);
    ClearRecords();
    const std::string data = Pattern(size, static_cast<std::uint32_t>(size));
    TListener listener;
    TSenderLog log;
    TPeer sender([&] {
      const int fd = listener.Accept();
      if (fd < 0) return;
      SendInBlocks(fd, data, log);
      ::close(fd);
    });
    const std::string saved = SavePath("saved-" + std::to_string(size));
    platform.SaveFileAnswers = {saved};
    AcceptOffer(f, "report.txt", listener, size);

    EXPECT_EQ(platform.Questions, std::vector<std::string>{OfferedFileText("bob", "report.txt", size) + "\r\n" +
                                                           U8(u8"受信しますか？")});
    TDccTransFileForm* t = Transfer(f);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->size(), QSize(TDccTransFileForm::ClientWidth, TDccTransFileForm::ClientHeight));
    // What and with whom, in the window itself.
    EXPECT_EQ(StdText(t->SubjectLabel->text()), "report.txt");
    EXPECT_EQ(StdText(t->PeerLabel->text()), U8(u8"bob から受信"));
    EXPECT_EQ(t->ProgressBar->maximum(), static_cast<int>(size));
    // The connect runs in the background; receiving starts once it is made.
    EXPECT_TRUE(t->Connecting());
    int progress = t->ProgressBar->value();
    QObject::connect(t->ProgressBar, &QProgressBar::valueChanged, t->ProgressBar, [&](int v) { progress = v; });

    ASSERT_TRUE(PumpUntil([&] { return !platform.Messages.empty(); }, 8000));
    ASSERT_TRUE(sender.Await());
    EXPECT_EQ(platform.Messages, std::vector<std::string>{saved + U8(u8"を保存しました。")});
    EXPECT_EQ(LastLogLine(), "09:05 bob" + U8(u8" から受信した report.txt（") + SizeText(size) + U8(u8"）を ") +
                                 saved + U8(u8" に保存しました。"));
    EXPECT_EQ(platform.SaveProposals, std::vector<std::string>{"report.txt"});
    EXPECT_EQ(platform.SaveFilters, std::vector<std::string>{U8(u8"すべてのファイル ( *.* )|*.*")});
    const std::string got = ReadWholeFile(saved);
    EXPECT_EQ(got.size(), size);
    EXPECT_TRUE(got == data);
    EXPECT_EQ(progress, static_cast<int>(size));
    EXPECT_EQ(captions->Captions,
              (std::vector<std::string>{U8(u8"転送の準備中"), U8(u8"接続待機中"), U8(u8"受信中")}));

    // Every read of at most 64 KiB was acknowledged with the total so far,
    // and the part file became the chosen one.
    EXPECT_TRUE(log.AllAcked);
    std::uint32_t previous = 0;
    for (std::uint32_t ack : log.Acks) {
      ASSERT_GT(ack, previous);
      ASSERT_LE(ack - previous, 64u * 1024);
      previous = ack;
    }
    EXPECT_EQ(previous, size);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(saved + ".part")));
    // Our side hangs up and the window goes once the file is saved.
    EXPECT_TRUE(log.SawEnd);
    EXPECT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }));
    EXPECT_TRUE(Sent.empty());
    DeleteClosed();
  }
}

TEST_F(DccTransFileTest, TheSaveProposesTheBareNameAndMayBeDeclined) {
  TMainForm& f = MakeForm();
  // "表" ends in the byte of "\": only the "/" is a folder separator here.
  const std::string offered = U8(u8"../up/表.txt");
  TListener listener;
  AcceptOffer(f, offered, listener, 1);  // no save answer: the user cancels
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_NE(platform.Questions[0].find(offered), std::string::npos);
  EXPECT_EQ(platform.SaveProposals, std::vector<std::string>{U8(u8"表.txt")});
  // Nothing connects, nothing is said, no window.
  EXPECT_EQ(Transfer(f), nullptr);
  PumpFor(50);
  EXPECT_FALSE(listener.Pending());
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_TRUE(Sent.empty());
}

TEST_F(DccTransFileTest, OffersDeclinedUnusableOrUnreachableTransferNothing) {
  TMainForm& f = MakeForm();
  TListener listener;

  // Declined: nothing is connected or sent, no window.
  platform.YesNoAnswers = {false};
  ReceiveDccFile(&f, Connection(), "bob", "a.txt", Loopback, listener.PortText(), "10", "CLIENT");
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_EQ(Transfer(f), nullptr);
  PumpFor(100);
  EXPECT_FALSE(listener.Pending());

  // Unusable: refused with a message naming the offer, without a question.
  const std::string port = listener.PortText();
  const std::vector<std::vector<std::string>> unusable = {
      {Loopback, "0", "10"},          {Loopback, "65536", "10"},  {Loopback, port, "-1"},
      {Loopback, port, "9223372036854775808"}, {"127.0.0.1", port, "10"},  {Loopback, "12x", "10"},
      {Loopback, port, "ten"}};
  for (const auto& u : unusable) {
    SCOPED_TRACE(u[0] + " " + u[1] + " " + u[2]);
    ClearRecords();
    platform.YesNoAnswers = {true};
    ReceiveDccFile(&f, Connection(), "bob", "a.txt", u[0], u[1], u[2], "CLIENT");
    EXPECT_EQ(platform.Notices,
              std::vector<std::string>{UnusableOfferMessage("bob", "SEND", "a.txt", u[0], u[1], u[2])});
    EXPECT_TRUE(platform.Questions.empty());
    EXPECT_EQ(Transfer(f), nullptr);
  }
  PumpFor(50);
  EXPECT_FALSE(listener.Pending());

  // Unreachable: the error is shown and the window waits.
  ClearRecords();
  TListener gone;
  const std::string gonePort = gone.PortText();
  gone.Close();
  platform.YesNoAnswers = {true};
  platform.SaveFileAnswers = {SavePath("a.txt")};
  ReceiveDccFile(&f, Connection(), "bob", "a.txt", Loopback, gonePort, "10", "CLIENT");
  ASSERT_NE(Transfer(f), nullptr);
  EXPECT_EQ(Transfer(f)->Caption(), U8(u8"接続待機中"));
  ASSERT_TRUE(PumpUntil([&] { return !Transfer(f)->Connecting(); }));
  EXPECT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(Transfer(f)->RecieveThread(), nullptr);
  Transfer(f)->close();  // nothing runs: no question
  EXPECT_TRUE(platform.Questions.size() == 1u);
  EXPECT_EQ(Transfer(f), nullptr);
  DeleteClosed();

  // Closed while its connect is still under way: the attempt is forgotten.
  ClearRecords();
  platform.YesNoAnswers = {true};
  platform.SaveFileAnswers = {SavePath("a.txt")};
  ReceiveDccFile(&f, Connection(), "bob", "a.txt", Loopback, gonePort, "10", "CLIENT");
  ASSERT_NE(Transfer(f), nullptr);
  EXPECT_TRUE(Transfer(f)->Connecting());
  Transfer(f)->close();
  DeleteClosed();
  PumpFor(200);
  EXPECT_TRUE(platform.Messages.empty());

  // A file that cannot be opened: the error is shown, nothing is offered
  // and the window stays as it was made.
  ClearRecords();
  platform.OpenFileAnswers = {SavePath("missing.bin")};
  SendDccFile(&f, Connection(), "alice");
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(platform.Messages.size(), 1u);
  ASSERT_NE(Transfer(f), nullptr);
  EXPECT_EQ(Transfer(f)->Caption(), U8(u8"転送の準備中"));
  EXPECT_FALSE(Transfer(f)->ServerSocket->isListening());
  Transfer(f)->close();
  DeleteClosed();

  // While a transfer window exists, an offer is asked and then refused,
  // and so is a send.
  ClearRecords();
  ASSERT_TRUE(StartSend(f, WriteFile("waiting.bin", "xyz")));
  TDccTransFileForm* waiting = Transfer(f);
  ASSERT_NE(waiting, nullptr);
  platform.YesNoAnswers = {true};
  ReceiveDccFile(&f, Connection(), "bob", "a.txt", Loopback, port, "10", "CLIENT");
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_EQ(platform.Messages, std::vector<std::string>{OneTransferMessage()});
  EXPECT_EQ(OneTransferMessage(), U8(u8"現在、ファイルの転送が行われています。") + "\r\n" +
                                      U8(u8"これがすんでから、もう一度やり直してください"));
  platform.OpenFileAnswers = {WriteFile("other.bin", "abc")};
  SendDccFile(&f, Connection(), "carol");
  EXPECT_EQ(platform.Messages, (std::vector<std::string>{OneTransferMessage(), OneTransferMessage()}));
  EXPECT_EQ(Sent.size(), 1u);
  EXPECT_EQ(Transfer(f), waiting);
  // A cancelled file choice does nothing at all.
  SendDccFile(&f, Connection(), "carol");
  EXPECT_EQ(platform.Messages.size(), 2u);
  PumpFor(50);
  EXPECT_FALSE(listener.Pending());
}

TEST_F(DccTransFileTest, SendersThatStopShortOrSendTooMuchLeaveNothingToSave) {
  TMainForm& f = MakeForm();

  // Closes after 300 of 4096 bytes.
  {
    ClearRecords();
    const std::string data = Pattern(4096, 3);
    TListener listener;
    TPeer sender([&] {
      const int fd = listener.Accept();
      if (fd < 0) return;
      std::uint32_t ack = 0;
      if (WriteAllFd(fd, std::string_view(data).substr(0, 300)))
        while (ReadAckFd(fd, ack) && ack < 300) {
        }
      ::close(fd);
    });
    platform.SaveFileAnswers = {SavePath("short")};
    AcceptOffer(f, "short.bin", listener, data.size());
    ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }, 8000));
    ASSERT_TRUE(sender.Await());
    // What came stays in the part file; one message says why and where,
    // and so does the server log.
    const std::string kept = PartKept(SavePath("short"), U8(u8"300 バイト"));
    EXPECT_EQ(platform.Messages,
              std::vector<std::string>{ReceiveFailedMessage(HungUp(), SavePath("short"), U8(u8"300 バイト"))});
    EXPECT_EQ(LastLogLine(), "09:05 bob" + U8(u8" からの short.bin の受信に失敗しました（受信済み 300 バイト / 4.0 KB、7%）。") +
                                 HungUp() + " " + kept);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SavePath("short"))));
    EXPECT_TRUE(ReadWholeFile(SavePath("short") + ".part") == data.substr(0, 300));
    DeleteClosed();
  }

  // Sends 1100 bytes in one go for an offer of 1000: the last read of 128
  // goes past the size.
  {
    ClearRecords();
    const std::string data = Pattern(1100, 4);
    TListener listener;
    bool sawEnd = false;
    TPeer sender([&] {
      const int fd = listener.Accept();
      if (fd < 0) return;
      if (WriteAllFd(fd, data)) sawEnd = AwaitEnd(fd);
      ::close(fd);
    });
    platform.SaveFileAnswers = {SavePath("long")};
    AcceptOffer(f, "long.bin", listener, 1000);
    ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }, 8000));
    ASSERT_TRUE(sender.Await());
    EXPECT_TRUE(sawEnd);
    EXPECT_EQ(platform.Messages,
              std::vector<std::string>{ReceiveFailedMessage(
                  U8(u8"申し出の大きさ（1,000 バイト）より多くのデータが送られてきました。"), SavePath("long"),
                  U8(u8"1,000 バイト"))});
    EXPECT_TRUE(ReadWholeFile(SavePath("long") + ".part") == data.substr(0, 1000));
    DeleteClosed();
  }
}

TEST_F(DccTransFileTest, ASilentSenderIsHungUpOnAfterTheDataWait) {
  TMainForm& f = MakeForm();
  TRecieveFileThread::SetDataWaitMs(300);
  const std::string data = Pattern(2048, 5);
  TListener listener;
  bool sawEnd = false;
  long long silentMs = 0;
  TPeer sender([&] {
    const int fd = listener.Accept();
    if (fd < 0) return;
    std::uint32_t ack = 0;
    if (WriteAllFd(fd, std::string_view(data).substr(0, 500))) {
      while (ReadAckFd(fd, ack) && ack < 500) {
      }
      const auto start = Clock::now();
      sawEnd = AwaitEnd(fd);
      silentMs = Ms(Clock::now() - start);
    }
    ::close(fd);
  });
  platform.SaveFileAnswers = {SavePath("silent")};
  AcceptOffer(f, "silent.bin", listener, data.size());
  ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }, 8000));
  ASSERT_TRUE(sender.Await());
  EXPECT_TRUE(sawEnd);
  EXPECT_GE(silentMs, 200);
  EXPECT_LT(silentMs, 3000);
  EXPECT_EQ(platform.Messages, std::vector<std::string>{ReceiveFailedMessage(
                                    U8(u8"相手から 1 秒間何も届きませんでした。"), SavePath("silent"), U8(u8"500 バイト"))});
}

// --- sending ---

TEST_F(DccTransFileTest, SentFilesArriveWholeAtReceiversAckingEachReadOrLate) {
  TMainForm& f = MakeForm();
  struct TCase {
    std::size_t Size;
    std::size_t ReadSize, AckEvery;
  };
  // Acknowledging only at the end, or every 4 MiB of a file larger than
  // what may be in flight, holds the sender back but never stops it.
  const TCase cases[] = {{0, 128, 128},        {1, 128, 128},           {5 * 1024 + 3, 128, 128},
                         {1024, 1024, 1024},   {3 * MiB + 17, 1024, 1024}, {MiB + 1, 128, 128},
                         {5 * MiB + 1, 4096, 5 * MiB + 1}, {18 * MiB + 5, 65536, 4 * MiB}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Size) + " acked every " + std::to_string(c.AckEvery));
    ClearRecords();
    const std::string data = Pattern(c.Size, static_cast<std::uint32_t>(c.Size + c.AckEvery));
    const std::string name = "file " + std::to_string(c.Size) + ".bin";
    const std::optional<TOffer> offer = StartSend(f, WriteFile(name, data));
    ASSERT_TRUE(offer) << (Sent.empty() ? "" : Sent.back());
    EXPECT_EQ(offer->Nick, "alice");
    EXPECT_EQ(offer->Name, name);  // spaces and all
    EXPECT_EQ(offer->Address, LocalNumber);
    EXPECT_EQ(offer->Size, static_cast<long long>(c.Size));
    EXPECT_EQ(Sent.back(),
              DccSendOfferLine("alice", name, LocalNumber, offer->Port, static_cast<std::int32_t>(c.Size)));
    TDccTransFileForm* t = Transfer(f);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Caption(), "alice" + U8(u8" の受信許可待ち"));
    EXPECT_EQ(t->ServerSocket->serverPort(), offer->Port);
    EXPECT_EQ(t->ProgressBar->maximum(), static_cast<int>(c.Size));
    EXPECT_EQ(t->ProgressBar->value(), 0);
    EXPECT_EQ(StdText(t->SubjectLabel->text()), name);
    EXPECT_EQ(StdText(t->PeerLabel->text()), U8(u8"alice へ送信"));

    TReceiverLog log;
    TPeer receiver([&] {
      const int fd = ConnectTo(offer->Port);
      if (fd < 0) return;
      ReceiveAcking(fd, c.Size, c.ReadSize, c.AckEvery, log);
      ::close(fd);
    });
    ASSERT_TRUE(PumpUntil([&] { return SendEnded(t); }, 8000));
    ASSERT_TRUE(receiver.Await());
    EXPECT_EQ(t->Caption(), SendDone());
    EXPECT_EQ(log.Data.size(), c.Size);
    EXPECT_TRUE(log.Data == data);
    EXPECT_TRUE(log.SawEnd);
    EXPECT_TRUE(PumpUntil([&] { return t->SendThread() == nullptr; }));
    EXPECT_EQ(t->ProgressBar->value(), static_cast<int>(c.Size));
    EXPECT_EQ(captions->Captions, (std::vector<std::string>{U8(u8"転送の準備中"), "alice" + U8(u8" の受信許可待ち"),
                                                            U8(u8"送信中"), SendDone()}));
    EXPECT_TRUE(platform.Messages.empty());
    EXPECT_EQ(LastLogLine(), "09:05 alice" + U8(u8" へ ") + name + U8(u8"（") +
                                 SizeText(static_cast<std::int64_t>(c.Size)) + U8(u8"）を送信しました。"));
    LetTimerClose(f);
  }
}

TEST_F(DccTransFileTest, ASendListensOnTheNextTablePortWhenOneIsTaken) {
  TMainForm& f = MakeForm();
  QTcpServer blocker;
  blocker.listen(QHostAddress::AnyIPv4, 1037);  // or another program holds it
  const std::optional<TOffer> offer = StartSend(f, WriteFile("one.bin", "1"));
  ASSERT_TRUE(offer);
  EXPECT_NE(offer->Port, 1037);
  EXPECT_TRUE(std::find(std::begin(TDccPortTable::Ports), std::end(TDccPortTable::Ports), offer->Port) !=
              std::end(TDccPortTable::Ports));
  ASSERT_NE(Transfer(f), nullptr);
  EXPECT_EQ(Transfer(f)->ServerSocket->serverPort(), offer->Port);
  EXPECT_TRUE(platform.Messages.empty());
  TReceiverLog log;
  TPeer receiver([&] {
    const int fd = ConnectTo(offer->Port);
    if (fd < 0) return;
    ReceiveAcking(fd, 1, 128, 128, log);
    ::close(fd);
  });
  ASSERT_TRUE(receiver.Await());
  EXPECT_EQ(log.Data, "1");
}

TEST_F(DccTransFileTest, ReceiversThatAckWronglyHangUpOrGoSilentFailTheSend) {
  TMainForm& f = MakeForm();
  const std::string data = Pattern(4096, 9);
  const std::string path = WriteFile("four.bin", data);
  struct TCase {
    const char* What;
    bool Silent;
    std::string Reason;
    std::function<void(int, TReceiverLog&)> Script;
  };
  const std::string wrongAck = U8(u8"相手の受信確認が送った量と合いません。");
  // The whole file is in flight at once: each receiver has all of it.
  const TCase cases[] = {
      {"an ack past what was sent", false, wrongAck,
       [](int fd, TReceiverLog& log) {
         if (ReadExactly(fd, log.Data, 4096) && SendAck(fd, 4097)) log.SawEnd = AwaitEnd(fd, &log.Data);
       }},
      {"an ack going back", false, wrongAck,
       [](int fd, TReceiverLog& log) {
         if (ReadExactly(fd, log.Data, 4096) && SendAck(fd, 2048) && SendAck(fd, 1024))
           log.SawEnd = AwaitEnd(fd, &log.Data);
       }},
      {"hangs up", false, HungUp(),
       [](int fd, TReceiverLog& log) {
         log.SawEnd = ReadExactly(fd, log.Data, 1024);
       }},
      {"goes silent", true, U8(u8"相手から 1 秒間何も届きませんでした。"),
       [](int fd, TReceiverLog& log) {
         if (ReadExactly(fd, log.Data, 4096)) log.SawEnd = AwaitEnd(fd, &log.Data);
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    ClearRecords();
    TSendFileThread::SetAckWaitMs(c.Silent ? 300 : 60000);
    const std::optional<TOffer> offer = StartSend(f, path);
    ASSERT_TRUE(offer);
    TDccTransFileForm* t = Transfer(f);
    ASSERT_NE(t, nullptr);
    TReceiverLog log;
    TPeer receiver([&] {
      const int fd = ConnectTo(offer->Port);
      if (fd < 0) return;
      c.Script(fd, log);
      ::close(fd);
    });
    const auto start = Clock::now();
    ASSERT_TRUE(PumpUntil([&] { return SendEnded(t); }, 8000));
    ASSERT_TRUE(receiver.Await());
    EXPECT_EQ(t->Caption(), SendFailed());
    EXPECT_TRUE(log.SawEnd);
    EXPECT_TRUE(log.Data == data.substr(0, log.Data.size()));
    EXPECT_GE(log.Data.size(), 1024u);
    EXPECT_EQ(captions->Captions, (std::vector<std::string>{U8(u8"転送の準備中"), "alice" + U8(u8" の受信許可待ち"),
                                                            U8(u8"送信中"), BlockFailed(), SendFailed()}));
    EXPECT_TRUE(PumpUntil([&] { return t->SendThread() == nullptr; }));
    if (c.Silent) {
      EXPECT_LT(Ms(Clock::now() - start), 3000);
    }
    // The window says why and stays until the user closes it; so does the log.
    const std::string status = StdText(t->StatusLabel->text());
    const std::string reason = status.substr(std::min(status.size(), SendFailed().size() + 1));
    EXPECT_EQ(status, SendFailed() + "\n" + reason);
    EXPECT_EQ(reason, c.Reason);
    const std::string logged = LastLogLine();
    EXPECT_EQ(logged.rfind("09:05 alice" + U8(u8" への four.bin の送信に失敗しました（受信済み "), 0), 0u) << logged;
    EXPECT_EQ(logged.substr(logged.size() - std::min(logged.size(), reason.size())), reason) << logged;
    EXPECT_FALSE(t->Timer1->isActive());
    EXPECT_EQ(Transfer(f), t);
    t->close();
    DeleteClosed();
  }
}

// A receiver that reads without acknowledging gets no more than may be in
// flight; its acknowledgement lets the rest go, and the window shows how far.
TEST_F(DccTransFileTest, TheSenderStopsAtTheBytesInFlightUntilAcknowledged) {
  TMainForm& f = MakeForm();
  const std::string data = Pattern(TSendFileThread::MaxInFlight + 4 * MiB, 29);
  const std::optional<TOffer> offer = StartSend(f, WriteFile("ahead.bin", data));
  ASSERT_TRUE(offer);
  TDccTransFileForm* t = Transfer(f);
  ASSERT_NE(t, nullptr);
  std::atomic<std::size_t> held{0};
  std::atomic<bool> release{false};
  TReceiverLog log;
  TPeer receiver([&] {
    const int fd = ConnectTo(offer->Port);
    if (fd < 0) return;
    char buffer[65536];
    // Everything that comes until the sender has stopped for a while.
    for (long n; (n = ReadSome(fd, buffer, sizeof buffer, 500)) > 0;) log.Data.append(buffer, static_cast<std::size_t>(n));
    held.store(log.Data.size());
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!release.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (SendAck(fd, static_cast<std::uint32_t>(log.Data.size())))
      ReceiveAcking(fd, data.size(), 65536, 65536, log);
    ::close(fd);
  });
  ASSERT_TRUE(PumpUntil([&] { return held.load() != 0; }));
  EXPECT_EQ(held.load(), static_cast<std::size_t>(TSendFileThread::MaxInFlight));
  EXPECT_EQ(t->Caption(), U8(u8"送信中"));
  // What the receiver has is what it has acknowledged: nothing yet, though
  // all that may be in flight has gone out.
  PumpFor(2 * TDccTransFileForm::ProgressIntervalMs);
  EXPECT_EQ(t->ProgressBar->value(), 0);
  EXPECT_EQ(StdText(t->AmountLabel->text()), U8(u8"受信済み 0 バイト / 36.0 MB（0%）"));
  release.store(true);
  ASSERT_TRUE(PumpUntil([&] { return SendEnded(t); }, 8000));
  ASSERT_TRUE(receiver.Await());
  EXPECT_EQ(t->Caption(), SendDone());
  EXPECT_TRUE(log.Data == data);
  ASSERT_TRUE(PumpUntil([&] { return t->SendThread() == nullptr; }));
  EXPECT_EQ(StdText(t->StatusLabel->text()), SendDone());
  EXPECT_EQ(StdText(t->AmountLabel->text()), U8(u8"受信済み 36.0 MB / 36.0 MB（100%）"));
  EXPECT_TRUE(t->RateLabel->text().isEmpty());
}

TEST_F(DccTransFileTest, ASecondPeerIsHungUpOnWhileTheFirstGetsTheFile) {
  TMainForm& f = MakeForm();
  const std::string data = Pattern(64 * 1024, 11);
  const std::optional<TOffer> offer = StartSend(f, WriteFile("shared.bin", data));
  ASSERT_TRUE(offer);
  TDccTransFileForm* t = Transfer(f);
  ASSERT_NE(t, nullptr);

  std::atomic<bool> resume{false};
  TReceiverLog first;
  TPeer firstPeer([&] {
    const int fd = ConnectTo(offer->Port);
    if (fd < 0) return;
    // Holds the first acknowledgement back while the second peer tries.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    if (ReadExactly(fd, first.Data, 1024)) {
      first.Count.store(first.Data.size());
      while (!resume.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (SendAck(fd, 1024)) ReceiveAcking(fd, data.size(), 1024, 1024, first);
    }
    ::close(fd);
  });
  ASSERT_TRUE(PumpUntil([&] { return first.Count.load() == 1024; }));

  std::string secondGot;
  bool secondHungUp = false;
  TPeer secondPeer([&] {
    const int fd = ConnectTo(offer->Port);
    if (fd < 0) return;
    secondHungUp = AwaitEnd(fd, &secondGot, 3000);
    ::close(fd);
  });
  ASSERT_TRUE(secondPeer.Await());
  EXPECT_TRUE(secondHungUp);
  EXPECT_TRUE(secondGot.empty());
  EXPECT_EQ(t->Caption(), U8(u8"送信中"));

  resume.store(true);
  ASSERT_TRUE(PumpUntil([&] { return SendEnded(t); }, 8000));
  ASSERT_TRUE(firstPeer.Await());
  EXPECT_EQ(t->Caption(), SendDone());
  EXPECT_TRUE(first.Data == data);
  EXPECT_TRUE(first.SawEnd);
  EXPECT_TRUE(platform.Messages.empty());
}

// --- resuming ---

// The question says who offers what and how large, and whether a part of
// it is here already, where the file would be saved; going on from that
// part is what Enter does, and throwing it away is asked once more.
TEST_F(DccTransFileTest, TheOfferQuestionSaysWhatComesAndResumingIsTheDefault) {
  TMainForm& f = MakeForm();
  platform.DialogFolder = folder.path().toStdString();
  const std::string saved = SavePath("drop.bin");
  const std::string offered = "bob" + U8(u8" から drop.bin（97.7 KB）というファイルが送られてきています") + "\r\n";
  const std::string held = saved + U8(u8".part に 39.1 KB（40%）まで受信してあります。") + "\r\n";
  const std::string resume = offered + held + U8(u8"続きから受信しますか？");
  const std::string startOver = U8(u8"受信した分を消して、最初から受信しますか？");
  struct TCase {
    std::size_t PartSize;  // 0: none
    std::deque<bool> Answers;
    std::vector<std::string> Questions;
    bool SaveChosen;      // the save dialog was shown
    std::string Caption;  // of the window; empty: none
  };
  const TCase cases[] = {
      {0, {true}, {offered + U8(u8"受信しますか？")}, true, U8(u8"接続待機中")},
      {40000, {true}, {resume}, false, U8(u8"再開の応答待ち")},
      {40000, {false, true}, {resume, held + startOver}, false, U8(u8"接続待機中")},
      {40000, {false, false}, {resume, held + startOver}, false, ""},
      {100000, {false},
       {offered + saved + U8(u8".part に 97.7 KB まで受信してあります。") + "\r\n" +
        U8(u8"送られてくるファイル（97.7 KB）の大きさに達しているため、続きからは受信できません。") + "\r\n" + startOver},
       false, ""},
  };
  TListener listener;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.PartSize) + " " + std::to_string(c.Answers.size()));
    ClearRecords();
    QFile::remove(QString::fromStdString(saved + ".part"));
    if (c.PartSize > 0) WriteFile("drop.bin.part", Pattern(c.PartSize, 1));
    platform.YesNoAnswers = c.Answers;
    platform.SaveFileAnswers = {saved};
    ReceiveDccFile(&f, Connection(), "bob", "drop.bin", Loopback, listener.PortText(), "100000", "CLIENT");
    EXPECT_EQ(platform.Questions, c.Questions);
    // Only the question about going on has Yes for Enter.
    EXPECT_EQ(platform.YesDefaultQuestions,
              c.Questions[0] == resume ? std::vector<std::string>{resume} : std::vector<std::string>{});
    EXPECT_EQ(platform.SaveProposals, c.SaveChosen ? std::vector<std::string>{saved} : std::vector<std::string>{});
    EXPECT_EQ(Sent, c.Caption == U8(u8"再開の応答待ち")
                        ? std::vector<std::string>{DccResumeLine("bob", "drop.bin", listener.Port, 40000)}
                        : std::vector<std::string>{});
    TDccTransFileForm* t = Transfer(f);
    EXPECT_EQ(t ? t->Caption() : "", c.Caption);
    EXPECT_EQ(ReadWholeFile(saved + ".part").size(), c.PartSize);
    if (t) t->close();  // before the connect is made
    DeleteClosed();
  }
}

TEST_F(DccTransFileTest, AnOfferOfAPartReceivedBeforeOffersToGoOnFromIt) {
  TMainForm& f = MakeForm();
  const std::string data = Pattern(100000, 31);
  const std::string saved = SavePath("drop.bin");
  for (const bool resume : {true, false}) {
    SCOPED_TRACE(resume);
    // A sender that drops mid-file leaves the part.
    {
      ClearRecords();
      TListener listener;
      TPeer sender([&] {
        const int fd = listener.Accept();
        std::uint32_t ack = 0;
        if (fd >= 0 && WriteAllFd(fd, std::string_view(data).substr(0, 40000)))
          while (ReadAckFd(fd, ack) && ack < 40000) {
          }
        if (fd >= 0) ::close(fd);
      });
      platform.SaveFileAnswers = {saved};
      AcceptOffer(f, "drop.bin", listener, data.size());
      ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }, 8000));
      ASSERT_TRUE(sender.Await());
      EXPECT_EQ(platform.Messages.back(), ReceiveFailedMessage(HungUp(), saved, "39.1 KB"));
      DeleteClosed();
    }
    ClearRecords();
    TListener listener;
    const std::string port = listener.PortText();
    const std::size_t from = resume ? 40000 : 0;
    TSenderLog log;
    TPeer sender([&] {
      const int fd = listener.Accept();
      if (fd < 0) return;
      SendInBlocks(fd, data, log, from);
      ::close(fd);
    });
    // Not going on from it asks once more before the part is thrown away.
    platform.YesNoAnswers = {true, resume, true};
    platform.SaveFileAnswers = {saved};
    ReceiveDccFile(&f, Connection(), "bob", "drop.bin", Loopback, port, std::to_string(data.size()), "CLIENT");
    ASSERT_EQ(platform.Questions.size(), resume ? 2u : 3u);
    EXPECT_EQ(platform.Questions[1], saved + U8(u8".part に 39.1 KB（40%）まで受信してあります。") + "\r\n" +
                                         U8(u8"続きから受信しますか？"));
    EXPECT_EQ(platform.YesDefaultQuestions, std::vector<std::string>{platform.Questions[1]});
    if (resume) {
      EXPECT_EQ(Sent, std::vector<std::string>{DccResumeLine("bob", "drop.bin", listener.Port, 40000)});
      EXPECT_EQ(Transfer(f)->Caption(), U8(u8"再開の応答待ち"));
      // An answer for another port, or from another nick, is not ours.
      FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC ACCEPT drop.bin 1 40000\x01\r\n");
      FeedAndSettle(":eve!e@h PRIVMSG me :\x01" "DCC ACCEPT drop.bin " + port + " 40000\x01\r\n");
      PumpFor(50);
      EXPECT_FALSE(listener.Pending());
      EXPECT_EQ(Sent.size(), 3u);  // the two refusals
      FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC ACCEPT drop.bin " + port + " 40000\x01\r\n");
    }
    ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }, 8000));
    ASSERT_TRUE(sender.Await());
    EXPECT_EQ(platform.Messages, std::vector<std::string>{saved + U8(u8"を保存しました。")});
    ASSERT_FALSE(log.Acks.empty());
    EXPECT_GT(log.Acks.front(), from);
    EXPECT_LE(log.Acks.front(), from + 1024);
    EXPECT_TRUE(ReadWholeFile(saved) == data);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(saved + ".part")));
    DeleteClosed();
  }
}

// A part is the user's data: one that cannot be gone on from (as large as
// the offer) or that the user does not go on from is thrown away only on
// the user's word; without it nothing is received and the part stays.
TEST_F(DccTransFileTest, APartIsNeverThrownAwayWithoutTheUsersWord) {
  TMainForm& f = MakeForm();
  const std::string saved = SavePath("notes.txt");
  struct TCase {
    std::size_t PartSize;
    std::deque<bool> Answers;  // take the offer, [go on from the part,] throw the part away
    bool Received;
  };
  const std::vector<TCase> cases{{30, {true, false}, false}, {10, {true, false}, false}, {5, {true, false, false}, false},
                                 {30, {true, true}, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.PartSize) + " " + std::to_string(c.Answers.size()));
    ClearRecords();
    const std::string part = Pattern(c.PartSize, 9);
    WriteFile("notes.txt.part", part);
    const std::string data = Pattern(10, 3);
    TListener listener;
    TPeer sender([&] {
      const int fd = listener.Accept(c.Received ? 5000 : 300);
      if (fd < 0) return;
      WriteAllFd(fd, data);
      std::uint32_t ack = 0;
      while (ReadAckFd(fd, ack) && ack < data.size()) {
      }
      ::close(fd);
    });
    platform.YesNoAnswers = c.Answers;
    platform.SaveFileAnswers = {saved};
    ReceiveDccFile(&f, Connection(), "bob", "notes.txt", Loopback, listener.PortText(), "10", "CLIENT");
    ASSERT_EQ(platform.Questions.size(), c.Answers.size());
    EXPECT_NE(platform.Questions.back().find(U8(u8"受信した分を消して、最初から受信しますか？")), std::string::npos);
    if (c.Received) {
      ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }, 8000));
      EXPECT_TRUE(ReadWholeFile(saved) == data);
    } else {
      EXPECT_EQ(Transfer(f), nullptr);
      EXPECT_TRUE(ReadWholeFile(saved + ".part") == part);
    }
    ASSERT_TRUE(sender.Await());
    DeleteClosed();
  }
}

// The part file shrinks while the peer's ACCEPT is on its way: going on
// would pad it with zeros, so the receive fails and leaves the part alone.
TEST_F(DccTransFileTest, APartThatShrankBeforeTheAcceptIsNotPaddedOut) {
  TMainForm& f = MakeForm();
  TListener listener;
  const std::string saved = ResumeOffer(f, "shrunk.bin", Pattern(40000, 5), listener);
  ASSERT_EQ(Transfer(f)->Caption(), U8(u8"再開の応答待ち"));
  WriteFile("shrunk.bin.part", Pattern(100, 5));
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC ACCEPT shrunk.bin " + listener.PortText() + " 40000\x01\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !platform.Messages.empty(); }));
  EXPECT_EQ(platform.Messages.front().rfind(saved + ".part: ", 0), 0u) << platform.Messages.front();
  EXPECT_EQ(Transfer(f)->Caption(), ReceiveFailed());
  EXPECT_TRUE(ReadWholeFile(saved + ".part") == Pattern(100, 5));
}

// Many clients never answer a RESUME: the wait ends, and the part stays.
TEST_F(DccTransFileTest, AResumeNobodyAnswersEndsWithThePartKept) {
  TMainForm& f = MakeForm();
  TListener listener;
  const std::string saved = ResumeOffer(f, "quiet.bin", Pattern(40000, 6), listener);
  ASSERT_EQ(Transfer(f)->Caption(), U8(u8"再開の応答待ち"));
  Transfer(f)->AcceptTimer->setInterval(50);
  ASSERT_TRUE(PumpUntil([&] { return Transfer(f) == nullptr; }));
  EXPECT_EQ(platform.Messages, std::vector<std::string>{"bob" + U8(u8" から再開の応答がありませんでした。") + "\r\n" +
                                                        PartKept(saved, "39.1 KB")});
  EXPECT_FALSE(listener.Pending());
  EXPECT_TRUE(ReadWholeFile(saved + ".part") == Pattern(40000, 6));
  // An ACCEPT that comes after all is no longer ours.
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC ACCEPT quiet.bin " + listener.PortText() + " 40000\x01\r\n");
  PumpFor(50);
  EXPECT_FALSE(listener.Pending());
}

TEST_F(DccTransFileTest, AResumeOfOurOfferGoesOnFromItsPositionWhenWithinTheFile) {
  TMainForm& f = MakeForm();
  const std::string data = Pattern(100000, 37);
  const std::string path = WriteFile("part.bin", data);
  // A receiver that drops mid-file.
  {
    const std::optional<TOffer> offer = StartSend(f, path);
    ASSERT_TRUE(offer);
    TReceiverLog log;
    TPeer receiver([&] {
      const int fd = ConnectTo(offer->Port);
      if (fd >= 0 && ReadExactly(fd, log.Data, 30000)) SendAck(fd, 30000);
      if (fd >= 0) ::close(fd);
    });
    ASSERT_TRUE(PumpUntil([&] { return SendEnded(Transfer(f)); }, 8000));
    ASSERT_EQ(Transfer(f)->Caption(), SendFailed());
    ASSERT_TRUE(receiver.Await());
    Transfer(f)->close();
    DeleteClosed();
  }
  struct TCase {
    const char* What;
    std::string Nick, Port, Position;
    bool Accepted;
  };
  const TCase cases[] = {{"past the end", "alice", "", "100000", false},
                         {"another port", "alice", "1", "30000", false},
                         {"another nick", "eve", "", "30000", false},
                         {"within the file", "ALICE", "", "30000", true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    ClearRecords();
    const std::optional<TOffer> offer = StartSend(f, path);
    ASSERT_TRUE(offer);
    TDccTransFileForm* t = Transfer(f);
    const std::string port = c.Port.empty() ? std::to_string(offer->Port) : c.Port;
    FeedAndSettle(":" + c.Nick + "!a@h PRIVMSG me :\x01" "DCC RESUME part.bin " + port + " " + c.Position +
                  "\x01\r\n");
    ASSERT_EQ(Sent.size(), 2u);
    if (!c.Accepted) {
      EXPECT_EQ(Sent[1].rfind("NOTICE " + c.Nick + " :", 0), 0u) << Sent[1];
      EXPECT_NE(Sent[1].find("RESUME"), std::string::npos) << Sent[1];
      t->close();
      DeleteClosed();
      continue;
    }
    EXPECT_EQ(Sent[1], DccAcceptLine(c.Nick, "part.bin", port, 30000));
    TReceiverLog log;
    TPeer receiver([&] {
      const int fd = ConnectTo(offer->Port);
      if (fd < 0) return;
      // Acknowledges the position in the file, as peers do.
      char buffer[4096];
      std::size_t at = 30000;
      for (long n; at < data.size() && (n = ReadSome(fd, buffer, sizeof buffer, 5000)) > 0;) {
        log.Data.append(buffer, static_cast<std::size_t>(n));
        at += static_cast<std::size_t>(n);
        if (!SendAck(fd, static_cast<std::uint32_t>(at))) break;
      }
      log.SawEnd = AwaitEnd(fd, &log.Data);
      ::close(fd);
    });
    ASSERT_TRUE(PumpUntil([&] { return SendEnded(t); }, 8000));
    ASSERT_TRUE(receiver.Await());
    EXPECT_EQ(t->Caption(), SendDone());
    EXPECT_TRUE(log.Data == data.substr(30000));
    EXPECT_TRUE(log.SawEnd);
  }
}

// --- two copies of the client ---

TEST_F(DccTransFileTest, TwoCopiesOfTheClientTransferAFileWhole) {
  TMainForm& sender = MakeForm();
  MakeSecond();
  TMainForm& receiver = *second;
  const std::string data = Pattern(3 * MiB + 17, 13);
  const std::optional<TOffer> offer = StartSend(sender, WriteFile("big.bin", data));
  ASSERT_TRUE(offer);
  TDccTransFileForm* out = Transfer(sender);
  ASSERT_NE(out, nullptr);

  const std::string saved = SavePath("big-copy.bin");
  platform.SaveFileAnswers = {saved};
  platform.YesNoAnswers = {true};
  ReceiveDccFile(&receiver, receiver.Connection(), "me", offer->Name, Loopback, std::to_string(offer->Port), std::to_string(offer->Size),
                          "CLIENT");
  ASSERT_NE(Transfer(receiver), nullptr);
  EXPECT_NE(Transfer(receiver), out);

  ASSERT_TRUE(PumpUntil([&] { return !platform.Messages.empty() && out->SendThread() == nullptr; }, 9000));
  EXPECT_EQ(out->Caption(), SendDone());
  EXPECT_EQ(platform.Messages, std::vector<std::string>{saved + U8(u8"を保存しました。")});
  EXPECT_EQ(platform.SaveProposals, std::vector<std::string>{"big.bin"});
  const std::string got = ReadWholeFile(saved);
  EXPECT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data);
  EXPECT_EQ(out->ProgressBar->value(), static_cast<int>(data.size()));
  EXPECT_TRUE(PumpUntil([&] { return Transfer(receiver) == nullptr; }));
  EXPECT_EQ(Transfer(sender), out);  // until its timer runs out
}

// --- closing during a transfer ---

TEST_F(DccTransFileTest, ClosingTheWindowAsksAndOnYesStopsTheWorker) {
  TMainForm& f = MakeForm();
  const std::string data = Pattern(8 * 1024, 17);
  const std::string path = WriteFile("close.bin", data);

  // Sending, held after the first block: No keeps it going to the end.
  {
    ClearRecords();
    const std::optional<TOffer> offer = StartSend(f, path);
    ASSERT_TRUE(offer);
    TDccTransFileForm* t = Transfer(f);
    std::atomic<bool> resume{false};
    TReceiverLog log;
    TPeer receiver([&] {
      const int fd = ConnectTo(offer->Port);
      if (fd < 0) return;
      const auto deadline = Clock::now() + std::chrono::seconds(5);
      if (ReadExactly(fd, log.Data, 1024)) {
        log.Count.store(1024);
        while (!resume.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (SendAck(fd, 1024)) ReceiveAcking(fd, data.size(), 1024, 1024, log);
      }
      ::close(fd);
    });
    ASSERT_TRUE(PumpUntil([&] { return log.Count.load() == 1024; }));
    platform.YesNoAnswers = {false};
    t->CloseButton->click();
    EXPECT_EQ(platform.Questions, std::vector<std::string>{CloseQuestion()});
    EXPECT_EQ(Transfer(f), t);
    resume.store(true);
    ASSERT_TRUE(PumpUntil([&] { return SendEnded(t); }, 8000));
    ASSERT_TRUE(receiver.Await());
    EXPECT_EQ(t->Caption(), SendDone());
    EXPECT_TRUE(log.Data == data);
    // Once it has ended the window closes without asking.
    ASSERT_TRUE(PumpUntil([&] { return t->SendThread() == nullptr; }));
    t->CloseButton->click();
    EXPECT_EQ(platform.Questions.size(), 1u);
    EXPECT_EQ(Transfer(f), nullptr);
    DeleteClosed();
  }

  // Sending, held after the first block: Yes ends it at once.
  {
    ClearRecords();
    const std::optional<TOffer> offer = StartSend(f, path);
    ASSERT_TRUE(offer);
    QPointer<TDccTransFileForm> t(Transfer(f));
    TReceiverLog log;
    TPeer receiver([&] {
      const int fd = ConnectTo(offer->Port);
      if (fd < 0) return;
      if (ReadExactly(fd, log.Data, 1024)) {
        log.Count.store(1024);
        log.SawEnd = AwaitEnd(fd, &log.Data);
      }
      ::close(fd);
    });
    ASSERT_TRUE(PumpUntil([&] { return log.Count.load() == 1024; }));
    platform.YesNoAnswers = {true};
    t->CloseButton->click();
    EXPECT_EQ(platform.Questions, std::vector<std::string>{CloseQuestion()});
    EXPECT_EQ(Transfer(f), nullptr);
    const auto start = Clock::now();
    DeleteClosed();
    EXPECT_TRUE(t.isNull());
    EXPECT_LT(Ms(Clock::now() - start), 1000);
    ASSERT_TRUE(receiver.Await());
    EXPECT_TRUE(log.SawEnd);
    EXPECT_TRUE(log.Data == data.substr(0, log.Data.size()));
    PumpFor(50);
    EXPECT_TRUE(platform.Messages.empty());
  }

  // Receiving from a sender that stalls after the first block: Yes ends
  // it, with nothing shown and nothing to save.
  {
    ClearRecords();
    TListener listener;
    TSenderLog log;
    TPeer sender([&] {
      const int fd = listener.Accept();
      if (fd < 0) return;
      std::uint32_t ack = 0;
      if (WriteAllFd(fd, std::string_view(data).substr(0, 1024))) {
        while (ReadAckFd(fd, ack) && ack < 1024) {
        }
        log.LastAck.store(ack);
        log.SawEnd = AwaitEnd(fd);
      }
      ::close(fd);
    });
    platform.SaveFileAnswers = {SavePath("never")};
    AcceptOffer(f, "close.bin", listener, data.size());
    QPointer<TDccTransFileForm> t(Transfer(f));
    ASSERT_FALSE(t.isNull());
    ASSERT_TRUE(PumpUntil([&] { return log.LastAck.load() == 1024; }));
    platform.YesNoAnswers = {true};
    t->close();
    EXPECT_EQ(platform.Questions.back(), CloseQuestion());
    EXPECT_EQ(Transfer(f), nullptr);
    DeleteClosed();
    EXPECT_TRUE(t.isNull());
    ASSERT_TRUE(sender.Await());
    EXPECT_TRUE(log.SawEnd);
    PumpFor(50);
    EXPECT_TRUE(platform.Messages.empty());
    // What came stays in the part file, and the log says so.
    EXPECT_TRUE(ReadWholeFile(SavePath("never") + ".part") == data.substr(0, 1024));
    EXPECT_EQ(LastLogLine(), "09:05 bob" + U8(u8" からの close.bin の受信を中止しました（受信済み 1.0 KB / 8.0 KB、12%）。 ") +
                                 PartKept(SavePath("never"), "1.0 KB"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SavePath("never"))));
  }
}

TEST_F(DccTransFileTest, ClosingTheWindowWhileBytesFlowCutsTheWorkerOff) {
  TMainForm& f = MakeForm();
  // Larger than may be in flight, so that the close comes before the end.
  const std::string data = Pattern(TSendFileThread::MaxInFlight + 3 * MiB, 19);
  const std::string path = WriteFile("flow.bin", data);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    // Sending to a receiver that acknowledges every read.
    {
      ClearRecords();
      const std::optional<TOffer> offer = StartSend(f, path);
      ASSERT_TRUE(offer);
      QPointer<TDccTransFileForm> t(Transfer(f));
      TReceiverLog log;
      TPeer receiver([&] {
        const int fd = ConnectTo(offer->Port);
        if (fd < 0) return;
        ReceiveAcking(fd, data.size(), 128, 128, log);
        ::close(fd);
      });
      ASSERT_TRUE(PumpUntil([&] { return log.Count.load() > 64 * 1024u * (round + 1); }));
      platform.YesNoAnswers = {true};
      t->close();
      DeleteClosed();
      EXPECT_TRUE(t.isNull());
      ASSERT_TRUE(receiver.Await());
      EXPECT_LT(log.Data.size(), data.size());
      EXPECT_TRUE(log.Data == data.substr(0, log.Data.size()));
    }
    // Receiving from a sender at full speed.
    {
      ClearRecords();
      TListener listener;
      TSenderLog log;
      TPeer sender([&] {
        const int fd = listener.Accept();
        if (fd < 0) return;
        SendInBlocks(fd, data, log);
        ::close(fd);
      });
      // The part the round before left would be asked about.
      QFile::remove(QString::fromStdString(SavePath("flow") + ".part"));
      platform.SaveFileAnswers = {SavePath("flow")};
      AcceptOffer(f, "flow.bin", listener, data.size());
      QPointer<TDccTransFileForm> t(Transfer(f));
      ASSERT_FALSE(t.isNull());
      ASSERT_TRUE(PumpUntil([&] { return log.LastAck.load() > 64 * 1024u * (round + 1); }));
      platform.YesNoAnswers = {true};
      t->close();
      DeleteClosed();
      EXPECT_TRUE(t.isNull());
      ASSERT_TRUE(sender.Await());
      EXPECT_FALSE(log.AllAcked);
      PumpFor(20);
      EXPECT_TRUE(platform.Messages.empty());
    }
  }
}

TEST_F(DccTransFileTest, DestroyingTheMainWindowsDuringTransfersNeitherHangsNorCrashes) {
  MakeForm();
  MakeSecond();
  // Large enough that the sender at full speed is still going at the end.
  const std::string data = Pattern(TSendFileThread::MaxInFlight + 3 * MiB, 23);

  // The first window sends to a receiver that takes the first block and
  // then says nothing; the second receives from a sender at full speed.
  const std::optional<TOffer> offer = StartSend(*form, WriteFile("quit.bin", data));
  ASSERT_TRUE(offer);
  TReceiverLog held;
  TPeer receiver([&] {
    const int fd = ConnectTo(offer->Port);
    if (fd < 0) return;
    if (ReadExactly(fd, held.Data, 1024)) {
      held.Count.store(1024);
      held.SawEnd = AwaitEnd(fd, &held.Data);
    }
    ::close(fd);
  });
  TListener listener;
  TSenderLog flowing;
  TPeer sender([&] {
    const int fd = listener.Accept();
    if (fd < 0) return;
    SendInBlocks(fd, data, flowing);
    ::close(fd);
  });
  platform.SaveFileAnswers = {SavePath("quit")};
  AcceptOffer(*second, "quit.bin", listener, data.size());
  ASSERT_TRUE(PumpUntil([&] { return held.Count.load() == 1024 && flowing.LastAck.load() > 64 * 1024u; }));
  EXPECT_NE(Transfer(*form)->SendThread(), nullptr);
  EXPECT_NE(Transfer(*second)->RecieveThread(), nullptr);

  // The program closes as the user quits it: the windows go at once.
  const auto start = Clock::now();
  form->close();
  second->close();
  form.reset();
  second.reset();
  EXPECT_LT(Ms(Clock::now() - start), 2000);
  ASSERT_TRUE(receiver.Await());
  ASSERT_TRUE(sender.Await());
  EXPECT_TRUE(held.SawEnd);
  EXPECT_FALSE(flowing.AllAcked);
  PumpFor(50);  // nothing queued by a worker may reach the freed windows
  EXPECT_TRUE(platform.Messages.empty());
}
