#include "protocol/Message.h"

#include <algorithm>

#include "kanji/Kanji.h"

namespace tavi {

namespace {

void SkipBlanks(std::string_view& W) {
  const std::size_t first = W.find_first_not_of(' ');
  W.remove_prefix(first == std::string_view::npos ? W.size() : first);
}

std::string_view TakeWord(std::string_view& W) {
  const std::size_t space = std::min(W.find(' '), W.size());
  const std::string_view word = W.substr(0, space);
  W.remove_prefix(space);
  return word;
}

// A tag value with its escapes undone: \: ; \s space, \\ \, \r CR, \n LF;
// a backslash before anything else stands for that character.
std::string Unescaped(std::string_view Value) {
  std::string out;
  out.reserve(Value.size());
  for (std::size_t i = 0; i < Value.size(); ++i) {
    if (Value[i] != '\\') {
      out += Value[i];
      continue;
    }
    if (++i == Value.size()) break;
    switch (Value[i]) {
      case ':': out += ';'; break;
      case 's': out += ' '; break;
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      default: out += Value[i]; break;
    }
  }
  return out;
}

void ReadTags(std::string_view Text, TMessage& Message) {
  while (!Text.empty()) {
    const std::size_t semicolon = std::min(Text.find(';'), Text.size());
    const std::string_view tag = Text.substr(0, semicolon);
    Text.remove_prefix(std::min(semicolon + 1, Text.size()));
    if (tag.empty()) continue;
    const std::size_t equals = tag.find('=');
    std::string key(tag.substr(0, equals));
    std::string value = equals == std::string_view::npos ? std::string() : Unescaped(tag.substr(equals + 1));
    Message.Tags.emplace_back(std::move(key), std::move(value));
  }
  if (const std::string* time = Message.Tag("time")) Message.ServerTimeMs = ParseServerTime(*time);
}

bool Digits(std::string_view Text, std::size_t At, std::size_t Count, int& Value) {
  if (At + Count > Text.size()) return false;
  Value = 0;
  for (std::size_t i = At; i < At + Count; ++i) {
    if (Text[i] < '0' || Text[i] > '9') return false;
    Value = Value * 10 + (Text[i] - '0');
  }
  return true;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int Year, int Month, int Day) {
  Year -= Month <= 2;
  const std::int64_t era = (Year >= 0 ? Year : Year - 399) / 400;
  const int yoe = Year - static_cast<int>(era * 400);
  const int doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

const std::string* TMessage::Tag(std::string_view Key) const {
  for (const auto& [key, value] : Tags)
    if (key == Key) return &value;
  return nullptr;
}

std::int64_t ParseServerTime(std::string_view Text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (Text.size() < 20 || !Digits(Text, 0, 4, year) || Text[4] != '-' || !Digits(Text, 5, 2, month) ||
      Text[7] != '-' || !Digits(Text, 8, 2, day) || Text[10] != 'T' || !Digits(Text, 11, 2, hour) ||
      Text[13] != ':' || !Digits(Text, 14, 2, minute) || Text[16] != ':' || !Digits(Text, 17, 2, second))
    return -1;
  std::size_t at = 19;
  int millis = 0;
  if (Text[at] == '.') {
    int scale = 100;
    for (++at; at < Text.size() && Text[at] >= '0' && Text[at] <= '9'; ++at) {
      millis += (Text[at] - '0') * scale;
      scale /= 10;
    }
  }
  if (at + 1 != Text.size() || Text[at] != 'Z') return -1;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return -1;
  const std::int64_t days = DaysFromCivil(year, month, day);
  return ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + millis;
}

namespace {

// The command and parameters of W into Message (tags and source are read).
bool ReadParams(std::string_view W, std::vector<std::string>& Params, bool& Trailing) {
  for (;;) {
    SkipBlanks(W);
    if (W.empty()) break;
    if (Params.size() == MaxParams) return false;
    if (W.front() == ':') {
      Params.emplace_back(W.substr(1));
      Trailing = true;
      break;
    }
    Params.emplace_back(TakeWord(W));
  }
  return true;
}

// The line without its tags, source and command: where the parameters begin.
bool ReadHead(std::string_view& W, TMessage* Message) {
  SkipBlanks(W);
  if (!W.empty() && W.front() == '@') {
    W.remove_prefix(1);
    const std::string_view tags = TakeWord(W);
    if (Message) ReadTags(tags, *Message);
    SkipBlanks(W);
  }
  if (!W.empty() && W.front() == ':') {
    W.remove_prefix(1);
    const std::string_view source = TakeWord(W);
    if (Message) Message->Source.assign(source);
    SkipBlanks(W);
  }
  const std::string_view command = TakeWord(W);
  if (command.empty()) return false;
  if (Message) {
    Message->Command.assign(command);
    for (char& c : Message->Command)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return true;
}

bool IsPlainAscii(std::string_view Line) {
  for (char c : Line)
    if (static_cast<unsigned char>(c) >= 0x80 || c == '\x1B') return false;
  return true;
}

}  // namespace

const std::string& TMessage::WireParam(std::size_t Index) const {
  static const std::string None;
  const std::vector<std::string>& from = WireParams.empty() ? Params : WireParams;
  return Index < from.size() ? from[Index] : None;
}

bool ParseMessage(std::string_view Line, TMessage& Message) {
  Message = TMessage();
  const std::size_t end = Line.find("\r\n");
  if (end == std::string_view::npos) return false;
  std::string_view wire = Line.substr(0, end);
  // Most lines are ASCII and read as they are; others are decoded once.
  std::string decoded;
  std::string_view W = wire;
  if (!IsPlainAscii(wire)) {
    decoded = DecodeWire(wire, &Message.Encoding);
    W = decoded;
  }
  if (!ReadHead(W, &Message)) return false;
  if (!ReadParams(W, Message.Params, Message.Trailing)) return false;
  if (!decoded.empty()) {
    // The same line read by position on its own bytes: ASCII delimiters
    // never occur inside a character of any of the encodings read.
    std::vector<std::string> raw;
    bool trailing = false;
    if (ReadHead(wire, nullptr) && ReadParams(wire, raw, trailing) && raw.size() == Message.Params.size() &&
        raw != Message.Params)
      Message.WireParams = std::move(raw);
  }
  return true;
}

TToken ToToken(const TMessage& Message) {
  TToken token;
  token.Prefix = Message.Source;
  token.Command = Message.Command;
  for (std::size_t i = 0; i < Message.Params.size() && i < MaxParams; ++i) token.Params[i + 1] = Message.Params[i];
  if (Message.Trailing && !Message.Params.empty()) token.Params[Message.Params.size()].insert(0, 1, ':');
  return token;
}

}  // namespace tavi
