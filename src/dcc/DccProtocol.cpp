#include "dcc/DccProtocol.h"

#include "kanji/QtText.h"
#include "kanji/WireText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>


namespace tavi {

namespace {

constexpr char SOH = '\x01';

bool AllDigits(std::string_view Text) {
  for (char c : Text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A decimal number of digits only, at most Max.
bool ReadBounded(std::string_view Text, std::uint64_t Max, std::uint64_t& Value) {
  if (Text.empty() || Text.size() > 19 || !AllDigits(Text)) return false;
  std::uint64_t v = 0;
  std::from_chars(Text.data(), Text.data() + Text.size(), v);
  if (v > Max) return false;
  Value = v;
  return true;
}

bool IsLoopback(const std::string& Dotted) { return Dotted.rfind("127.", 0) == 0; }

}  // namespace

std::string AddressNumberFromDotted(std::string_view Dotted) {
  std::uint64_t number = 0;
  for (int octet = 0; octet < 4; ++octet) {
    const std::size_t dot = octet < 3 ? Dotted.find('.') : Dotted.size();
    if (dot == std::string_view::npos) return {};
    std::uint64_t part = 0;
    if (!ReadBounded(Dotted.substr(0, dot), 255, part)) return {};
    number = number * 256 + part;
    Dotted.remove_prefix(octet < 3 ? dot + 1 : dot);
  }
  return std::to_string(number);
}

std::optional<std::string> AddressNumberToText(std::string_view Number) {
  if (!AllDigits(Number)) return std::nullopt;
  std::uint64_t n = 0;
  // Wraps like the digit-by-digit reading it mirrors; offers past 32 bits are
  // refused before they get here.
  for (char c : Number) n = n * 10 + static_cast<std::uint64_t>(c - '0');
  const std::uint64_t d = n % 256;
  n /= 256;
  const std::uint64_t c = n % 256;
  n /= 256;
  const std::uint64_t b = n % 256;
  const std::uint64_t a = n / 256;
  return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
}

std::string ChooseLocalAddress(const std::vector<std::string>& Addresses, const std::string& Fallback) {
  for (const std::string& address : Addresses)
    if (!IsLoopback(address) && !AddressNumberFromDotted(address).empty()) return address;
  if (!Fallback.empty()) return Fallback;
  return Addresses.empty() ? std::string() : Addresses.front();
}

const std::uint16_t TDccPortTable::Ports[TDccPortTable::Size] = {
    1037, 1038, 1039, 1040, 1041, 1042, 1043, 1044, 1045, 1046,                    //
    1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057,                          //
    1060, 1061, 1062, 1063, 1064, 1065, 1066,                                      //
    1070, 1071, 1072, 1073, 1074, 1075, 1076, 1077, 1078, 1079,                    //
    1085, 1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093, 1094, 1095, 1096, 1097, 1098,  //
    1100, 1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109,                    //
    1112, 1113, 1114, 1115, 1116, 1117, 1118, 1119, 1120, 1121, 1122,              //
    1124, 1125, 1126, 1127, 1128, 1129, 1130, 1131, 1132, 1133, 1134, 1135, 1136, 1137,
    1138, 1139, 1140, 1141, 1142, 1143, 1144, 1145, 1146, 1147, 1148, 1149, 1150, 1151,
    1152, 1153, 1154,                                                              //
    1156, 1157, 1158, 1159, 1160,                                                  //
    1167, 1168, 1169, 1170, 1171, 1172, 1173, 1174, 1175, 1176, 1177, 1178, 1179,  //
    1081, 1082, 1083, 1084, 1085, 1086, 1087, 1088};

std::uint16_t TDccPortTable::Next() {
  const std::uint16_t port = Ports[index_];
  if (++index_ == Size) index_ = 0;
  return port;
}

std::string DccChatOfferLine(const std::string& Nick, const std::string& AddressNumber, std::uint16_t Port) {
  return "PRIVMSG " + Nick + " :" + SOH + "DCC CHAT chat " + AddressNumber + " " + std::to_string(Port) + SOH +
         "\r\n";
}

std::string DccSendOfferLine(const std::string& Nick, const std::string& FileName, const std::string& AddressNumber,
                             std::uint16_t Port, std::int64_t Size) {
  return "PRIVMSG " + Nick + " :" + SOH + "DCC SEND " + FileName + " " + AddressNumber + " " + std::to_string(Port) +
         " " + std::to_string(Size) + SOH + "\r\n";
}

std::string DccResumeLine(const std::string& Nick, const std::string& FileName, std::uint16_t Port,
                          std::int64_t Position) {
  return "PRIVMSG " + Nick + " :" + SOH + "DCC RESUME " + FileName + " " + std::to_string(Port) + " " +
         std::to_string(Position) + SOH + "\r\n";
}

std::string DccAcceptLine(const std::string& Nick, const std::string& FileName, const std::string& Port,
                          std::int64_t Position) {
  return "PRIVMSG " + Nick + " :" + SOH + "DCC ACCEPT " + FileName + " " + Port + " " + std::to_string(Position) +
         SOH + "\r\n";
}

std::string FileNameWithoutFolder(std::string_view Path) {
  const std::size_t slash = Path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? Path : Path.substr(slash + 1));
}

namespace {

// Leading dots would make ".." or a hidden file; control bytes have no place
// in a file name.
std::string WithoutControlsAndLeadingDots(std::string_view Name) {
  std::string clean;
  for (char c : Name)
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) clean += c;
  const std::size_t first = clean.find_first_not_of(". ");
  return first == std::string::npos ? std::string() : clean.substr(first);
}

}  // namespace

std::string SafeProposedFileName(std::string_view Offered) {
  // The name is text (UTF-8): no byte of a character is a separator, and a
  // bad byte shows as a replacement, never as one.
  const std::string name = ValidUtf8(Offered);
  const std::size_t separator = name.find_last_of("/\\");
  const std::string clean =
      WithoutControlsAndLeadingDots(separator == std::string::npos ? name : name.substr(separator + 1));
  return clean.empty() ? std::string("dccfile") : clean;
}

std::string EncodeAck(std::uint32_t Total) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>((Total >> (24 - 8 * i)) & 0xFF);
  return bytes;
}

