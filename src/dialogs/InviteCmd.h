// The invite dialog: a nick and a channel, and the INVITE line. A channel
// window makes a new one each time; it closes as soon as it loses the
// activation and frees itself.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavi {

class TConnection;

class TInviteCmdForm : public TCommandDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 43;

  TInviteCmdForm(QWidget* Owner, TConnection& Connection);

  QLabel* Label1 = nullptr;
  QLineEdit* NickNameEdit = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* ChannelNameEdit = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

  // Proposes the active child window's caption as the channel.
  void FormActivate() override;
  void OKButtonClick();
  void CancelButtonClick();

 private:
  TConnection& connection_;
};

}  // namespace tavi
