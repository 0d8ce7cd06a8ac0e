// The prompt shown when someone invites the user to a channel: join, ignore
// or look the inviter up. At most one, owned by the main window; a second
// invitation replaces the first in the open prompt. Frees itself on close.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QLabel;
class QPushButton;

namespace tavi {

class TConnection;
class TWindowHost;

class TPassiveInviteCmdForm : public TCommandDialog {
  Q_OBJECT
 public:
  TPassiveInviteCmdForm(QWidget* Owner, TConnection& Connection, TWindowHost& Host);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* JoinButton = nullptr;    // "応じる"
  QPushButton* CancelButton = nullptr;  // "無視"
  QPushButton* WhoIsButton = nullptr;   // "招待者情報"

  std::string InviterNick;
  std::string InviteChannel;

  // Fills the labels from InviterNick and InviteChannel.
  void FormActivate() override;
  void JoinButtonClick();
  void CancelButtonClick();
  void WhoIsButtonClick();

 private:
  TConnection& connection_;
  TWindowHost& host_;
};

// What an INVITE does: Owner's prompt (open or new) with these values,
// shown without waiting.
TPassiveInviteCmdForm* ShowInvitation(QWidget* Owner, TConnection& Connection, TWindowHost& Host,
                                      const std::string& Inviter, const std::string& Channel);

}  // namespace tavi
