// The window of a private conversation with one or more members; its
// caption is the comma-joined member list that every message is sent to.
#pragma once

#include <string>
#include <vector>

#include "widgets/MdiChildForm.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;
class QWidget;

namespace tavi {

class TTalkForm : public TMdiChildForm {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 61;

  // FormCreate: the date line, the size 430 x 260.
  explicit TTalkForm(QWidget* Parent = nullptr);
  ~TTalkForm() override;

  QWidget* Panel1 = nullptr;
  QToolButton* CloseFormSpeedButton = nullptr;
  QPlainTextEdit* RecvMemo = nullptr;
  QPlainTextEdit* NickNameMemo = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* SendEdit = nullptr;

  QMenu* File1 = nullptr;
  QAction* Join = nullptr;
  QAction* TalkMenu = nullptr;
  QAction* Close1 = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Mode1 = nullptr;
  QAction* UserModeMenu = nullptr;
  QMenu* Member1 = nullptr;
  QAction* AddDeleteMember = nullptr;

  std::vector<std::string> MemberList;

  // RecvMemo: one line per event.
  void AddRecvLine(const std::string& Text);
  std::vector<std::string> RecvLines() const;
  // NickNameMemo: one nick per line, found without regard to case.
  std::vector<std::string> NickNames() const;
  bool HasNick(const std::string& Nick) const;
  void AddNick(const std::string& Nick);
  void RemoveNick(const std::string& Nick);              // the first match
  void ReplaceNick(const std::string& Old, const std::string& New);  // the first match

  // Key: a Qt key code, or the virtual key code 13; Return and Enter send.
  static constexpr int EnterKey = 13;
  void SendEditKeyDown(int Key);
  void Close1Click();
  void AddDeleteMemberClick();

  std::vector<std::pair<int, QMenu*>> MergedMenus() const override;
  bool ClosesWithConnection() const override { return true; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
};

}  // namespace tavi
