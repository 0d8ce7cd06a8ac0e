// The widget-free part of the channel and nick state handlers: how they read
// prefixes, member lists, names replies and mode strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/ChatParser.h"

namespace tavi {

// The characters of Prefix in front of its first "!"; empty without a "!".
std::string SenderNick(std::string_view Prefix);

// A parameter with one leading ":" removed; any other text unchanged.
std::string WithoutColon(std::string_view Param);

// List with every comma-separated element equal to Old (exactly) replaced by
// New, joined again with ","; a comma at the very end is dropped.
std::string ReplaceListMember(std::string_view List, std::string_view Old, std::string_view New);

// The entries of a names reply: split at spaces, each piece trimmed.
std::vector<std::string> SplitNames(std::string_view Names);

// The lines a names listing shows for one channel: Heading + Channel, then
// the entries five to a row. None for the server's own "&" channels.
std::vector<std::string> NamesListingLines(std::string_view Channel, const std::vector<std::string>& Entries,
                                           std::string_view Heading);

// One letter of a channel mode change, with its argument when it takes one.
struct TChannelModeChange {
  char Letter = 0;
  bool Adding = false;
  std::string Argument;
  bool TakesArgument = false;

  bool operator==(const TChannelModeChange&) const = default;
};

// The member ranks a server announces (ISUPPORT PREFIX), highest first: the
// mode letter that gives each rank and the symbol that shows it.
struct TRankPrefixes {
  std::string Modes = "ov";
  std::string Symbols = "@+";

  // "(qaohv)~&@%+"; a malformed value leaves the default.
  static TRankPrefixes FromIsupport(std::string_view Value);
  // The rank of a symbol or mode letter, 0 highest; Count() for none.
  int Count() const { return static_cast<int>(Symbols.size()); }
  int RankOfSymbol(char Symbol) const;
  int RankOfMode(char Mode) const;
  // Ranks include the rank of a mode letter.
  bool Holds(std::string_view Ranks, char Mode) const {
    const int rank = RankOfMode(Mode);
    return rank < Count() && Ranks.find(Symbols[static_cast<std::size_t>(rank)]) != std::string_view::npos;
  }
  // Holds the operator rank or one above it.
  bool IsOperator(std::string_view Ranks) const;
  bool operator==(const TRankPrefixes&) const = default;
};

// Which channel modes take an argument (ISUPPORT CHANMODES "A,B,C,D"): list
// modes always, B always, C only when set, D never.
struct TChannelModeKinds {
  std::string List = "b";
  std::string Always = "k";
  std::string WhenSet = "l";
  std::string Never = "psitnm";
  // The server said; without its word "-k" is taken without a key, as
  // servers of old send it.
  bool FromServer = false;

  // "beI,k,l,imnpst"; fewer than four groups leave the default.
  static TChannelModeKinds FromIsupport(std::string_view Value);
  bool TakesArgument(char Letter, bool Adding) const;
  bool operator==(const TChannelModeKinds&) const = default;
};

// A names entry split into its rank symbols ("@+", several with
// multi-prefix, put in rank order, each once) and its nick (a
// "!user@host" after it dropped).
std::pair<std::string, std::string> SplitRanks(std::string_view Entry, const TRankPrefixes& Prefixes);

// Reads the mode strings of a channel MODE line from slot 2 on; a letter
// that takes an argument takes the next non-empty slot out of the strings.
// Only the letters p, s, i, t, n, m, l, b and k and the rank letters
// (RankModes, each with a nick) give entries.
std::vector<TChannelModeChange> ParseChannelModes(const TToken& Token, std::string_view RankModes = "ov",
                                                  const TChannelModeKinds& Kinds = {});

// A decimal integer such as a channel limit, optionally signed.
bool DecimalNumber(std::string_view Text, std::int32_t& Value);

// The user's own modes i, s, w and o.
struct TUserModes {
  bool Invisible = false;
  bool Notice = false;
  bool WallOps = false;
  bool IrcOpe = false;

  bool operator==(const TUserModes&) const = default;
};

// A nick a server may plausibly give the user: 1 to 30 bytes, none of them
// blank, control, ",", or a leading ":", "#", "&", "@".
bool IsPlausibleNick(std::string_view Nick);

// Applies a user mode text (the second parameter of MODE on the own nick) as
// changes: letters after "+" switch a mode on, after "-" off; letters before
// any sign and unknown letters change nothing.
void ParseUserModes(std::string_view Params2, TUserModes& Flags);
// Reads the 221 reply's text as the complete set of modes. An empty
// parameter leaves Flags as they were.
void ParseUserModeSet(std::string_view Params2, TUserModes& Flags);

}  // namespace tavi
