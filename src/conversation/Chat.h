// The channel window (TChatForm; the file keeps the window's name "Chat", and
// the join dialog is in Channel.h). The window of one IRC channel: its traffic,
// its members, the line the user types, and the channel's state that the server
// handlers keep up to date.
#pragma once

#include <QColor>
#include <QPointer>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "widgets/MdiChildForm.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QTextEdit;
class QToolButton;
class QWidget;

class QListWidgetItem;

namespace tavi {

class TRichLog;

class TMemberEditorForm;

class TChatForm : public TMdiChildForm {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 35;

  // FormCreate: the date line, the size 430 x 260.
  explicit TChatForm(QWidget* Parent = nullptr);
  ~TChatForm() override;

  // Controls.
  QWidget* Panel1 = nullptr;
  QToolButton* PARTSpeedButton = nullptr;
  QToolButton* CloseFormSpeedButton = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* SendEdit = nullptr;
  QTextEdit* RecvRichEdit = nullptr;
  QListWidget* NickNameRichEdit = nullptr;  // one entry per line, each in its colour

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
  QAction* UserModeMenu = nullptr;
  QAction* ChannelModeMenu = nullptr;

  // State, all zero, empty or false at first.
  std::uint32_t PingSentTime = 0;
  std::uint32_t PingReplyTime = 0;
  // The token of the last CTCP PING sent from this window, until its reply.
  std::string PingToken;
  // A names reply is arriving: its 353 lines add to the member pane until
  // its 366.
  bool NamesReplyOpen = false;
  std::vector<std::string> BanMaskList;
  std::string BanMaskArgs;
  std::string BanMaskModes;
  bool Joined = false;
  std::string Topic;
  bool PrivateMode = false;
  bool SecretMode = false;
  bool InviteMode = false;
  bool TopicMode = false;
  bool MessageMode = false;
  bool ModeratedMode = false;
  bool LimitMode = false;
  std::int32_t LimitNumber = 0;
  bool KeyWordMode = false;
  std::string KeyWord;
  bool SpeechMode = false;
  bool BanMaskPending = false;

  // Appends a line to the event pane, in black or in the given colour.
  void AddRecvLine(const std::string& Text);
  void AddRecvColorLine(const std::string& Text, const QColor& Color);
  // Appends an entry to the member pane. A member is listed once: an entry
  // for a nick already listed (in any case, with or without "@") replaces
  // that one instead.
  void AddNickLine(const std::string& Nick);
  void AddNickColorLine(const std::string& Nick, const QColor& Color);

  // The member pane's entries (Shift-JIS), found without regard to case;
  // "@" + nick finds the entry only as an operator's, nick only as not.
  int NickCount() const;
  std::string NickAt(int Index) const;
  QColor NickColorAt(int Index) const;
  int FindNick(const std::string& Nick) const;  // -1 when none
  int FindLastNick(const std::string& Nick) const { return FindNick(Nick); }
  void ReplaceNick(int Index, const std::string& Nick, const QColor& Color);
  void DeleteNick(int Index);
  void ClearNicks();
  // The event pane's lines (Shift-JIS), for handlers and tests.
  std::vector<std::string> RecvLines() const;
  QColor RecvLineColor(int Index) const;

  // Shows the pending ban mask editor filled with BanMaskList, if any.
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

  std::vector<std::pair<int, QMenu*>> MergedMenus() const override;
  bool ClosesWithConnection() const override { return true; }
  void ConnectionLost() override { Joined = false; }
  bool CloseQuery() override;

  // The member pane's selected entry, as the pop-up commands read it.
  std::string SelectedNick() const;

  // The one editor waiting for the end of a ban list, from any window.
  static QPointer<TMemberEditorForm>& PendingBanMaskEditor;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The entry of each member by upper-cased nick without its "@", so that
  // a netsplit's QUITs do not each scan tens of thousands of members.
  void IndexNick(QListWidgetItem* Item, const std::string& Nick);
  void UnindexNick(QListWidgetItem* Item);
  void SetEntry(QListWidgetItem* Item, const std::string& Nick, const QColor& Color);

  std::unordered_map<std::string, QListWidgetItem*> nickIndex_;
  TRichLog* recvLog_ = nullptr;  // appends to RecvRichEdit, owned by it
  bool scrollPending_ = false;  // one scroll to the bottom per burst of lines
};

}  // namespace tavi
