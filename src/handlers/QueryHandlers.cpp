// Query replies and server errors: they collect the answers into the result
// windows, and the away notices and ban lists into the conversation windows.
#include "handlers/ServerLineHandlers.h"

#include <QLabel>
#include <algorithm>
#include <iterator>
#include <string_view>

#include "conversation/AdminReply.h"
#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/ListNamesWho.h"
#include "conversation/ReferenceResult.h"
#include "conversation/ServerErrorUnit.h"
#include "conversation/Talk.h"
#include "conversation/VersionReply.h"
#include "conversation/WhoIsReply.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"
#include "session/Globals.h"
#include "frame/MainForm.h"

namespace tavi {

namespace {

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

void TServerLineHandlers::UserModeIs221(TToken Token) { ApplyUserModeText(Token.Params[2], true); }

void TServerLineHandlers::AdminMe256(TToken Token) { replyState_.AdminLine1 = WithoutColon(Token.Params[2]); }

void TServerLineHandlers::AdminLoc1_257(TToken Token) { replyState_.AdminLine2 = WithoutColon(Token.Params[2]); }

void TServerLineHandlers::AdminLoc2_258(TToken Token) { replyState_.AdminLine3 = WithoutColon(Token.Params[2]); }

void TServerLineHandlers::AdminEmail259(TToken Token) {
  auto* form = main_.FindOrCreateForm<TAdminReplyForm>();
  SetText(form->Label1, replyState_.AdminLine1);
  SetText(form->Label2, replyState_.AdminLine2);
  SetText(form->Label3, replyState_.AdminLine3);
  SetText(form->Label4, WithoutColon(Token.Params[2]));
  Show(form);
  replyState_.AdminLine1.clear();
  replyState_.AdminLine2.clear();
  replyState_.AdminLine3.clear();
}

void TServerLineHandlers::Away301(TToken Token) {
  const std::string& nick = Token.Params[2];
  const std::string text =
      TimeStamp() + " " + nick + Sj(u8" は不在です。") + "\r\n" + "< " + WithoutColon(Token.Params[3]) + " >";
  for (TMdiChildForm* child : main_.ChildWindows()) {
    if (auto* chat = qobject_cast<TChatForm*>(child)) {
      if (chat->FindNick(nick) >= 0 || chat->FindNick("@" + nick) >= 0) chat->AddRecvColorLine(text, clBlue);
    } else if (auto* talk = qobject_cast<TTalkForm*>(child)) {
      // An empty name is in no caption.
      if (!nick.empty() && talk->Caption().find(nick) != std::string::npos) talk->AddRecvLine(text);
    }
  }
}

void TServerLineHandlers::Ison303(TToken Token) {
  // One answer per ISON the user sent; others are nobody's.
  int& asked = Globals().IsonRequests;
  if (asked <= 0) return;
  --asked;
  auto* form = main_.FindOrCreateForm<TReferenceResultForm>();
  form->AddEntries(SplitNames(WithoutColon(Token.Params[2])));
  Show(form);
}

void TServerLineHandlers::WhoisUser311(TToken Token) {
  FillUser(*main_.FindOrCreateForm<TWhoIsReplyForm>(), Token, clBlue);
  replyState_.WhoIsReplyPending = true;
}

void TServerLineHandlers::WhoisServer312(TToken Token) {
  auto* form = main_.FindOrCreateForm<TWhoIsReplyForm>();
  SetText(form->NickNameLabel, Token.Params[2]);
  SetText(form->ServerNameLabel, Token.Params[3] + " " + WithoutColon(Token.Params[4]));
  replyState_.WhoIsReplyPending = true;
}

void TServerLineHandlers::WhoisOperator313(TToken Token) {
  auto* form = main_.FindOrCreateForm<TWhoIsReplyForm>();
  TWhoIsReplyForm::SetLabelColor(form->IRCOperatorLabel, clRed);
  SetText(form->IRCOperatorLabel, Token.Params[2] + " " + WithoutColon(Token.Params[3]));
  replyState_.WhoIsReplyPending = true;
}

void TServerLineHandlers::WhowasUser314(TToken Token) {
  FillUser(*main_.FindOrCreateForm<TWhoIsReplyForm>(), Token, WhoWasColor);
  replyState_.WhoWasReplyPending = true;
}

void TServerLineHandlers::WhoisIdle317(TToken Token) {
  auto* form = main_.FindOrCreateForm<TWhoIsReplyForm>();
  SetText(form->NickNameLabel, Token.Params[2]);
  SetText(form->IdleTimeLabel, Token.Params[3] + " " + WithoutColon(Token.Params[4]));
  replyState_.WhoIsReplyPending = true;
}

void TServerLineHandlers::EndOfWhois318(TToken) {
  if (replyState_.WhoIsReplyPending) Show(main_.FindOrCreateForm<TWhoIsReplyForm>());
  replyState_.WhoIsReplyPending = false;
}

void TServerLineHandlers::WhoisChannels319(TToken Token) {
  auto* form = main_.FindOrCreateForm<TWhoIsReplyForm>();
  SetText(form->NickNameLabel, Token.Params[2]);
  SetText(form->ChannelNameLabel, WithoutColon(Token.Params[3]));
  replyState_.WhoIsReplyPending = true;
}

void TServerLineHandlers::List322(TToken Token) {
  if (Globals().ListRequests <= 0) return;
  const std::string& channel = Token.Params[2];
  const std::string& users = Token.Params[3];
  // The server's local channels are left out.
  if (!channel.empty() && channel.front() == '&') return;
  if (!replyState_.List.Take()) return;
  auto* form = main_.FindOrCreateForm<TListNamesWhoForm>();
  constexpr std::size_t UsersWidth = 8;
  const std::string indent(8, ' ');
  const std::string padding(users.size() < UsersWidth ? UsersWidth - users.size() : 0, ' ');
  form->AddLine(Sj(u8"チャンネル名： ") + channel);
  form->AddLine(indent + Sj(u8"人数； ") + padding + users);
  form->AddLine(indent + Sj(u8"トピック： ") + WithoutColon(Token.Params[4]));
}

void TServerLineHandlers::ListEnd323(TToken) {
  int& asked = Globals().ListRequests;
  if (asked <= 0) return;
  --asked;
  auto* form = main_.FindOrCreateForm<TListNamesWhoForm>();
  if (replyState_.List.LeftOut > 0) form->AddLine(LeftOutText(replyState_.List.LeftOut));
  replyState_.List.Reset();
  form->ShowListing(Sj(u8"チャンネル名のリスト"));
}

void TServerLineHandlers::Inviting341(TToken Token) {
  const std::string text = Token.Params[1] + Sj(u8" が ") + Token.Params[2] + Sj(u8" へ ") + "\r\n" +
                           Sj(u8"     チャンネル： ") + Token.Params[3] + Sj(u8" への招待状を送付しました。");
  // Servers answer each INVITE: a notice that counts them, never a box each.
  Platform().ShowNotice(text);
}

void TServerLineHandlers::Version351(TToken Token) {
  auto* form = main_.FindOrCreateForm<TVersionReplyForm>();
  SetText(form->VersionLabel, Token.Params[2]);
  Show(form);
}

void TServerLineHandlers::BanList367(TToken Token) {
  // Only a list the user asked for (the ban mask editor waits for it).
  TChatForm* chat = main_.FindChannelWindow(Token.Params[2]);
  if (chat && chat->BanMaskPending && replyState_.BanMasks.Take()) chat->BanMaskList.push_back(Token.Params[3]);
}

void TServerLineHandlers::EndOfBanList368(TToken Token) {
  TChatForm* chat = main_.FindChannelWindow(Token.Params[2]);
  if (chat && chat->BanMaskPending && replyState_.BanMasks.LeftOut > 0)
    chat->AddRecvColorLine(TimeStamp() + " " + LeftOutText(replyState_.BanMasks.LeftOut), clBlue);
  replyState_.BanMasks.Reset();
  if (chat) chat->ShowBanMaskEditor();
}

void TServerLineHandlers::EndOfWhowas369(TToken) {
  if (replyState_.WhoWasReplyPending) Show(main_.FindOrCreateForm<TWhoIsReplyForm>());
  replyState_.WhoWasReplyPending = false;
}

void TServerLineHandlers::ServerError(TToken Token) {
  // A refused join is answered: the channel, forced on us later, is no
  // join the user asked for.
  static constexpr std::string_view JoinRefusals[] = {"403", "405", "471", "473", "474", "475", "476"};
  if (std::find(std::begin(JoinRefusals), std::end(JoinRefusals), Token.Command) != std::end(JoinRefusals))
    main_.TakeJoinRequest(Token.Params[2]);
  // One window for all of them: a server can send errors without end.
  auto* form = main_.FindOrCreateForm<TServerErrorForm>();
  form->AddErrorText(Sj(u8"エラーコード：  ") + Token.Command + "\r\n" + Token.Params[2] + " " + Token.Params[3] +
                     "\r\n" + Token.Params[4]);
  Show(form);
}

}  // namespace tavi
