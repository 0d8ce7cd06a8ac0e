// The DCC chat window (TDCCForm; the file transfer window is DccTransFile.h).
// The window of one DCC chat: a log, an input line and the two event-driven
// sockets, of which the role uses one. Its caption is the peer's nick.
#pragma once

#include <QAbstractSocket>
#include <QPointer>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/Model.h"
#include "widgets/MdiChildForm.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QToolButton;
class QWidget;

namespace tavi {

class TConnection;
class TFindBar;

class TDCCForm : public TMdiChildForm {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 61;
  // Key: a Qt key code, or the virtual key code 13; Return and Enter send.
  static constexpr int EnterKey = 13;
  // A peer is read as the server is: at most ReadSliceBytes a turn of the
  // event loop, and no more than ReadBufferBytes held unread, so that a
  // peer that floods never freezes the window nor fills memory.
  static constexpr qint64 ReadSliceBytes = 16 * 1024;
  static constexpr qint64 ReadBufferBytes = 64 * 1024;
  // The lines the pane keeps.
  static constexpr int LogLines = 2000;

  // Builds the window at the size the last DCC chat window had (at first
  // 430 x 260) and runs FormCreate; the chat's lines and nick are those of
  // Connection's.
  TDCCForm(TWindowHost& Host, TConnection& Connection, QWidget* Parent = nullptr);
  ~TDCCForm() override;

  QWidget* Panel1 = nullptr;
  QToolButton* CloseFormSpeedButton = nullptr;
  QPlainTextEdit* RecvMemo = nullptr;
  TFindBar* FindBar = nullptr;  // Ctrl+F in RecvMemo
  QWidget* Panel2 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* SendEdit = nullptr;

  QMenu* File1 = nullptr;
  QAction* Join = nullptr;
  QAction* TalkMenu = nullptr;
  QAction* Close1 = nullptr;
  QAction* Exit1 = nullptr;

  // Children of the window; ServerConnections are the accepted peers that
  // are still connected, oldest first.
  QTcpSocket* ClientSocket = nullptr;
  QTcpServer* ServerSocket = nullptr;
  std::vector<QTcpSocket*> ServerConnections;

  // "CLIENT" or "SERVER": which socket sends.
  std::string SocketRole;

  // Opening the sockets. OpenClient connects in the background; OpenServer
  // listens on every local IPv4 address and is false when it cannot.
  void OpenClient(const std::string& Host, std::uint16_t Port);
  bool OpenServer(std::uint16_t Port);
  // Closes every socket and cuts it off from this window.
  void CloseSockets();

  // RecvMemo: one entry per event; an entry may span several lines.
  void AddRecvLine(const std::string& Text);
  std::vector<std::string> RecvLines() const;
  // What followed the last CR LF of this chat's input read so far.
  std::string& CarryOver() { return carry_; }
  // Bytes taken from the peer so far.
  qint64 BytesRead() const { return bytesRead_; }

  void FormCreate();
  void FormClose();
  void SendEditKeyDown(int Key);
  // Sends Text in As, else in the encoding the peer writes in (else the
  // network's), on the role's connection. Without one
  // nothing is sent, a notice line is shown and the result is false.
  bool SendChatText(const std::string& Text, TWireEncoding As = TWireEncoding::Ascii);

  void ClientSocketConnect();
  void ClientSocketRead();
  void ClientSocketError(QAbstractSocket::SocketError Error);
  void ClientSocketDisconnect();
  void ServerSocketAccept();
  void ServerSocketClientRead(QTcpSocket* Socket);
  void ServerSocketClientError(QTcpSocket* Socket, QAbstractSocket::SocketError Error);
  void ServerSocketClientDisconnect(QTcpSocket* Socket);

  void JoinClick();
  void TalkMenuClick();
  void Close1Click();
  void Exit1Click();

  std::vector<std::pair<int, QMenu*>> MergedMenus() override;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The decoded, trimmed text of one read.
  std::string DecodeRead(const QByteArray& Data);
  void WireConnection(QTcpSocket* Socket);
  QTcpSocket* SendingConnection() const;
  // Shows one slice of what Socket holds; the rest waits for the next turn.
  void ReadSlice(QTcpSocket* Socket);
  // Shows all that Socket still holds (a bounded amount): it is closing.
  void ReadRest(QTcpSocket* Socket);

  TConnection& connection_;
  std::string carry_;
  // The chat is written to in the encoding the peer writes in.
  TWriting writing_;
  qint64 bytesRead_ = 0;
  // Sockets with more to read at the next turn of the event loop.
  std::vector<QPointer<QTcpSocket>> moreToRead_;
  QTimer* readTimer_ = nullptr;
};

// A chat window for Nick in the frame of Host: Role "CLIENT" connects to
// the offered address number and port, "SERVER" listens and sends the offer
// through Connection.
void OpenDccChat(TWindowHost& Host, TConnection& Connection, const std::string& Nick,
                 const std::string& AddressNumber, const std::string& Port, const std::string& Role);

}  // namespace tavi
