#include "protocol/ChannelState.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "kanji/SjisCase.h"

namespace tavi {

std::string SenderNick(std::string_view Prefix) {
  const std::size_t bang = Prefix.find('!');
  if (bang == std::string_view::npos) return {};
  return std::string(Prefix.substr(0, bang));
}

std::string WithoutColon(std::string_view Param) {
  if (!Param.empty() && Param.front() == ':') Param.remove_prefix(1);
  return std::string(Param);
}

std::string ReplaceListMember(std::string_view List, std::string_view Old, std::string_view New) {
  std::string result;
  bool first = true;
  auto add = [&](std::string_view Element) {
    if (!first) result += ',';
    first = false;
    result += Element == Old ? New : Element;
  };
  std::size_t comma;
  while ((comma = List.find(',')) != std::string_view::npos) {
    add(List.substr(0, comma));
    List.remove_prefix(comma + 1);
  }
  // What follows the last comma counts only when there is something.
  if (!List.empty()) add(List);
  return result;
}

namespace {

// Without spaces and control characters at both ends.
std::string Trimmed(std::string_view Text) {
  auto blank = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
  while (!Text.empty() && blank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && blank(Text.back())) Text.remove_suffix(1);
  return std::string(Text);
}

}  // namespace

std::vector<std::string> SplitNames(std::string_view Names) {
  std::vector<std::string> entries;
  std::string rest(Names);
  while (!rest.empty()) {
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) {
      entries.push_back(rest);
      break;
    }
    entries.push_back(Trimmed(std::string_view(rest).substr(0, space)));
    rest = Trimmed(std::string_view(rest).substr(space + 1));
  }
  return entries;
}

std::vector<std::string> NamesListingLines(std::string_view Channel, const std::vector<std::string>& Entries,
                                           std::string_view Heading) {
  // The server's own notice channels are left out of the listing.
  static constexpr std::array<std::string_view, 10> ServerChannels{
      "&AUTH", "&SERVICES", "&LOCAL", "&HASH", "&SERVERS", "&NUMERICS", "&CHANNEL", "&KILLS", "&NOTICES", "&ERRORS"};
  const std::string key = SjisUpperCase(Trimmed(Channel));
  if (std::find(ServerChannels.begin(), ServerChannels.end(), key) != ServerChannels.end()) return {};

  constexpr std::size_t ColumnWidth = 16;
  constexpr std::size_t RowLength = 5;
  std::vector<std::string> lines;
  lines.push_back(std::string(Heading) + std::string(Channel));
  std::string row;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    const std::size_t column = i % RowLength;
    if (column == 0) row.assign(8, ' ');
    row += Entries[i];
    if (column == RowLength - 1 || i + 1 == Entries.size()) {
      lines.push_back(row);
    } else if (Entries[i].size() < ColumnWidth) {
      row.append(ColumnWidth - Entries[i].size(), ' ');
    }
  }
  return lines;
}

TRankPrefixes TRankPrefixes::FromIsupport(std::string_view Value) {
  const std::size_t close = Value.find(')');
  if (Value.empty() || Value.front() != '(' || close == std::string_view::npos) return {};
  TRankPrefixes prefixes;
  prefixes.Modes = std::string(Value.substr(1, close - 1));
  prefixes.Symbols = std::string(Value.substr(close + 1));
  // Letters and symbols pair up one to one; ranks nobody can read are none.
  auto printable = [](std::string_view Text) {
    return std::all_of(Text.begin(), Text.end(), [](char C) { return C > ' ' && C < 0x7F && C != ','; });
  };
  if (prefixes.Modes.size() != prefixes.Symbols.size() || !printable(prefixes.Modes) ||
      !printable(prefixes.Symbols))
    return {};
  return prefixes;
}

int TRankPrefixes::RankOfSymbol(char Symbol) const {
  const std::size_t at = Symbols.find(Symbol);
  return at == std::string::npos ? Count() : static_cast<int>(at);
}

int TRankPrefixes::RankOfMode(char Mode) const {
  const std::size_t at = Modes.find(Mode);
  return at == std::string::npos ? Count() : static_cast<int>(at);
}

bool TRankPrefixes::IsOperator(std::string_view Ranks) const {
  if (Ranks.empty()) return false;
  const std::size_t op = Modes.find('o');
  return op != std::string::npos && RankOfSymbol(Ranks.front()) <= static_cast<int>(op);
}

