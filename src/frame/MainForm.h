// The main window: the MDI frame with the tool buttons, the server log, the
// status bar and the menus; owner of the server connection, of the session's
// commands and of the handlers that the received lines go to.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ChatClientUnit.h"
#include "core/ConnectionOptions.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPlainTextEdit;
class QTimer;
class QStatusBar;
class QTextEdit;
class QToolButton;
class QWidget;

namespace tavi {

class TBackgroundConnect;
class TBlockingSocket;
class TChatForm;
class TChatLog;
struct TTlsCheck;
class TMdiChildForm;
class TServerLineHandlers;
class TTalkForm;

// Defined with the dialogs' base (dialogs/CommandDialog.h), which the header
// of every form class used with it includes.
template <class T>
T* FindOrCreateOpenForm(QObject* Owner);

class TMainForm : public QMainWindow, public TChatClientEvents {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 2;
  static constexpr const char* HelpFile = "TAVI.HLP";

  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Controls, named as the program's own texts name them.
  QWidget* Panel1 = nullptr;
  QToolButton* ConnectSpeedButton = nullptr;
  QToolButton* DisConnectSpeedButton = nullptr;
  QToolButton* JOINSpeedButton = nullptr;
  QToolButton* TalkSpeedButton = nullptr;
  QPlainTextEdit* ServerMemo = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QMdiArea* MdiArea = nullptr;

  QMenu* File1 = nullptr;
  QAction* ServerConnect = nullptr;
  QAction* ServerDisConnect = nullptr;
  QAction* Join = nullptr;
  QAction* TalkMenu = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Command1 = nullptr;
  QAction* VersionCmd = nullptr;
  QAction* AdminCmd = nullptr;
  QAction* WhoIsCmd = nullptr;
  QAction* WhoWasCmd = nullptr;
  QAction* AwayCmd = nullptr;
  QAction* IsonCmd = nullptr;
  QAction* NamesCmd = nullptr;
  QAction* ListCmd = nullptr;
  QAction* NickCmd = nullptr;
  QMenu* Mode1 = nullptr;
  QAction* UserModeMenu = nullptr;
  QMenu* N4 = nullptr;
  QAction* GrobalSection = nullptr;
  QAction* RecieveDenyMenu = nullptr;
  QMenu* Window1 = nullptr;
  QAction* ArrangeIcons1 = nullptr;
  QAction* Cascade1 = nullptr;
  QAction* Tile1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* About1 = nullptr;
  QAction* Help2 = nullptr;

  // --- the server connection ---
  // Sends one whole protocol line (with its CR LF); converted to JIS when
  // the user chose JIS.
  void SendLine(const std::string& Line);
  void SendRegistration();
  // Starts connecting off the GUI thread and returns at once; a connect in
  // progress, or an open connection, is dropped first.
  void ConnectCommand();
  // Cancels a connect in progress, or sends QUIT and ends the connection.
  void DisconnectCommand();
  bool Connecting() const { return connecting_ != nullptr; }
  // Holds an open connection.
  bool SocketActive() const;
  // The port the socket is set to; a different port is refused while open.
  int SocketPort() const { return socketPort_; }
  bool SetSocketPort(int Port);
  TChatClient* ChatClient() const { return chatClient_.get(); }
  // Tests take the sent lines here instead of the socket.
  void SetLineSink(std::function<void(const std::string&)> Sink);
  // Bounds of the connections made from now on; tests lower them.
  void SetConnectionLimits(const TChatClientLimits& Limits) { connectionLimits_ = Limits; }

