#include "core/TypedCommands.h"

#include <string_view>

#include "core/Connection.h"
#include "core/DecimalText.h"
#include "core/Networks.h"
#include "core/Session.h"
#include "kanji/QtText.h"
#include "protocol/CaseMapping.h"

namespace tavi {

namespace {

// The first word of Text, and the rest with its leading blanks taken off.
std::string TakeWord(std::string_view& Text) {
  while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
  const std::size_t end = std::min(Text.find(' '), Text.size());
  std::string word(Text.substr(0, end));
  Text.remove_prefix(end);
  while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
  return word;
}

std::string Upper(std::string Word) {
  for (char& c : Word)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return Word;
}

}  // namespace

const std::vector<std::string>& TypedCommandWords() {
  static const std::vector<std::string> words = {
      "away", "back",  "charset", "clear",  "connect", "ctcp",  "dcc",  "disconnect", "help", "invite",
      "join", "kick",  "me",      "mode",   "msg",     "nick",  "notice", "part",     "query", "quit",
      "quote", "raw",  "server",  "topic",  "whois"};
  return words;
}

TTypedOutcome RunTypedLine(TConnection& Connection, const std::string& Typed, TChannel* Channel, TQuery* Query) {
  std::string_view rest = Typed;
  const std::string_view wideSlash = "／";
  if (rest.starts_with(wideSlash))
    rest.remove_prefix(wideSlash.size());
  else if (rest.starts_with("/"))
    rest.remove_prefix(1);
  else
    return {TTypedKind::Say, Typed, {}, {}};
  // "//" or "／／": the rest is text that begins with a slash.
  if (rest.starts_with("/") || rest.starts_with(wideSlash)) return {TTypedKind::Say, std::string(rest), {}, {}};

  const std::string word = NameKey(TakeWord(rest), TCaseMapping::Ascii);
  const std::string args(rest);
  // The window's own target, as the server knows it.
  const std::string here = Channel ? Channel->WireName() : Query ? Connection.WireText(Query->Caption) : std::string();
  auto wire = [&](const std::string& Text) { return Connection.WireText(Text); };
  auto send = [&](const std::string& Line) { Connection.SendLine(Line + "\r\n"); };

  if (word == "me") return {TTypedKind::Say, "/me " + args, {}, {}};
  if (word == "msg" || word == "notice") {
    std::string_view text = rest;
    const std::string target = TakeWord(text);
    if (target.empty() || text.empty()) return {};
    Connection.SendText(word == "msg" ? "PRIVMSG" : "NOTICE", wire(target), std::string(text));
    // An echoing server shows it when it comes back.
    if (Connection.EchoesOwnLines()) return {};
    const std::string line = Connection.Stamp() + " >" + target + "< " + std::string(text);
    if (Channel) Connection.Show(*Channel, TLineKind::Own, line);
    else if (Query) Connection.Show(*Query, line);
    else Connection.ShowInServerLog(line);
    return {};
  }
  if (word == "join") {
    std::string_view text = rest;
    const std::string channel = TakeWord(text);
    if (channel.empty()) return {};
    Connection.NoteJoinRequest(channel);
    std::string line = "JOIN " + channel;
    if (!text.empty()) line.append(" ").append(text);
    send(line);
    return {};
  }
  if (word == "part") {
    std::string_view text = rest;
    // Only a channel can be left: a talk window names none of its own.
    std::string target = Channel ? Channel->WireName() : std::string();
    if (Connection.IsChannelName(text)) target = wire(TakeWord(text));
    if (target.empty()) return {};
    Connection.SendWire("PART " + target + (text.empty() ? "" : wire(" :" + std::string(text))) + "\r\n");
    return {};
  }
  if (word == "query") {
    std::string_view text = rest;
    const std::string nick = TakeWord(text);
    if (!nick.empty()) Connection.OpenQuery(nick, {nick});
    return {};
  }
  if (word == "topic" && Channel) {
    Connection.SendWire("TOPIC " + here + (args.empty() ? "" : wire(" :" + args)) + "\r\n");
    return {};
  }
  if (word == "kick") {
    std::string_view text = rest;
    const std::string nick = TakeWord(text);
    if (!nick.empty() && Channel) Connection.SendWire("KICK " + here + wire(" " + nick + (text.empty() ? "" : " :" + std::string(text))) + "\r\n");
    return {};
  }
  if (word == "invite") {
    std::string_view text = rest;
    const std::string nick = TakeWord(text);
    const std::string channel = text.empty() ? here : wire(std::string(text));
    if (!nick.empty() && !channel.empty()) Connection.SendWire("INVITE " + wire(nick) + " " + channel + "\r\n");
    return {};
  }
  if (word == "mode" && args.empty() && Channel) {
    Connection.SendWire("MODE " + here + "\r\n");
    return {};
  }
  if (word == "away") {
    // Kept as the away dialog's is: the mark shows it, the dialog proposes it.
    Connection.Own.AwayMessage = args;
    send(args.empty() ? "AWAY" : "AWAY :" + args);
    return {};
  }
  if (word == "back") {
    Connection.Own.AwayMessage.clear();
    send("AWAY");
    return {};
  }
  if (word == "nick") {
    std::string_view text = rest;
    const std::string nick = TakeWord(text);
    if (!nick.empty()) Connection.SendNick(nick);
    return {};
  }
  if (word == "ctcp") {
    std::string_view text = rest;
    const std::string nick = TakeWord(text);
    if (!nick.empty() && !text.empty()) send("PRIVMSG " + nick + " :\x01" + Upper(std::string(text)) + "\x01");
    return {};
  }
  if (word == "quote" || word == "raw") {
    if (!args.empty()) send(args);
    return {};
  }
  if (word == "connect" || word == "server") {
    TServerAddress server;
    if (!ReadServerAddress(args, server)) {
      Connection.ShowInServerLog(Connection.Stamp() + U8(u8" 使い方： /") + word + " host [port] [-tls]");
      return {};
    }
    if (word == "server") {
      Connection.MoveToServer(server);
      return {};
    }
    // A network of its own, under the names the user goes by here.
    TNetwork network = Connection.Network();
    network.Name = server.Host;
    // Two networks on one host are told apart by the port (their logs too).
    for (const auto& other : Connection.Session().Connections())
      if (other->NetworkName() == network.Name) network.Name += ":" + std::to_string(server.Port);
    network.Servers = {server};
    network.AutoJoin.clear();
    network.ConnectCommands.clear();
    network.ConnectAtStart = false;
    std::vector<TNetwork> further = LoadFurtherNetworks();
    further.push_back(network);
    SaveFurtherNetworks(further);
    Connection.Session().AddConnection(network).Connect();
    return {};
  }
  if (word == "disconnect") {
    Connection.Disconnect(args.empty() ? std::string("Leaving! ") : args);
    return {};
  }
  if (word == "quit") {
    Connection.Disconnect(args.empty() ? std::string("Leaving! ") : args);
    return {};
  }
  if (word == "clear" || word == "help" || word == "dcc") return {TTypedKind::Window, {}, word, args};
  if (word.empty()) return {};
  // Everything else is the server's: it answers 421 to what it does not know.
  send(Upper(word) + (args.empty() ? "" : " " + args));
  return {};
}

}  // namespace tavi
