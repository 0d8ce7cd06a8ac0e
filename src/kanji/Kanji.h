// Shift-JIS <-> JIS (ISO-2022-JP) conversion on byte strings.
//
// The program keeps text as UTF-8 (see WireText.h); Shift-JIS is the
// encoding of the settings file and, with 7-bit JIS (runs of JIS X 0208
// pairs framed by escape sequences), of the wire.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavi {

// Shift-JIS text to JIS. Reads up to the first zero byte; every call ends in
// ASCII mode.
std::string SjisToJis(std::string_view Text);

// JIS character pairs (no escapes) to Shift-JIS; an odd last byte is dropped.
std::string JisToSjis(std::string_view Pairs);

// Decodes received text that may hold JIS runs and appends it, as Shift-JIS,
// to Output. Carry holds what followed the last CR LF of earlier data; it is
// prepended to the next data that holds a CR LF.
void JisDecode(std::string_view Data, std::string& Carry, std::string& Output);

// 1-based position of the first kanji-in (ESC $ @ or ESC $ B), 0 when absent.
std::size_t FindKanjiIn(std::string_view Text);
// 1-based position of the first kanji-out (ESC ( J or ESC ( B), 0 when absent.
std::size_t FindKanjiOut(std::string_view Text);

// True when B is a lead byte of a Shift-JIS double-byte character.
constexpr bool IsSjisLeadByte(unsigned char B) {
  return (B >= 0x81 && B <= 0x9F) || (B >= 0xE0 && B <= 0xEF);
}
// True when B can be the trail byte of a Shift-JIS double-byte character.
constexpr bool IsSjisTrailByte(unsigned char B) {
  return (B >= 0x40 && B <= 0x7E) || (B >= 0x80 && B <= 0xFC);
}

// The most bytes of one line that a window shows; a hostile server can send
// lines of tens of kilobytes that take long to lay out.
inline constexpr std::size_t DisplayLineBytes = 2048;

// UTF-8 text cut to at most DisplayLineBytes, never inside a character, with
// an ellipsis added when cut.
std::string CutForDisplay(std::string_view Text);

}  // namespace tavi
