#include "dcc/DCC.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "dcc/DccProtocol.h"
#include "kanji/Kanji.h"
#include "kanji/QtText.h"
#include "kanji/WireText.h"
#include "platform/Platform.h"
#include "widgets/ConversationPanels.h"
#include "widgets/FindBar.h"
#include "widgets/FormFont.h"
#include "widgets/PaneLinks.h"
#include "widgets/WritingChoice.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "widgets/WindowHost.h"
#include "widgets/MenuText.h"

namespace tavi {

namespace {

constexpr int FormWidth = 430;
constexpr int FormHeight = 260;

std::string Trimmed(const std::string& Text) {
  auto blank = [](char C) { return static_cast<unsigned char>(C) <= 32; };
  const auto first = std::find_if_not(Text.begin(), Text.end(), blank);
  const auto last = std::find_if_not(Text.rbegin(), Text.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// The memo would take a CR as a line break of its own.
// CR and CR LF as the pane's line breaks, each line cut to what a window
// shows.
std::string MemoBreaks(const std::string& Text) {
  std::string out, line;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r') {
      out += CutForDisplay(line) + '\n';
      line.clear();
      if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      line += Text[i];
    }
  }
  return out + CutForDisplay(line);
}

// Received chat text to UTF-8, with the carry rules of the server's lines:
// each line is read by what it is; what follows the last CR LF waits for
// the next data that ends a line.
std::string DecodeChatText(std::string_view Data, std::string& Carry, TWriting& Writing) {
  const std::size_t last = Data.size() >= 2 ? Data.rfind("\r\n") : std::string_view::npos;
  std::string work;
  if (last == std::string_view::npos) {
    work.assign(Data);
  } else {
    work = std::move(Carry);
    work.append(Data.substr(0, last + 2));
    Carry.assign(Data.substr(last + 2));
  }
  std::string out;
  std::string_view rest = work;
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    const std::size_t length = end == std::string_view::npos ? rest.size() : end + 2;
    TWireEncoding found = TWireEncoding::Ascii;
    out += DecodeWire(rest.substr(0, length), &found);
    Writing.Hear(found);
    rest.remove_prefix(length);
  }
  return out;
}

// The peer closing its end arrives as an error too; the disconnect event
// that follows reports it.
bool IsPeerClose(QAbstractSocket::SocketError Error) { return Error == QAbstractSocket::RemoteHostClosedError; }

}  // namespace

