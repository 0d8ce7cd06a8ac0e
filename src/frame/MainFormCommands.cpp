// The main window's commands that open the dialogs; its other members are in
// MainForm.cpp.
#include "frame/MainForm.h"

#include <QComboBox>
#include <QLineEdit>

#include "conversation/Channel.h"
#include "conversation/MemberEditor.h"
#include "conversation/UserMode.h"
#include "dialogs/AwayCmd.h"
#include "dialogs/CommandDialog.h"
#include "dialogs/WhoIsWasCmd.h"
#include "kanji/SjisText.h"
#include "session/Globals.h"

namespace tavi {

void TMainForm::JoinClick() {
  TChannelForm* dialog = FindOrCreateForm<TChannelForm>();
  dialog->ChannelComboBox->setEditText(FromSjis(LocalArea().ChannelName));
  dialog->ChannelKeyEdit->setText(FromSjis(LocalArea().ChannelKey));
  ShowInFront(dialog);
}

void TMainForm::TalkMenuClick() {
  TMemberEditorForm* editor = FindOrCreateForm<TMemberEditorForm>();
  editor->Setup(Sj(u8"会話相手を選定"), Sj(u8"会話相手："), Sj(u8"会話相手のリスト："), "TalkMember", nullptr, 60);
  ShowInFront(editor);
}

void TMainForm::IsonCmdClick() {
  TMemberEditorForm* editor = FindOrCreateForm<TMemberEditorForm>();
  editor->Setup(Sj(u8"ニックネームがチャットしているか検索"), Sj(u8"検索ニックネーム："),
                Sj(u8"検索ニックネームのリスト："), "ISON", nullptr, 50);
  ShowInFront(editor);
}

void TMainForm::RecieveDenyMenuClick() {
  TMemberEditorForm* editor = FindOrCreateForm<TMemberEditorForm>();
  editor->Setup(Sj(u8"着信拒否相手を設定"), Sj(u8"拒否相手："), Sj(u8"拒否相手のリスト："), "RecieveDeny", nullptr, 16);
  editor->SetEntries(Globals().RecieveDenyList);
  ShowInFront(editor);
}

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

// Every click opens another dialog.
void TMainForm::UserModeMenuClick() { ShowInFront(new TUserModeForm(this)); }

}  // namespace tavi
