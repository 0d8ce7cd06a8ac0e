// One small dialog for four lists: talk members, ISON nicknames, refused
// nicknames and a channel's ban masks. The mode decides what confirming does.
#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "dialogs/CommandDialog.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class QListWidgetItem;

namespace tavi {

class TChannel;
class TConnection;
class TMdiChildForm;

class TMemberEditorForm : public TCommandDialog {
  Q_OBJECT
 public:
  // Owner: the main window, or the talk or channel window that opens it;
  // Connection: where the lists go.
  TMemberEditorForm(QWidget* Owner, TConnection& Connection);
  ~TMemberEditorForm() override;

  QLabel* Label1 = nullptr;
  QLineEdit* MemberEdit = nullptr;
  QLabel* Label2 = nullptr;
  QListWidget* MemberListBox = nullptr;
  QPushButton* AddButton = nullptr;
  QPushButton* DeleteButton = nullptr;
  QPushButton* ChangeButton = nullptr;
  QPushButton* CloseButton = nullptr;

  QPointer<TMdiChildForm> TargetForm;  // talk or channel window, may be empty
  std::string EditMode;                // "TalkMember", "ISON", "RecieveDeny", "BanMask"

  // Sets caption, labels, mode, target and help context in one go.
  void Setup(const std::string& Caption, const std::string& Label1Text, const std::string& Label2Text,
             const std::string& Mode, TMdiChildForm* Target, int HelpContext);
  // The list's entries (UTF-8) and filling it.
  std::vector<std::string> Entries() const;
  void SetEntries(const std::vector<std::string>& Entries);

  void FormActivate() override;
  void AddButtonClick();
  void DeleteButtonClick();
  void ChangeButtonClick();
  void CloseButtonClick();

  // Escape works as the close button.
  void reject() override;

 private:
  void AddEntry(const std::string& Entry);
  // The channel of the channel window the ban masks are for, if any.
  TChannel* TargetChannel() const;
  static std::string EntryBytes(const QListWidgetItem* Item);
  // What the change button does before the dialog closes.
  void Apply();

  TConnection& connection_;
};

}  // namespace tavi
