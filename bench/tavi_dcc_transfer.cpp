// A DCC SEND of a large file over loopback between this client's sender and
// receiver, in one process with the real windows, workers and protocol, side
// by side with two references on the same machine: a plain socket copy in
// 64 KiB pieces, and the old block-and-acknowledgement protocol (1024-byte
// blocks, 128-byte reads, an acknowledgement per read) done by two bare
// threads without any window. bench/dcc.sh compares with irssi.
//
//   tavi_dcc_transfer [--mib N] [--runs R]
//
// While the client transfers, a 10 ms timer on the GUI thread records the
// longest gap between its ticks, and the transfer window's progress bar
// counts its value changes and repaints: the window must stay responsive.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackSocket.h"
#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "kanji/QtText.h"
#include "protocol/Ctcp.h"
#include "platform/QtPlatform.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point From, Clock::time_point To) { return std::chrono::duration<double>(To - From).count(); }

// Answers every question for an unattended run and notes when the receiver
// says it has saved the file: all bytes are in by then.
class TBenchPlatform : public tavi::TQtPlatform {
 public:
  std::string Source, Target;
  Clock::time_point SaveAsked;
  std::vector<std::string> Messages;

  void ShowMessage(const std::string& Text) override {
    if (Messages.empty()) SaveAsked = Clock::now();
    Messages.push_back(Text);
  }
  bool AskYesNo(const std::string&) override { return true; }
  std::string OpenFileName(QWidget*, const std::string&) override { return Source; }
  std::string SaveFileName(QWidget*, const std::string&, const std::string&) override { return Target; }
  std::vector<std::string> LocalIPv4Addresses() override { return {"127.0.0.1"}; }
};

// Counts repaints of a widget.
class TPaintCounter : public QObject {
 public:
  int Paints = 0;
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Paint) ++Paints;
    return QObject::eventFilter(Watched, Event);
  }
};

struct TClientRun {
  bool Whole = false;
  double TransferSeconds = 0;  // connect to the last byte in memory
  double LongestGapMs = 0;     // of the 10 ms GUI timer
  int ProgressSteps = 0, ProgressPaints = 0;
};

TClientRun RunClient(TBenchPlatform& Platform, const std::string& Data) {
  TClientRun run;
  tavi::TSession senderSession, receiverSession;
  tavi::TMainForm sender(senderSession), receiver(receiverSession);
  std::string offer;
  senderSession.Connection().SetLineSink([&](const std::string& Line) { offer = Line; });
  Platform.Messages.clear();

  SendDccFile(&sender, senderSession.Connection(), "receiver");
  // The receiver reads the offer as the message handler would.
  const std::size_t text = offer.find(" :");
  const tavi::TDccOffer words = tavi::ParseDccOffer(text == std::string::npos ? "" : offer.substr(text + 2));
  if (words.Kind != tavi::TDccKind::Send) {
    std::fprintf(stderr, "no offer: %s\n", offer.c_str());
    return run;
  }

  const auto start = Clock::now();
  QElapsedTimer sinceTick;
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    // The transfer only: saving the file afterwards is the user's wait.
    if (Platform.SaveAsked != Clock::time_point{}) return;
    const double gap = static_cast<double>(sinceTick.nsecsElapsed()) / 1e6;
    run.LongestGapMs = std::max(run.LongestGapMs, gap);
    sinceTick.restart();
  });

  Platform.SaveAsked = {};
  ReceiveDccFile(&receiver, receiverSession.Connection(), "sender", words.Argument, words.Address, words.Port, words.Size, "CLIENT");
  tavi::TDccTransFileForm* window = tavi::TDccTransFileForm::OwnedBy(&receiver);
  TPaintCounter paints;
  if (window) {
    window->ProgressBar->installEventFilter(&paints);
    QObject::connect(window->ProgressBar, &QProgressBar::valueChanged, [&] { ++run.ProgressSteps; });
  }
  sinceTick.start();
  ticker.start();
  const std::string saved = tavi::U8(u8"を保存しました。");
  const auto deadline = start + std::chrono::minutes(5);
  // Sleeps between events as the program's event loop does (the ticker
  // wakes it): a loop that spins would take a core from the workers.
  while (Clock::now() < deadline && Platform.Messages.empty())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  ticker.stop();
  run.TransferSeconds = Seconds(start, Platform.SaveAsked);
  run.ProgressPaints = paints.Paints;

  QFile file(QString::fromStdString(Platform.Target));
  run.Whole = !Platform.Messages.empty() && Platform.Messages.front().find(saved) != std::string::npos &&
              file.open(QIODevice::ReadOnly) && file.readAll().toStdString() == Data;
  return run;
}

// A connected loopback pair: Listen gives a port, the two ends come back.
struct TPair {
  int Writer = -1, Reader = -1;
  ~TPair() {
    if (Writer >= 0) ::close(Writer);
    if (Reader >= 0) ::close(Reader);
  }
};

bool Connect(TPair& Pair) {
  std::uint16_t port = 0;
  const int listener = bench::ListenLoopback(port);
  if (listener < 0) return false;
  Pair.Reader = bench::ConnectLoopback(port);
  if (Pair.Reader >= 0) Pair.Writer = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  return Pair.Writer >= 0;
}

