// The main window's and the channel window's commands that open the command
// dialogs.
#include <QLineEdit>

#include "conversation/Chat.h"
#include "dialogs/AwayCmd.h"
#include "dialogs/InviteCmd.h"
#include "dialogs/KickCmd.h"
#include "dialogs/WhoIsWasCmd.h"
#include "kanji/SjisText.h"
#include "session/Globals.h"
#include "session/MainForm.h"

namespace tavi {

void TMainForm::WhoIsCmdClick() { OpenWhoIsWasCmdForm("WHOIS ", 47); }
void TMainForm::WhoWasCmdClick() { OpenWhoIsWasCmdForm("WHOWAS ", 48); }

void TMainForm::AwayCmdClick() {
  TAwayCmdForm* form = AwayCmdFormInstance();
  form->CommandKind = "Away";
  form->SetCaption(Sj(u8"自動返信の設定"));
  form->SetLabel(Sj(u8"自動で返信するメッセージ："));
  form->setProperty("helpContext", 49);
  // Showing fills the message; a dialog already up in another kind gets it
  // now.
  if (form->isVisible()) form->FormShow();
  ShowInFront(form);
}

void TMainForm::NickCmdClick() {
  TAwayCmdForm* form = AwayCmdFormInstance();
  form->CommandKind = "Nick";
  form->SetCaption(Sj(u8"ニックネームの変更"));
  form->SetLabel(Sj(u8"現在のニックネーム：") + Globals().CurrentNick);
  form->AwayMessageEdit->clear();
  form->setProperty("helpContext", 85);
  ShowInFront(form);
}

void TChatForm::Topic1Click() {
  TAwayCmdForm* form = AwayCmdFormInstance();
  form->CommandKind = "Topic";
  form->TopicChannel = Caption();
  form->SetCaption(Sj(u8"チャンネルトピックの設定、変更"));
  form->SetLabel(Sj(u8"チャンネルトピック："));
  form->SetEditText(Topic);
  ShowInFront(form);
}

void TChatForm::Invite1Click() { ShowInFront(new TInviteCmdForm(this)); }
void TChatForm::Kick1Click() { ShowInFront(new TKickCmdForm(this)); }

}  // namespace tavi