TDCCForm::TDCCForm(TWindowHost& Host, TConnection& Connection, QWidget* Parent)
    : TMdiChildForm(Host, &Connection, Parent), connection_(Connection) {
  setObjectName(QStringLiteral("DCCForm"));
  ApplyFormFont(this);
  QWidget* content = nullptr;
  QVBoxLayout* column = MakeConversationColumn(this, HelpContext, content);

  QHBoxLayout* top = nullptr;
  QFrame* speedPanel = MakeSpeedButtonPanel(content, top);
  Panel1 = speedPanel;
  CloseFormSpeedButton = AddSpeedButton(speedPanel, top, "CloseFormSpeedButton", u8"このフォームを閉じる", CloseFormIcon());
  column->addWidget(Panel1);

  RecvMemo = new QPlainTextEdit(content);
  RecvMemo->setObjectName(QStringLiteral("RecvMemo"));
  RecvMemo->setReadOnly(true);
  RecvMemo->setMaximumBlockCount(LogLines);
  RecvMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RecvMemo->setFont(FormFont(16));
  OpenLinksOf(RecvMemo, Connection);
  column->addWidget(RecvMemo, 1);
  FindBar = new TFindBar(RecvMemo, content);
  column->addWidget(FindBar);

  Panel2 = MakeSendPanel(content, Label1, SendEdit);
  column->addWidget(Panel2);

  setWidget(content);
  SendEdit->installEventFilter(this);
  connect(CloseFormSpeedButton, &QToolButton::clicked, this, [this] { Close1Click(); });

  File1 = MakeMenu(this, "File1", u8"ファイル");
  Join = MakeMenuItem(this, File1, "Join", u8"チャンネルに入室");
  TalkMenu = MakeMenuItem(this, File1, "TalkMenu", u8"相手を選定して会話");
  File1->addSeparator();
  Close1 = MakeMenuItem(this, File1, "Close1", u8"閉じる");
  Exit1 = MakeMenuItem(this, File1, "Exit1", u8"終了");
  connect(Join, &QAction::triggered, this, [this] { JoinClick(); });
  connect(TalkMenu, &QAction::triggered, this, [this] { TalkMenuClick(); });
  connect(Close1, &QAction::triggered, this, [this] { Close1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  readTimer_ = new QTimer(this);
  readTimer_->setSingleShot(true);
  readTimer_->setInterval(0);
  connect(readTimer_, &QTimer::timeout, this, [this] {
    const std::vector<QPointer<QTcpSocket>> waiting = std::move(moreToRead_);
    moreToRead_.clear();
    for (const QPointer<QTcpSocket>& socket : waiting)
      if (socket) ReadSlice(socket);
  });

  ClientSocket = new QTcpSocket(this);
  ClientSocket->setObjectName(QStringLiteral("ClientSocket"));
  ClientSocket->setReadBufferSize(ReadBufferBytes);
  connect(ClientSocket, &QTcpSocket::connected, this, [this] { ClientSocketConnect(); });
  connect(ClientSocket, &QTcpSocket::readyRead, this, [this] { ClientSocketRead(); });
  connect(ClientSocket, &QTcpSocket::errorOccurred, this,
          [this](QAbstractSocket::SocketError Error) { ClientSocketError(Error); });
  connect(ClientSocket, &QTcpSocket::disconnected, this, [this] { ClientSocketDisconnect(); });

  ServerSocket = new QTcpServer(this);
  ServerSocket->setObjectName(QStringLiteral("ServerSocket"));
  connect(ServerSocket, &QTcpServer::newConnection, this, [this] { ServerSocketAccept(); });

  KeepSizeAs(QStringLiteral("DccChat"), QSize(FormWidth, FormHeight));
  FormCreate();
  SendEdit->setFocus();
}

TDCCForm::~TDCCForm() { CloseSockets(); }

void TDCCForm::OpenClient(const std::string& Host, std::uint16_t Port) {
  ClientSocket->connectToHost(QHostAddress(QString::fromStdString(Host)), Port);
}

bool TDCCForm::OpenServer(std::uint16_t Port) { return ServerSocket->listen(QHostAddress::AnyIPv4, Port); }

void TDCCForm::CloseSockets() {
  // Signals are cut first, so that nothing that closing or a later
  // deletion emits reaches a window that is going away.
  auto closeOne = [this](QTcpSocket* Socket) {
    Socket->disconnect(this);
    if (Socket->state() == QAbstractSocket::UnconnectedState) return;
    Socket->flush();
    Socket->close();
  };
  if (ClientSocket) closeOne(ClientSocket);
  for (QTcpSocket* connection : ServerConnections) closeOne(connection);
  ServerConnections.clear();
  if (ServerSocket) {
    ServerSocket->disconnect(this);
    ServerSocket->close();
  }
}

void TDCCForm::AddRecvLine(const std::string& Text) { AppendLinkedLine(RecvMemo, QText(MemoBreaks(Text))); }

std::vector<std::string> TDCCForm::RecvLines() const {
  std::vector<std::string> lines;
  const QTextDocument* doc = RecvMemo->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) lines.push_back(StdText(block.text()));
  return lines;
}

void TDCCForm::FormCreate() {
  RecvMemo->clear();
  AddRecvLine(U8(u8"日付： ") + Platform().ShortDateText(Platform().Now()));
  AddRecvLine(TimeStamp() + U8(u8" 接続を待機中!"));
}

void TDCCForm::FormClose() {
  CloseSockets();
  // The window menu entry goes at once, not when the deferred delete runs.
  delete WindowMenuItem;
  WindowMenuItem = nullptr;
}

void TDCCForm::closeEvent(QCloseEvent* Event) {
  TMdiChildForm::closeEvent(Event);
  if (Event->isAccepted()) FormClose();
}

void TDCCForm::SendEditKeyDown(int Key) {
  if (Key != EnterKey && Key != Qt::Key_Return && Key != Qt::Key_Enter) return;
  if (SendEdit->text().isEmpty()) return;
  const std::string text = StdText(SendEdit->text());
  TWireEncoding as;
  QPointer<TDCCForm> self(this);
  // The question runs the event loop: the window may go meanwhile.
  if (!ChooseSending(text, writing_.For(connection_.Encoding()), as) || !self) return;
  // Unsent text stays in the edit, to be sent once there is a peer.
  if (!SendChatText(text + "\r\n", as)) return;
  AddRecvLine(TimeStamp() + " [" + connection_.Own.CurrentNick + "] " + text);
  SendEdit->clear();
}

QTcpSocket* TDCCForm::SendingConnection() const {
  if (SocketRole == "CLIENT")
    return ClientSocket->state() == QAbstractSocket::ConnectedState ? ClientSocket : nullptr;
  if (SocketRole == "SERVER") return ServerConnections.empty() ? nullptr : ServerConnections.front();
  return nullptr;
}

bool TDCCForm::SendChatText(const std::string& Text, TWireEncoding As) {
  QTcpSocket* connection = SendingConnection();
  if (!connection) {
    AddRecvLine(TimeStamp() + U8(u8" 接続されていないため送信できません。"));
    return false;
  }
  const std::string bytes =
      EncodeWire(Text, As != TWireEncoding::Ascii ? As : writing_.For(connection_.Encoding()));
  connection->write(bytes.data(), static_cast<qint64>(bytes.size()));
  return true;
}

std::string TDCCForm::DecodeRead(const QByteArray& Data) {
  return Trimmed(
      DecodeChatText(std::string_view(Data.constData(), static_cast<std::size_t>(Data.size())), carry_, writing_));
}

void TDCCForm::ReadSlice(QTcpSocket* Socket) {
  const QByteArray data = Socket->read(ReadSliceBytes);
  if (data.isEmpty()) return;
  bytesRead_ += data.size();
  AddRecvLine(TimeStamp() + " [" + Caption() + "] " + DecodeRead(data));
  if (Socket->bytesAvailable() <= 0) return;
  if (std::find(moreToRead_.begin(), moreToRead_.end(), Socket) == moreToRead_.end()) moreToRead_.emplace_back(Socket);
  readTimer_->start();
}

void TDCCForm::ReadRest(QTcpSocket* Socket) {
  while (Socket->bytesAvailable() > 0) ReadSlice(Socket);
}

void TDCCForm::ClientSocketConnect() { AddRecvLine(TimeStamp() + " [" + Caption() + U8(u8"]  に接続しました。")); }

void TDCCForm::ClientSocketRead() { ReadSlice(ClientSocket); }

void TDCCForm::ClientSocketError(QAbstractSocket::SocketError Error) {
  if (IsPeerClose(Error)) return;
  AddRecvLine(TimeStamp() + U8(u8" エラーが発生しました。"));
  // A notice: it waits for nobody, so no event loop runs inside the socket's
  // signal.
  Platform().ShowNotice(U8(u8"ソケットエラー：") + StdText(ClientSocket->errorString()) + " (" +
                        std::to_string(static_cast<int>(Error)) + ")");
}

void TDCCForm::ClientSocketDisconnect() {
  ReadRest(ClientSocket);
  AddRecvLine(TimeStamp() + " [" + Caption() + U8(u8"] からの接続が切断されました。"));
}

void TDCCForm::WireConnection(QTcpSocket* Socket) {
  connect(Socket, &QTcpSocket::readyRead, this, [this, Socket] { ServerSocketClientRead(Socket); });
  connect(Socket, &QTcpSocket::errorOccurred, this,
          [this, Socket](QAbstractSocket::SocketError Error) { ServerSocketClientError(Socket, Error); });
  connect(Socket, &QTcpSocket::disconnected, this, [this, Socket] { ServerSocketClientDisconnect(Socket); });
}

void TDCCForm::ServerSocketAccept() {
  while (QTcpSocket* socket = ServerSocket->nextPendingConnection()) {
    socket->setReadBufferSize(ReadBufferBytes);
    ServerConnections.push_back(socket);
    WireConnection(socket);
    AddRecvLine(TimeStamp() + U8(u8" 接続が確立しました。"));
    // A peer that wrote before we looked is read now.
    if (socket->bytesAvailable() > 0) ServerSocketClientRead(socket);
  }
}

void TDCCForm::ServerSocketClientRead(QTcpSocket* Socket) { ReadSlice(Socket); }

void TDCCForm::ServerSocketClientError(QTcpSocket*, QAbstractSocket::SocketError Error) {
  if (IsPeerClose(Error)) return;
  AddRecvLine(TimeStamp() + U8(u8" エラーが発生しました。"));
}

void TDCCForm::ServerSocketClientDisconnect(QTcpSocket* Socket) {
  ReadRest(Socket);
  AddRecvLine(TimeStamp() + " [" + Caption() + U8(u8"] との接続が切断されました。"));
  ServerConnections.erase(std::remove(ServerConnections.begin(), ServerConnections.end(), Socket),
                          ServerConnections.end());
  Socket->disconnect(this);
  Socket->deleteLater();
}

void TDCCForm::JoinClick() { Host().RunFrameCommand(TFrameCommand::Join, connection_); }

void TDCCForm::TalkMenuClick() { Host().RunFrameCommand(TFrameCommand::Talk, connection_); }

void TDCCForm::Close1Click() { close(); }

void TDCCForm::Exit1Click() { Host().RunFrameCommand(TFrameCommand::Exit, connection_); }

// The chat's file menu stands in for the frame's: the same group, so that
// the bar shows each group once and keeps the mode menu.
std::vector<std::pair<int, QMenu*>> TDCCForm::MergedMenus() { return {{0, File1}}; }

bool TDCCForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == SendEdit && Event->type() == QEvent::KeyPress)
    SendEditKeyDown(static_cast<QKeyEvent*>(Event)->key());
  return TMdiChildForm::eventFilter(Watched, Event);
}

