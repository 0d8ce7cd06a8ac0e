#include "kanji/Utf8.h"

#include <cstdint>
#include <cstring>

#include "kanji/Cp932.h"
#include "kanji/Kanji.h"

namespace tavi {

namespace {

constexpr bool IsContinuation(unsigned char B) { return (B & 0xC0) == 0x80; }

void AppendCode(std::uint16_t Code, std::string& Out) {
  if (Code >= 0x100) Out.push_back(static_cast<char>(Code >> 8));
  Out.push_back(static_cast<char>(Code & 0xFF));
}

void AppendUtf8(char32_t C, std::string& Out) {
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | C >> 6));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xE0 | C >> 12));
    Out.push_back(static_cast<char>(0x80 | (C >> 6 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

// Offset of the first byte above 0x7F at or after From, or Text.size().
std::size_t SkipAscii(std::string_view Text, std::size_t From) {
  const std::size_t N = Text.size();
  std::size_t I = From;
  for (; I + 8 <= N; I += 8) {
    std::uint64_t Word;
    std::memcpy(&Word, Text.data() + I, 8);
    if (Word & 0x8080808080808080ULL) break;
  }
  while (I < N && static_cast<unsigned char>(Text[I]) < 0x80) ++I;
  return I;
}

}  // namespace

std::size_t Utf8Sequence(std::string_view Text, char32_t& Character) {
  if (Text.empty()) return 0;
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  const unsigned char B0 = P[0];
  std::size_t Length;
  // The second byte's range rules out overlong forms, surrogates and
  // characters above U+10FFFF.
  unsigned char Low = 0x80, High = 0xBF;
  if (B0 >= 0xC2 && B0 <= 0xDF) {
    Length = 2;
  } else if (B0 >= 0xE0 && B0 <= 0xEF) {
    Length = 3;
    if (B0 == 0xE0) Low = 0xA0;
    if (B0 == 0xED) High = 0x9F;
  } else if (B0 >= 0xF0 && B0 <= 0xF4) {
    Length = 4;
    if (B0 == 0xF0) Low = 0x90;
    if (B0 == 0xF4) High = 0x8F;
  } else {
    return 0;  // ASCII, a continuation byte, C0/C1, or a 5- or 6-byte form
  }
  if (Text.size() < Length || P[1] < Low || P[1] > High) return 0;
  char32_t C = B0 & (0x7F >> Length);
  for (std::size_t I = 1; I < Length; ++I) {
    if (!IsContinuation(P[I])) return 0;
    C = C << 6 | (P[I] & 0x3F);
  }
  Character = C;
  return Length;
}

namespace {

// Reads Text as UTF-8 and, when Out is given, writes its Shift-JIS there on
// the way, so that a line is checked and converted in one pass; Out is
// filled only from the first well-formed sequence on, so that Shift-JIS,
// which fails at once, costs no copy. True when Text is to be read as UTF-8
// (see LooksLikeUtf8); Out is then the whole text converted.
bool ScanUtf8(std::string_view Text, std::string* Out) {
  bool Evidence = false;
  bool Writing = false;
  std::size_t Copied = 0;  // Text before this is in Out
  std::size_t I = SkipAscii(Text, 0);
  while (I < Text.size()) {
    char32_t C = 0;
    const std::size_t N = Utf8Sequence(Text.substr(I), C);
    if (N == 0) return false;
    // Arabic, Syriac, Thaana, N'Ko: what half-width katakana from
    // U+FF98 on followed by a kanji look like, and never next to Japanese.
    if (N == 2 && C >= 0x600) return false;
    const std::uint16_t Code = Cp932Code(C);
    // Shift-JIS forms a 3-byte sequence only from a rare second-level kanji
    // lead followed by a fitting pair, and a 4-byte one only by chance
    // around user-defined characters or half-width katakana; 2-byte
    // sequences are too easily half-width katakana. So the evidence is a
    // 3-byte character that code page 932 holds, or an emoji or a kanji of
    // the supplementary planes.
    if ((N == 3 && Code != 0) || (N == 4 && ((C >= 0x1F000 && C <= 0x1FAFF) || C >= 0x20000))) Evidence = true;
    if (Out) {
      if (!Writing) {
        Out->reserve(Text.size());
        Writing = true;
      }
      Out->append(Text.substr(Copied, I - Copied));
      if (Code)
        AppendCode(Code, *Out);
      else
        Out->append(Geta);
      Copied = I + N;
    }
    I = SkipAscii(Text, I + N);
  }
  if (Out && Evidence) Out->append(Text.substr(Copied));
  return Evidence;
}

}  // namespace

bool LooksLikeUtf8(std::string_view Text) { return ScanUtf8(Text, nullptr); }

std::string Utf8ToSjis(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  std::size_t I = 0;
  while (I < Text.size()) {
    const std::size_t Next = SkipAscii(Text, I);
    Out.append(Text.substr(I, Next - I));
    I = Next;
    if (I == Text.size()) break;
    char32_t C = 0;
    const std::size_t N = Utf8Sequence(Text.substr(I), C);
    const std::uint16_t Code = N ? Cp932Code(C) : 0;
    if (Code)
      AppendCode(Code, Out);
    else
      Out.append(Geta);
    I += N ? N : 1;
  }
  return Out;
}

void AppendSjisAsUtf8(std::string_view Text, std::string& Out) {
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  const std::size_t N = Text.size();
  for (std::size_t I = 0; I < N;) {
    const std::size_t Next = SkipAscii(Text, I);
    Out.append(Text.data() + I, Next - I);
    I = Next;
    if (I == N) break;
    // As iconv decodes it: a lead byte without a fitting trail byte is one
    // bad byte, and the next byte is read on its own.
    const char16_t Pair = I + 1 < N ? Cp932Pair(P[I], P[I + 1]) : 0;
    if (Pair) {
      AppendUtf8(Pair, Out);
      I += 2;
      continue;
    }
    const char16_t Single = Cp932Single(P[I]);
    AppendUtf8(Single ? Single : U'\uFFFD', Out);
    ++I;
  }
}

std::string SjisToUtf8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size() + Text.size() / 2);
  AppendSjisAsUtf8(Text, Out);
  return Out;
}

bool ReadReceivedLine(std::string& Line) {
  // Shift-JIS usually fails the scan at its first double-byte character, so
  // the rarer JIS escape is looked for only after it.
  std::string Sjis;
  if (!ScanUtf8(Line, &Sjis) || FindKanjiIn(Line) != 0) return false;
  Line = std::move(Sjis);
  return true;
}

void ReadReceivedText(std::string_view Data, std::string& Carry, std::string& Output) {
  // Split as JisDecode splits, so that each line is read on its own.
  const std::size_t Last = Data.size() >= 2 ? Data.rfind("\r\n") : std::string_view::npos;
  std::string Work;
  if (Last == std::string_view::npos) {
    Work.assign(Data);
  } else {
    Work = std::move(Carry);
    Work.append(Data.substr(0, Last + 2));
    Carry.assign(Data.substr(Last + 2));
  }
  std::string_view Rest = Work;
  std::string Segment, NoCarry;
  while (!Rest.empty()) {
    const std::size_t End = Rest.find("\r\n");
    const std::size_t Length = End == std::string_view::npos ? Rest.size() : End + 2;
    Segment.assign(Rest.substr(0, Length));
    Rest.remove_prefix(Length);
    ReadReceivedLine(Segment);
    NoCarry.clear();
    JisDecode(Segment, NoCarry, Output);
  }
}

}  // namespace tavi
