// The kick dialog: channel, user and reason, and the KICK line. A channel
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

class TKickCmdForm : public TCommandDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 44;

  TKickCmdForm(QWidget* Owner, TConnection& Connection);

  QLabel* Label1 = nullptr;
  QLineEdit* ChannelNameEdit = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* UserNameEdit = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* CommentEdit = nullptr;
  QPushButton* KickButton = nullptr;   // "追放"
  QPushButton* CloseButton = nullptr;  // "閉じる"

  // Proposes the active child window's caption as the channel.
  void FormActivate() override;
  void KickButtonClick();
  void CloseButtonClick();

 private:
  TConnection& connection_;
};

}  // namespace tavi
