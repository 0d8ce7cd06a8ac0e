// The DCC file transfer window with its progress bar. One window serves one
// transfer in either direction; the byte work runs on TSendFileThread or
// TRecieveFileThread.
#pragma once

#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>

#include "platform/BackgroundConnect.h"
#include "platform/BlockingSocket.h"
#include "platform/GuiCall.h"
#include "dcc/TransferText.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QTcpServer;
class QTimer;

namespace tavi {

class TConnection;

class TDccTransFileForm;
class TRecieveFileThread;
class TSendFileThread;

class TDccTransFileForm : public QWidget {
  Q_OBJECT
 public:
  // Room for the file's name, the peer, and a failure's reason.
  static constexpr int ClientWidth = 340;
  static constexpr int ClientHeight = 200;
  static constexpr int CloseDelayMs = 10000;
  // The GUI thread waits in the blocking connect; an offerer that cannot
  // be reached must not freeze the program for long.
  static constexpr int ConnectTimeoutMs = 10000;
  // Workers hand the progress over at most this often (and at the end).
  static constexpr int ProgressIntervalMs = 250;

  // A dialog-style window of its own, owned by Owner (the main window);
  // the transfer's lines go through Connection.
  TDccTransFileForm(QWidget* Owner, TConnection& Connection);
  ~TDccTransFileForm() override;

  // What and with whom; the caption's text in full (a caption is cut off)
  // with the reason of a failure; how much has reached the receiver; and
  // while bytes flow, the speed and the time left.
  QLabel* SubjectLabel = nullptr;
  QLabel* PeerLabel = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QLabel* StatusLabel = nullptr;
  QLabel* AmountLabel = nullptr;
  QLabel* RateLabel = nullptr;
  QPushButton* CloseButton = nullptr;
  // Sending: listens; each accepted descriptor goes to ServerSocketGetThread.
  QTcpServer* ServerSocket = nullptr;
  // Receiving: connected in blocking mode on the GUI thread.
  std::shared_ptr<TBlockingSocket> ClientSocket;
  QTimer* Timer1 = nullptr;
  // Receiving: how long a RESUME waits for the peer's ACCEPT. Many clients
  // never answer one; the window must not wait for ever.
  static constexpr int AcceptWaitMs = 60000;
  QTimer* AcceptTimer = nullptr;

  TTransferDirection Direction = TTransferDirection::Receive;
  std::int64_t FileSize = 0;
  // Sending: the chosen file's path (file-system encoding); receiving: the
  // offered name (as text).
  std::string FileName;
  // The other side's nick, either way.
  std::string PeerNick;
  // Receiving: where the file goes (file-system encoding), and its bytes
  // until the whole file has arrived.
  std::string SavePath;
  std::string PartPath() const { return SavePath + ".part"; }
  // Where the part file is and how large: the last line of a message
  // about a receive that ended early.
  std::string KeptPart() const;
  // The offered port and the file position to start from: sending, what a
  // RESUME asked for; receiving, what we asked for until it is accepted.
  std::string OfferPort;
  std::int64_t StartAt = 0;
  // Receiving: the offerer's address, connected to once it accepts.
  std::string OffererHost;
  std::uint16_t OffererPort = 0;
  bool AwaitingAccept = false;

  void SetCaption(const std::string& Text);
  const std::string& Caption() const { return caption_; }
  // Why the transfer failed, shown under the caption.
  void SetReason(const std::string& Text);
  // Where the transfer stands: what the window shows.
  TTransferState State() const;
  // The progress bar's range: 0 to Size, scaled down past what it holds.
  void SetFileSize(std::int64_t Size);
  // Calls the workers hand off; GUI thread only.
  void SetProgress(std::int64_t Position);

  void CloseSockets();
  // Listens on every local IPv4 address at Port, or at the next free port
  // of the table, which Port then names; false with the error shown.
  bool OpenServer(std::uint16_t& Port);
  // Connects ClientSocket to the offerer off the GUI thread (it may take
  // seconds); ClientSocketConnect follows, or the error is shown. Closing
  // the window forgets the attempt.
  void OpenClient(const std::string& Host, std::uint16_t Port);
  bool Connecting() const { return connecting_ != nullptr; }

  // Opens the part file and starts receiving into it from StartAt.
  void ClientSocketConnect();
  void ServerSocketGetThread(int Descriptor);
  void RecieveThreadTerminate();
  void SendThreadTerminate();
  void Timer1Timer();
  void AcceptTimerTimer();
  void CloseButtonClick();
  bool FormCloseQuery();
  void FormClose();

  // This window's running workers, or nullptr.
  TSendFileThread* SendThread() const { return sendThread_.get(); }
  TRecieveFileThread* RecieveThread() const { return recvThread_.get(); }
  // Closed and waiting to be freed.
  bool Closed() const { return closed_; }
  // The connection the transfer was offered through; its answers come there.
  TConnection& Connection() const { return connection_; }

  // A new window of Owner, shown as "転送の準備中" and made the current one.
  static TDccTransFileForm* OpenFor(QWidget* Owner, TConnection& Connection);
  // The transfer window Owner holds that is not closed, or nullptr.
  static TDccTransFileForm* OwnedBy(const QObject* Owner);

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  std::shared_ptr<TBackgroundConnect> connecting_;
  void CancelConnect();
  void ConnectFinished(bool Ok, const std::string& Error, const std::string& Host, std::uint16_t Port);
  void ForgetThreads();
  void ShowStatus();
  // The transfer's end, in the server log of its connection.
  void LogEnd(TTransferEnd End, const std::string& Where = {});
  // The part file, open for writing at StartAt; -1 with errno set.
  int OpenPartFile() const;

  TConnection& connection_;
  std::unique_ptr<TSendFileThread> sendThread_;
  std::unique_ptr<TRecieveFileThread> recvThread_;
  bool peerTaken_ = false;  // one connection per offer
  bool closed_ = false;
  std::string caption_;
  std::string reason_;
  std::int64_t done_ = 0;
  int progressShift_ = 0;
  // Recent progress, for the speed; empty before the first.
  std::deque<std::pair<std::chrono::steady_clock::time_point, std::int64_t>> samples_;
};

// The filter of the file choices, and the one-transfer refusal.
std::string TransferFileFilter();
std::string OneTransferMessage();

// Offers a file chosen by the user to Nick through Connection; the transfer
// window is Owner's (the main window's), which holds one at a time.
void SendDccFile(QWidget* Owner, TConnection& Connection, const std::string& Nick);
// Asks whether to take the offered file and where to save it, offers to
// resume a part received before, and receives it.
void ReceiveDccFile(QWidget* Owner, TConnection& Connection, const std::string& Nick, const std::string& FileName,
                    const std::string& AddressNumber, const std::string& Port, const std::string& Size,
                    const std::string& Role);
// Nick's RESUME of our waiting offer at Port: answered with ACCEPT when
// the position lies within the file. False when no offer of ours fits.
bool ResumeDccSend(QWidget* Owner, TConnection& Connection, const std::string& Nick, const std::string& FileName,
                   const std::string& Port, const std::string& Position);
// Nick's ACCEPT of our RESUME: the connect is queued. False when nothing
// of ours waits for it.
bool AcceptDccResume(QWidget* Owner, TConnection& Connection, const std::string& Nick, const std::string& Port,
                     const std::string& Position);

}  // namespace tavi
