// The window of a private conversation with one or more members (a view of
// one query of a connection); its caption is the comma-joined member list
// that every message is sent to.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "core/TabCompletion.h"
#include "widgets/InputHistory.h"
#include "widgets/MdiChildForm.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;
class QWidget;

namespace tavi {

class TConnection;
class TFindBar;
class TQuery;

class TTalkForm : public TMdiChildForm {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 61;

  // FormCreate: the size the last talk window had, at first 430 x 260.
  // Query must outlive the window or be let go of first (Detach).
  TTalkForm(TWindowHost& Host, TConnection& Connection, TQuery& Query, QWidget* Parent = nullptr);
  ~TTalkForm() override;

  QWidget* Panel1 = nullptr;
  QToolButton* CloseFormSpeedButton = nullptr;
  QPlainTextEdit* RecvMemo = nullptr;
  QPlainTextEdit* NickNameMemo = nullptr;
  TFindBar* FindBar = nullptr;  // Ctrl+F in RecvMemo
  QWidget* Panel2 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* SendEdit = nullptr;

  QMenu* File1 = nullptr;
  QAction* Join = nullptr;
  QAction* TalkMenu = nullptr;
  QAction* Close1 = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Mode1 = nullptr;
  QMenu* WritingMenu = nullptr;
  QAction* UserModeMenu = nullptr;
  QMenu* Member1 = nullptr;
  QAction* AddDeleteMember = nullptr;

  // The query shown; nullptr once the connection has forgotten it.
  TQuery* Query() const { return query_; }
  void Detach() { query_ = nullptr; }
  // The caption and the speakers as the query has them now.
  void QueryChanged();

  // RecvMemo: one line per event; the pane keeps its last lines.
  void ShowLine(const QString& Text);
  void ShowUnreadMarker() override;
  std::vector<std::string> RecvLines() const;
  // NickNameMemo: the nicks that have spoken, one per line.
  std::vector<std::string> NickNames() const;

  // Key: a Qt key code, or the virtual key code 13; Return and Enter send.
  static constexpr int EnterKey = 13;
  void SendEditKeyDown(int Key);
  void Close1Click();
  void AddDeleteMemberClick();

  std::vector<std::pair<int, QMenu*>> MergedMenus() override;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  TConnection& connection_;
  TQuery* query_;
  // What was sent from the input line, for Up and Down.
  TInputHistory history_;
  TTabCompletion completion_;
};

}  // namespace tavi
