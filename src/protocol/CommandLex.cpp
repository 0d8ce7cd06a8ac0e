#include "protocol/CommandLex.h"

#include <charconv>

namespace tavi {

namespace {

using Slot = void (TServerHandlers::*)(TToken);

struct Row {
  std::string_view Command;
  Slot Handler;
};

// The named rows, tested in this order.
constexpr Row CommandTable[] = {
    {"ERROR", &TServerHandlers::ErrorCommand},
    {"NICK", &TServerHandlers::NickCommand},
    {"JOIN", &TServerHandlers::JoinCommand},
    {"PART", &TServerHandlers::PartCommand},
    {"PRIVMSG", &TServerHandlers::PrivmsgCommand},
    {"NOTICE", &TServerHandlers::NoticeCommand},
    {"QUIT", &TServerHandlers::QuitCommand},
    {"MODE", &TServerHandlers::ModeCommand},
    {"TOPIC", &TServerHandlers::TopicCommand},
    {"PING", &TServerHandlers::PingCommand},
    {"INVITE", &TServerHandlers::InviteCommand},
    {"KICK", &TServerHandlers::KickCommand},
    {"001", &TServerHandlers::Welcome001},
    {"221", &TServerHandlers::UserModeIs221},
    {"256", &TServerHandlers::AdminMe256},
    {"257", &TServerHandlers::AdminLoc1_257},
    {"258", &TServerHandlers::AdminLoc2_258},
    {"259", &TServerHandlers::AdminEmail259},
    {"301", &TServerHandlers::Away301},
    {"303", &TServerHandlers::Ison303},
    {"305", &TServerHandlers::UnAway305},
    {"306", &TServerHandlers::NowAway306},
    {"311", &TServerHandlers::WhoisUser311},
    {"312", &TServerHandlers::WhoisServer312},
    {"313", &TServerHandlers::WhoisOperator313},
    {"314", &TServerHandlers::WhowasUser314},
    {"317", &TServerHandlers::WhoisIdle317},
    {"318", &TServerHandlers::EndOfWhois318},
    {"319", &TServerHandlers::WhoisChannels319},
    {"322", &TServerHandlers::List322},
    {"323", &TServerHandlers::ListEnd323},
    {"331", &TServerHandlers::NoTopic331},
    {"332", &TServerHandlers::Topic332},
    {"341", &TServerHandlers::Inviting341},
    {"351", &TServerHandlers::Version351},
    {"353", &TServerHandlers::NamesReply353},
    {"366", &TServerHandlers::EndOfNames366},
    {"367", &TServerHandlers::BanList367},
    {"368", &TServerHandlers::EndOfBanList368},
    {"369", &TServerHandlers::EndOfWhowas369},
    {"372", &TServerHandlers::Motd372},
    {"375", &TServerHandlers::MotdStart375},
    {"376", &TServerHandlers::EndOfMotd376},
    {"422", &TServerHandlers::NoMotd422},
    {"BATCH", &TServerHandlers::BatchCommand},
    {"AWAY", &TServerHandlers::AwayCommand},
    {"ACCOUNT", &TServerHandlers::AccountCommand},
    {"CHGHOST", &TServerHandlers::ChghostCommand},
    {"SETNAME", &TServerHandlers::SetnameCommand},
    {"TAGMSG", &TServerHandlers::TagmsgCommand},
};

// The commands of the capabilities, which the keyword table never had.
bool IsCapabilityCommand(std::string_view Command) {
  for (const std::string_view word : {"BATCH", "AWAY", "ACCOUNT", "CHGHOST", "SETNAME", "TAGMSG"})
    if (Command == word) return true;
  return false;
}

}  // namespace

void DispatchServerLine(std::string_view Line, TServerHandlers& Handlers) {
  TMessage message;
  if (ParseMessage(Line, message)) DispatchMessage(message, Handlers);
}

void DispatchMessage(const TMessage& Message, TServerHandlers& Handlers) {
  // Every error reply is shown, also one the keyword table does not list
  // (476, a bad channel mask, ends a join too).
  int number = 0;
  const char* first = Message.Command.data();
  const char* last = first + Message.Command.size();
  const auto [end, ec] = std::from_chars(first, last, number);
  const bool error = ec == std::errc() && end == last && Message.Command.size() == 3 && number >= 401 && number <= 502;
  // Otherwise the client's vocabulary is the keyword table's, and the away
  // replies, which the keywords (also those of the line reading) never had.
  const bool away = Message.Command == "305" || Message.Command == "306";
  if (!error && !away && !IsKnownCommand(Message.Command) && !IsCapabilityCommand(Message.Command)) return;
  if (!Handlers.Takes(Message)) return;
  TToken token = ToToken(Message);

  for (const Row& row : CommandTable) {
    if (token.Command == row.Command) {
      (Handlers.*row.Handler)(std::move(token));
      return;
    }
  }
  // Keywords without a row of their own have no effect.
  if (!error) return;
  if ((number == 432 || number == 433) && Handlers.NickRefused(token)) return;
  Handlers.ServerError(std::move(token));
}

}  // namespace tavi
