// The channel window (TChatForm; the file keeps the window's name "Chat", and
// the join dialog is in Channel.h): a view of one channel of a connection.
// Its traffic, its members (a view of the channel's member list), the line
// the user types, and the commands on the channel and its members.
#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "core/Connection.h"
#include "core/TabCompletion.h"
#include "widgets/InputHistory.h"
#include "widgets/MdiChildForm.h"

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QTextEdit;
class QToolButton;
class QWidget;

namespace tavi {

class TFindBar;
class TMemberEditorForm;
class TMemberPaneModel;
class TRichLog;

class TChatForm : public TMdiChildForm {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 35;

  // FormCreate: the size the last channel window had, at first 430 x 260.
  // Channel must outlive the window or be let go of first (Detach).
  TChatForm(TWindowHost& Host, TConnection& Connection, TChannel& Channel, QWidget* Parent = nullptr);
  ~TChatForm() override;

  // Controls.
  QWidget* Panel1 = nullptr;
  QToolButton* PARTSpeedButton = nullptr;
  QToolButton* CloseFormSpeedButton = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* SendEdit = nullptr;
  QTextEdit* RecvRichEdit = nullptr;
  TFindBar* FindBar = nullptr;  // Ctrl+F in RecvRichEdit
  QListView* NickNameRichEdit = nullptr;  // one member per line, each in its colour
  QLabel* MemberCountLabel = nullptr;     // "12 人（オペレーター 3 人）" above the list

  // The window's menus. They are built when first asked for: the channels a
  // server opens may stay unseen, and hundreds of them would otherwise
  // carry thousands of idle actions.
  struct TMenus {
    // The member pop-up menu.
    QMenu* PopupMenu = nullptr;
    QAction* Whois = nullptr;
    QMenu* CTCP1 = nullptr;
    QAction* PING1 = nullptr;
    QAction* VERSION1 = nullptr;
    QAction* TIME1 = nullptr;
    QAction* FINGER1 = nullptr;
    QAction* USERINFO1 = nullptr;
    QAction* CLIENTINFO1 = nullptr;
    QMenu* DCC1 = nullptr;
    QAction* CHAT1 = nullptr;
    QAction* SEND1 = nullptr;
    QMenu* ChannelOperator1 = nullptr;
    QAction* OPGive = nullptr;
    QAction* OPTake = nullptr;

    // The window's own menus, merged into the frame's menu bar.
    QMenu* File1 = nullptr;
    QAction* Join = nullptr;
    QAction* TalkMenu = nullptr;
    QAction* Part = nullptr;
    QAction* Close1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Command1 = nullptr;
    QAction* Version2 = nullptr;
    QAction* Admin1 = nullptr;
    QAction* Whois1 = nullptr;
    QAction* Whowas1 = nullptr;
    QAction* Away1 = nullptr;
    QAction* Ison1 = nullptr;
    QAction* Names1 = nullptr;
    QAction* List1 = nullptr;
    QAction* Nick1 = nullptr;
    QAction* Topic1 = nullptr;
    QAction* Invite1 = nullptr;
    QAction* Kick1 = nullptr;
    QAction* BanMask1 = nullptr;
    QMenu* Mode1 = nullptr;
    QMenu* WritingMenu = nullptr;
    QAction* UserModeMenu = nullptr;
    QAction* ChannelModeMenu = nullptr;
  };
  TMenus& Menus();

  // The channel shown; nullptr once the connection has forgotten it.
  TChannel* Channel() const { return channel_; }
  void Detach();

  // A line of the channel, in its kind's colour; the pane keeps its last
  // lines.
  // A line meant for the user (Highlight) stands out in its own colour.
  void ShowLine(TLineKind Kind, const QString& Text, bool Highlight = false);
  void ShowUnreadMarker() override;
  // The event pane's lines (UTF-8) and colours, for tests.
  std::vector<std::string> RecvLines() const;
  QColor RecvLineColor(int Index) const;

  // The member pane's entries (UTF-8) as shown, and their colours.
  int NickCount() const;
  std::string NickAt(int Index) const;
  QColor NickColorAt(int Index) const;
  // The row of an entry as listed ("@" + nick for an operator's), found
  // without regard to case; -1 when none.
  int FindNick(const std::string& Entry) const;
  // The member pane's selected entry, as the pop-up commands read it.
  std::string SelectedNick() const;
  // The selected entry as a member: its nick without rank symbols.
  TMember SelectedMember() const;

  // Shows this window's ban mask editor filled with the channel's list, if
  // it waits for one.
  void ShowBanMaskEditor();

  // Event handlers.
  void SendEditKeyDown(int Key);
  void NickNameRichEditMouseDown(const QPoint& Position);
  void PartClick();
  void Close1Click();
  void WhoisClick();
  void CtcpClick(const char* Query);  // PING1 ... CLIENTINFO1
  void OPGiveClick();
  void OPTakeClick();
  void CHAT1Click();
  void SEND1Click();
  void Topic1Click();
  void BanMask1Click();
  void ChannelModeMenuClick();
  void Invite1Click();
  void Kick1Click();

  std::vector<std::pair<int, QMenu*>> MergedMenus() override;
  bool CloseQuery() override;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void SendToServer(const std::string& Line);
  // Command, the channel, then Rest (text) as one line.
  void SendChannelCommand(const std::string& Command, const std::string& Rest);
  // The operator commands are offered while the user is an operator here.
  void UpdateOperatorMenu();

  TConnection& connection_;
  TChannel* channel_;
  TMemberPaneModel* members_ = nullptr;
  TRichLog* recvLog_ = nullptr;  // appends to RecvRichEdit, owned by it
  bool followEnd_ = true;        // the pane stays at its newest line as it grows
  bool countPending_ = false;    // one count update per burst of member changes
  void UpdateMemberCount();
  QPointer<TMemberEditorForm> banMaskEditor_;
  // What was sent from the input line, for Up and Down.
  TInputHistory history_;
  TTabCompletion completion_;
  std::unique_ptr<TMenus> menus_;
  void BuildMenus(TMenus& M);
};

}  // namespace tavi
