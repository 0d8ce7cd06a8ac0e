// The DCC chat window and its start, over real loopback connections: the
// test plays the peer with Qt sockets on the same event loop.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <thread>

#include "MainFormFixture.h"
#include "dcc/DCC.h"
#include "dcc/DccProtocol.h"
#include "kanji/Kanji.h"
#include "kanji/WireText.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const std::string Loopback = "2130706433";  // 127.0.0.1
const std::string Stamp = "09:05";

void Type(TDCCForm* Form, const std::string& Text) {
  Form->SendEdit->setText(QText(Text));
  QKeyEvent event(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(Form->SendEdit, &event);
}

bool HasLine(TDCCForm* Form, const std::string& Line) {
  const std::vector<std::string> lines = Form->RecvLines();
  return std::find(lines.begin(), lines.end(), Line) != lines.end();
}

// Waits for Line to be the newest line of the log.
bool AwaitLastLine(TDCCForm* Form, const std::string& Line) {
  return PumpUntil([&] {
    const std::vector<std::string> lines = Form->RecvLines();
    return !lines.empty() && lines.back() == Line;
  });
}

// What the peer reads up to and including a CR LF.
std::string ReadLine(QTcpSocket& Peer) {
  std::string got;
  PumpUntil([&] {
    const QByteArray data = Peer.readAll();
    got.append(data.constData(), static_cast<std::size_t>(data.size()));
    return got.size() >= 2 && got.compare(got.size() - 2, 2, "\r\n") == 0;
  });
  return got;
}

void Write(QTcpSocket& Peer, const std::string& Bytes) {
  Peer.write(Bytes.data(), static_cast<qint64>(Bytes.size()));
  Peer.flush();
}

bool AwaitClosed(QTcpSocket& Peer) {
  return PumpUntil([&] {
    Peer.readAll();
    return Peer.state() == QAbstractSocket::UnconnectedState;
  });
}

// The window entries, without the menu's own named items.
std::vector<std::string> WindowEntries(TMainForm& F) {
  std::vector<std::string> entries;
  for (QAction* a : F.Window1->actions())
    if (!a->isSeparator() && a->objectName().isEmpty()) entries.push_back(StdText(a->text()));
  return entries;
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class DccChatTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    Own().CurrentNick = "me";
  }
  void TearDown() override {
    MainFormFixture::TearDown();
    DeleteClosed();
  }

  TDCCForm* Chat(const std::string& Nick) { return qobject_cast<TDCCForm*>(form->FindChildWindow(Nick)); }

  // A CLIENT chat with Nick, accepted by the user, connected to Listener.
  TDCCForm* OpenClientChat(QTcpServer& Listener, QTcpSocket*& Peer, const std::string& Nick = "bob") {
    EXPECT_TRUE(Listener.listen(QHostAddress::LocalHost, 0));
    platform.YesNoAnswers = {true};
    OpenDccChat(*form, Connection(), Nick, Loopback, std::to_string(Listener.serverPort()), "CLIENT");
    TDCCForm* chat = Chat(Nick);
    EXPECT_NE(chat, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return Listener.hasPendingConnections(); }));
    Peer = Listener.nextPendingConnection();
    EXPECT_NE(Peer, nullptr);
    return chat;
  }
};

}  // namespace

