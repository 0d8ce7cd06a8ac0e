// The worst GUI stall under a hostile server. A server of the harness's own
// registers the client, then sends one attack; a 5 ms timer on the GUI
// thread records the longest gap between its ticks until the client has
// answered the PING that follows the attack (for dccchat: until the client
// has read all that the peer sent). Message boxes are Qt's own; a timer
// closes any modal one 50 ms after it opened, as a quick user would.
//
//   tavi_stall ATTACK     ATTACK: joins pms errors netsplit motd ctcp stalled
//                                 invites flood lists bans ison dups dccchat
//
// Prints one line: "ATTACK worst-stall-ms N rss-growth-mb M seconds S", and
// for the attacks that can open boxes, how many modal boxes were open at
// most at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "LoopbackSocket.h"
#include "ProcessFigures.h"
#include "kanji/QtText.h"
#include "platform/QtPlatform.h"
#include "dcc/DCC.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"
#include "widgets/MdiChildForm.h"

namespace {

// Qt's boxes and notices; questions say yes only to a DCC chat.
class TBenchPlatform : public tavi::TQtPlatform {
 public:
  bool AcceptChat = false;
  bool AskYesNo(const std::string& Text) override {
    if (AcceptChat && Text.find("DCC CHAT") != std::string::npos) return true;
    return tavi::TQtPlatform::AskYesNo(Text);
  }
};

const char* Nick = "stalltavi";

// What the server sends before the measured part, and the attack itself:
// Lines, then Chunk sent Repeat times (a flood never held whole in memory).
struct TAttack {
  std::string Setup;
  std::string Lines;
  std::string Chunk;
  int Repeat = 0;
  bool StopReading = false;
  // A DCC CHAT offer to a peer that sends this many short lines once the
  // user has accepted.
  int ChatLines = 0;
};

// Lines of Each, Count times, in chunks of about a megabyte.
void Repeated(TAttack& A, const std::function<std::string(int)>& Each, int Count) {
  int perChunk = 1;
  const std::size_t one = Each(0).size();
  while (perChunk * one < (1u << 20) && perChunk < Count) perChunk *= 2;
  for (int i = 0; i < perChunk; ++i) A.Chunk += Each(i);
  A.Repeat = (Count + perChunk - 1) / perChunk;
}

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
  } else if (Name == "invites") {
    for (int i = 0; i < 2000; ++i) a.Lines += ":s 341 " + me + " bob" + std::to_string(i) + " #chan\r\n";
  } else if (Name == "flood") {
    // 500 MB to a channel we are not in, without a pause.
    Repeated(a, [](int i) { return ":n" + std::to_string(i % 100) + "!u@h PRIVMSG #elsewhere :" + std::string(60, 'x') + "\r\n"; },
             500 * 1000 * 1000 / 100);
  } else if (Name == "lists") {
    Repeated(a, [&](int i) { return ":s 322 " + me + " #c" + std::to_string(i) + " 5 :a topic nobody asked for\r\n"; },
             500000);
  } else if (Name == "bans") {
    a.Setup = ":" + me + "!u@h JOIN #c\r\n";
    Repeated(a, [&](int i) { return ":s 367 " + me + " #c m" + std::to_string(i) + "!*@* op 1\r\n"; }, 1000000);
  } else if (Name == "ison") {
    std::string nicks;
    for (int i = 0; i < 400; ++i) nicks += (i ? " n" : "n") + std::to_string(i);
    Repeated(a, [&](int) { return ":s 303 " + me + " :" + nicks + "\r\n"; }, 1000);
  } else if (Name == "dups") {
    a.Setup = ":" + me + "!u@h JOIN #dup\r\n";
    std::string names;
    for (int variant = 0; variant < 60000; ++variant) {
      std::string nick = "duplicatednickxx";
      for (std::size_t bit = 0; bit < nick.size(); ++bit)
        if (variant & (1 << bit)) nick[bit] = static_cast<char>(nick[bit] - 'a' + 'A');
      names += nick + " ";
      if (variant % 40 == 39) {
        a.Setup += ":s 353 " + me + " = #dup :" + names + "\r\n";
        names.clear();
      }
    }
    a.Setup += ":s 366 " + me + " #dup :End\r\n";
    for (int i = 0; i < 20; ++i) a.Lines += ":DuplicatedNickXX!u@h PART #dup\r\n";
  } else if (Name == "dccchat") {
    a.ChatLines = 1500000;
  } else {
    a.Lines = "?";
  }
  return a;
}