std::uint32_t DecodeAck(const unsigned char Bytes[4]) {
  return (std::uint32_t{Bytes[0]} << 24) | (std::uint32_t{Bytes[1]} << 16) | (std::uint32_t{Bytes[2]} << 8) |
         std::uint32_t{Bytes[3]};
}

bool TAckPosition::Take(std::uint32_t Ack, std::int64_t Sent) {
  const std::uint32_t Step = Ack - static_cast<std::uint32_t>(acked_);
  // A step back shows as a step of nearly 2^32, more than is ever in flight.
  if (static_cast<std::int64_t>(Step) > Sent - acked_) return false;
  acked_ += Step;
  return true;
}

std::optional<std::int64_t> ReadPosition(const std::string& Text) {
  std::uint64_t value = 0;
  if (!ReadBounded(Text, 9223372036854775807ull, value)) return std::nullopt;
  return static_cast<std::int64_t>(value);
}

std::optional<TDccEndpoint> CheckChatOffer(const std::string& Address, const std::string& Port) {
  std::uint64_t address = 0, port = 0;
  if (!ReadBounded(Address, 0xFFFFFFFFull, address) || !ReadBounded(Port, 65535, port) || port == 0)
    return std::nullopt;
  TDccEndpoint endpoint;
  endpoint.Host = *AddressNumberToText(Address);
  endpoint.Port = static_cast<std::uint16_t>(port);
  return endpoint;
}

std::optional<TDccEndpoint> CheckSendOffer(const std::string& Address, const std::string& Port,
                                           const std::string& Size) {
  std::optional<TDccEndpoint> endpoint = CheckChatOffer(Address, Port);
  const std::optional<std::int64_t> size = ReadPosition(Size);
  if (!endpoint || !size) return std::nullopt;
  endpoint->Size = *size;
  return endpoint;
}

std::string UnusableOfferMessage(const std::string& Nick, const std::string& Type, const std::string& Argument,
                                 const std::string& Address, const std::string& Port, const std::string& Size) {
  std::string offer = "DCC " + Type + " " + Argument + " " + Address + " " + Port;
  if (!Size.empty()) offer += " " + Size;
  return Nick + U8(u8" から届いた ") + offer + U8(u8" の要求は使えないため受け付けませんでした。");
}

}  // namespace tavi