TEST_F(DccChatTest, WindowHasTheCreationLinesControlsAndMenu) {
  TMainForm& f = MakeForm();
  OpenDccChat(f, Connection(), "bob", "", "", "");
  TDCCForm* chat = Chat("bob");
  ASSERT_NE(chat, nullptr);
  EXPECT_EQ(chat->RecvLines(), (std::vector<std::string>{U8(u8"日付： ") + "2006/01/02", Stamp + U8(u8" 接続を待機中!")}));
  EXPECT_EQ(chat->size(), QSize(430, 260));
  EXPECT_EQ(chat->property("helpContext").toInt(), 61);
  EXPECT_TRUE(chat->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(chat->RecvMemo->isReadOnly());
  EXPECT_EQ(chat->RecvMemo->font().pixelSize(), 16);
  EXPECT_EQ(chat->SendEdit->font().pixelSize(), 16);
  EXPECT_EQ(chat->Panel1->height(), 26);
  EXPECT_EQ(chat->Panel2->height(), 34);
  EXPECT_EQ(StdText(chat->CloseFormSpeedButton->toolTip()), U8(u8"このフォームを閉じる"));
  EXPECT_EQ(StdText(chat->Label1->text()), U8(u8"発言："));
  for (const char* name :
       {"Panel1", "CloseFormSpeedButton", "RecvMemo", "Panel2", "Label1", "SendEdit", "File1", "Join", "TalkMenu",
        "Close1", "Exit1", "ClientSocket", "ServerSocket"})
    EXPECT_NE(chat->findChild<QObject*>(QLatin1String(name)), nullptr) << name;

  std::vector<std::string> items;
  for (QAction* a : chat->File1->actions()) items.push_back(a->isSeparator() ? "-" : StdText(a->text()));
  EXPECT_EQ(items, (std::vector<std::string>{U8(u8"チャンネルに入室"), U8(u8"相手を選定して会話"), "-",
                                             U8(u8"閉じる"), U8(u8"終了")}));
  EXPECT_EQ(StdText(chat->File1->title()), U8(u8"ファイル"));
  // Active, its file menu takes the frame's place: every group once.
  f.MdiArea->setActiveSubWindow(chat);
  f.MergeChildMenus();
  std::vector<std::string> titles;
  for (QAction* a : f.menuBar()->actions()) titles.push_back(StdText(a->text()));
  EXPECT_EQ(titles, (std::vector<std::string>{U8(u8"ファイル"), U8(u8"コマンド"), U8(u8"モード"), U8(u8"設定"),
                                              U8(u8"ウィンドウ"), U8(u8"ヘルプ")}));
  EXPECT_EQ(f.menuBar()->actions().front()->menu(), chat->File1);

  // Lives in the MDI area with its window menu entry; no socket is touched
  // and nothing is sent for another role.
  EXPECT_EQ(chat->mdiArea(), f.MdiArea);
  EXPECT_EQ(chat->WindowMenuItem, f.Window1->actions().back());
  EXPECT_EQ(WindowEntries(f), (std::vector<std::string>{"bob"}));
  EXPECT_EQ(chat->ClientSocket->state(), QAbstractSocket::UnconnectedState);
  EXPECT_FALSE(chat->ServerSocket->isListening());
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(platform.Questions.empty());
}

TEST_F(DccChatTest, ServerRoleListensOnTheTablePortsAndSendsTheOffer) {
  TMainForm& f = MakeForm();
  platform.Addresses = {"192.168.1.10"};
  OpenDccChat(f, Connection(), "bob", "2130706433", "7000", "SERVER");
  TDCCForm* bob = Chat("bob");
  ASSERT_NE(bob, nullptr);
  EXPECT_EQ(bob->SocketRole, "SERVER");
  ASSERT_EQ(Sent.size(), 1u);
  EXPECT_EQ(Sent[0], "PRIVMSG bob :\x01" "DCC CHAT chat 3232235786 1037\x01\r\n");
  EXPECT_TRUE(bob->ServerSocket->isListening());
  EXPECT_EQ(bob->ServerSocket->serverPort(), 1037);

  OpenDccChat(f, Connection(), "carol", "", "", "SERVER");
  ASSERT_EQ(Sent.size(), 2u);
  EXPECT_EQ(Sent[1], "PRIVMSG carol :\x01" "DCC CHAT chat 3232235786 1038\x01\r\n");
  EXPECT_EQ(WindowEntries(f), (std::vector<std::string>{"bob", "carol"}));
}

TEST_F(DccChatTest, ServerRoleSkipsATakenPort) {
  TMainForm& f = MakeForm();
  QTcpServer blocker;
  blocker.listen(QHostAddress::AnyIPv4, 1037);  // or someone else holds it
  OpenDccChat(f, Connection(), "bob", "", "", "SERVER");
  ASSERT_EQ(Sent.size(), 1u);
  EXPECT_EQ(Sent[0], DccChatOfferLine("bob", "3232235786", 1038));
  EXPECT_EQ(Chat("bob")->ServerSocket->serverPort(), 1038);
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(DccChatTest, ServerRoleSendsNoOfferWithoutPortOrAddress) {
  TMainForm& f = MakeForm();
  {
    std::vector<std::unique_ptr<QTcpServer>> blockers;
    for (std::uint16_t port : TDccPortTable::Ports) {
      blockers.push_back(std::make_unique<QTcpServer>());
      blockers.back()->listen(QHostAddress::AnyIPv4, port);
    }
    OpenDccChat(f, Connection(), "bob", "", "", "SERVER");
  }
  TDCCForm* bob = Chat("bob");
  ASSERT_NE(bob, nullptr);  // the window stays, without a connection
  EXPECT_FALSE(bob->ServerSocket->isListening());
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(platform.Messages.size(), 1u);
  // Every port was tried once: the table is back where it began.
  EXPECT_EQ(session->DccPorts().Next(), 1037);

  platform.Messages.clear();
  platform.Addresses.clear();
  OpenDccChat(f, Connection(), "carol", "", "", "SERVER");
  TDCCForm* carol = Chat("carol");
  ASSERT_NE(carol, nullptr);
  EXPECT_FALSE(carol->ServerSocket->isListening());
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(platform.Messages.size(), 1u);
}

TEST_F(DccChatTest, ClientRoleAsksThenConnectsAndShowsWhatThePeerSends) {
  TMainForm& f = MakeForm();
  QTcpServer listener;
  QTcpSocket* peer = nullptr;
  TDCCForm* bob = OpenClientChat(listener, peer);
  ASSERT_TRUE(bob && peer);
  EXPECT_EQ(platform.Questions, (std::vector<std::string>{U8(u8"bob から DCC CHAT の接続要求が来ています\r\n接続しますか？")}));
  EXPECT_EQ(bob->SocketRole, "CLIENT");
  EXPECT_EQ(WindowEntries(f), (std::vector<std::string>{"bob"}));
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob]  に接続しました。")));

  Write(*peer, "  hello \r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] hello"));
  Write(*peer, U8(u8"こんにちは") + "\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] " + U8(u8"こんにちは")));
  Write(*peer, EncodeWire(U8(u8"日本語です"), TWireEncoding::Jis) + "\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] " + U8(u8"日本語です")));
  Write(*peer, reinterpret_cast<const char*>(u8"ＵＴＦ－８です\r\n"));
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] " + U8(u8"ＵＴＦ－８です")));

  // One read, one entry: the stamp goes on its first line only.
  Write(*peer, "one\r\ntwo\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, "two"));
  const std::vector<std::string> lines = bob->RecvLines();
  EXPECT_EQ(lines[lines.size() - 2], Stamp + " [bob] one");

  // After a nick change the new caption names the peer.
  bob->SetCaption("bobby");
  EXPECT_EQ(WindowEntries(f), (std::vector<std::string>{"bobby"}));
  Write(*peer, "renamed\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bobby] renamed"));

  peer->close();
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bobby] からの接続が切断されました。")));
  EXPECT_EQ(Chat("bobby"), bob);  // the window stays with its log
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(DccChatTest, ReadsCarryTheTextAfterTheLastLineEnd) {
  MakeForm();
  QTcpServer listener;
  QTcpSocket* peer = nullptr;
  TDCCForm* bob = OpenClientChat(listener, peer);
  ASSERT_TRUE(bob && peer);
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob]  に接続しました。")));

  // Each chat carries its own unfinished text.
  QTcpServer carolListener;
  QTcpSocket* carolPeer = nullptr;
  TDCCForm* carol = OpenClientChat(carolListener, carolPeer, "carol");
  ASSERT_TRUE(carol && carolPeer);
  ASSERT_TRUE(AwaitLastLine(carol, Stamp + U8(u8" [carol]  に接続しました。")));

  Write(*peer, "abc\r\nde");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] abc"));
  EXPECT_EQ(bob->CarryOver(), "de");
  Write(*carolPeer, "x\r\nyz");
  EXPECT_TRUE(AwaitLastLine(carol, Stamp + " [carol] x"));
  Write(*peer, "f\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] def"));
  EXPECT_EQ(bob->CarryOver(), "");
  EXPECT_EQ(carol->CarryOver(), "yz");

  // A JIS run cut between two reads is decoded whole.
  const std::string jis = EncodeWire(U8(u8"あい"), TWireEncoding::Jis);
  Write(*peer, "x\r\n" + jis.substr(0, 5));
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] x"));
  Write(*peer, jis.substr(5) + "\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] " + U8(u8"あい")));

  // A read without a line end is shown at once and leaves the carry alone.
  bob->CarryOver() = "kept";
  Write(*peer, "partial");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] partial"));
  EXPECT_EQ(bob->CarryOver(), "kept");
}

