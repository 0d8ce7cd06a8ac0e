// The parts of DCC that need no window: address numbers, the listening port
// table, the offer lines, the 4-byte acknowledgements and the checks made on
// an incoming file offer before anything is connected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// "a.b.c.d" as the decimal text of a*16777216 + b*65536 + c*256 + d, each
// octet read as a decimal integer. Empty when Dotted is not four numbers.
std::string AddressNumberFromDotted(std::string_view Dotted);

// The dotted text of an address number. The number is read digit by digit
// in 64-bit arithmetic; empty text gives 0, and the top part is not reduced
// (so a number past 32 bits gives a first field above 255). Returns nullopt
// when a character is not a digit.
std::optional<std::string> AddressNumberToText(std::string_view Number);

// The first address of Addresses ("a.b.c.d", lookup order) that is not a
// loopback address; Fallback (the local address of the server connection)
// when there is only loopback; the first loopback one when Fallback is
// empty too. Empty when nothing is known.
std::string ChooseLocalAddress(const std::vector<std::string>& Addresses, const std::string& Fallback);

// The 128 listening ports that chat and file offers take in turn.
class TDccPortTable {
 public:
  static constexpr int Size = 128;
  static const std::uint16_t Ports[Size];

  std::uint16_t Next();
  void Reset() { index_ = 0; }

 private:
  int index_ = 0;
};

// The offers, whole lines with CR LF.
std::string DccChatOfferLine(const std::string& Nick, const std::string& AddressNumber, std::uint16_t Port);
std::string DccSendOfferLine(const std::string& Nick, const std::string& FileName, const std::string& AddressNumber,
                             std::uint16_t Port, std::int64_t Size);
// Asking the offerer to go on from Position, and its yes.
std::string DccResumeLine(const std::string& Nick, const std::string& FileName, std::uint16_t Port,
                          std::int64_t Position);
std::string DccAcceptLine(const std::string& Nick, const std::string& FileName, const std::string& Port,
                          std::int64_t Position);

// The file's name without its folder, as offers carry it (either separator).
std::string FileNameWithoutFolder(std::string_view Path);

// The name proposed when saving an offered file: no folder part, nothing
// that climbs out; "dccfile" when nothing is left.
std::string SafeProposedFileName(std::string_view Offered);

// An acknowledgement: the total so far as 4 bytes, most significant first.
std::string EncodeAck(std::uint32_t Total);
std::uint32_t DecodeAck(const unsigned char Bytes[4]);

// The sender's view of the acknowledgements of a file that may pass 4 GiB:
// they carry the total modulo 2^32, so each one is read as the step from
// the last. An acknowledgement must not go back nor past what was sent.
class TAckPosition {
 public:
  explicit TAckPosition(std::int64_t Start = 0) : acked_(Start) {}
  // False when Ack cannot come from a receiver that has Sent bytes.
  bool Take(std::uint32_t Ack, std::int64_t Sent);
  std::int64_t Acked() const { return acked_; }

 private:
  std::int64_t acked_;
};

// A file offer whose fields can work: address and size decimal, port 1 to
// 65535, size 0 to 2^63 - 1.
struct TDccEndpoint {
  std::string Host;          // dotted
  std::uint16_t Port = 0;
  std::int64_t Size = 0;     // file offers only
};
// Nullopt when a field cannot work.
std::optional<TDccEndpoint> CheckSendOffer(const std::string& Address, const std::string& Port, const std::string& Size);
std::optional<TDccEndpoint> CheckChatOffer(const std::string& Address, const std::string& Port);

// The message shown instead of connecting when an offer cannot work; it
// names the offer (Size empty for a chat).
std::string UnusableOfferMessage(const std::string& Nick, const std::string& Type, const std::string& Argument,
                                 const std::string& Address, const std::string& Port, const std::string& Size);

// A position of RESUME or ACCEPT: decimal, 0 to 2^63 - 1.
std::optional<std::int64_t> ReadPosition(const std::string& Text);

}  // namespace tavi
