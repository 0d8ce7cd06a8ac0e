// CTCP framing and DCC offers against arbitrary bytes: the input is the text
// of a PRIVMSG or NOTICE, taken apart the way the message handlers do, and
// every offer the checks accept must be one that can really be connected.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dcc/DccProtocol.h"
#include "kanji/QtText.h"
#include "protocol/Ctcp.h"

using namespace tavi;

namespace {

void Check(bool Ok) {
  if (!Ok) std::abort();
}

bool IsDigits(std::string_view Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsLead(unsigned char C) { return (C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC); }

void CheckQueryWord(std::string_view Text) {
  const std::string word = CtcpQueryWord(Text);
  Check(word.find(' ') == std::string::npos && word.size() <= Text.size());
  if (!word.empty()) Check(static_cast<unsigned char>(word.front()) > 32 && static_cast<unsigned char>(word.back()) > 32);
  Check(IsCtcp(Text) == (!Text.empty() && Text.front() == SOH));
}

void CheckReplySplit(std::string_view Text) {
  const TCtcpReply reply = SplitCtcpReply(Text);
  if (!IsCtcp(Text)) {
    Check(reply.Word.empty() && reply.Text == Text);
    return;
  }
  const std::size_t space = Text.find(' ');
  // The first SOH after the reply word goes; without a space that is the
  // opening one.
  const std::string_view rest = space == std::string_view::npos ? Text : Text.substr(space + 1);
  Check(reply.Word.size() == (space == std::string_view::npos ? 0 : space - 1));
  Check(reply.Text.size() + (rest.find(SOH) == std::string_view::npos ? 0 : 1) == rest.size());
}

void CheckTakeNextWord(std::string_view Text) {
  std::string rest(Text);
  const std::string word = TakeNextWord(rest);
  if (Text.find(' ') == std::string_view::npos)
    Check(word.empty() && rest == Text);
  else
    Check(word + " " + rest == Text && word.find(' ') == std::string::npos);
}

// An accepted address is the number of a real IPv4 address and reads back.
void CheckEndpoint(const TDccEndpoint& End, const std::string& Address, const std::string& Port) {
  Check(IsDigits(Address) && IsDigits(Port));
  Check(End.Port >= 1 && std::to_string(End.Port) == std::to_string(std::stoull(Port)));
  const std::string again = AddressNumberFromDotted(End.Host);
  Check(!again.empty() && std::stoull(again) == std::stoull(Address));
}

void CheckOffer(std::string_view Text) {
  const TDccOffer offer = ParseDccOffer(Text);
  // RESUME and ACCEPT are read from their end, so their file name may hold
  // spaces; no other word does.
  const bool resuming = offer.Kind == TDccKind::Resume || offer.Kind == TDccKind::Accept;
  for (const std::string* word : {&offer.Type, &offer.Argument, &offer.Address})
    Check(word->find(' ') == std::string::npos || (resuming && word == &offer.Argument));
  // Size is a SEND's size, or the position of a RESUME or ACCEPT.
  const bool sized = offer.Kind == TDccKind::Send || resuming;
  if (!sized) Check(offer.Size.empty());
  if (offer.Kind == TDccKind::Other) Check(offer.Port.empty());

  if (const auto chat = CheckChatOffer(offer.Address, offer.Port)) {
    CheckEndpoint(*chat, offer.Address, offer.Port);
    // The line we would send for it parses back to the same endpoint.
    std::string line = DccChatOfferLine("n", offer.Address, chat->Port);
    line = line.substr(line.find(':') + 1);
    line.resize(line.size() - 2);
    const TDccOffer back = ParseDccOffer(line);
    Check(back.Kind == TDccKind::Chat && back.Address == offer.Address && back.Port == std::to_string(chat->Port));
  }
  if (const auto send = CheckSendOffer(offer.Address, offer.Port, offer.Size)) {
    CheckEndpoint(*send, offer.Address, offer.Port);
    Check(IsDigits(offer.Size) && send->Size >= 0 &&
          static_cast<unsigned long long>(send->Size) == std::stoull(offer.Size));
    std::string line = DccSendOfferLine("n", offer.Argument, offer.Address, send->Port, send->Size);
    line = line.substr(line.find(':') + 1);
    line.resize(line.size() - 2);
    const TDccOffer back = ParseDccOffer(line);
    Check(back.Kind == TDccKind::Send && back.Argument == offer.Argument && back.Address == offer.Address);
    const auto again = CheckSendOffer(back.Address, back.Port, back.Size);
    Check(again && again->Host == send->Host && again->Port == send->Port && again->Size == send->Size);
  }

  const std::string proposed = SafeProposedFileName(offer.Argument);
  Check(!proposed.empty() && proposed.front() != '.' && proposed.front() != ' ');
  bool lead = false;
  for (char c : proposed) {
    const auto u = static_cast<unsigned char>(c);
    Check(u >= 0x20 && u != 0x7F);
    lead = lead || IsLead(u);
  }
  // Only a double-byte character can hide a separator byte.
  if (!lead) Check(proposed.find_first_of("/\\") == std::string::npos);
  // What the file dialog shows never holds a separator.
  const QString shown = QText(proposed);
  Check(!shown.contains(QLatin1Char('/')) && !shown.contains(QLatin1Char('\\')));

  if (const auto dotted = AddressNumberToText(offer.Address)) {
    Check(IsDigits(offer.Address) || offer.Address.empty());
    if (offer.Address.size() <= 9) Check(AddressNumberFromDotted(*dotted) == std::to_string(std::stoull("0" + offer.Address)));
  }
  const std::string number = AddressNumberFromDotted(offer.Argument);
  if (!number.empty()) Check(AddressNumberFromDotted(*AddressNumberToText(number)) == number);
}

// Three replies at most in any 2000 ms, and a refusal only when three were
// already allowed within the last 2000 ms.
void CheckRateLimiter(std::string_view Bytes) {
  TCtcpRateLimiter limiter;
  std::uint32_t now = static_cast<std::uint32_t>(Bytes.size()) * 0x01000193u;  // any start, wraps too
  std::uint32_t allowed[3] = {};
  int count = 0;
  for (char c : Bytes) {
    now += static_cast<std::uint32_t>(static_cast<unsigned char>(c)) * 16;
    const bool ok = limiter.Allow(now);
    const bool full = count == 3 && static_cast<std::uint32_t>(now - allowed[0]) < TCtcpRateLimiter::Window;
    Check(ok == !full);
    if (!ok) continue;
    if (count == 3) {
      allowed[0] = allowed[1];
      allowed[1] = allowed[2];
      --count;
    }
    allowed[count++] = now;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  CheckQueryWord(text);
  CheckReplySplit(text);
  CheckTakeNextWord(text);
  CheckOffer(text);
  CheckRateLimiter(text);

  std::uint32_t total = 0;
  for (std::size_t i = 0; i < 4 && i < Size; ++i) total = total << 8 | Data[i];
  const std::string ack = EncodeAck(total);
  Check(ack.size() == 4 && DecodeAck(reinterpret_cast<const unsigned char*>(ack.data())) == total);
  return 0;
}
