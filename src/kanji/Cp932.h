// The Windows code page 932 mapping between Shift-JIS and Unicode, as glibc
// iconv's "CP932" has it (a generated table; see scripts/gen-cp932-table.sh),
// so that the widgets' edge and the UTF-8 conversions agree.
#pragma once

#include <cstdint>

namespace tavi {

// Characters that JIS-minded input methods type but code page 932 holds
// under another code point.
constexpr char16_t ToCp932Variant(char16_t C) {
  switch (C) {
    case u'\u301C': return u'\uFF5E';  // wave dash
    case u'\u2016': return u'\u2225';  // double vertical line
    case u'\u2212': return u'\uFF0D';  // minus sign
    case u'\u00A2': return u'\uFFE0';  // cent
    case u'\u00A3': return u'\uFFE1';  // pound
    case u'\u00AC': return u'\uFFE2';  // not sign
    default: return C;
  }
}

// The character of a single byte 0x80..0xFF; 0 when it stands for none.
char16_t Cp932Single(unsigned char Byte);
// The character of a double-byte code; 0 when it stands for none.
char16_t Cp932Pair(unsigned char Lead, unsigned char Trail);

// The Shift-JIS code of a character: below 0x100 a single byte, else lead
// byte * 256 + trail byte; 0 when code page 932 cannot hold it. Only codes
// whose lead byte the program treats as one (IsSjisLeadByte) are given, so
// that letter case and line cutting never split them.
std::uint16_t Cp932Code(char32_t Character);

}  // namespace tavi
