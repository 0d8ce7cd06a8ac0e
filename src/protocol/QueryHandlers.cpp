// Query replies and server errors: they collect the answers into the result
// windows, and the away notices and ban lists into the conversation windows.
#include "protocol/QueryHandlers.h"

#include <QLabel>

#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "protocol/AdminReply.h"
#include "protocol/ChannelHandlers.h"
#include "protocol/ChannelState.h"
#include "protocol/ListNamesWho.h"
#include "protocol/ReferenceResult.h"
#include "protocol/ServerErrorUnit.h"
#include "protocol/VersionReply.h"
#include "protocol/WhoIsReply.h"
#include "session/MainForm.h"

namespace tavi {

namespace {

TQueryReplyState ReplyState;

// The value labels of a WHOWAS answer.
const QColor WhoWasColor(128, 128, 0);

void SetText(QLabel* Label, const std::string& Text) { Label->setText(FromSjis(Text)); }

// Result windows never wait for the user.
void Show(QWidget* Form) { Form->show(); }

// 311 and 314 fill the same labels and differ in colour only.
void FillUser(TWhoIsReplyForm& Form, const TToken& Token, const QColor& Color) {
  Form.SetValueColor(Color);
  SetText(Form.NickNameLabel, Token.Params[2]);
  SetText(Form.LoginNameLabel, Token.Params[3]);
  SetText(Form.HostNameLabel, Token.Params[4]);
  SetText(Form.RealNameLabel, WithoutColon(Token.Params[6]));
}

}  // namespace

TQueryReplyState& QueryReplyState() { return ReplyState; }

void ResetQueryReplyState() { ReplyState = TQueryReplyState{}; }

void TMainForm::UserModeIs221(TToken Token) { ApplyUserModeText(Token.Params[2]); }

void TMainForm::AdminMe256(TToken Token) { ReplyState.AdminLine1 = WithoutColon(Token.Params[2]); }

void TMainForm::AdminLoc1_257(TToken Token) { ReplyState.AdminLine2 = WithoutColon(Token.Params[2]); }

void TMainForm::AdminLoc2_258(TToken Token) { ReplyState.AdminLine3 = WithoutColon(Token.Params[2]); }

void TMainForm::AdminEmail259(TToken Token) {
  auto* form = FindOrCreateForm<TAdminReplyForm>();
  SetText(form->Label1, ReplyState.AdminLine1);
  SetText(form->Label2, ReplyState.AdminLine2);
  SetText(form->Label3, ReplyState.AdminLine3);
  SetText(form->Label4, WithoutColon(Token.Params[2]));
  Show(form);
  ReplyState.AdminLine1.clear();
  ReplyState.AdminLine2.clear();
  ReplyState.AdminLine3.clear();
}

void TMainForm::Away301(TToken Token) {
  const std::string& nick = Token.Params[2];
  const std::string text =
      TimeStamp() + " " + nick + Sj(u8" は不在です。") + "\r\n" + "< " + WithoutColon(Token.Params[3]) + " >";
  for (TMdiChildForm* child : ChildWindows()) {
    if (auto* chat = qobject_cast<TChatForm*>(child)) {
      if (chat->FindNick(nick) >= 0 || chat->FindNick("@" + nick) >= 0) chat->AddRecvColorLine(text, clBlue);
    } else if (auto* talk = qobject_cast<TTalkForm*>(child)) {
      // An empty name is in no caption.
      if (!nick.empty() && talk->Caption().find(nick) != std::string::npos) talk->AddRecvLine(text);
    }
  }
}

void TMainForm::Ison303(TToken Token) {
  auto* form = FindOrCreateForm<TReferenceResultForm>();
  for (const std::string& entry : SplitNames(WithoutColon(Token.Params[2]))) form->AddEntry(entry);
  Show(form);
}

void TMainForm::WhoisUser311(TToken Token) {
  FillUser(*FindOrCreateForm<TWhoIsReplyForm>(), Token, clBlue);
  ReplyState.WhoIsReplyPending = true;
}

void TMainForm::WhoisServer312(TToken Token) {
  auto* form = FindOrCreateForm<TWhoIsReplyForm>();
  SetText(form->NickNameLabel, Token.Params[2]);
  SetText(form->ServerNameLabel, Token.Params[3] + " " + WithoutColon(Token.Params[4]));
  ReplyState.WhoIsReplyPending = true;
}

void TMainForm::WhoisOperator313(TToken Token) {
  auto* form = FindOrCreateForm<TWhoIsReplyForm>();
  TWhoIsReplyForm::SetLabelColor(form->IRCOperatorLabel, clRed);
  SetText(form->IRCOperatorLabel, Token.Params[2] + " " + WithoutColon(Token.Params[3]));
  ReplyState.WhoIsReplyPending = true;
}

void TMainForm::WhowasUser314(TToken Token) {
  FillUser(*FindOrCreateForm<TWhoIsReplyForm>(), Token, WhoWasColor);
  ReplyState.WhoWasReplyPending = true;
}

void TMainForm::WhoisIdle317(TToken Token) {
  auto* form = FindOrCreateForm<TWhoIsReplyForm>();
  SetText(form->NickNameLabel, Token.Params[2]);
  SetText(form->IdleTimeLabel, Token.Params[3] + " " + WithoutColon(Token.Params[4]));
  ReplyState.WhoIsReplyPending = true;
}

void TMainForm::EndOfWhois318(TToken) {
  if (ReplyState.WhoIsReplyPending) Show(FindOrCreateForm<TWhoIsReplyForm>());
  ReplyState.WhoIsReplyPending = false;
}

void TMainForm::WhoisChannels319(TToken Token) {
  auto* form = FindOrCreateForm<TWhoIsReplyForm>();
  SetText(form->NickNameLabel, Token.Params[2]);
  SetText(form->ChannelNameLabel, WithoutColon(Token.Params[3]));
  ReplyState.WhoIsReplyPending = true;
}

void TMainForm::List322(TToken Token) {
  auto* form = FindOrCreateForm<TListNamesWhoForm>();
  const std::string& channel = Token.Params[2];
  const std::string& users = Token.Params[3];
  // The server's local channels are left out.
  if (!channel.empty() && channel.front() == '&') return;
  constexpr std::size_t UsersWidth = 8;
  const std::string indent(8, ' ');
  const std::string padding(users.size() < UsersWidth ? UsersWidth - users.size() : 0, ' ');
  form->AddLine(Sj(u8"チャンネル名： ") + channel);
  form->AddLine(indent + Sj(u8"人数； ") + padding + users);
  form->AddLine(indent + Sj(u8"トピック： ") + WithoutColon(Token.Params[4]));
}

void TMainForm::ListEnd323(TToken) { FindOrCreateForm<TListNamesWhoForm>()->ShowListing(Sj(u8"チャンネル名のリスト")); }

void TMainForm::Inviting341(TToken Token) {
  Platform().ShowMessage(Token.Params[1] + Sj(u8" が ") + Token.Params[2] + Sj(u8" へ ") + "\r\n" +
                         Sj(u8"     チャンネル： ") + Token.Params[3] + Sj(u8" への招待状を送付しました。"));
}

void TMainForm::Version351(TToken Token) {
  auto* form = FindOrCreateForm<TVersionReplyForm>();
  SetText(form->VersionLabel, Token.Params[2]);
  Show(form);
}

void TMainForm::BanList367(TToken Token) {
  if (TChatForm* chat = FindChannelWindow(*this, Token.Params[2])) chat->BanMaskList.push_back(Token.Params[3]);
}

void TMainForm::EndOfBanList368(TToken Token) {
  if (TChatForm* chat = FindChannelWindow(*this, Token.Params[2])) chat->ShowBanMaskEditor();
}

void TMainForm::EndOfWhowas369(TToken) {
  if (ReplyState.WhoWasReplyPending) Show(FindOrCreateForm<TWhoIsReplyForm>());
  ReplyState.WhoWasReplyPending = false;
}

void TMainForm::ServerError(TToken Token) {
  // Never reused: every error reply gets a window of its own.
  auto* form = new TServerErrorForm(this);
  form->SetErrorText(Sj(u8"エラーコード：  ") + Token.Command + "\r\n" + Token.Params[2] + " " + Token.Params[3] +
                     "\r\n" + Token.Params[4]);
  Show(form);
}

}  // namespace tavi
