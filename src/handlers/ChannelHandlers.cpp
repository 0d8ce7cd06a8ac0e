// Channel and nick state handlers: they keep the channel and talk windows and
// the user's nickname in step with the server.
#include "handlers/ServerLineHandlers.h"

#include "dialogs/PassiveInviteCmd.h"
#include "conversation/ListNamesWho.h"

#include <QMenu>
#include <QTextEdit>
#include <algorithm>

#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "dcc/DCC.h"
#include "kanji/SjisCase.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"
#include "session/Globals.h"
#include "frame/MainForm.h"

namespace tavi {

void ApplyUserModeText(std::string_view Params2, bool WholeSet) {
  TGlobals& g = Globals();
  TUserModes modes{g.InvisibleMode, g.NoticeMode, g.WallOpsMode, g.IrcOpeMode};
  if (WholeSet)
    ParseUserModeSet(Params2, modes);
  else
    ParseUserModes(Params2, modes);
  g.InvisibleMode = modes.Invisible;
  g.NoticeMode = modes.Notice;
  g.WallOpsMode = modes.WallOps;
  g.IrcOpeMode = modes.IrcOpe;
}

namespace {

// Deletes the member pane's entry Nick, or else its entry "@" + Nick.
void DeleteMember(TChatForm& Chat, const std::string& Nick) {
  int index = Chat.FindNick(Nick);
  if (index < 0) index = Chat.FindNick("@" + Nick);
  if (index >= 0) Chat.DeleteNick(index);
}

void ResetChannelState(TChatForm& Chat) {
  Chat.Joined = false;
  Chat.BanMaskList.clear();
  Chat.PrivateMode = false;
  Chat.SecretMode = false;
  Chat.InviteMode = false;
  Chat.TopicMode = false;
  Chat.MessageMode = false;
  Chat.ModeratedMode = false;
  Chat.LimitMode = false;
  Chat.LimitNumber = 0;
  Chat.KeyWordMode = false;
  Chat.KeyWord.clear();
  Chat.SpeechMode = false;
  Chat.Topic.clear();
}

void ApplyChannelMode(TChatForm& Chat, const TChannelModeChange& Change) {
  const std::string& nick = Globals().CurrentNick;
  const std::string& argument = Change.Argument;
  switch (Change.Letter) {
    case 'o': {
      // Without a nickname there is nobody to promote or demote.
      if (argument.empty()) break;
      const bool own = argument == nick;
      const QColor color = own ? clGreen : (Change.Adding ? clRed : clBlack);
      if (Change.Adding) {
        const int index = Chat.FindNick(argument);
        if (index >= 0) {
          std::string promoted = Chat.NickAt(index);
          promoted.insert(0, 1, '@');
          Chat.ReplaceNick(index, promoted, color);
        }
      } else {
        const int index = Chat.FindNick("@" + argument);
        if (index >= 0) Chat.ReplaceNick(index, argument, color);
      }
      if (own && Chat.ChannelOperator1) Chat.ChannelOperator1->setEnabled(Change.Adding);
      break;
    }
    case 'p': Chat.PrivateMode = Change.Adding; break;
    case 's': Chat.SecretMode = Change.Adding; break;
    case 'i': Chat.InviteMode = Change.Adding; break;
    case 't': Chat.TopicMode = Change.Adding; break;
    case 'n': Chat.MessageMode = Change.Adding; break;
    case 'm': Chat.ModeratedMode = Change.Adding; break;
    case 'l': {
      std::int32_t limit = 0;
      const bool valid = Change.Adding && DecimalNumber(argument, limit);
      Chat.LimitNumber = valid ? limit : 0;
      Chat.LimitMode = valid;
      break;
    }
    case 'b': {
      auto& masks = Chat.BanMaskList;
      if (Change.Adding) {
        // A server's flood of +b must not grow the list without end.
        if (!argument.empty() && masks.size() < static_cast<std::size_t>(TListCap::MaxEntries)) masks.push_back(argument);
      } else {
        const auto it = std::find_if(masks.begin(), masks.end(),
                                     [&](const std::string& Mask) { return SjisSameText(Mask, argument); });
        if (it != masks.end()) masks.erase(it);
      }
      break;
    }
    case 'v': Chat.SpeechMode = Change.Adding; break;
    case 'k':
      Chat.KeyWord = Change.Adding ? argument : std::string();
      Chat.KeyWordMode = Change.Adding;
      break;
    default: break;
  }
}

}  // namespace

int TServerLineHandlers::ChannelWindowCount() const {
  int count = 0;
  for (TMdiChildForm* child : main_.ChildWindows())
    if (qobject_cast<TChatForm*>(child)) ++count;
  return count;
}

void TServerLineHandlers::JoinCommand(TToken Token) {
  const std::string channel = WithoutColon(Token.Params[1]);
  // A window without a name could never be left or closed.
  if (channel.empty()) return;
  TChatForm* chat = main_.FindChannelWindow(channel);
  const std::string nick = SenderNick(Token.Prefix);
  const bool asked = nick == Globals().CurrentNick && main_.TakeJoinRequest(channel);
  if (!chat && ChannelWindowCount() >= MaxChannelWindows) {
    // Joins forced on us by the hundred: no window beyond the bound, and
    // the channel is left again, so that nothing arrives for it unseen.
    if (nick == Globals().CurrentNick) {
      main_.AddServerMemoLine(StampedLine(channel + Sj(u8" のウインドウは開けません。チャンネルのウインドウが多すぎるため退室します。")));
      main_.SendLine("PART " + channel + "\r\n");
    }
    return;
  }
  // The window of a join the user asked for takes the keyboard; one that
  // the server or someone else opens does not.
  if (!chat)
    chat = main_.OpenChannelWindow(channel, asked ? TMainForm::TOpening::Activate : TMainForm::TOpening::Quietly);
  if (nick != Globals().CurrentNick) {
    chat->AddRecvColorLine(TimeStamp() + " " + nick + Sj(u8" がチャンネルへ入室しました。"), clBlue);
    chat->AddNickLine(nick);
  } else {
    chat->AddRecvColorLine(TimeStamp() + Sj(u8" チャンネルへ入室しました。"), clGreen);
    chat->AddNickColorLine(nick, clGreen);
    chat->NamesReplyOpen = false;
    main_.SendLine("MODE " + chat->Caption() + "\r\n");
    main_.SendLine("TOPIC " + chat->Caption() + "\r\n");
  }
  TMainForm::KeepLastLines(chat->RecvRichEdit);
  chat->Joined = true;
}

void TServerLineHandlers::PartCommand(TToken Token) {
  // The member who left is the sender. The second parameter is a parting
  // message on servers today; it names the member only when the line has no
  // sender nick, as old servers sent it.
  std::string nick = SenderNick(Token.Prefix);
  if (nick.empty()) nick = WithoutColon(Token.Params[2]);
  TChatForm* chat = main_.FindChannelWindow(Token.Params[1]);
  if (!chat) return;
  if (nick != Globals().CurrentNick) {
    if (!nick.empty()) DeleteMember(*chat, nick);
    chat->AddRecvColorLine(TimeStamp() + " " + nick + Sj(u8" が退室しました。"), clBlue);
  } else {
    chat->ClearNicks();
    chat->AddRecvColorLine(TimeStamp() + Sj(u8" チャンネルから退室しました。"), clGreen);
    ResetChannelState(*chat);
  }
  TMainForm::KeepLastLines(chat->RecvRichEdit);
}

void TServerLineHandlers::QuitCommand(TToken Token) {
  const std::string nick = SenderNick(Token.Prefix);
  // An empty name would be found in every talk caption.
  if (nick.empty()) return;
  const std::string line = TimeStamp() + " [" + nick + " ] " + WithoutColon(Token.Params[1]);
  for (TMdiChildForm* child : main_.ChildWindows()) {
    if (auto* chat = qobject_cast<TChatForm*>(child)) {
      const int index = std::max(chat->FindLastNick(nick), chat->FindLastNick("@" + nick));
      if (index < 0) continue;
      chat->DeleteNick(index);
      chat->AddRecvColorLine(line, clBlue);
    } else if (auto* talk = qobject_cast<TTalkForm*>(child)) {
      if (talk->Caption().find(nick) == std::string::npos) continue;
      if (talk->HasNick(nick)) talk->RemoveNick(nick);
      talk->AddRecvLine(line);
    }
  }
}

void TServerLineHandlers::NickCommand(TToken Token) {
  const std::string old = SenderNick(Token.Prefix);
  const std::string renamed = WithoutColon(Token.Params[1]);
  // Without both names the change cannot be applied to anyone.
  if (old.empty() || renamed.empty()) return;
  const bool own = old == Globals().CurrentNick;
  for (TMdiChildForm* child : main_.ChildWindows()) {
    if (auto* talk = qobject_cast<TTalkForm*>(child)) {
      const std::string caption = ReplaceListMember(talk->Caption(), old, renamed);
      talk->ReplaceNick(old, renamed);
      talk->SetCaption(caption);
      // The next line must go to the member under the new name.
      std::replace(talk->MemberList.begin(), talk->MemberList.end(), old, renamed);
    } else if (auto* dcc = qobject_cast<TDCCForm*>(child)) {
      dcc->SetCaption(ReplaceListMember(dcc->Caption(), old, renamed));
    } else if (auto* chat = qobject_cast<TChatForm*>(child)) {
      const int plain = chat->FindNick(old);
      if (plain >= 0) chat->ReplaceNick(plain, renamed, own ? clGreen : clBlack);
      const int op = chat->FindNick("@" + old);
      if (op >= 0) chat->ReplaceNick(op, "@" + renamed, own ? clGreen : clRed);
    }
  }
  if (own) AdoptOwnNick(renamed);
}

void TServerLineHandlers::KickCommand(TToken Token) {
  const std::string& victim = Token.Params[2];
  // A kick without a victim removes nobody.
  if (victim.empty()) return;
  const std::string reason = WithoutColon(Token.Params[3]);
  const std::string kicker = SenderNick(Token.Prefix);
  TChatForm* chat = main_.FindChannelWindow(Token.Params[1]);
  if (!chat) return;
  const std::string& nick = Globals().CurrentNick;
  const std::string reasonLine = Sj(u8"        理由は ") + reason;
  if (kicker == nick) {
    chat->AddRecvColorLine(TimeStamp() + " " + victim + " " + Sj(u8" を追放しました。"), clGreen);
    DeleteMember(*chat, victim);
  } else if (victim == nick) {
    chat->AddRecvColorLine(TimeStamp() + " " + kicker + " " + Sj(u8" から追放されました。"), clGreen);
    if (reason != kicker) chat->AddRecvColorLine(reasonLine, clGreen);
    chat->ClearNicks();
    // Modes, topic and ban masks stay as they were until the next own JOIN.
    chat->Joined = false;
  } else {
    chat->AddRecvColorLine(TimeStamp() + " " + victim + Sj(u8" は ") + kicker + " " + Sj(u8" により追放されました。"),
                           clBlue);
    if (reason != kicker) chat->AddRecvColorLine(reasonLine, clBlue);
    DeleteMember(*chat, victim);
  }
  TMainForm::KeepLastLines(chat->RecvRichEdit);
}

void TServerLineHandlers::ModeCommand(TToken Token) {
  if (Token.Params[1] == Globals().CurrentNick) {
    ApplyUserModeText(Token.Params[2]);
    return;
  }
  TChatForm* chat = main_.FindChannelWindow(Token.Params[1]);
  if (!chat) return;
  for (const TChannelModeChange& change : ParseChannelModes(Token)) ApplyChannelMode(*chat, change);
}

void TServerLineHandlers::TopicCommand(TToken Token) {
  if (TChatForm* chat = main_.FindChannelWindow(Token.Params[1])) chat->Topic = WithoutColon(Token.Params[2]);
}

void TServerLineHandlers::InviteCommand(TToken Token) {
  ShowInvitation(SenderNick(Token.Prefix), WithoutColon(Token.Params[2]));
}

void TServerLineHandlers::NoTopic331(TToken Token) {
  if (TChatForm* chat = main_.FindChannelWindow(Token.Params[2]))
    chat->AddRecvColorLine(Sj(u8"トピックはついていません。"), clBlue);
}

void TServerLineHandlers::Topic332(TToken Token) {
  if (TChatForm* chat = main_.FindChannelWindow(Token.Params[2]))
    chat->AddRecvColorLine(Sj(u8"トピック： ") + WithoutColon(Token.Params[3]), clBlue);
}

void TServerLineHandlers::NamesReply353(TToken Token) {
  const std::string& channel = Token.Params[3];
  if (channel.empty()) return;
  const std::vector<std::string> entries = SplitNames(WithoutColon(Token.Params[4]));
  TGlobals& g = Globals();
  if (g.NamesRequested) {
    // The listing goes to the names result window, shown at its end.
    const std::vector<std::string> lines = NamesListingLines(channel, entries, Sj(u8"チャンネル名： "));
    if (lines.empty()) return;
    auto* listing = main_.FindOrCreateForm<TListNamesWhoForm>();
    for (const std::string& line : lines)
      if (replyState_.Names.Take()) listing->AddLine(line);
    return;
  }
  TChatForm* chat = main_.FindChannelWindow(channel);
  if (!chat) return;
  // Servers split one reply over many 353 lines: the first replaces the
  // member pane, the rest add to it.
  if (!chat->NamesReplyOpen) {
    chat->ClearNicks();
    chat->NamesReplyOpen = true;
  }
  for (const std::string& entry : entries) {
    if (entry == "@" + g.CurrentNick) {
      chat->AddNickColorLine(entry, clGreen);
      if (chat->ChannelOperator1) chat->ChannelOperator1->setEnabled(true);
    } else if (entry == g.CurrentNick) {
      chat->AddNickColorLine(entry, clGreen);
    } else if (!entry.empty() && entry.front() == '@') {
      chat->AddNickColorLine(entry, clRed);
    } else {
      chat->AddNickLine(entry);
    }
  }
}

void TServerLineHandlers::EndOfNames366(TToken Token) {
  if (TChatForm* chat = main_.FindChannelWindow(Token.Params[2])) chat->NamesReplyOpen = false;
  if (Globals().NamesRequested) {
    auto* listing = main_.FindOrCreateForm<TListNamesWhoForm>();
    if (replyState_.Names.LeftOut > 0) listing->AddLine(LeftOutText(replyState_.Names.LeftOut));
    listing->ShowListing(Sj(u8"ニックネームのリスト"));
  }
  replyState_.Names.Reset();
  Globals().NamesRequested = false;
}

}  // namespace tavi
