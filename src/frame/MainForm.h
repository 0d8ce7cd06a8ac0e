// The main window: the MDI frame with the tool buttons, the server log, the
// status bar and the menus. It shows the session's connection (its state in
// the controls, its lines in the windows a connection view makes) and runs
// the commands of its menus on that connection.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "core/TabCompletion.h"
#include "widgets/InputHistory.h"
#include "widgets/WindowHost.h"

class QAction;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QToolButton;
class QWidget;

namespace tavi {

class TAwayCmdForm;
class TChatForm;
class TConnection;
class TConnectionView;
class TDccWindowsDesk;
class TMdiChildForm;
class TSession;
class TTalkForm;
class TWindowList;

// Defined with the dialogs' base (dialogs/CommandDialog.h), which the header
// of every form class used with it includes.
template <class T, class... TArgs>
T* FindOrCreateOpenForm(QObject* Owner, TArgs&&... Args);

class TMainForm : public QMainWindow, public TWindowHost {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 2;
  // The guide's page, which help opens in the browser.
  static constexpr const char* HelpFile = "guide/index.html";
  // The server log keeps its last lines.
  static constexpr int LogLines = 2000;
  // The widest the away mark grows in the status bar.
  static constexpr int AwayMarkWidth = 240;

  // Reads the session's settings file (a message when it cannot), and
  // shows the session's connection.
  explicit TMainForm(TSession& Session, QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Controls, named as the program's own texts name them.
  QWidget* Panel1 = nullptr;
  QToolButton* ConnectSpeedButton = nullptr;
  QToolButton* DisConnectSpeedButton = nullptr;
  QToolButton* JOINSpeedButton = nullptr;
  QToolButton* TalkSpeedButton = nullptr;
  QPlainTextEdit* ServerMemo = nullptr;
  QLineEdit* ServerSendEdit = nullptr;  // commands typed for the server
  QStatusBar* StatusBar1 = nullptr;
  QLabel* AwayLabel = nullptr;  // in the status bar while marked away
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
  QAction* NetworkList1 = nullptr;
  QAction* GrobalSection = nullptr;
  QAction* RecieveDenyMenu = nullptr;
  QMenu* Window1 = nullptr;
  QAction* ArrangeIcons1 = nullptr;
  QAction* Cascade1 = nullptr;
  QAction* Tile1 = nullptr;
  QAction* NextWindow1 = nullptr;        // Ctrl+PageDown (Ctrl+Tab works too)
  QAction* PreviousWindow1 = nullptr;    // Ctrl+PageUp
  QAction* NextActiveWindow1 = nullptr;  // Alt+A: a highlight first, then unread lines
  QAction* ShowWindowList1 = nullptr;
  TWindowList* WindowList = nullptr;     // the tabs above the windows; Alt+1..9 pick one
  QMenu* Help1 = nullptr;
  QAction* About1 = nullptr;
  QAction* Help2 = nullptr;

  TSession& Session() { return session_; }
  // The connection the frame's commands act on: the active window's.
  TConnection& Connection();

  // --- windows ---
  // This window's one open form of class T, or a new one; a form that has
  // closed but is not freed yet does not count.
  template <class T, class... TArgs>
  T* FindOrCreateForm(TArgs&&... Args) {
    return FindOrCreateOpenForm<T>(this, std::forward<TArgs>(Args)...);
  }
  // The first MDI child whose caption equals Caption byte for byte.
  TMdiChildForm* FindChildWindow(const std::string& Caption) const;
  // The first channel window, in child order, whose caption is Channel.
  TChatForm* FindChannelWindow(const std::string& Channel) const;
  // MDI children in their order.
  std::vector<TMdiChildForm*> ChildWindows() const;
  // Puts Child into the MDI area with its entry in the window menu:
  // activated, or quietly, leaving the keyboard where it is.
  void AddChildWindow(TMdiChildForm* Child, bool Activate);
  // The window's place from the last run (a first start fits the screen);
  // from then on it is saved when the window closes.
  void RestorePlacement();
  void SavePlacement() const;

  // --- the server log and the status bar ---
  void AddServerMemoLine(const QString& Text);
  void SetStatusText(const std::string& Text);
  const std::string& StatusText() const { return statusText_; }
  // Shows or hides the away mark as the connection's own state says.
  void UpdateAwayMark();
  // "タヴィしませんか？ ..." when the server and port are set.
  void UpdateServerCaption();
  const std::string& Caption() const { return caption_; }
  // The controls as the connection's state allows.
  void UpdateControls();

  // Rebuilds the menu bar for the active MDI child's merged menus.
  void MergeChildMenus();

  // The commands of the menus; the channel and talk windows' menus call
  // the same through RunFrameCommand.
  void ServerConnectClick();   // connect, or the settings dialog first
  // The network list; on a first start with a word on how to begin.
  void NetworkListClick();
  // The program has started: networks marked so connect, and a first start
  // offers the network list.
  void StartNetworks();
  // Window titles name their network again (a network was renamed).
  void ShowNetworkNames();
  void JoinClick();            // join dialog
  void TalkMenuClick();        // member editor, TalkMember
  void IsonCmdClick();         // member editor, ISON
  void RecieveDenyMenuClick(); // member editor, RecieveDeny
  void UserModeMenuClick();
  void WhoIsCmdClick();
  void WhoWasCmdClick();
  void AwayCmdClick();
  void NickCmdClick();
  void ListCmdClick();
  void NamesCmdClick();
  // The one away / nick / topic dialog, made hidden when there is none.
  TAwayCmdForm* AwayDialog();

  // --- what the windows ask of the frame ---
  void RunFrameCommand(TFrameCommand Command, TConnection& Connection) override;
  void ShowJoinDialog(TConnection& Connection, const std::string& Channel) override;
  void ShowTopicDialog(TConnection& Connection, const std::string& Channel, const std::string& Topic) override;
  void OfferDccChat(TConnection& Connection, const std::string& Nick) override;
  void OfferDccFile(TConnection& Connection, const std::string& Nick) override;
  QWidget* FrameWindow() override { return this; }
  void AddChildWindow(TMdiChildForm* Child) override { AddChildWindow(Child, true); }

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  void ConnectMenus();
  void ShowHelpForActiveWindow();
  void ServerSendEditEnter();

  TSession& session_;
  std::unique_ptr<TDccWindowsDesk> dccDesk_;
  std::unique_ptr<TConnectionView> view_;
  // Further networks' views, each with its server window.
  std::vector<std::unique_ptr<TConnectionView>> furtherViews_;
  void FurtherNetworkAdded(TConnection* Connection);
  void FurtherNetworkRemoving(TConnection* Connection);
  // While several networks are open, each window says which is its own.
  void UpdateNetworkNotes(std::size_t Networks);
  QPointer<TAwayCmdForm> awayDialog_;
  std::string statusText_;
  std::string caption_;
  QAction* windowSeparator_ = nullptr;
  bool placementKept_ = false;
  std::vector<std::pair<int, QMenu*>> frameMenus_;
  bool closing_ = false;
  TInputHistory serverHistory_;
  TTabCompletion serverCompletion_;
};

// "hh:nn" + " " + Text, the form of every server log line.
std::string StampedLine(const std::string& Text);

}  // namespace tavi
