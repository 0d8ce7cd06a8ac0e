// Query replies and server errors: the answers go to the result windows
// (through the connection's signals), the away notices and ban lists to the
// channels and queries.
#include <algorithm>
#include <iterator>
#include <string_view>

#include "core/Connection.h"
#include "core/EventProcessor.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"

namespace tavi {

void TEventProcessor::UserModeIs221(TToken Token) { ApplyUserModeText(Token.Params[2], true); }

void TEventProcessor::AdminMe256(TToken Token) { replyState_.AdminLine1 = WithoutColon(Token.Params[2]); }
void TEventProcessor::AdminLoc1_257(TToken Token) { replyState_.AdminLine2 = WithoutColon(Token.Params[2]); }
void TEventProcessor::AdminLoc2_258(TToken Token) { replyState_.AdminLine3 = WithoutColon(Token.Params[2]); }

void TEventProcessor::AdminEmail259(TToken Token) {
  emit c_.AdminReplied({replyState_.AdminLine1, replyState_.AdminLine2, replyState_.AdminLine3,
                        WithoutColon(Token.Params[2])});
  replyState_.AdminLine1.clear();
  replyState_.AdminLine2.clear();
  replyState_.AdminLine3.clear();
}

void TEventProcessor::Away301(TToken Token) {
  const std::string& nick = Token.Params[2];
  const std::string text =
      c_.Stamp() + " " + nick + U8(u8" は不在です。") + "\r\n" + "< " + WithoutColon(Token.Params[3]) + " >";
  for (const auto& channel : c_.Channels())
    if (channel->Members.Find(nick) >= 0) c_.Show(*channel, TLineKind::Event, text);
  // An empty name is in no caption.
  if (nick.empty()) return;
  for (const auto& query : c_.Queries())
    if (query->Caption.find(nick) != std::string::npos) c_.Show(*query, text);
}

// The server's word on the user's own away mark.
void TEventProcessor::UnAway305(TToken) { c_.SetAway(false); }
void TEventProcessor::NowAway306(TToken) { c_.SetAway(true); }

void TEventProcessor::Ison303(TToken Token) {
  const std::vector<std::string> nicks = SplitNames(WithoutColon(Token.Params[2]));
  if (c_.TakeIsonAnswer(nicks)) return;
  // One answer per ISON the user sent; others are nobody's.
  int& asked = c_.Own.IsonRequests;
  if (asked <= 0) return;
  --asked;
  emit c_.IsonReplied(nicks);
}

void TEventProcessor::ShowWhoisUser(const TToken& Token, TWhoisColour Colour) {
  emit c_.WhoisColoured(Colour);
  emit c_.WhoisValue(TWhoisField::Nick, Token.Params[2]);
  emit c_.WhoisValue(TWhoisField::Login, Token.Params[3]);
  emit c_.WhoisValue(TWhoisField::Host, Token.Params[4]);
  emit c_.WhoisValue(TWhoisField::RealName, WithoutColon(Token.Params[6]));
}

void TEventProcessor::WhoisUser311(TToken Token) {
  ShowWhoisUser(Token, TWhoisColour::Whois);
  replyState_.WhoIsReplyPending = true;
}

void TEventProcessor::WhoisServer312(TToken Token) {
  emit c_.WhoisValue(TWhoisField::Nick, Token.Params[2]);
  emit c_.WhoisValue(TWhoisField::Server, Token.Params[3] + " " + WithoutColon(Token.Params[4]));
  replyState_.WhoIsReplyPending = true;
}

void TEventProcessor::WhoisOperator313(TToken Token) {
  emit c_.WhoisValue(TWhoisField::Operator, Token.Params[2] + " " + WithoutColon(Token.Params[3]));
  replyState_.WhoIsReplyPending = true;
}

void TEventProcessor::WhowasUser314(TToken Token) {
  ShowWhoisUser(Token, TWhoisColour::Whowas);
  replyState_.WhoWasReplyPending = true;
}

void TEventProcessor::WhoisIdle317(TToken Token) {
  emit c_.WhoisValue(TWhoisField::Nick, Token.Params[2]);
  emit c_.WhoisValue(TWhoisField::Idle, Token.Params[3] + " " + WithoutColon(Token.Params[4]));
  replyState_.WhoIsReplyPending = true;
}

void TEventProcessor::EndOfWhois318(TToken) {
  if (replyState_.WhoIsReplyPending) emit c_.WhoisEnded();
  replyState_.WhoIsReplyPending = false;
}

void TEventProcessor::WhoisChannels319(TToken Token) {
  emit c_.WhoisValue(TWhoisField::Nick, Token.Params[2]);
  emit c_.WhoisValue(TWhoisField::Channels, WithoutColon(Token.Params[3]));
  replyState_.WhoIsReplyPending = true;
}

void TEventProcessor::EndOfWhowas369(TToken) {
  if (replyState_.WhoWasReplyPending) emit c_.WhoisEnded();
  replyState_.WhoWasReplyPending = false;
}

void TEventProcessor::List322(TToken Token) {
  if (c_.Own.ListRequests <= 0) return;
  const std::string& channel = Token.Params[2];
  const std::string& users = Token.Params[3];
  // The server's local channels are left out.
  if (!channel.empty() && channel.front() == '&') return;
  if (!replyState_.List.Take()) return;
  constexpr std::size_t UsersWidth = 8;
  const std::string indent(8, ' ');
  const std::string padding(users.size() < UsersWidth ? UsersWidth - users.size() : 0, ' ');
  emit c_.ListingLine(U8(u8"チャンネル名： ") + channel);
  emit c_.ListingLine(indent + U8(u8"人数； ") + padding + users);
  emit c_.ListingLine(indent + U8(u8"トピック： ") + WithoutColon(Token.Params[4]));
}

void TEventProcessor::ListEnd323(TToken) {
  int& asked = c_.Own.ListRequests;
  if (asked <= 0) return;
  --asked;
  if (replyState_.List.LeftOut > 0) emit c_.ListingLine(LeftOutText(replyState_.List.LeftOut));
  replyState_.List.Reset();
  emit c_.ListingEnded(U8(u8"チャンネル名のリスト"));
}

void TEventProcessor::Inviting341(TToken Token) {
  const std::string text = Token.Params[1] + U8(u8" が ") + Token.Params[2] + U8(u8" へ ") + "\r\n" +
                           U8(u8"     チャンネル： ") + Token.Params[3] + U8(u8" への招待状を送付しました。");
  // Servers answer each INVITE: a notice that counts them, never a box each.
  Platform().ShowNotice(text);
}

void TEventProcessor::Version351(TToken Token) { emit c_.VersionReplied(Token.Params[2]); }

void TEventProcessor::BanList367(TToken Token) {
  // Only a list the user asked for (the ban mask editor waits for it).
  TChannel* channel = c_.FindChannel(c_.WireParam(2, Token.Params[2]));
  if (channel && channel->BanMaskPending && replyState_.BanMasks.Take())
    channel->BanMaskList.push_back(Token.Params[3]);
}

void TEventProcessor::EndOfBanList368(TToken Token) {
  TChannel* channel = c_.FindChannel(c_.WireParam(2, Token.Params[2]));
  if (channel && channel->BanMaskPending && replyState_.BanMasks.LeftOut > 0)
    c_.Show(*channel, TLineKind::Event, c_.Stamp() + " " + LeftOutText(replyState_.BanMasks.LeftOut));
  replyState_.BanMasks.Reset();
  if (channel && channel->BanMaskPending) emit c_.BanListEnded(channel);
}

void TEventProcessor::ServerError(TToken Token) {
  // A refused join is answered: the channel, forced on us later, is no
  // join the user asked for.
  static constexpr std::string_view JoinRefusals[] = {"403", "405", "471", "473", "474", "475", "476"};
  if (std::find(std::begin(JoinRefusals), std::end(JoinRefusals), Token.Command) != std::end(JoinRefusals))
    c_.TakeJoinRequest(Token.Params[2]);
  // One window for all of them: a server can send errors without end.
  emit c_.ServerErrorReplied(U8(u8"エラーコード：  ") + Token.Command + "\r\n" + Token.Params[2] + " " +
                             Token.Params[3] + "\r\n" + Token.Params[4]);
}

}  // namespace tavi