std::pair<std::string, std::string> SplitRanks(std::string_view Entry, const TRankPrefixes& Prefixes) {
  std::string held(static_cast<std::size_t>(Prefixes.Count()), '\0');
  while (!Entry.empty() && Prefixes.RankOfSymbol(Entry.front()) < Prefixes.Count()) {
    held[static_cast<std::size_t>(Prefixes.RankOfSymbol(Entry.front()))] = Entry.front();
    Entry.remove_prefix(1);
  }
  std::erase(held, '\0');
  return {held, std::string(Entry.substr(0, Entry.find('!')))};
}

TChannelModeKinds TChannelModeKinds::FromIsupport(std::string_view Value) {
  std::vector<std::string> groups;
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = Value.find(',', at);
    groups.emplace_back(Value.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  if (groups.size() < 4) return {};
  TChannelModeKinds kinds;
  kinds.List = groups[0];
  kinds.Always = groups[1];
  kinds.WhenSet = groups[2];
  kinds.Never = groups[3];
  kinds.FromServer = true;
  return kinds;
}

bool TChannelModeKinds::TakesArgument(char Letter, bool Adding) const {
  if (List.find(Letter) != std::string::npos) return true;
  if (Always.find(Letter) != std::string::npos) return Adding || FromServer || Letter != 'k';
  if (WhenSet.find(Letter) != std::string::npos) return Adding;
  return false;
}

std::vector<TChannelModeChange> ParseChannelModes(const TToken& Token, std::string_view RankModes,
                                                  const TChannelModeKinds& Kinds) {
  constexpr std::size_t LastSlot = 15;
  std::array<std::string, LastSlot + 1> slots = Token.Params;
  std::vector<TChannelModeChange> changes;

  for (std::size_t k = 2; k <= LastSlot && !slots[k].empty(); ++k) {
    // Taking an argument pulls the next non-empty slot out of the copy, so
    // the later slots move up.
    auto takeArgument = [&]() -> std::string {
      for (std::size_t j = k + 1; j <= LastSlot; ++j) {
        if (slots[j].empty()) continue;
        std::string argument = std::move(slots[j]);
        for (std::size_t m = j; m < LastSlot; ++m) slots[m] = std::move(slots[m + 1]);
        slots[LastSlot].clear();
        return argument;
      }
      return {};
    };

    std::string modes = WithoutColon(slots[k]);
    bool adding = !modes.empty() && modes.front() == '+';
    if (!modes.empty()) modes.erase(0, 1);
    for (const char letter : modes) {
      if (letter == '+' || letter == '-') {
        adding = letter == '+';
        continue;
      }
      const bool rank = RankModes.find(letter) != std::string_view::npos;
      const bool takes = rank || Kinds.TakesArgument(letter, adding);
      // Modes of other kinds are passed over, with their arguments.
      if (!rank && std::string_view("psitnmlbk").find(letter) == std::string_view::npos) {
        if (takes) takeArgument();
        continue;
      }
      TChannelModeChange change;
      change.Letter = letter;
      change.Adding = adding;
      change.TakesArgument = takes;
      if (change.TakesArgument) change.Argument = takeArgument();
      changes.push_back(std::move(change));
    }
  }
  return changes;
}

bool DecimalNumber(std::string_view Text, std::int32_t& Value) {
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);
    if (!Text.empty() && Text.front() == '-') return false;
  }
  if (Text.empty()) return false;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return ec == std::errc() && end == Text.data() + Text.size();
}

bool IsPlausibleNick(std::string_view Nick) {
  constexpr std::size_t MaxNickBytes = 30;
  if (Nick.empty() || Nick.size() > MaxNickBytes) return false;
  if (std::string_view(":#&@").find(Nick.front()) != std::string_view::npos) return false;
  for (const char c : Nick) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F || c == ',') return false;
  }
  return true;
}

void ParseUserModes(std::string_view Params2, TUserModes& Flags) {
  const std::string text = WithoutColon(Params2);
  char sign = 0;
  for (const char letter : text) {
    if (letter == '+' || letter == '-') {
      sign = letter;
      continue;
    }
    if (!sign) continue;
    const bool on = sign == '+';
    switch (letter) {
      case 'i': Flags.Invisible = on; break;
      case 's': Flags.Notice = on; break;
      case 'w': Flags.WallOps = on; break;
      case 'o': Flags.IrcOpe = on; break;
      default: break;
    }
  }
}

void ParseUserModeSet(std::string_view Params2, TUserModes& Flags) {
  if (Params2.empty()) return;
  Flags = TUserModes();
  ParseUserModes(Params2, Flags);
}

}  // namespace tavi