// A peer that floods is read a bounded slice per turn of the event loop:
// the window never takes megabytes at once, and the pane keeps its bound.
TEST_F(DccChatTest, AFloodingPeerIsReadInBoundedSlices) {
  MakeForm();
  QTcpServer listener;
  QTcpSocket* peer = nullptr;
  TDCCForm* bob = OpenClientChat(listener, peer);
  ASSERT_TRUE(bob && peer);
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob]  に接続しました。")));

  std::string flood;
  while (flood.size() < (8u << 20)) flood += "hello " + std::to_string(flood.size()) + "\r\n";
  // Written from a thread of its own, as fast as the connection takes it.
  const int fd = peer->socketDescriptor();
  std::thread writer([fd, &flood] {
    std::size_t sent = 0;
    while (sent < flood.size()) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 5000) <= 0) return;
      const ssize_t n = ::send(fd, flood.data() + sent, flood.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    }
  });
  qint64 last = 0, largest = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    largest = std::max(largest, bob->BytesRead() - last);
    last = bob->BytesRead();
  });
  probe.start(0);
  EXPECT_TRUE(PumpUntil([&] { return bob->BytesRead() >= static_cast<qint64>(flood.size()); }, 60000));
  writer.join();
  EXPECT_LE(largest, 4 * TDCCForm::ReadSliceBytes);
  EXPECT_LE(bob->RecvMemo->document()->blockCount(), TMainForm::LogLines);
}

