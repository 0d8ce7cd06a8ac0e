// What the negotiated capabilities bring: batches (netsplits, a bouncer's
// history), and the members' away marks, accounts, hosts and real names.
#include <algorithm>
#include <iterator>

#include "core/Connection.h"
#include "core/EventProcessor.h"
#include "kanji/QtText.h"
#include "protocol/ChannelState.h"

namespace tavi {

bool TEventProcessor::Takes(const TMessage& Message) {
  // History tells what was said; what changed then is over, and the model
  // is of now.
  static constexpr std::string_view Changes[] = {"JOIN", "PART",   "QUIT", "KICK",    "NICK",    "MODE",
                                                 "TOPIC", "INVITE", "AWAY", "ACCOUNT", "CHGHOST", "SETNAME"};
  const bool change = std::find(std::begin(Changes), std::end(Changes), Message.Command) != std::end(Changes);
  return !change || !c_.Playback().InHistoryBatch(Message);
}

TBatch* TEventProcessor::MassChange(std::string_view Type) {
  const TMessage* line = c_.CurrentMessage();
  const std::string* ref = line ? line->Tag("batch") : nullptr;
  return ref ? c_.Playback().Batches().Within(*ref, {Type}) : nullptr;
}

void TEventProcessor::BatchCommand(TToken Token) {
  const std::string& mark = Token.Params[1];
  if (mark.size() < 2) return;
  const std::string ref = mark.substr(1);
  TBatches& batches = c_.Playback().Batches();
  if (mark.front() == '+') {
    std::vector<std::string> params;
    for (std::size_t k = 3; k < Token.Params.size() && !Token.Params[k].empty(); ++k)
      params.push_back(WithoutColon(Token.Params[k]));
    const std::string* parent = c_.CurrentMessage() ? c_.CurrentMessage()->Tag("batch") : nullptr;
    batches.Open(ref, WithoutColon(Token.Params[2]), std::move(params), parent ? *parent : std::string());
    return;
  }
  if (mark.front() != '-') return;
  const std::optional<TBatch> batch = batches.Close(ref);
  if (!batch) return;
  if (batch->Type == "netsplit" || batch->Type == "netjoin") ShowMassChange(*batch);
  c_.EndHistory("batch " + batch->Ref);
}

void TEventProcessor::ShowMassChange(const TBatch& Batch) {
  std::string servers;
  for (const std::string& server : Batch.Params) servers += (servers.empty() ? "" : " ") + server;
  const std::string what = Batch.Type == "netsplit" ? U8(u8"ネットスプリット： ") : U8(u8"ネットジョイン： ");
  for (const auto& channel : c_.Channels()) {
    const auto counted = Batch.Members.find(channel->WireName());
    if (counted == Batch.Members.end()) continue;
    c_.Show(*channel, TLineKind::Event,
            c_.Stamp() + " " + what + servers + U8(u8"（") + std::to_string(counted->second) + U8(u8" 人）"));
  }
}

void TEventProcessor::ChangeMember(const std::string& Nick, const std::function<void(TMember&)>& Change) {
  if (Nick.empty()) return;
  for (const auto& channel : c_.Channels()) {
    const int row = channel->Members.Find(Nick);
    if (row < 0) continue;
    TMember member = channel->Members.At(row);
    Change(member);
    channel->Members.Set(row, std::move(member));
  }
}

void TEventProcessor::AwayCommand(TToken Token) {
  // "AWAY :message" marks the member away, a bare "AWAY" back.
  const std::string message = MemberInfo(WithoutColon(Token.Params[1]));
  ChangeMember(SenderNick(Token.Prefix), [&](TMember& Member) {
    Member.Away = !message.empty();
    Member.AwayMessage = message;
  });
}

void TEventProcessor::AccountCommand(TToken Token) {
  const std::string account = WithoutColon(Token.Params[1]);
  if (account.empty()) return;
  // "*": logged out.
  ChangeMember(SenderNick(Token.Prefix),
               [&](TMember& Member) { Member.Account = account == "*" ? std::string() : MemberInfo(account); });
}

void TEventProcessor::ChghostCommand(TToken Token) {
  const std::string user = Token.Params[1];
  const std::string host = WithoutColon(Token.Params[2]);
  if (user.empty() || host.empty()) return;
  ChangeMember(SenderNick(Token.Prefix), [&](TMember& Member) {
    Member.User = MemberInfo(user);
    Member.Host = MemberInfo(host);
  });
}

void TEventProcessor::SetnameCommand(TToken Token) {
  const std::string name = MemberInfo(WithoutColon(Token.Params[1]));
  ChangeMember(SenderNick(Token.Prefix), [&](TMember& Member) { Member.RealName = name; });
}

}  // namespace tavi
