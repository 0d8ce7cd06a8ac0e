// The worst GUI stall under a hostile server. A server of the harness's own
// registers the client, then sends one attack; a 5 ms timer on the GUI
// thread records the longest gap between its ticks until the client has
// answered the PING that follows the attack.
//
//   tavi_stall ATTACK     ATTACK: joins pms errors netsplit motd ctcp stalled
//
// Prints one line: "ATTACK worst-stall-ms N rss-growth-mb M seconds S".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "LoopbackSocket.h"
#include "kanji/SjisText.h"
#include "platform/QtPlatform.h"
#include "session/Globals.h"
#include "session/MainForm.h"

namespace {

class TQuietPlatform : public tavi::TQtPlatform {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
};

long RssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      in >> kb;
      return kb;
    }
    in.ignore(4096, '\n');
  }
  return 0;
}

const char* Nick = "stalltavi";

// What the server sends before the measured part, and the attack itself.
struct TAttack {
  std::string Setup;
  std::string Lines;
  bool StopReading = false;
};

TAttack MakeAttack(const std::string& Name) {
  TAttack a;
  const std::string me = Nick;
  if (Name == "joins") {
    for (int i = 0; i < 2000; ++i) a.Lines += ":" + me + "!u@h JOIN #c" + std::to_string(i) + "\r\n";
  } else if (Name == "pms") {
    for (int i = 0; i < 2000; ++i) a.Lines += ":n" + std::to_string(i) + "!u@h PRIVMSG " + me + " :hello\r\n";
  } else if (Name == "errors") {
    for (int i = 0; i < 2000; ++i) a.Lines += ":s 401 " + me + " n" + std::to_string(i) + " :No such nick\r\n";
  } else if (Name == "netsplit") {
    a.Setup = ":" + me + "!u@h JOIN #big\r\n";
    std::string names;
    for (int i = 0; i < 60900; ++i) {
      names += (names.empty() ? "" : " ") + std::string("member") + std::to_string(i);
      if (i % 40 == 39) {
        a.Setup += ":s 353 " + me + " = #big :" + names + "\r\n";
        names.clear();
      }
    }
    if (!names.empty()) a.Setup += ":s 353 " + me + " = #big :" + names + "\r\n";
    a.Setup += ":s 366 " + me + " #big :End\r\n";
    for (int i = 0; i < 500; ++i) a.Lines += ":member" + std::to_string(i * 100) + "!u@h QUIT :split\r\n";
  } else if (Name == "motd") {
    a.Lines = ":s 375 " + me + " :- motd\r\n:s 372 " + me + " :- " + std::string(65000, 'x') + "\r\n:s 376 " + me +
              " :End\r\n";
  } else if (Name == "ctcp") {
    for (int i = 0; i < 100000; ++i)
      a.Lines += ":n" + std::to_string(i % 5000) + "!u@h PRIVMSG " + me + " :\x01VERSION\x01\r\n";
  } else if (Name == "stalled") {
    a.StopReading = true;
  } else {
    a.Lines = "?";
  }
  return a;
}

