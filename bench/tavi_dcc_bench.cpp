// One side of a DCC SEND for bench/dcc.sh, with the client's real transfer
// window and workers on the offscreen platform; the offers go through an IRC
// server on a small connection of the bench's own, so that the other side can
// be this client again or irssi. With --delay the bytes go through a relay
// that holds them that long each way.
//
//   tavi_dcc_bench copy --mib N [--delay MS]           plain socket copy
//   tavi_dcc_bench send --irc PORT --nick ME --to NICK --file PATH [--delay MS]
//   tavi_dcc_bench recv --irc PORT --nick ME --save PATH [--delay MS]
//
// Prints "RESULT mb_s=<MB/s> maxrss_kb=<peak> gui_gap_ms=<longest GUI stall>".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DelayRelay.h"
#include "LoopbackSocket.h"
#include "dcc/DccTransFile.h"
#include "kanji/QtText.h"
#include "platform/QtPlatform.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "protocol/CommandLex.h"
#include "protocol/Ctcp.h"
#include "frame/MainForm.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TArgs {
  std::string Mode, Nick, To, File, Save;
  int Irc = 0, DelayMs = 0, Mib = 256;
};

class TBenchPlatform : public tavi::TQtPlatform {
 public:
  std::string Open, Save;
  std::vector<std::string> Messages;
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  bool AskYesNo(const std::string& Text) override {
    std::printf("asked: %s\n", Text.c_str());
    return true;
  }
  std::string OpenFileName(QWidget*, const std::string&) override { return Open; }
  std::string SaveFileName(QWidget*, const std::string&, const std::string&) override { return Save; }
  std::vector<std::string> LocalIPv4Addresses() override { return {"127.0.0.1"}; }
};

using bench::ConnectLoopback;
using bench::SendAll;

// Registers, answers PINGs and keeps the DCC lines sent to us.
class TIrc {
 public:
  bool Connect(int Port, const std::string& Nick) {
    fd_ = ConnectLoopback(static_cast<std::uint16_t>(Port));
    if (fd_ < 0) return false;
    Send("NICK " + Nick + "\r\nUSER bench 0 * :bench\r\n");
    reader_ = std::thread([this] { Read(); });
    // Registered once the server says welcome.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!welcome_.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return welcome_.load();
  }
  ~TIrc() {
    if (fd_ >= 0) {
      Send("QUIT :done\r\n");
      ::shutdown(fd_, SHUT_RDWR);
    }
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  void Send(const std::string& Line) {
    std::lock_guard lock(sendMutex_);
    SendAll(fd_, Line.data(), Line.size());
  }
  // The next PRIVMSG line carrying a DCC request, whole.
  bool TakeDcc(std::string& Line) {
    std::lock_guard lock(mutex_);
    if (lines_.empty()) return false;
    Line = lines_.front();
    lines_.pop_front();
    return true;
  }

 private:
  void Read() {
    std::string pending;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) {
      pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos; pending.erase(0, end + 2)) {
        const std::string line = pending.substr(0, end);
        if (line.rfind("PING ", 0) == 0) Send("PONG " + line.substr(5) + "\r\n");
        if (line.find(" 001 ") != std::string::npos) welcome_.store(true);
        if (line.find(" PRIVMSG ") != std::string::npos && line.find(" :\x01" "DCC ") != std::string::npos) {
          std::lock_guard lock(mutex_);
          lines_.push_back(line + "\r\n");
        }
      }
    }
  }

  int fd_ = -1;
  std::thread reader_;
  std::atomic<bool> welcome_{false};
  std::mutex mutex_, sendMutex_;
  std::deque<std::string> lines_;
};

// The longest time the GUI thread did not get to a 10 ms timer.
struct TGuiWatch {
  QTimer Ticker;
  QElapsedTimer Since;
  double LongestMs = 0;
  TGuiWatch() {
    Ticker.setInterval(10);
    QObject::connect(&Ticker, &QTimer::timeout, [this] {
      LongestMs = std::max(LongestMs, static_cast<double>(Since.nsecsElapsed()) / 1e6);
      Since.restart();
    });
    Since.start();
    Ticker.start();
  }
};

