// Messages, notices and CTCP.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Connection.h"
#include "core/DccDesk.h"
#include "core/EventProcessor.h"
#include "core/Session.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"
#include "protocol/Ctcp.h"

namespace tavi {

// A conversation opened by an incoming line: the sender is its first member.
// Beyond a sane rate of new windows the line goes to the server log, so that
// a flood of senders cannot bury the desktop in windows.
void TEventProcessor::OpenQueryWith(const std::string& Nick, const std::string& Line) {
  if (!queryRate_.Allow(Platform().TickCount())) {
    c_.ShowInServerLog(Line);
    return;
  }
  TQuery* query = c_.OpenQuery(Nick, {Nick}, TOpening::Quietly);
  c_.ShowSaid(*query, Nick, Line);
  query->AddSpeaker(Nick);
  emit c_.QueryChanged(query);
}

void TEventProcessor::ShowPrivateLine(const std::string& Nick, const std::string& Line) {
  for (const auto& query : c_.Queries()) {
    if (!query->StandsFor(Nick)) continue;
    c_.ShowSaid(*query, Nick, Line);
    if (!query->HasSpeaker(Nick)) {
      query->AddSpeaker(Nick);
      emit c_.QueryChanged(query.get());
    }
    return;
  }
  OpenQueryWith(Nick, Line);
}

// "/me" from others: shown like a member's event where it was said, and
// never answered.
void TEventProcessor::ShowAction(const std::string& Nick, const std::string& Target, const std::string& Text) {
  const std::string line = ActionDisplayLine(c_.Stamp(), Nick, Text);
  if (Target == c_.Own.CurrentNick) {
    ShowPrivateLine(Nick, line);
  } else if (TChannel* channel = c_.FindChannel(c_.WireParam(1, Target))) {
    c_.ShowSaid(*channel, TLineKind::Event, Nick, Text, line);
    channel->Spoke(Nick);
  }
}

// A CTCP PING reply shows once: with its round trip in the channel that
// sent the echoed token, else in the server log without one.
void TEventProcessor::ShowPingReply(const std::string& Nick, const std::string& Text) {
  const std::string token = TrimControls(Text);
  for (const auto& channel : c_.Channels()) {
    if (channel->PingToken.empty() || channel->PingToken != token) continue;
    channel->PingToken.clear();
    channel->PingReplyTime = Platform().TickCount();
    const std::uint32_t elapsed = channel->PingReplyTime - channel->PingSentTime;
    c_.Show(*channel, TLineKind::Event,
            c_.Stamp() + " [" + Nick + "] PING " + std::to_string(elapsed) + U8(u8" ミリ秒です。"));
    return;
  }
  c_.ShowInServerLog(c_.Stamp() + " [" + Nick + "] PING " + Text);
}

void TEventProcessor::HandDccOffer(const std::string& Nick, const std::string& Text) {
  const TDccOffer offer = ParseDccOffer(Text);
  TDccDesk* desk = c_.Session().DccDesk();
  // The answers about our own transfers; they ask nothing of the user.
  if (desk && offer.Kind == TDccKind::Resume && desk->Resume(c_, Nick, offer)) return;
  if (desk && offer.Kind == TDccKind::Accept && desk->Accept(c_, Nick, offer)) return;
  if (offer.Kind != TDccKind::Chat && offer.Kind != TDccKind::Send) {
    // A refusal is a reply like any other: rationed the same way.
    if (ctcpReplyLimiter_.Allow(Platform().TickCount()))
      c_.SendLine(CtcpDccNotSupportedReply(Nick, "DCC", c_.Session().VersionText, offer.Type));
    return;
  }
  if (!desk) return;
  // One question at a time, so that a flood of offers cannot stack boxes.
  if (dccQuestionOpen_) {
    c_.ShowInServerLog(c_.Stamp() + " " + Nick + U8(u8" からの DCC ") + offer.Type +
                       U8(u8" の要求は、ほかの要求に答えるまで受け付けません。"));
    return;
  }
  dccQuestionOpen_ = true;
  desk->Offer(c_, Nick, offer, [this] { dccQuestionOpen_ = false; });
}

void TEventProcessor::AnswerCtcp(const std::string& Nick, const std::string& Query, const std::string& Text) {
  if (!ctcpReplyLimiter_.Allow(Platform().TickCount())) return;
  const std::string& version = c_.Session().VersionText;
  if (Query == "PING") {
    c_.SendLine(CtcpPingReply(Nick, Text));
  } else if (Query == "TIME") {
    TPlatform& platform = Platform();
    const TDateTime now = platform.Now();
    c_.SendLine(CtcpTimeReply(
        Nick, CtcpTimeText(platform.LongDateText(now), platform.WeekdayName(now), now.Hour, now.Minute, ":")));
  } else if (Query == "USERINFO") {
    c_.SendLine(CtcpUserInfoReply(Nick));
  } else if (Query == "FINGER") {
    c_.SendLine(CtcpFingerReply(Nick, c_.Area().LoginName, c_.Area().HostName));
  } else if (Query == "VERSION") {
    c_.SendLine(CtcpVersionReply(Nick, version));
  } else if (Query == "CLIENTINFO") {
    c_.SendLine(CtcpClientInfoReply(Nick));
  } else {
    c_.SendLine(CtcpNotSupportedReply(Nick, Query, version));
  }
}

bool TEventProcessor::TakePlaybackMark(const std::string& Nick, const std::string& WireTarget,
                                       const std::string& Text) {
  if (Nick != "***") return false;
  const std::string key = c_.PlaybackKey(WireTarget);
  if (Text == "Buffer Playback...") {
    c_.Playback().MarkStart(key);
    return true;
  }
  if (Text == "Playback Complete.") {
    c_.Playback().MarkEnd(key);
    c_.EndHistory("mark " + key);
    return true;
  }
  return false;
}

void TEventProcessor::ShowOwnLine(const std::string& Target, const std::string& Text, bool Notice) {
  const std::string& own = c_.Own.CurrentNick;
  std::string line;
  TLineKind kind = TLineKind::Talk;
  if (IsCtcp(Text)) {
    // Of the user's own CTCP only an action is news; a query of ours that
    // comes back is never answered.
    if (Notice || CtcpQueryWord(Text) != "ACTION") return;
    line = ActionDisplayLine(c_.Stamp(), own, CtcpActionText(Text));
    kind = TLineKind::Event;
  } else if (Notice) {
    line = c_.Stamp() + " >" + Target + "< " + Text;
    kind = TLineKind::Own;
  } else {
    line = c_.Stamp() + " [" + own + "] " + Text;
  }
  if (TChannel* channel = c_.FindChannel(c_.WireParam(1, Target))) {
    c_.Show(*channel, kind, line);
    return;
  }
  for (const auto& query : c_.Queries()) {
    if (!query->StandsFor(Target)) continue;
    // Sent to each member of the window, it comes back from each.
    std::vector<std::string>& pending = ownEcho_.Pending;
    const auto copy = std::find_if(pending.begin(), pending.end(),
                                   [&](const std::string& Nick) { return SameName(Nick, Target, c_.CaseMapping()); });
    if (ownEcho_.Query == query.get() && ownEcho_.Text == Text && copy != pending.end()) {
      pending.erase(copy);
      return;
    }
    ownEcho_ = {query.get(), Text, query->MemberList};
    std::erase_if(ownEcho_.Pending, [&](const std::string& Nick) { return SameName(Nick, Target, c_.CaseMapping()); });
    c_.Show(*query, line);
    return;
  }
  c_.ShowInServerLog(kind == TLineKind::Talk ? c_.Stamp() + " >" + Target + "< " + Text : line);
}

void TEventProcessor::PrivmsgCommand(TToken Token) {
  const std::string nick = SenderNick(Token.Prefix);
  const std::string& target = Token.Params[1];
  const std::string text = WithoutColon(Token.Params[2]);
  const std::string wireTarget = c_.WireParam(1, target);
  if (TakePlaybackMark(nick, wireTarget, text)) return;
  if (!nick.empty() && SameName(nick, c_.Own.CurrentNick, c_.CaseMapping())) {
    ShowOwnLine(target, text, false);
    return;
  }
  if (c_.IsRefused(nick)) return;

  if (IsCtcp(text)) {
    const std::string query = CtcpQueryWord(text);
    if (query == "ACTION") {
      ShowAction(nick, target, CtcpActionText(text));
      return;
    }
    // A query from the history was asked of nobody now.
    if (c_.Replayed(wireTarget)) return;
    c_.ShowInServerLog(c_.Stamp() + " " + nick + U8(u8" から ") + query + U8(u8" コマンドを受信しました。"));
    if (query == "DCC") {
      HandDccOffer(nick, text);
      return;
    }
    AnswerCtcp(nick, query, text);
    return;
  }

  const std::string line = c_.Stamp() + " [" + nick + "] " + text;
  if (target == c_.Own.CurrentNick) {
    ShowPrivateLine(nick, line);
    return;
  }
  if (TChannel* channel = c_.FindChannel(c_.WireParam(1, target))) {
    c_.ShowSaid(*channel, TLineKind::Talk, nick, text, line);
    channel->Spoke(nick);
  }
}

void TEventProcessor::NoticeCommand(TToken Token) {
  const std::string nick = SenderNick(Token.Prefix);
  const std::string& target = Token.Params[1];
  if (TakePlaybackMark(nick, c_.WireParam(1, target), WithoutColon(Token.Params[2]))) return;
  if (!nick.empty() && SameName(nick, c_.Own.CurrentNick, c_.CaseMapping())) {
    ShowOwnLine(target, WithoutColon(Token.Params[2]), true);
    return;
  }
  if (c_.IsRefused(nick)) return;
  const TCtcpReply reply = SplitCtcpReply(WithoutColon(Token.Params[2]));
  const std::string line = c_.Stamp() + " [" + nick + "] " + reply.Text;

  if (reply.Word == "PING" && target == c_.Own.CurrentNick) {
    ShowPingReply(nick, reply.Text);
    return;
  }

  bool shown = false;
  if (!c_.Channels().empty() || !c_.Queries().empty()) {
    if (target != c_.Own.CurrentNick) {
      if (TChannel* channel = c_.FindChannel(c_.WireParam(1, target))) {
        c_.Show(*channel, TLineKind::Talk, line);
        shown = true;
      }
    } else {
      // Every window that knows the sender shows it, not only the first.
      for (const auto& channel : c_.Channels()) {
        if (channel->Members.Find(nick) < 0) continue;
        if (reply.Word.empty())
          c_.Show(*channel, TLineKind::Talk, line);
        else
          c_.Show(*channel, TLineKind::Event, c_.Stamp() + " [" + nick + "] " + reply.Word + " " + reply.Text);
        shown = true;
      }
      for (const auto& query : c_.Queries()) {
        if (!query->HasSpeaker(nick)) continue;
        c_.Show(*query, line);
        shown = true;
      }
    }
  }

  if (c_.Own.Modes.Notice && !shown) OpenQueryWith(nick, line);
}

}  // namespace tavi