TEST_F(DccChatTest, ClientRoleSendsTypedTextInTheChosenCode) {
  MakeForm();
  QTcpServer listener;
  QTcpSocket* peer = nullptr;
  TDCCForm* bob = OpenClientChat(listener, peer);
  ASSERT_TRUE(bob && peer);
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob]  に接続しました。")));

  Type(bob, U8(u8"やあ hi"));
  EXPECT_EQ(ReadLine(*peer), "\x82\xE2\x82\xA0 hi\r\n");  // the default, Shift-JIS
  EXPECT_EQ(bob->RecvLines().back(), Stamp + " [me] " + U8(u8"やあ hi"));
  EXPECT_TRUE(bob->SendEdit->text().isEmpty());

  Grobal().JISChoice = true;
  Type(bob, U8(u8"あ"));
  EXPECT_EQ(ReadLine(*peer), "\x1b$B$\"\x1b(B\r\n");
  EXPECT_EQ(bob->RecvLines().back(), Stamp + " [me] " + U8(u8"あ"));

  Grobal().JISChoice = false;
  Grobal().UTF8Choice = true;
  Type(bob, U8(u8"あ"));
  EXPECT_EQ(ReadLine(*peer), "\xE3\x81\x82\r\n");

  // Once the peer has written, the chat answers in the peer's encoding.
  Grobal().UTF8Choice = false;
  Write(*peer, EncodeWire(U8(u8"どうも"), TWireEncoding::Jis) + "\r\n");
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + " [bob] " + U8(u8"どうも")));
  Type(bob, U8(u8"あ"));
  EXPECT_EQ(ReadLine(*peer), "\x1b$B$\"\x1b(B\r\n");
  // What JIS cannot hold is asked about: kept in the line, or sent in UTF-8.
  platform.ChoiceAnswers = {2, 0};
  Type(bob, U8(u8"😀"));
  EXPECT_EQ(bob->SendEdit->text(), QString::fromUtf8("😀"));
  Type(bob, U8(u8"😀"));
  EXPECT_EQ(ReadLine(*peer), U8(u8"😀") + "\r\n");
  EXPECT_EQ(platform.ChoiceLists.size(), 2u);

  // Empty input: nothing sent, nothing shown.
  const std::size_t count = bob->RecvLines().size();
  Type(bob, "");
  bob->SendEditKeyDown(TDCCForm::EnterKey);
  PumpFor(50);
  EXPECT_EQ(peer->bytesAvailable(), 0);
  EXPECT_EQ(bob->RecvLines().size(), count);
  EXPECT_TRUE(Sent.empty());  // chat text never goes to the server

  // Once the peer is gone, typing sends nothing and says so.
  peer->close();
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob] からの接続が切断されました。")));
  Type(bob, "late");
  EXPECT_EQ(bob->RecvLines().back(), Stamp + U8(u8" 接続されていないため送信できません。"));
  EXPECT_EQ(StdText(bob->SendEdit->text()), "late");
}

