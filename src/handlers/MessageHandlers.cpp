// Messages, notices and CTCP.
#include "handlers/ServerLineHandlers.h"

#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVariant>
#include <cstdint>
#include <string>
#include <vector>

#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "dcc/DCC.h"
#include "dcc/DccTransFile.h"
#include "kanji/SjisCase.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"
#include "protocol/Ctcp.h"
#include "session/Globals.h"
#include "frame/MainForm.h"

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
// Beyond a sane rate of new windows the line goes to the server log, so that
// a flood of senders cannot bury the desktop in windows.
void OpenTalkWith(TMainForm& Main, TRateLimiter& Rate, const std::string& Nick, const std::string& Line) {
  if (!Rate.Allow(Platform().TickCount())) {
    Main.AddServerMemoLine(Line);
    return;
  }
  TTalkForm* talk = Main.OpenTalkWindow(Nick, TMainForm::TOpening::Quietly);
  talk->AddRecvLine(Line);
  AddTalkNick(talk, Nick);
  talk->MemberList.push_back(Nick);
}

// A private line from Nick: into the talk window that stands for Nick, or a
// new one.
void ShowPrivateLine(TMainForm& Main, TRateLimiter& Rate, const std::string& Nick, const std::string& Line) {
  for (TMdiChildForm* child : Main.ChildWindows()) {
    if (!IsTalkCandidate(child->Caption(), Nick)) continue;
    auto* talk = qobject_cast<TTalkForm*>(child);
    if (!talk) continue;
    talk->AddRecvLine(Line);
    if (!TalkListsNick(talk, Nick)) AddTalkNick(talk, Nick);
    TMainForm::KeepLastLines(talk->RecvMemo);
    return;
  }
  OpenTalkWith(Main, Rate, Nick, Line);
}

// "/me" from others: shown like a member's event where it was said, and
// never answered.
void ShowAction(TMainForm& Main, TRateLimiter& Rate, const std::string& Nick, const std::string& Target,
                const std::string& Text) {
  const std::string line = ActionDisplayLine(TimeStamp(), Nick, Text);
  if (Target == Globals().CurrentNick) {
    ShowPrivateLine(Main, Rate, Nick, line);
  } else if (TChatForm* chat = Main.FindChannelWindow(Target)) {
    chat->AddRecvColorLine(line, clBlue);
    TMainForm::KeepLastLines(chat->RecvRichEdit);
  }
}

// A CTCP PING reply shows once: with its round trip in the channel window
// that sent the echoed token, else in the server log without one.
void ShowPingReply(TMainForm& Main, const std::string& Nick, const std::string& Text) {
  const std::string token = TrimControls(Text);
  for (TMdiChildForm* child : Main.ChildWindows()) {
    auto* chat = qobject_cast<TChatForm*>(child);
    if (!chat || chat->PingToken.empty() || chat->PingToken != token) continue;
    chat->PingToken.clear();
    chat->PingReplyTime = Platform().TickCount();
    const std::uint32_t elapsed = chat->PingReplyTime - chat->PingSentTime;
    chat->AddRecvColorLine(
        TimeStamp() + " [" + Nick + "] PING " + std::to_string(elapsed) + Sj(u8" ミリ秒です。"), clBlue);
    TMainForm::KeepLastLines(chat->RecvRichEdit);
    return;
  }
  Main.AddServerMemoLine(StampedLine("[" + Nick + "] PING " + Text));
}

}  // namespace

void TServerLineHandlers::HandDccOffer(const std::string& Nick, const std::string& Text) {
  const TDccOffer offer = ParseDccOffer(Text);
  // The answers about our own transfers; they ask nothing of the user.
  if (offer.Kind == TDccKind::Resume && ResumeDccSend(main_, Nick, offer.Argument, offer.Port, offer.Size)) return;
  if (offer.Kind == TDccKind::Accept && AcceptDccResume(main_, Nick, offer.Port, offer.Size)) return;
  if (offer.Kind != TDccKind::Chat && offer.Kind != TDccKind::Send) {
    // A refusal is a reply like any other: rationed the same way.
    if (ctcpReplyLimiter_.Allow(Platform().TickCount()))
      main_.SendLine(CtcpDccNotSupportedReply(Nick, "DCC", Globals().VersionText, offer.Type));
    return;
  }
  // One question at a time, so that a flood of offers cannot stack boxes.
  if (dccQuestionOpen_) {
    main_.AddServerMemoLine(StampedLine(Nick + Sj(u8" からの DCC ") + offer.Type +
                                        Sj(u8" の要求は、ほかの要求に答えるまで受け付けません。")));
    return;
  }
  dccQuestionOpen_ = true;
  Later([this, Nick, offer] {
    struct TAnswered {
      bool& Open;
      ~TAnswered() { Open = false; }
    } answered{dccQuestionOpen_};
    if (offer.Kind == TDccKind::Chat)
      OpenDccChat(main_, Nick, offer.Address, offer.Port, "CLIENT");
    else
      ReceiveDccFile(main_, Nick, offer.Argument, offer.Address, offer.Port, offer.Size, "CLIENT");
  });
}

