// The reading step for received lines: ASCII, JIS and ill-formed UTF-8 lines
// stay as they are; a converted line was well-formed UTF-8, comes out as
// whole Shift-JIS characters, and reads back as its input where code page 932
// holds every character of it. Shift-JIS to UTF-8 always gives well-formed
// UTF-8 that reads back as the same characters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "WellFormedUtf8.h"

#include "kanji/Cp932.h"
#include "kanji/Kanji.h"
#include "kanji/Utf8.h"

namespace {

using tavi::fuzz::WellFormedUtf8;

// Every byte above 0x7F is a single-byte character or part of a pair whose
// lead the program knows.
bool WholeShiftJis(const std::string& S) {
  for (std::size_t I = 0; I < S.size(); ++I) {
    const auto B = static_cast<unsigned char>(S[I]);
    if (B < 0x80) continue;
    if (tavi::IsSjisLeadByte(B)) {
      if (I + 1 >= S.size() || !tavi::Cp932Pair(B, static_cast<unsigned char>(S[I + 1]))) return false;
      ++I;
    } else if (!tavi::Cp932Single(B)) {
      return false;
    }
  }
  return true;
}

// True when code page 932 holds every character and gives it back unchanged.
bool Representable(const std::string& Utf8) {
  for (std::size_t I = 0; I < Utf8.size();) {
    if (static_cast<unsigned char>(Utf8[I]) < 0x80) {
      ++I;
      continue;
    }
    char32_t C = 0;
    const std::size_t N = tavi::Utf8Sequence(std::string_view(Utf8).substr(I), C);
    const std::uint16_t Code = N ? tavi::Cp932Code(C) : 0;
    if (!Code) return false;
    const char16_t Back = Code < 0x100 ? tavi::Cp932Single(static_cast<unsigned char>(Code))
                                       : tavi::Cp932Pair(static_cast<unsigned char>(Code >> 8), Code & 0xFF);
    if (Back != C) return false;
    I += N;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  bool high = false;
  for (unsigned char c : input) high |= c >= 0x80;

  std::string line = input;
  const bool converted = tavi::ReadReceivedLine(line);
  if (!converted && line != input) abort();
  if (converted) {
    if (!high || !WellFormedUtf8(input) || tavi::FindKanjiIn(input) != 0) abort();
    if (!WholeShiftJis(line)) abort();
    if (Representable(input) && tavi::SjisToUtf8(line) != input) abort();
  }

  // Shift-JIS to UTF-8 and back keeps the characters.
  const std::string utf8 = tavi::SjisToUtf8(input);
  if (!WellFormedUtf8(utf8)) abort();
  if (WholeShiftJis(input) && tavi::SjisToUtf8(tavi::Utf8ToSjis(utf8)) != utf8) abort();

  // Blocks cut anywhere: no fault, and the carry never grows past the input.
  std::string carry, out;
  tavi::ReadReceivedText(std::string_view(input).substr(0, size / 2), carry, out);
  tavi::ReadReceivedText(std::string_view(input).substr(size / 2), carry, out);
  if (carry.size() > size) abort();
  return 0;
}
