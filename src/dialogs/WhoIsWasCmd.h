// The WHOIS / WHOWAS dialog: one nick, sent after the opener's query word.
// At most one, owned by the main window; closes as soon as it loses the
// activation and frees itself.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavi {

class TConnection;

class TWhoIsWasCmdForm : public TCommandDialog {
  Q_OBJECT
 public:
  TWhoIsWasCmdForm(QWidget* Owner, TConnection& Connection);

  QLabel* Label1 = nullptr;
  QLineEdit* NickNameEdit = nullptr;
  QPushButton* OKButton = nullptr;      // "検索"
  QPushButton* CancelButton = nullptr;  // "中止"

  // "WHOIS " or "WHOWAS ", with the blank.
  std::string QueryCommand = "WHOIS ";

  void FormActivate() override;
  void OKButtonClick();
  void CancelButtonClick();

 private:
  TConnection& connection_;
};

// Owner's open instance or a new one, prepared and shown; a negative help
// context keeps the dialog's own.
TWhoIsWasCmdForm* OpenWhoIsWasCmdForm(QWidget* Owner, TConnection& Connection, const std::string& QueryCommand,
                                      int HelpContext);

}  // namespace tavi