TEST_F(DccChatTest, ClientRoleReportsAFailedConnection) {
  TMainForm& f = MakeForm();
  std::uint16_t closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    closedPort = probe.serverPort();
  }
  platform.YesNoAnswers = {true};
  OpenDccChat(f, Connection(), "bob", Loopback, std::to_string(closedPort), "CLIENT");
  TDCCForm* bob = Chat("bob");
  ASSERT_NE(bob, nullptr);
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" エラーが発生しました。")));
  EXPECT_TRUE(PumpUntil([&] { return !platform.Notices.empty(); }));
  EXPECT_FALSE(HasLine(bob, Stamp + U8(u8" [bob]  に接続しました。")));
}

TEST_F(DccChatTest, ClientRoleOpensNothingWhenDeclinedOrUnusable) {
  TMainForm& f = MakeForm();
  QTcpServer listener;
  ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
  const std::string port = std::to_string(listener.serverPort());

  platform.YesNoAnswers = {false};
  OpenDccChat(f, Connection(), "bob", Loopback, port, "CLIENT");
  OpenDccChat(f, Connection(), "bob", Loopback, port, "CLIENT");  // no answer counts as No
  EXPECT_EQ(platform.Questions.size(), 2u);
  EXPECT_TRUE(f.ChildWindows().empty());
  EXPECT_TRUE(WindowEntries(f).empty());
  PumpFor(200);
  EXPECT_FALSE(listener.hasPendingConnections());

  platform.Questions.clear();
  const std::vector<std::pair<std::string, std::string>> unusable{
      {Loopback, "0"}, {Loopback, "70000"}, {"x", port}, {"4294967296", port}, {Loopback, ""}};
  for (const auto& [address, offeredPort] : unusable) {
    platform.Notices.clear();
    platform.YesNoAnswers = {true};
    OpenDccChat(f, Connection(), "bob", address, offeredPort, "CLIENT");
    EXPECT_EQ(platform.Notices, (std::vector<std::string>{UnusableOfferMessage("bob", "CHAT", "chat", address,
                                                                               offeredPort, "")}))
        << address << " " << offeredPort;
  }
  EXPECT_EQ(platform.Notices.back(),
            U8(u8"bob から届いた DCC CHAT chat 2130706433  の要求は使えないため受け付けませんでした。"));
  EXPECT_TRUE(platform.Questions.empty());
  EXPECT_TRUE(f.ChildWindows().empty());
  PumpFor(100);
  EXPECT_FALSE(listener.hasPendingConnections());
}