// One connection, played from its own thread; a DCC chat peer on another.
class TServer {
 public:
  explicit TServer(TAttack Attack) : attack_(std::move(Attack)) {
    listen_ = bench::ListenLoopback(port_);
    if (attack_.ChatLines > 0) chatListen_ = bench::ListenLoopback(chatPort_);
    thread_ = std::thread([this] { Run(); });
  }
  ~TServer() {
    quit_ = true;
    shutdown(listen_, SHUT_RDWR);
    if (conn_ >= 0) shutdown(conn_, SHUT_RDWR);
    if (chatListen_ >= 0) shutdown(chatListen_, SHUT_RDWR);
    if (chat_ >= 0) shutdown(chat_, SHUT_RDWR);
    thread_.join();
    if (chatThread_.joinable()) chatThread_.join();
    close(listen_);
    if (conn_ >= 0) close(conn_);
    if (chatListen_ >= 0) close(chatListen_);
    if (chat_ >= 0) close(chat_);
  }
  // Bytes the DCC chat peer has sent, and whether it has sent them all.
  std::atomic<long long> ChatSent{0};
  std::atomic<bool> ChatDone{false};
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
    if (attack_.ChatLines > 0) {
      chatThread_ = std::thread([this] { RunChatPeer(); });
      Send(":peer!p@h PRIVMSG " + std::string(Nick) + " :\x01" "DCC CHAT chat 2130706433 " +
           std::to_string(chatPort_) + "\x01\r\n");
    }
    Send(attack_.Lines);
    for (int i = 0; i < attack_.Repeat && !quit_; ++i) Send(attack_.Chunk);
    Send("PING :stall-done\r\n");
    if (ReadUntil("stall-done")) Done = true;
    char buf[65536];
    while (!quit_ && recv(conn_, buf, sizeof buf, 0) > 0) {
    }
  }

  void RunChatPeer() {
    chat_ = accept(chatListen_, nullptr, nullptr);
    if (chat_ < 0) return;
    std::string block;
    for (int i = 0; i < attack_.ChatLines && !quit_;) {
      block.clear();
      for (int n = 0; n < 10000 && i < attack_.ChatLines; ++n, ++i) block += "hi " + std::to_string(i) + "\r\n";
      if (!bench::SendAll(chat_, block.data(), block.size())) return;
      ChatSent += static_cast<long long>(block.size());
    }
    ChatDone = true;
  }

  TAttack attack_;
  int listen_ = -1;
  int conn_ = -1;
  std::uint16_t port_ = 0;
  int chatListen_ = -1;
  int chat_ = -1;
  std::uint16_t chatPort_ = 0;
  std::thread chatThread_;
  std::atomic<bool> go_{false};
  std::atomic<bool> quit_{false};
  std::string seen_;
  std::thread thread_;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s joins|pms|errors|netsplit|motd|ctcp|stalled|invites|flood|lists|bans|ison|dups|dccchat\n",
                 argv[0]);
    return 2;
  }
  const std::string name = argv[1];
  QApplication app(argc, argv);
  tavi::InstallQtPlatform();
  TBenchPlatform platform;
  platform.AcceptChat = name == "dccchat";
  tavi::SetPlatform(&platform);

  // Modal boxes are closed 50 ms after they open, and counted.
  int mostBoxes = 0;
  QTimer closer;
  QElapsedTimer modalSince;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) open += w->isVisible() && w->isModal();
    mostBoxes = std::max(mostBoxes, open);
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      modalSince.invalidate();
      return;
    }
    if (!modalSince.isValid()) modalSince.start();
    if (modalSince.elapsed() < 50) return;
    modalSince.invalidate();
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  });
  closer.start(10);

  TServer server(MakeAttack(name));
  tavi::TSession session;
  tavi::TConnection& connection = session.Connection();
  auto* form = new tavi::TMainForm(session);
  form->resize(1000, 700);
  form->show();
  session.Grobal() =
      tavi::TGrobalArea{"", Nick, "stall", "stall", "localhost", "127.0.0.1", {}, std::to_string(server.Port())};
  connection.Connect();

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
      rssBefore = bench::ResidentKb();
      // The user asked for one channel list and one ISON: the harder case,
      // in which the answers are taken (up to their bound).
      connection.Own.ListRequests = connection.Own.IsonRequests = 1;
      phase = Attack;
      total.start();
      server.StartAttack();
    } else if (phase == Attack) {
      if (name == "stalled") {
        // The user keeps typing 2 KB lines to a server that reads nothing.
        for (int i = 0; i < 20 && connection.SocketActive(); ++i, ++sent)
          connection.SendLine("PRIVMSG #c :" + std::string(2048, 'x') + "\r\n");
        if (!connection.SocketActive() || total.elapsed() > 120000) {
          phase = Tail;
          tail.start();
        }
      } else if (name == "dccchat") {
        // Done once the chat window has read all that the peer sent.
        long long read = 0;
        for (tavi::TMdiChildForm* child : form->ChildWindows())
          if (auto* chat = qobject_cast<tavi::TDCCForm*>(child)) read = chat->BytesRead();
        if ((server.ChatDone && read >= server.ChatSent) || total.elapsed() > 300000) {
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
      const bool finished = name == "dccchat" ? server.ChatDone.load() : server.Done.load();
      std::printf("%-9s worst-stall-ms %5lld rss-growth-mb %6.1f seconds %6.2f boxes-at-once %d%s\n", name.c_str(),
                  static_cast<long long>(worst), (bench::ResidentKb() - rssBefore) / 1024.0, total.elapsed() / 1000.0, mostBoxes,
                  name == "stalled" ? (connection.SocketActive() ? " (still connected)" : " (dropped)")
                  : finished        ? ""
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