// --- opening a chat ---

void OpenDccChat(TWindowHost& Host, TConnection& Connection, const std::string& Nick,
                 const std::string& AddressNumber, const std::string& Port, const std::string& Role) {
  if (Role == "CLIENT") {
    // An offer is looked at before the user is asked, and nothing is
    // connected unless the user says yes.
    const std::optional<TDccEndpoint> endpoint = CheckChatOffer(AddressNumber, Port);
    if (!endpoint) {
      Platform().ShowNotice(UnusableOfferMessage(Nick, "CHAT", "chat", AddressNumber, Port, ""));
      return;
    }
    if (!Platform().AskYesNo(Nick + U8(u8" から DCC CHAT の接続要求が来ています") + "\r\n" + U8(u8"接続しますか？")))
      return;
    auto* form = new TDCCForm(Host, Connection);
    form->SetCaption(Nick);
    form->SocketRole = Role;
    form->OpenClient(endpoint->Host, endpoint->Port);
    Host.AddChildWindow(form);
    return;
  }

  auto* form = new TDCCForm(Host, Connection);
  form->SetCaption(Nick);
  form->SocketRole = Role;
  if (Role == "SERVER") {
    // A port of the table may be taken by another program; the next ones
    // are tried, each port of the table at most once.
    bool listening = false;
    std::uint16_t port = 0;
    for (int i = 0; i < TDccPortTable::Size && !listening; ++i) {
      port = Connection.Session().DccPorts().Next();
      listening = form->OpenServer(port);
    }
    if (!listening) {
      Platform().ShowMessage(U8(u8"DCC CHAT の待ち受けポートを開けませんでした。") + "\r\n" +
                             StdText(form->ServerSocket->errorString()));
    } else {
      const std::string address = Connection.LocalAddressNumber();
      if (address.empty()) {
        // Nobody could find the port without an offer.
        form->ServerSocket->close();
        Platform().ShowMessage(U8(u8"この機械の IPv4 アドレスが分からないため、DCC CHAT の要求を送れません。"));
      } else {
        Connection.SendLine(DccChatOfferLine(Nick, address, port));
      }
    }
  }
  Host.AddChildWindow(form);
}

}  // namespace tavi
