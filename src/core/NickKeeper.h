// The nick the user wants on a server. While registering, a refused nick is
// followed by the user's alternates, then by the nick with "_" or a digit
// appended; once registered under another nick, the wanted one is asked
// for again when its holder is seen to leave, or after a regular ISON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CaseMapping.h"

namespace tavi {

// ISUPPORT NICKLEN's value; 0 for one that makes no sense.
std::size_t NickLenValue(std::string_view Value);

// Wanted with "_" or a digit appended, each at most NickLen bytes (the
// nick cut short, between characters, to make room).
std::vector<std::string> StandInNicks(const std::string& Wanted, std::size_t NickLen);

class TNickKeeper {
 public:
  // Registration starts under Wanted. NickLen: the server's NICKLEN when a
  // connection to it told us, else 0.
  void BeginRegistration(const std::string& Wanted, const std::vector<std::string>& Alternates,
                         std::size_t NickLen);
  // The server took a nick: registration is over.
  void EndRegistration() { registering_ = false; }
  bool Registering() const { return registering_; }
  const std::string& Wanted() const { return wanted_; }
  // The nick to try after the last one was refused, because it is in use
  // (433) or not allowed (432); empty when no choice is left. Stand-ins
  // are tried only for a nick in use: a nick the server does not allow
  // stays disallowed with a "_" appended.
  std::string NextChoice(bool InUse);

  // --- taking the wanted nick back ---
  bool Missing(const std::string& Current, TCaseMapping Mapping) const {
    return !wanted_.empty() && !SameName(Current, wanted_, Mapping);
  }
  // The user chose a nick of their own: it is the wanted one from now on.
  void Choose(const std::string& Nick) { wanted_ = Nick; regainSent_ = false; }
  // A NICK for the wanted one went out; a refusal of it is ours to swallow.
  void RegainSent() { regainSent_ = true; }
  // True (once) when a refusal of Nick answers our own try to take it back.
  bool TakeRegainRefusal(const std::string& Nick, TCaseMapping Mapping);
  // An ISON of ours is out: its answer is not the user's.
  int IsonsOut = 0;

 private:
  std::string wanted_;
  std::vector<std::string> alternates_;
  std::vector<std::string> standIns_;
  std::size_t nextAlternate_ = 0;
  std::size_t nextStandIn_ = 0;
  bool registering_ = false;
  bool regainSent_ = false;
};

}  // namespace tavi