  // --- TLS, reconnecting and logs ---
  // The choices kept in the desktop settings, read at start and whenever
  // the settings dialog stores them.
  const TConnectionOptions& ConnectionOptions() const { return options_; }
  // The settings dialog stored new settings: a reconnect waiting for its
  // turn is given up, and the log choice takes effect.
  void ConnectionSettingsChanged();
  // Waits between tries after a dropped connection: FirstDelayMs, doubled
  // each time, at most MaxDelayMs. Tests lower them.
  struct TReconnectLimits {
    int FirstDelayMs = 5000;
    int MaxDelayMs = 300000;
    // The waits start again from the first only once a connection has
    // lasted this long: a server that drops us after each registration
    // is tried less and less often.
    int StableMs = 60000;
  };
  void SetReconnectLimits(const TReconnectLimits& Limits) { reconnectLimits_ = Limits; }
  // The wait before try number Attempt (0 first) after a drop.
  static int ReconnectDelayMs(int Attempt, const TReconnectLimits& Limits);
  // A dropped connection is being made again (waiting or connecting).
  bool Reconnecting() const { return reconnecting_; }
  // Tries scheduled since the drop, and the wait before the latest.
  int ReconnectAttempts() const { return reconnectAttempt_; }
  int ReconnectWaitMs() const { return reconnectWaitMs_; }
  // The chat log while logs are kept.
  TChatLog* ChatLog() const { return chatLog_.get(); }

  // --- windows ---
  // This window's one open form of class T, or a new one; a form that has
  // closed but is not freed yet does not count.
  template <class T>
  T* FindOrCreateForm() {
    return FindOrCreateOpenForm<T>(this);
  }
  // The first MDI child whose caption equals Caption byte for byte.
  TMdiChildForm* FindChildWindow(const std::string& Caption) const;
  // The first channel window, in child order, whose caption is Channel.
  TChatForm* FindChannelWindow(const std::string& Channel) const;
  // MDI children in their order.
  std::vector<TMdiChildForm*> ChildWindows() const;
  // How a new child window comes up: activated (the user opened it), or
  // quietly, leaving the keyboard where it is (a server line opened it).
  enum class TOpening { Activate, Quietly };
  // Puts Child into the MDI area with its entry in the window menu.
  void AddChildWindow(TMdiChildForm* Child, TOpening Opening = TOpening::Activate);
  // A new channel window (Joined false) or talk window with its caption.
  TChatForm* OpenChannelWindow(const std::string& Channel, TOpening Opening = TOpening::Activate);
  TTalkForm* OpenTalkWindow(const std::string& Members, TOpening Opening = TOpening::Activate);
  // Channels (comma-separated) the user asked to join: their windows take
  // the keyboard when the server's JOIN opens them. Take is true once.
  void NoteJoinRequest(const std::string& Channels);
  bool TakeJoinRequest(const std::string& Channel);
  // The window's place from the last run (a first start fits the screen);
  // from then on it is saved when the window closes.
  void RestorePlacement();
  void SavePlacement() const;
  // Trims a log pane to its last 256 lines.
  static void KeepLastLines(QTextEdit* Control);
  static void KeepLastLines(QPlainTextEdit* Control);
  static constexpr int KeptLines = 256;
  // The server log and DCC chat panes keep their last LogLines lines.
  static constexpr int LogLines = 2000;

  // --- the server log and the status bar ---
  void AddServerMemoLine(const std::string& Text);
  void SetStatusText(const std::string& Text);
  const std::string& StatusText() const { return statusText_; }
  // "タヴィしませんか？ ..." when the server and port are set.
  void UpdateServerCaption();
  const std::string& Caption() const { return caption_; }

  // Rebuilds the menu bar for the active MDI child's merged menus.
  void MergeChildMenus();

  // Commands that open the conversation dialogs; the channel and talk
  // windows' menus call the same.
  void JoinClick();            // join dialog
  void TalkMenuClick();        // member editor, TalkMember
  void IsonCmdClick();         // member editor, ISON
  void RecieveDenyMenuClick(); // member editor, RecieveDeny
  void UserModeMenuClick();
  void WhoIsCmdClick();
  void WhoWasCmdClick();
  void AwayCmdClick();
  void NickCmdClick();

  // --- addresses for DCC offers ---
  // This host's IPv4 address for offers, as an address number; empty when
  // none is known.
  std::string LocalAddressNumber() const;
  // The local address of the server connection, "a.b.c.d"; empty when not
  // connected.
  std::string ConnectionLocalAddress() const;

  // The handlers of the server lines this window receives.
  TServerLineHandlers& Handlers() { return *handlers_; }
  // Enables the commands that need a registered session.
  void EnableSessionControls();