using bench::SendAll;

// The physical reference: 64 KiB writes and reads, nothing else.
double PlainCopy(const std::string& Data, bool& Whole) {
  TPair pair;
  if (!Connect(pair)) return 0;
  const auto start = Clock::now();
  std::thread writer([&] {
    for (std::size_t at = 0; at < Data.size(); at += 65536)
      SendAll(pair.Writer, Data.data() + at, std::min<std::size_t>(65536, Data.size() - at));
  });
  std::string got;
  got.reserve(Data.size());
  std::vector<char> buffer(65536);
  while (got.size() < Data.size()) {
    const ssize_t n = ::recv(pair.Reader, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    got.append(buffer.data(), static_cast<std::size_t>(n));
  }
  const auto end = Clock::now();
  writer.join();
  Whole = got == Data;
  return Seconds(start, end);
}

// The protocol bound: 1024-byte blocks, 128-byte reads, an acknowledgement
// per read, the sender waiting for each block's, without any window.
double BareProtocol(const std::string& Data, bool& Whole) {
  TPair pair;
  if (!Connect(pair)) return 0;
  // As the client's own transfer sockets: 4-byte acknowledgements held back
  // by Nagle would cost tens of milliseconds each.
  const int on = 1;
  ::setsockopt(pair.Writer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(pair.Reader, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const auto start = Clock::now();
  std::thread sender([&] {
    std::size_t sent = 0;
    std::uint32_t ack = 0;
    unsigned char four[4];
    std::size_t have = 0;
    while (sent < Data.size()) {
      const std::size_t block = std::min<std::size_t>(1024, Data.size() - sent);
      if (!SendAll(pair.Writer, Data.data() + sent, block)) return;
      sent += block;
      while (ack != sent) {
        const ssize_t n = ::recv(pair.Writer, four + have, 4 - have, 0);
        if (n <= 0) return;
        have += static_cast<std::size_t>(n);
        if (have == 4) {
          ack = tavi::DecodeAck(four);
          have = 0;
        }
      }
    }
  });
  std::string got;
  got.reserve(Data.size());
  char buffer[128];
  while (got.size() < Data.size()) {
    const ssize_t n = ::recv(pair.Reader, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
    const std::string ack = tavi::EncodeAck(static_cast<std::uint32_t>(got.size()));
    if (!SendAll(pair.Reader, ack.data(), ack.size())) break;
  }
  const auto end = Clock::now();
  sender.join();
  Whole = got == Data;
  return Seconds(start, end);
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values.empty() ? 0 : Values[Values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int mib = 64, runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mib") == 0) mib = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  QApplication app(argc, argv);
  tavi::InstallQtPlatform();
  QTemporaryDir folder;
  TBenchPlatform platform;
  tavi::SetPlatform(&platform);

  std::string data(static_cast<std::size_t>(mib) << 20, '\0');
  std::mt19937 random(7);
  for (char& c : data) c = static_cast<char>(random());
  platform.Source = folder.filePath(QStringLiteral("source.bin")).toStdString();
  platform.Target = folder.filePath(QStringLiteral("target.bin")).toStdString();
  {
    QFile file(QString::fromStdString(platform.Source));
    if (!file.open(QIODevice::WriteOnly) || file.write(data.data(), static_cast<qint64>(data.size())) != static_cast<qint64>(data.size())) {
      std::fprintf(stderr, "cannot write %s\n", platform.Source.c_str());
      return 1;
    }
  }

  const double mb = static_cast<double>(data.size()) / 1e6;
  std::vector<double> client, plain, bare;
  bool allWhole = true;
  for (int r = 0; r < runs; ++r) {
    const TClientRun run = RunClient(platform, data);
    bool plainWhole = false, bareWhole = false;
    plain.push_back(PlainCopy(data, plainWhole));
    bare.push_back(BareProtocol(data, bareWhole));
    client.push_back(run.TransferSeconds);
    allWhole = allWhole && run.Whole && plainWhole && bareWhole;
    std::printf("run %d: tavi %.2f s (%s), gui gap max %.1f ms, progress %d steps %d paints; plain %.3f s; bare "
                "protocol %.2f s\n",
                r + 1, run.TransferSeconds, run.Whole ? "whole" : "NOT WHOLE", run.LongestGapMs, run.ProgressSteps,
                run.ProgressPaints, plain.back(), bare.back());
    std::fflush(stdout);
  }
  std::printf("\n%d MiB, median of %d runs\n", mib, runs);
  std::printf("| transfer | time | MB/s |\n|---|---|---|\n");
  std::printf("| Tavi sender -> Tavi receiver (windows, workers) | %.2f s | %.1f |\n", Median(client), mb / Median(client));
  std::printf("| bare 1024/128/ack protocol, two threads | %.2f s | %.1f |\n", Median(bare), mb / Median(bare));
  std::printf("| plain socket copy, 64 KiB | %.3f s | %.0f |\n", Median(plain), mb / Median(plain));
  tavi::SetPlatform(nullptr);
  return allWhole ? 0 : 1;
}
