// Messages, notices and CTCP.
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVariant>
#include <cstdint>
#include <string>
#include <vector>

#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "kanji/SjisCase.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "protocol/Ctcp.h"
#include "session/Globals.h"
#include "session/MainForm.h"

namespace tavi {

namespace {

bool IsRefused(const std::string& Nick) {
  for (const std::string& denied : Globals().RecieveDenyList)
    if (SjisSameText(denied, Nick)) return true;
  return false;
}

std::string DisplayLine(const std::string& Nick, const std::string& Text) {
  return TimeStamp() + " [" + Nick + "] " + Text;
}

// A talk window caption that stands for Nick: a member list naming it
// anywhere, or the nick itself.
bool IsTalkCandidate(const std::string& Caption, const std::string& Nick) {
  if (Caption.find(',') != std::string::npos &&
      SjisUpperCase(Caption).find(SjisUpperCase(Nick)) != std::string::npos)
    return true;
  return SjisSameText(Caption, Nick);
}

TChatForm* FindChannelWindow(TMainForm& Main, const std::string& Channel) {
  for (TMdiChildForm* child : Main.ChildWindows())
    if (auto* chat = qobject_cast<TChatForm*>(child); chat && chat->Caption() == Channel) return chat;
  return nullptr;
}

// The member memo cannot tell one empty line from none, so the empty nick of
// server notices is remembered beside it; without this, every later server
// notice would open yet another window.
constexpr const char* EmptyNickListed = "EmptyNickListed";

void AddTalkNick(TTalkForm* Talk, const std::string& Nick) {
  Talk->AddNick(Nick);
  if (Nick.empty()) Talk->setProperty(EmptyNickListed, true);
}

bool TalkListsNick(const TTalkForm* Talk, const std::string& Nick) {
  if (Nick.empty() && Talk->property(EmptyNickListed).toBool()) return true;
  return Talk->HasNick(Nick);
}

// A conversation opened by an incoming line: the sender is its first member.
void OpenTalkWith(TMainForm& Main, const std::string& Nick, const std::string& Line) {
  TTalkForm* talk = Main.OpenTalkWindow(Nick);
  talk->AddRecvLine(Line);
  AddTalkNick(talk, Nick);
  talk->MemberList.push_back(Nick);
}

}  // namespace

void TMainForm::HandDccOffer(const std::string& Nick, const std::string& Text) {
  const TDccOffer offer = ParseDccOffer(Text);
  switch (offer.Kind) {
    case TDccKind::Chat:
      OpenDccChat(Nick, offer.Address, offer.Port, "CLIENT");
      return;
    case TDccKind::Send:
      ReceiveDccFile(Nick, offer.Argument, offer.Address, offer.Port, offer.Size, "CLIENT");
      return;
    case TDccKind::Other:
      // A refusal is a reply like any other: rationed the same way.
      if (CtcpReplyLimiter.Allow(Platform().TickCount()))
        SendLine(CtcpDccNotSupportedReply(Nick, "DCC", Globals().VersionText, offer.Type));
      return;
  }
}

void TMainForm::PrivmsgCommand(TToken Token) {
  const std::string nick = PrefixNick(Token.Prefix);
  const std::string& target = Token.Params[1];
  const std::string text = MessageText(Token.Params[2]);
  if (IsRefused(nick)) return;

  if (IsCtcp(text)) {
    const std::string query = CtcpQueryWord(text);
    AddServerMemoLine(StampedLine(nick + Sj(u8" から ") + query + Sj(u8" コマンドを受信しました。")));
    if (query == "DCC") {
      HandDccOffer(nick, text);
      return;
    }
    if (!CtcpReplyLimiter.Allow(Platform().TickCount())) return;

    const std::string& version = Globals().VersionText;
    if (query == "PING") {
      SendLine(CtcpPingReply(nick, text));
    } else if (query == "TIME") {
      TPlatform& platform = Platform();
      const TDateTime now = platform.Now();
      SendLine(CtcpTimeReply(
          nick, CtcpTimeText(platform.LongDateText(now), platform.WeekdayName(now), now.Hour, now.Minute, ":")));
    } else if (query == "USERINFO") {
      SendLine(CtcpUserInfoReply(nick));
    } else if (query == "FINGER") {
      SendLine(CtcpFingerReply(nick, GrobalArea().LoginName, GrobalArea().HostName));
    } else if (query == "VERSION") {
      SendLine(CtcpVersionReply(nick, version));
    } else if (query == "CLIENTINFO") {
      SendLine(CtcpClientInfoReply(nick));
    } else {
      SendLine(CtcpNotSupportedReply(nick, query, version));
    }
    return;
  }

  const std::string line = DisplayLine(nick, text);
  if (target == Globals().CurrentNick) {
    for (TMdiChildForm* child : ChildWindows()) {
      if (!IsTalkCandidate(child->Caption(), nick)) continue;
      auto* talk = qobject_cast<TTalkForm*>(child);
      if (!talk) continue;
      talk->AddRecvLine(line);
      if (!TalkListsNick(talk, nick)) AddTalkNick(talk, nick);
      KeepLastLines(talk->RecvMemo);
      return;
    }
    OpenTalkWith(*this, nick, line);
    return;
  }

  if (TChatForm* chat = FindChannelWindow(*this, target)) {
    chat->AddRecvLine(line);
    KeepLastLines(chat->RecvRichEdit);
  }
}

void TMainForm::NoticeCommand(TToken Token) {
  const std::string nick = PrefixNick(Token.Prefix);
  const std::string& target = Token.Params[1];
  if (IsRefused(nick)) return;
  const TCtcpReply reply = SplitCtcpReply(MessageText(Token.Params[2]));
  const std::string line = DisplayLine(nick, reply.Text);

  bool shown = false;
  const std::vector<TMdiChildForm*> children = ChildWindows();
  if (!children.empty()) {
    if (target != Globals().CurrentNick) {
      if (TChatForm* chat = FindChannelWindow(*this, target)) {
        chat->AddRecvLine(line);
        shown = true;
        KeepLastLines(chat->RecvRichEdit);
      }
    } else {
      // Every window that knows the sender shows it, not only the first.
      for (TMdiChildForm* child : children) {
        if (auto* chat = qobject_cast<TChatForm*>(child)) {
          if (chat->FindNick(nick) < 0 && chat->FindNick("@" + nick) < 0) continue;
          if (reply.Word.empty()) {
            chat->AddRecvLine(line);
          } else if (reply.Word == "PING") {
            chat->PingReplyTime = Platform().TickCount();
            const std::uint32_t elapsed = chat->PingReplyTime - chat->PingSentTime;
            chat->AddRecvColorLine(TimeStamp() + " [" + nick + "] " + reply.Word + " " + std::to_string(elapsed) +
                                       Sj(u8" ミリ秒です。"),
                                   clBlue);
          } else {
            chat->AddRecvColorLine(TimeStamp() + " [" + nick + "] " + reply.Word + " " + reply.Text, clBlue);
          }
          shown = true;
          KeepLastLines(chat->RecvRichEdit);
        } else if (auto* talk = qobject_cast<TTalkForm*>(child)) {
          if (!TalkListsNick(talk, nick)) continue;
          talk->AddRecvLine(line);
          shown = true;
          KeepLastLines(talk->RecvMemo);
        }
      }
    }
  }

  if (Globals().NoticeMode && !shown) OpenTalkWith(*this, nick, line);
}

}  // namespace tavi
