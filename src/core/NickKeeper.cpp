#include "core/NickKeeper.h"

#include <algorithm>
#include <charconv>

#include "protocol/ChannelState.h"

namespace tavi {

namespace {

// Servers allow at least 9 bytes; a nick the server has seen in use was
// not too long for it.
constexpr std::size_t LeastNickLen = 9;

// Text cut to at most Bytes, never inside a UTF-8 sequence.
std::string CutAt(const std::string& Text, std::size_t Bytes) {
  if (Text.size() <= Bytes) return Text;
  std::size_t end = Bytes;
  while (end > 0 && (static_cast<unsigned char>(Text[end]) & 0xC0) == 0x80) --end;
  return Text.substr(0, end);
}

}  // namespace

std::size_t NickLenValue(std::string_view Value) {
  std::size_t length = 0;
  const auto [end, error] = std::from_chars(Value.data(), Value.data() + Value.size(), length);
  // A line holds no longer nick.
  if (error != std::errc() || end != Value.data() + Value.size() || length == 0 || length > 400) return 0;
  return length;
}

std::vector<std::string> StandInNicks(const std::string& Wanted, std::size_t NickLen) {
  const std::size_t limit = NickLen ? NickLen : std::max(LeastNickLen, Wanted.size());
  std::vector<std::string> suffixes = {"_", "__"};
  for (char digit = '1'; digit <= '9'; ++digit) suffixes.push_back(std::string(1, digit));
  for (char digit = '1'; digit <= '9'; ++digit) suffixes.push_back("_" + std::string(1, digit));
  std::vector<std::string> nicks;
  for (const std::string& suffix : suffixes) {
    if (suffix.size() >= limit) continue;
    const std::string base = CutAt(Wanted, limit - suffix.size());
    if (base.empty()) continue;
    const std::string nick = base + suffix;
    if (std::find(nicks.begin(), nicks.end(), nick) == nicks.end() && nick != Wanted) nicks.push_back(nick);
  }
  return nicks;
}

void TNickKeeper::BeginRegistration(const std::string& Wanted, const std::vector<std::string>& Alternates,
                                    std::size_t NickLen) {
  wanted_ = Wanted;
  alternates_.clear();
  for (const std::string& nick : Alternates)
    if (IsPlausibleNick(nick) && nick != Wanted &&
        std::find(alternates_.begin(), alternates_.end(), nick) == alternates_.end())
      alternates_.push_back(nick);
  standIns_ = StandInNicks(Wanted, NickLen);
  nextAlternate_ = nextStandIn_ = 0;
  registering_ = true;
  regainSent_ = false;
  IsonsOut = 0;
}

std::string TNickKeeper::NextChoice(bool InUse) {
  if (nextAlternate_ < alternates_.size()) return alternates_[nextAlternate_++];
  // A stand-in the server does not allow may be followed by one it does.
  if (!InUse && nextStandIn_ == 0) return {};
  if (nextStandIn_ < standIns_.size()) return standIns_[nextStandIn_++];
  return {};
}

bool TNickKeeper::TakeRegainRefusal(const std::string& Nick, TCaseMapping Mapping) {
  if (!regainSent_ || !SameName(Nick, wanted_, Mapping)) return false;
  regainSent_ = false;
  return true;
}

}  // namespace tavi