TEST_F(DccChatTest, ServerRoleTalksWithTheFirstOfItsPeers) {
  MakeForm();
  OpenDccChat(*form, Connection(), "bob", "", "", "SERVER");
  TDCCForm* bob = Chat("bob");
  ASSERT_NE(bob, nullptr);
  const quint16 port = bob->ServerSocket->serverPort();

  // Before anyone connects, typing sends nothing.
  Type(bob, "early");
  EXPECT_EQ(bob->RecvLines().back(), Stamp + U8(u8" 接続されていないため送信できません。"));
  EXPECT_EQ(Sent.size(), 1u);  // the offer only

  QTcpSocket first;
  first.connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" 接続が確立しました。")));
  bob->SendEdit->clear();
  Type(bob, "yo");
  EXPECT_EQ(ReadLine(first), "yo\r\n");
  EXPECT_EQ(bob->RecvLines().back(), Stamp + " [me] yo");
  Write(first, EncodeWire(U8(u8"漢字"), TWireEncoding::Jis) + "\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] " + U8(u8"漢字")));

  // A second peer is accepted and heard, but typed text goes to the first.
  QTcpSocket second;
  second.connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(PumpUntil([&] {
    const std::vector<std::string> lines = bob->RecvLines();
    return std::count(lines.begin(), lines.end(), Stamp + U8(u8" 接続が確立しました。")) == 2;
  }));
  Write(second, "from two\r\n");
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + " [bob] from two"));
  Type(bob, "again");
  EXPECT_EQ(ReadLine(first), "again\r\n");
  PumpFor(50);
  EXPECT_EQ(second.bytesAvailable(), 0);

  first.close();
  EXPECT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob] との接続が切断されました。")));
  Type(bob, "now");
  EXPECT_EQ(ReadLine(second), "now\r\n");
  EXPECT_TRUE(bob->ServerSocket->isListening());
}

TEST_F(DccChatTest, ClosingTheWindowClosesItsSocketsAndItsMenuEntry) {
  TMainForm& f = MakeForm();
  QTcpServer listener;
  QTcpSocket* clientPeer = nullptr;
  TDCCForm* bob = OpenClientChat(listener, clientPeer);
  ASSERT_TRUE(bob && clientPeer);
  ASSERT_TRUE(AwaitLastLine(bob, Stamp + U8(u8" [bob]  に接続しました。")));

  OpenDccChat(f, Connection(), "carol", "", "", "SERVER");
  TDCCForm* carol = Chat("carol");
  ASSERT_NE(carol, nullptr);
  const quint16 port = carol->ServerSocket->serverPort();
  QTcpSocket serverPeer;
  serverPeer.connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(AwaitLastLine(carol, Stamp + U8(u8" 接続が確立しました。")));
  EXPECT_EQ(WindowEntries(f), (std::vector<std::string>{"bob", "carol"}));

  bob->CloseFormSpeedButton->click();
  EXPECT_EQ(WindowEntries(f), (std::vector<std::string>{"carol"}));
  carol->Close1->trigger();
  EXPECT_TRUE(WindowEntries(f).empty());
  // Closed with the window, not only when it is freed later.
  EXPECT_EQ(bob->ClientSocket->state(), QAbstractSocket::UnconnectedState);
  EXPECT_FALSE(carol->ServerSocket->isListening());
  EXPECT_TRUE(carol->ServerConnections.empty());
  DeleteClosed();
  EXPECT_TRUE(f.ChildWindows().empty());

  EXPECT_TRUE(AwaitClosed(*clientPeer));
  EXPECT_TRUE(AwaitClosed(serverPeer));
  // Nothing listens any more.
  QTcpSocket late;
  late.connectToHost(QHostAddress::LocalHost, port);
  EXPECT_TRUE(PumpUntil([&] { return late.error() == QAbstractSocket::ConnectionRefusedError; }));
}