  // --- receive thread events (GUI thread) ---
  void ReceivedLine(const std::string& Line) override;
  void ReceivedLinesBegin() override;
  void ReceivedLinesEnd(bool MoreFollow) override;
  bool SliceFull() const override;
  // New windows in one slice of received lines; each costs a layout and a
  // paint after the slice.
  static constexpr int WindowsPerSlice = 4;
  void EndOfStream() override;
  void ReceiveFailed() override;
  void SendFailed(TSendFailure Why, int Code) override;
  void ServerSilent() override;
  void ConnectionClosed() override;

  // Where the settings were read from and where they will be written.
  const std::string& SettingsLoadPath() const { return settingsLoadPath_; }
  const std::string& SettingsSavePath() const { return settingsSavePath_; }

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  void LoadSettingsFile();
  void SaveSettingsFile();
  void FormClose();
  void ConnectedEvent();
  // On the GUI thread when a connect attempt ends; stale attempts do nothing.
  void ConnectFinished(unsigned Generation, bool Ok, int Code, const std::string& Reason,
                       const std::shared_ptr<TTlsCheck>& Tls);
  // Starts a connect off the GUI thread; Automatic for a reconnect, which
  // keeps the windows and asks no questions about settings.
  void StartConnect(bool Automatic);
  // The user's verdict on a certificate the system does not trust; true to
  // go on.
  bool AcceptCertificate(const TTlsCheck& Check, int Port);
  // A TLS handshake failed: said in the status bar and a box (none while
  // reconnecting).
  void TlsFailed(const TTlsCheck& Check);
  // Would a drop now be followed by reconnecting?
  bool WillReconnect() const;
  // Keeps the conversation windows through a drop and waits for the next try.
  void ConnectionLostForReconnect(const std::string& Why);
  void ScheduleReconnect(const std::string& Why);
  void StopReconnecting();
  void Reconnect();
  // Once registered again: JOIN for every channel window still open.
  void RejoinChannels();
  void ApplyLogChoice();
  // Forgets a connect in progress; it can no longer reach this window.
  void CancelConnect();
  void DisconnectedHandling();
  std::string SocketErrorText(int Code) const;
  void SocketErrorEvent(int Code);
  // Closes the connection without QUIT and resets the window.
  void Deactivate();
  void ShowHelpForActiveWindow();

  std::unique_ptr<TServerLineHandlers> handlers_;
  std::shared_ptr<TBlockingSocket> socket_;
  std::unique_ptr<TChatClient> chatClient_;
  std::shared_ptr<TBackgroundConnect> connecting_;
  unsigned connectGeneration_ = 0;
  std::string connectPortText_;
  int socketPort_ = 0;
  std::string remoteHost_;
  std::string statusText_;
  std::string caption_;
  std::string settingsLoadPath_;
  std::string settingsSavePath_;
  QAction* windowSeparator_ = nullptr;
  int windowsOpenedInSlice_ = 0;
  std::set<std::string> requestedJoins_;
  bool placementKept_ = false;
  std::vector<std::pair<int, QMenu*>> frameMenus_;
  std::function<void(const std::string&)> lineSink_;
  TChatClientLimits connectionLimits_;
  // Why the connection was dropped, shown once it is closed.
  std::string dropReason_;
  // Why the connection ended, for the server log when reconnecting.
  std::string lostReason_;
  TConnectionOptions options_;
  TReconnectLimits reconnectLimits_;
  QTimer* reconnectTimer_ = nullptr;
  QTimer* stableTimer_ = nullptr;
  bool reconnecting_ = false;
  // The channel windows to join again once a reconnect has registered.
  std::vector<QPointer<TChatForm>> rejoin_;
  int reconnectAttempt_ = 0;
  int reconnectWaitMs_ = 0;
  // The session reached the end of its registration since the user's connect.
  bool registered_ = false;
  // The user asked for the end of the connection.
  bool userDisconnect_ = false;
  // Certificates accepted for this run only, by "host:port".
  std::vector<std::pair<std::string, std::string>> acceptedOnce_;
  std::unique_ptr<TChatLog> chatLog_;
  bool closing_ = false;
  bool saveAllowed_ = true;
};

// The one main window of the program (the session object's field).
extern TMainForm*& MainForm;

// "hh:nn" + " " + Text, the form of every server log line.
std::string StampedLine(const std::string& Text);

}  // namespace tavi
