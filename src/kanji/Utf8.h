// UTF-8 on the wire: reading received text by what it is (JIS, UTF-8 or
// Shift-JIS) and writing Shift-JIS as UTF-8, through the code page 932
// mapping of Cp932.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavi {

// The geta mark, shown for a character that code page 932 cannot hold.
inline constexpr std::string_view Geta = "\x81\xAC";

// Length (2 to 4) of the well-formed UTF-8 sequence at the start of Text,
// with its character in Character; 0 when it is not one (a stray or missing
// continuation byte, an overlong form, a surrogate, a character above
// U+10FFFF, a 5- or 6-byte form). ASCII is not handled here.
std::size_t Utf8Sequence(std::string_view Text, char32_t& Character);

// True when Text is to be read as UTF-8: its bytes above 0x7F all form
// well-formed sequences and at least one of them is of a kind that
// Shift-JIS text forms only by chance (see the definition).
bool LooksLikeUtf8(std::string_view Text);

// UTF-8 to Shift-JIS; a character code page 932 cannot hold, and each byte
// of an ill-formed sequence, becomes the geta mark.
std::string Utf8ToSjis(std::string_view Text);

// Shift-JIS to UTF-8; a byte that does not decode becomes U+FFFD, as the
// widgets show it.
std::string SjisToUtf8(std::string_view Text);
// The same, appended to Out.
void AppendSjisAsUtf8(std::string_view Text, std::string& Out);

// The reading step for one received line: a line that looks like UTF-8 and
// holds no kanji-in escape is converted to Shift-JIS in place; every other
// line (pure ASCII, JIS, Shift-JIS) is left as it is. True when converted.
bool ReadReceivedLine(std::string& Line);

// The same for a stream of blocks (DCC chat): JisDecode's carry rules, with
// each line read by the step above before it is decoded.
void ReadReceivedText(std::string_view Data, std::string& Carry, std::string& Output);

}  // namespace tavi
