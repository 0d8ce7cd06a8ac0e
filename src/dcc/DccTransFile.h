// The DCC file transfer window with its progress bar, and the sending side's
// worker. One window serves one transfer in either direction; the byte work
// runs on TSendFileThread or TRecieveFileThread.
#pragma once

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/BlockingSocket.h"
#include "platform/GuiCall.h"

class QCloseEvent;
class QProgressBar;
class QPushButton;
class QTcpServer;
class QTimer;

namespace tavi {

class TMainForm;

class TDccTransFileForm;
class TRecieveFileThread;

// The worker of one accepted connection on the sending side: writes the
// file in blocks of 1024 bytes and waits for each block's acknowledgement.
class TSendFileThread {
 public:
  static constexpr std::size_t BlockSize = 1024;
  // How long to wait for the next acknowledgement (60 s; tests shorten it).
  static int AckWaitMs();
  static void SetAckWaitMs(int Ms);

  // Created suspended; takes over the accepted descriptor.
  TSendFileThread(TDccTransFileForm* Form, int Descriptor, std::string FileName, std::int32_t FileSize);
  // Stops and joins.
  ~TSendFileThread();
  TSendFileThread(const TSendFileThread&) = delete;
  TSendFileThread& operator=(const TSendFileThread&) = delete;

  void Start();
  // As TRecieveFileThread: ends without waiting, safe while the worker
  // waits for the GUI thread.
  void Terminate();
  void Join();
  bool Finished() const { return finished_.load(); }

  // Bytes written to the connection so far.
  std::atomic<std::int32_t> SentTotal{0};

 private:
  enum class TAck { Got, Timeout, Closed, Interrupted };
  void Execute();
  TAck ReadAck(std::uint32_t& Ack);

  TDccTransFileForm* const form_;
  TBlockingSocket socket_;
  const std::string fileName_;
  const std::int32_t fileSize_;
  TGuiCallGate gate_;
  std::string ackBytes_;  // acknowledgement bytes read but not yet taken
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

class TDccTransFileForm : public QWidget {
  Q_OBJECT
 public:
  static constexpr int ClientWidth = 228;
  static constexpr int ClientHeight = 122;
  static constexpr int CloseDelayMs = 10000;
  // The GUI thread waits in the blocking connect; an offerer that cannot
  // be reached must not freeze the program for long.
  static constexpr int ConnectTimeoutMs = 10000;
  // Workers hand the progress over at most this often (and at the end).
  static constexpr int ProgressIntervalMs = 50;
  // The most room taken for a received file before its bytes arrive.
  static constexpr std::int32_t MaxReservedBytes = 1 << 30;

  // A dialog-style window of its own, owned by Owner (the main window).
  explicit TDccTransFileForm(QWidget* Owner);
  ~TDccTransFileForm() override;

  QProgressBar* ProgressBar = nullptr;
  QPushButton* CloseButton = nullptr;
  // Sending: listens; each accepted descriptor goes to ServerSocketGetThread.
  QTcpServer* ServerSocket = nullptr;
  // Receiving: connected in blocking mode on the GUI thread.
  std::unique_ptr<TBlockingSocket> ClientSocket;
  QTimer* Timer1 = nullptr;

  std::int32_t FileSize = 0;
  // Sending: the chosen file's path (file-system encoding); receiving: the
  // offered name (Shift-JIS).
  std::string FileName;
  std::string PeerNick;
  // Receiving: the bytes so far, from the connection to the end.
  std::unique_ptr<std::string> RecvStream;

  void SetCaption(const std::string& Text);
  const std::string& Caption() const { return caption_; }
  // Calls the workers hand off; GUI thread only.
  void SetProgress(std::int64_t Position);
  void AppendRecvStream(const std::string& Bytes);

  void CloseSockets();
  // Listens on every local IPv4 address at Port, or at the next free port
  // of the table, which Port then names; false with the error shown.
  bool OpenServer(std::uint16_t& Port);
  // Connects ClientSocket; false with the error shown.
  bool OpenClient(const std::string& Host, std::uint16_t Port);

  void ClientSocketConnect();
  void ServerSocketGetThread(int Descriptor);
  void RecieveThreadTerminate();
  void SendThreadTerminate();
  void Timer1Timer();
  void CloseButtonClick();
  bool FormCloseQuery();
  void FormClose();

  // This window's running workers, or nullptr.
  TSendFileThread* SendThread() const { return sendThread_.get(); }
  TRecieveFileThread* RecieveThread() const { return recvThread_.get(); }
  // Closed and waiting to be freed.
  bool Closed() const { return closed_; }

  // A new window of Owner, shown as "転送の準備中" and made the current one.
  static TDccTransFileForm* OpenFor(QWidget* Owner);
  // The transfer window Owner holds that is not closed, or nullptr.
  static TDccTransFileForm* OwnedBy(const QObject* Owner);

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void ForgetThreads();

  std::unique_ptr<TSendFileThread> sendThread_;
  std::unique_ptr<TRecieveFileThread> recvThread_;
  bool peerTaken_ = false;  // one connection per offer
  bool closed_ = false;
  std::string caption_;
};

// The transfer window created last, or none once it is gone.
extern TDccTransFileForm*& DccTransFileForm;
// The running send thread, or none.
extern TSendFileThread*& SendFileThread;

// The filter of the file choices, and the one-transfer refusal.
std::string TransferFileFilter();
std::string OneTransferMessage();

// Offers a file chosen by the user to Nick.
void SendDccFile(TMainForm& Main, const std::string& Nick);
// Asks whether to take the offered file and receives it.
void ReceiveDccFile(TMainForm& Main, const std::string& Nick, const std::string& FileName,
                    const std::string& AddressNumber, const std::string& Port, const std::string& Size,
                    const std::string& Role);

}  // namespace tavi