// Runs the windows, and hands DCC requests from the server (RESUME, ACCEPT,
// offers) to the client's own handlers when Main is given.
void Pump(const std::function<bool()>& Done, int Seconds, TIrc* Irc = nullptr, tavi::TMainForm* Main = nullptr) {
  const auto deadline = Clock::now() + std::chrono::seconds(Seconds);
  // Sleeps between events as the program's own event loop does, waking for
  // the checks here at least every 10 ms: a loop that spins would take a
  // core from the workers.
  QTimer wake;
  wake.start(10);
  std::string line;
  while (!Done() && Clock::now() < deadline) {
    while (Irc && Main && Irc->TakeDcc(line)) Main->Connection().ReceiveLine(line);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

long MaxRssKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Result(double Bytes, double Seconds, double GapMs) {
  std::printf("RESULT mb_s=%.1f maxrss_kb=%ld gui_gap_ms=%.1f\n", Seconds > 0 ? Bytes / Seconds / 1e6 : 0,
              MaxRssKb(), GapMs);
}

int Copy(const TArgs& A) {
  const std::size_t size = static_cast<std::size_t>(A.Mib) << 20;
  std::uint16_t port = 0;
  const int listener = bench::ListenLoopback(port);
  std::unique_ptr<bench::TDelayRelay> relay;
  if (A.DelayMs > 0) {
    relay = std::make_unique<bench::TDelayRelay>(port, A.DelayMs);
    port = relay->Port();
  }
  const auto start = Clock::now();
  std::thread writer([&] {
    const int fd = ConnectLoopback(port);
    std::vector<char> block(65536, 'x');
    for (std::size_t at = 0; at < size; at += block.size()) SendAll(fd, block.data(), block.size());
    ::shutdown(fd, SHUT_WR);
    char c;
    while (::recv(fd, &c, 1, 0) > 0) {
    }
    ::close(fd);
  });
  const int reader = ::accept(listener, nullptr, nullptr);
  std::vector<char> buffer(65536);
  std::size_t got = 0;
  for (ssize_t n; got < size && (n = ::recv(reader, buffer.data(), buffer.size(), 0)) > 0;)
    got += static_cast<std::size_t>(n);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(reader);
  writer.join();
  ::close(listener);
  Result(static_cast<double>(got), seconds, 0);
  return got == size ? 0 : 1;
}

// "PRIVMSG nick :\1DCC SEND name addr port size\1" with the port replaced.
std::string WithPort(const std::string& Line, std::uint16_t Port) {
  const std::size_t sizeAt = Line.rfind(' ');
  const std::size_t portAt = Line.rfind(' ', sizeAt - 1);
  return Line.substr(0, portAt + 1) + std::to_string(Port) + Line.substr(sizeAt);
}

int Send(const TArgs& A, TBenchPlatform& P) {
  TIrc irc;
  if (!irc.Connect(A.Irc, A.Nick)) return 2;
  tavi::TSession session;
  tavi::TMainForm main(session);
  std::string offer;
  session.Connection().SetLineSink([&](const std::string& Line) {
    if (offer.empty()) {
      offer = Line;  // sent once the relay is known
    } else {
      irc.Send(Line);
    }
  });
  P.Open = A.File;
  tavi::SendDccFile(&main, session.Connection(), A.To);
  tavi::TDccTransFileForm* form = tavi::TDccTransFileForm::OwnedBy(&main);
  if (!form || offer.empty()) return 3;
  std::unique_ptr<bench::TDelayRelay> relay;
  if (A.DelayMs > 0) {
    relay = std::make_unique<bench::TDelayRelay>(form->ServerSocket->serverPort(), A.DelayMs);
    offer = WithPort(offer, relay->Port());
  }
  irc.Send(offer);
  Pump([&] { return form->SendThread() != nullptr; }, 120, &irc, &main);
  const auto start = Clock::now();
  TGuiWatch watch;
  const std::string done = tavi::U8(u8"ファイルの転送が完了しました。");
  const std::string failed = tavi::U8(u8"ファイルの転送に失敗しました。");
  Pump([&] { return form->Caption() == done || form->Caption() == failed; }, 600, &irc, &main);
  std::printf("resumed from %lld\n", static_cast<long long>(form->StartAt));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Result(form->Caption() == done ? static_cast<double>(form->FileSize) : 0, seconds, watch.LongestMs);
  return form->Caption() == done ? 0 : 1;
}

int Receive(const TArgs& A, TBenchPlatform& P) {
  TIrc irc;
  if (!irc.Connect(A.Irc, A.Nick)) return 2;
  std::puts("READY");
  std::fflush(stdout);
  tavi::TSession session;
  tavi::TMainForm main(session);
  session.Connection().SetLineSink([&](const std::string& Line) { irc.Send(Line); });
  std::string line;
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  while (!irc.TakeDcc(line) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::size_t text = line.find(" :");
  const tavi::TDccOffer offer = tavi::ParseDccOffer(text == std::string::npos ? "" : line.substr(text + 2));
  if (offer.Kind != tavi::TDccKind::Send) return 3;
  const std::string nick = line.substr(1, line.find('!') - 1);
  P.Save = A.Save;
  TGuiWatch watch;
  const auto start = Clock::now();
  std::unique_ptr<bench::TDelayRelay> relay;
  if (A.DelayMs > 0) {
    // The offer, pointed at the relay.
    relay = std::make_unique<bench::TDelayRelay>(static_cast<std::uint16_t>(std::stoi(offer.Port)), A.DelayMs);
    tavi::ReceiveDccFile(&main, session.Connection(), nick, offer.Argument, "2130706433", std::to_string(relay->Port()), offer.Size,
                         "CLIENT");
  } else {
    // As it came, through the handlers: a part from before is resumed.
    session.Connection().ReceiveLine(line);
  }
  Pump([&] { return !P.Messages.empty(); }, 600, &irc, &main);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const bool saved = !P.Messages.empty() && P.Messages.back().find(tavi::U8(u8"を保存しました。")) != std::string::npos;
  Result(saved ? std::stod(offer.Size) : 0, seconds, watch.LongestMs);
  return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  TArgs a;
  if (argc > 1) a.Mode = argv[1];
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--irc") a.Irc = std::stoi(v);
    if (k == "--nick") a.Nick = v;
    if (k == "--to") a.To = v;
    if (k == "--file") a.File = v;
    if (k == "--save") a.Save = v;
    if (k == "--delay") a.DelayMs = std::stoi(v);
    if (k == "--mib") a.Mib = std::stoi(v);
  }
  if (a.Mode == "copy") return Copy(a);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TBenchPlatform platform;
  tavi::SetPlatform(&platform);
  int rc = 2;
  if (a.Mode == "send") rc = Send(a, platform);
  if (a.Mode == "recv") rc = Receive(a, platform);
  tavi::SetPlatform(nullptr);
  return rc;
}