// One connection, played from its own thread.
class TServer {
 public:
  explicit TServer(TAttack Attack) : attack_(std::move(Attack)) {
    listen_ = bench::ListenLoopback(port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~TServer() {
    quit_ = true;
    shutdown(listen_, SHUT_RDWR);
    if (conn_ >= 0) shutdown(conn_, SHUT_RDWR);
    thread_.join();
    close(listen_);
    if (conn_ >= 0) close(conn_);
  }
  int Port() const { return port_; }
  // Setup done: the measured part may start.
  std::atomic<bool> Ready{false};
  // The client has handled every line of the attack.
  std::atomic<bool> Done{false};
  void StartAttack() { go_ = true; }

 private:
  void Send(const std::string& Data) { bench::SendAll(conn_, Data.data(), Data.size()); }
  // Reads until a line holding Needle arrives.
  bool ReadUntil(const std::string& Needle) {
    char buf[65536];
    while (!quit_) {
      if (seen_.find(Needle) != std::string::npos) {
        seen_.erase(0, seen_.find(Needle) + Needle.size());
        return true;
      }
      const ssize_t n = recv(conn_, buf, sizeof buf, 0);
      if (n <= 0) return false;
      seen_.append(buf, static_cast<std::size_t>(n));
      if (seen_.size() > (1 << 20)) seen_.erase(0, seen_.size() - 4096);
    }
    return false;
  }
  void Run() {
    conn_ = accept(listen_, nullptr, nullptr);
    if (conn_ < 0) return;
    if (attack_.StopReading) {
      const int small = 4096;
      setsockopt(conn_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    if (!ReadUntil("USER ")) return;
    const std::string me = Nick;
    Send(":s 001 " + me + " :Welcome\r\n:s 376 " + me + " :End\r\n" + attack_.Setup + "PING :setup\r\n");
    if (!ReadUntil("PONG")) return;
    Ready = true;
    while (!go_ && !quit_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (attack_.StopReading) {
      // Takes nothing more; the client's queue fills and it must give up.
      while (!quit_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return;
    }
    Send(attack_.Lines + "PING :stall-done\r\n");
    if (ReadUntil("stall-done")) Done = true;
    char buf[65536];
    while (!quit_ && recv(conn_, buf, sizeof buf, 0) > 0) {
    }
  }

  TAttack attack_;
  int listen_ = -1;
  int conn_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> go_{false};
  std::atomic<bool> quit_{false};
  std::string seen_;
  std::thread thread_;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s joins|pms|errors|netsplit|motd|ctcp|stalled\n", argv[0]);
    return 2;
  }
  const std::string name = argv[1];
  QApplication app(argc, argv);
  tavi::InstallQtPlatform();
  TQuietPlatform platform;
  tavi::SetPlatform(&platform);
  tavi::ResetGlobals();

  TServer server(MakeAttack(name));
  auto* form = new tavi::TMainForm;
  form->resize(1000, 700);
  form->show();
  tavi::GrobalArea() =
      tavi::TGrobalArea{"", Nick, "stall", "stall", "localhost", "127.0.0.1", {}, std::to_string(server.Port())};
  form->ConnectCommand();

  enum { Setup, Attack, Tail } phase = Setup;
  long rssBefore = 0;
  qint64 worst = 0;
  int sent = 0;
  QElapsedTimer sinceTick, total, tail;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (phase != Setup) worst = std::max(worst, sinceTick.elapsed());
    sinceTick.restart();
    if (phase == Setup && server.Ready) {
      rssBefore = RssKb();
      phase = Attack;
      total.start();
      server.StartAttack();
    } else if (phase == Attack) {
      if (name == "stalled") {
        // The user keeps typing 2 KB lines to a server that reads nothing.
        for (int i = 0; i < 20 && form->SocketActive(); ++i, ++sent)
          form->SendLine("PRIVMSG #c :" + std::string(2048, 'x') + "\r\n");
        if (!form->SocketActive() || total.elapsed() > 120000) {
          phase = Tail;
          tail.start();
        }
      } else if (server.Done || total.elapsed() > 300000) {
        phase = Tail;
        tail.start();
      }
    } else if (phase == Tail && tail.elapsed() > 500) {
      // Half a second more, for the paints that the last lines caused.
      tick.stop();
      std::printf("%-9s worst-stall-ms %5lld rss-growth-mb %6.1f seconds %6.2f%s\n", name.c_str(),
                  static_cast<long long>(worst), (RssKb() - rssBefore) / 1024.0, total.elapsed() / 1000.0,
                  name == "stalled" ? (form->SocketActive() ? " (still connected)" : " (dropped)")
                  : server.Done     ? ""
                                    : " (not finished)");
      std::fflush(stdout);
      delete form;
      QCoreApplication::exit(0);
    }
  });
  sinceTick.start();
  tick.start(5);
  return app.exec();
}