void TServerLineHandlers::PrivmsgCommand(TToken Token) {
  const std::string nick = SenderNick(Token.Prefix);
  const std::string& target = Token.Params[1];
  const std::string text = WithoutColon(Token.Params[2]);
  if (IsRefused(nick)) return;

  if (IsCtcp(text)) {
    const std::string query = CtcpQueryWord(text);
    if (query == "ACTION") {
      ShowAction(main_, talkWindowRate_, nick, target, CtcpActionText(text));
      return;
    }
    main_.AddServerMemoLine(StampedLine(nick + Sj(u8" から ") + query + Sj(u8" コマンドを受信しました。")));
    if (query == "DCC") {
      HandDccOffer(nick, text);
      return;
    }
    if (!ctcpReplyLimiter_.Allow(Platform().TickCount())) return;

    const std::string& version = Globals().VersionText;
    if (query == "PING") {
      main_.SendLine(CtcpPingReply(nick, text));
    } else if (query == "TIME") {
      TPlatform& platform = Platform();
      const TDateTime now = platform.Now();
      main_.SendLine(CtcpTimeReply(
          nick, CtcpTimeText(platform.LongDateText(now), platform.WeekdayName(now), now.Hour, now.Minute, ":")));
    } else if (query == "USERINFO") {
      main_.SendLine(CtcpUserInfoReply(nick));
    } else if (query == "FINGER") {
      main_.SendLine(CtcpFingerReply(nick, GrobalArea().LoginName, GrobalArea().HostName));
    } else if (query == "VERSION") {
      main_.SendLine(CtcpVersionReply(nick, version));
    } else if (query == "CLIENTINFO") {
      main_.SendLine(CtcpClientInfoReply(nick));
    } else {
      main_.SendLine(CtcpNotSupportedReply(nick, query, version));
    }
    return;
  }

  const std::string line = DisplayLine(nick, text);
  if (target == Globals().CurrentNick) {
    ShowPrivateLine(main_, talkWindowRate_, nick, line);
    return;
  }

  if (TChatForm* chat = main_.FindChannelWindow(target)) {
    chat->AddRecvLine(line);
    TMainForm::KeepLastLines(chat->RecvRichEdit);
  }
}

void TServerLineHandlers::NoticeCommand(TToken Token) {
  const std::string nick = SenderNick(Token.Prefix);
  const std::string& target = Token.Params[1];
  if (IsRefused(nick)) return;
  const TCtcpReply reply = SplitCtcpReply(WithoutColon(Token.Params[2]));
  const std::string line = DisplayLine(nick, reply.Text);

  if (reply.Word == "PING" && target == Globals().CurrentNick) {
    ShowPingReply(main_, nick, reply.Text);
    return;
  }

  bool shown = false;
  const std::vector<TMdiChildForm*> children = main_.ChildWindows();
  if (!children.empty()) {
    if (target != Globals().CurrentNick) {
      if (TChatForm* chat = main_.FindChannelWindow(target)) {
        chat->AddRecvLine(line);
        shown = true;
        TMainForm::KeepLastLines(chat->RecvRichEdit);
      }
    } else {
      // Every window that knows the sender shows it, not only the first.
      for (TMdiChildForm* child : children) {
        if (auto* chat = qobject_cast<TChatForm*>(child)) {
          if (chat->FindNick(nick) < 0 && chat->FindNick("@" + nick) < 0) continue;
          if (reply.Word.empty()) {
            chat->AddRecvLine(line);
          } else {
            chat->AddRecvColorLine(TimeStamp() + " [" + nick + "] " + reply.Word + " " + reply.Text, clBlue);
          }
          shown = true;
          TMainForm::KeepLastLines(chat->RecvRichEdit);
        } else if (auto* talk = qobject_cast<TTalkForm*>(child)) {
          if (!TalkListsNick(talk, nick)) continue;
          talk->AddRecvLine(line);
          shown = true;
          TMainForm::KeepLastLines(talk->RecvMemo);
        }
      }
    }
  }

  if (Globals().NoticeMode && !shown) OpenTalkWith(main_, talkWindowRate_, nick, line);
}

}  // namespace tavi
