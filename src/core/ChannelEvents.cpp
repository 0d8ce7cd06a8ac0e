// Channel and nick state: joins, parts, kicks, quits, nick and mode changes,
// topics and names replies keep the channels and queries in step with the
// server.
#include <algorithm>

#include "core/Batches.h"
#include "core/Connection.h"
#include "core/EventProcessor.h"
#include "core/Session.h"
#include "kanji/QtText.h"
#include "protocol/ChannelState.h"

namespace tavi {

namespace {

// " （reason）" after an event, nothing without one.
std::string Reason(const std::string& Text) { return Text.empty() ? std::string() : U8(u8"（") + Text + U8(u8"）"); }

// Takes Nick out of the channel's members, whatever their rank.
void DeleteMember(TChannel& Channel, const std::string& Nick) {
  const int row = Channel.Members.Find(Nick);
  if (row >= 0) Channel.Members.Remove(row);
}

}  // namespace

void TEventProcessor::ApplyChannelMode(TChannel& Channel, const TChannelModeChange& Change) {
  const std::string& argument = Change.Argument;
  if (Channel.Members.Prefixes().RankOfMode(Change.Letter) < Channel.Members.Prefixes().Count()) {
    // A rank given or taken: without a nick there is nobody to change.
    if (argument.empty()) return;
    Channel.Members.SetRank(argument, Change.Letter, Change.Adding);
    // Only the user's own voice lets the user speak when moderated.
    if (Change.Letter == 'v' && SameName(argument, c_.Own.CurrentNick, c_.CaseMapping()))
      Channel.SpeechMode = Change.Adding;
    return;
  }
  switch (Change.Letter) {
    case 'p': Channel.PrivateMode = Change.Adding; break;
    case 's': Channel.SecretMode = Change.Adding; break;
    case 'i': Channel.InviteMode = Change.Adding; break;
    case 't': Channel.TopicMode = Change.Adding; break;
    case 'n': Channel.MessageMode = Change.Adding; break;
    case 'm': Channel.ModeratedMode = Change.Adding; break;
    case 'l': {
      std::int32_t limit = 0;
      const bool valid = Change.Adding && DecimalNumber(argument, limit);
      Channel.LimitNumber = valid ? limit : 0;
      Channel.LimitMode = valid;
      break;
    }
    case 'b': {
      auto& masks = Channel.BanMaskList;
      if (Change.Adding) {
        // A server's flood of +b must not grow the list without end.
        if (!argument.empty() && masks.size() < static_cast<std::size_t>(TListCap::MaxEntries)) masks.push_back(argument);
      } else {
        const auto it = std::find_if(masks.begin(), masks.end(),
                                     [&](const std::string& Mask) { return SameName(Mask, argument, c_.CaseMapping()); });
        if (it != masks.end()) masks.erase(it);
      }
      break;
    }
    case 'k':
      Channel.KeyWord = Change.Adding ? argument : std::string();
      Channel.KeyWordMode = Change.Adding;
      break;
    default: break;
  }
}

int TEventProcessor::ChannelCount() const { return static_cast<int>(c_.Channels().size()); }

void TEventProcessor::JoinCommand(TToken Token) {
  const std::string channelName = WithoutColon(Token.Params[1]);
  // A window without a name could never be left or closed.
  if (channelName.empty()) return;
  const std::string wireName = WithoutColon(c_.WireParam(1, Token.Params[1]));
  TChannel* channel = c_.FindChannel(wireName);
  const std::string nick = SenderNick(Token.Prefix);
  const bool own = nick == c_.Own.CurrentNick;
  const bool asked = own && c_.TakeJoinRequest(channelName);
  if (!channel && (ChannelCount() >= TConnection::MaxChannels ||
                   c_.Session().ChannelsInTotal() >= c_.Session().ChannelBoundInTotal())) {
    // Joins forced on us by the hundred: no window beyond the bound, and
    // the channel is left again, so that nothing arrives for it unseen.
    if (own) {
      c_.ShowInServerLog(c_.Stamp() + " " + channelName +
                         U8(u8" のウインドウは開けません。チャンネルのウインドウが多すぎるため退室します。"));
      c_.SendWire("PART " + wireName + "\r\n");
    }
    return;
  }
  // The window of a join the user asked for takes the keyboard; one that
  // the server or someone else opens does not.
  if (!channel) channel = c_.OpenChannel(wireName, asked ? TOpening::Activate : TOpening::Quietly, channelName);
  TMember member{nick, {}};
  const std::size_t bang = Token.Prefix.find('!');
  const std::size_t at = Token.Prefix.find('@', bang);
  if (bang != std::string::npos && at != std::string::npos) {
    member.User = MemberInfo(std::string_view(Token.Prefix).substr(bang + 1, at - bang - 1));
    member.Host = MemberInfo(std::string_view(Token.Prefix).substr(at + 1));
  }
  // extended-join: "JOIN #chan account :real name", "*" for no account.
  if (c_.Caps().Enabled("extended-join")) {
    if (Token.Params[2] != "*") member.Account = MemberInfo(Token.Params[2]);
    member.RealName = MemberInfo(WithoutColon(Token.Params[3]));
  }
  if (!own) {
    if (TBatch* netjoin = MassChange("netjoin"))
      ++netjoin->Members[channel->WireName()];
    else
      c_.Show(*channel, TLineKind::Event, c_.Stamp() + " " + nick + U8(u8" がチャンネルへ入室しました。"));
    channel->Members.Add(std::move(member));
  } else {
    c_.Show(*channel, TLineKind::Own, c_.Stamp() + U8(u8" チャンネルへ入室しました。"));
    channel->Members.Add(std::move(member));
    channel->NamesReplyOpen = false;
    // The server sends the topic with the join itself; asking again showed it twice.
    c_.SendWire("MODE " + channel->WireName() + "\r\n");
  }
  channel->Joined = true;
}

void TEventProcessor::PartCommand(TToken Token) {
  // The member who left is the sender. The second parameter is a parting
  // message on servers today; it names the member only when the line has no
  // sender nick, as old servers sent it.
  std::string nick = SenderNick(Token.Prefix);
  if (nick.empty()) nick = WithoutColon(Token.Params[2]);
  TChannel* channel = c_.FindChannel(c_.WireParam(1, Token.Params[1]));
  if (!channel) return;
  if (nick != c_.Own.CurrentNick) {
    if (!nick.empty()) DeleteMember(*channel, nick);
    // Many clients part with the nick as the message: no news.
    std::string reason = SenderNick(Token.Prefix).empty() ? std::string() : WithoutColon(Token.Params[2]);
    if (reason == nick) reason.clear();
    c_.Show(*channel, TLineKind::Event, c_.Stamp() + " " + nick + U8(u8" が退室しました。") + Reason(reason));
  } else {
    channel->Members.Clear();
    c_.Show(*channel, TLineKind::Own, c_.Stamp() + U8(u8" チャンネルから退室しました。"));
    channel->Reset();
  }
}

void TEventProcessor::QuitCommand(TToken Token) {
  const std::string nick = SenderNick(Token.Prefix);
  // An empty name would be found in every talk caption.
  if (nick.empty()) return;
  const std::string line =
      c_.Stamp() + " " + nick + U8(u8" が IRC を終了しました。") + Reason(WithoutColon(Token.Params[1]));
  // A netsplit's quits are told once a channel, at its end.
  TBatch* netsplit = MassChange("netsplit");
  for (const auto& channel : c_.Channels()) {
    const int row = channel->Members.Find(nick);
    if (row < 0) continue;
    channel->Members.Remove(row);
    if (netsplit)
      ++netsplit->Members[channel->WireName()];
    else
      c_.Show(*channel, TLineKind::Event, line);
  }
  for (const auto& query : c_.Queries()) {
    if (query->Caption.find(nick) == std::string::npos) continue;
    if (query->HasSpeaker(nick)) {
      query->RemoveSpeaker(nick);
      emit c_.QueryChanged(query.get());
    }
    c_.Show(*query, line);
  }
  c_.NickFreed(nick);
}

void TEventProcessor::NickCommand(TToken Token) {
  const std::string old = SenderNick(Token.Prefix);
  const std::string renamed = WithoutColon(Token.Params[1]);
  // Without both names the change cannot be applied to anyone.
  if (old.empty() || renamed.empty()) return;
  for (const auto& query : c_.Queries()) {
    const std::string caption = ReplaceListMember(query->Caption, old, renamed);
    const bool listed = std::find(query->MemberList.begin(), query->MemberList.end(), old) != query->MemberList.end();
    if (caption == query->Caption && !listed && !query->HasSpeaker(old)) continue;
    query->ReplaceSpeaker(old, renamed);
    query->Caption = caption;
    // The next line must go to the member under the new name.
    std::replace(query->MemberList.begin(), query->MemberList.end(), old, renamed);
    emit c_.QueryChanged(query.get());
  }
  emit c_.NickChanged(old, renamed);
  const bool own = old == c_.Own.CurrentNick;
  const std::string line = own ? c_.Stamp() + U8(u8" ニックネームを ") + renamed + U8(u8" に変えました。")
                               : c_.Stamp() + " " + old + U8(u8" は ") + renamed + U8(u8" に名前を変えました。");
  for (const auto& channel : c_.Channels()) {
    const int row = channel->Members.Find(old);
    if (row < 0) continue;
    TMember member = channel->Members.At(row);
    member.Nick = renamed;
    channel->Members.Set(row, std::move(member));
    c_.Show(*channel, own ? TLineKind::Own : TLineKind::Event, line);
  }
  if (own)
    AdoptOwnNick(renamed);
  else
    c_.NickFreed(old);
}

void TEventProcessor::KickCommand(TToken Token) {
  const std::string& victim = Token.Params[2];
  // A kick without a victim removes nobody.
  if (victim.empty()) return;
  const std::string reason = WithoutColon(Token.Params[3]);
  const std::string kicker = SenderNick(Token.Prefix);
  TChannel* channel = c_.FindChannel(c_.WireParam(1, Token.Params[1]));
  if (!channel) return;
  const std::string& nick = c_.Own.CurrentNick;
  const std::string reasonLine = U8(u8"        理由は ") + reason;
  if (kicker == nick) {
    c_.Show(*channel, TLineKind::Own, c_.Stamp() + " " + victim + " " + U8(u8" を追放しました。"));
    DeleteMember(*channel, victim);
  } else if (victim == nick) {
    c_.Show(*channel, TLineKind::Own, c_.Stamp() + " " + kicker + " " + U8(u8" から追放されました。"));
    if (reason != kicker) c_.Show(*channel, TLineKind::Own, reasonLine);
    channel->Members.Clear();
    // Modes, topic and ban masks stay as they were until the next own JOIN.
    channel->Joined = false;
  } else {
    c_.Show(*channel, TLineKind::Event,
            c_.Stamp() + " " + victim + U8(u8" は ") + kicker + " " + U8(u8" により追放されました。"));
    if (reason != kicker) c_.Show(*channel, TLineKind::Event, reasonLine);
    DeleteMember(*channel, victim);
  }
}

void TEventProcessor::ModeCommand(TToken Token) {
  if (Token.Params[1] == c_.Own.CurrentNick) {
    ApplyUserModeText(Token.Params[2]);
    return;
  }
  TChannel* channel = c_.FindChannel(c_.WireParam(1, Token.Params[1]));
  if (!channel) return;
  const std::vector<TChannelModeChange> changes = ParseChannelModes(Token, channel->Members.Prefixes().Modes, c_.ChannelModeKinds());
  for (const TChannelModeChange& change : changes) ApplyChannelMode(*channel, change);
  const std::string by = SenderNick(Token.Prefix);
  std::string modes;
  for (std::size_t k = 2; k < Token.Params.size() && !Token.Params[k].empty(); ++k)
    modes += (modes.empty() ? "" : " ") + WithoutColon(Token.Params[k]);
  if (!modes.empty())
    c_.Show(*channel, TLineKind::Event,
            c_.Stamp() + " " + (by.empty() ? WithoutColon(Token.Prefix) : by) + U8(u8" がモードを変えました： ") + modes);
}

void TEventProcessor::TopicCommand(TToken Token) {
  TChannel* channel = c_.FindChannel(c_.WireParam(1, Token.Params[1]));
  if (!channel) return;
  channel->Topic = WithoutColon(Token.Params[2]);
  c_.Show(*channel, TLineKind::Event,
          c_.Stamp() + " " + SenderNick(Token.Prefix) + U8(u8" がトピックを変えました： ") + channel->Topic);
}

void TEventProcessor::InviteCommand(TToken Token) {
  const std::string& invited = Token.Params[1];
  if (!invited.empty() && !SameName(invited, c_.Own.CurrentNick, c_.CaseMapping())) {
    // invite-notify: someone else is invited into a channel of ours.
    if (TChannel* channel = c_.FindChannel(WithoutColon(c_.WireParam(2, Token.Params[2]))))
      c_.Show(*channel, TLineKind::Event,
              c_.Stamp() + " " + SenderNick(Token.Prefix) + U8(u8" が ") + invited + U8(u8" を招待しました。"));
    return;
  }
  emit c_.Invited(SenderNick(Token.Prefix), WithoutColon(Token.Params[2]));
}

void TEventProcessor::NoTopic331(TToken Token) {
  if (TChannel* channel = c_.FindChannel(c_.WireParam(2, Token.Params[2])))
    c_.Show(*channel, TLineKind::Event, U8(u8"トピックはついていません。"));
}

void TEventProcessor::Topic332(TToken Token) {
  if (TChannel* channel = c_.FindChannel(c_.WireParam(2, Token.Params[2])))
    c_.Show(*channel, TLineKind::Event, U8(u8"トピック： ") + WithoutColon(Token.Params[3]));
}

void TEventProcessor::NamesReply353(TToken Token) {
  const std::string& channelName = Token.Params[3];
  if (channelName.empty()) return;
  const std::vector<std::string> entries = SplitNames(WithoutColon(Token.Params[4]));
  if (c_.Own.NamesRequested) {
    // The listing goes to the names result window, shown at its end.
    for (const std::string& line : NamesListingLines(channelName, entries, U8(u8"チャンネル名： ")))
      if (replyState_.Names.Take()) emit c_.ListingLine(line);
    return;
  }
  TChannel* channel = c_.FindChannel(c_.WireParam(3, channelName));
  if (!channel) return;
  // Servers split one reply over many 353 lines: the first replaces the
  // members, the rest add to them.
  if (!channel->NamesReplyOpen) {
    channel->Members.Clear();
    channel->NamesReplyOpen = true;
  }
  for (const std::string& entry : entries) {
    TMember member = channel->Members.FromEntry(entry);
    if (member.Nick.empty()) continue;
    if (SameName(member.Nick, c_.Own.CurrentNick, c_.CaseMapping()))
      channel->SpeechMode = channel->Members.Prefixes().Holds(member.Ranks, 'v');
    channel->Members.Add(std::move(member));
  }
}

void TEventProcessor::EndOfNames366(TToken Token) {
  if (TChannel* channel = c_.FindChannel(c_.WireParam(2, Token.Params[2]))) channel->NamesReplyOpen = false;
  if (c_.Own.NamesRequested) {
    if (replyState_.Names.LeftOut > 0) emit c_.ListingLine(LeftOutText(replyState_.Names.LeftOut));
    emit c_.ListingEnded(U8(u8"ニックネームのリスト"));
  }
  replyState_.Names.Reset();
  c_.Own.NamesRequested = false;
}

}  // namespace tavi
