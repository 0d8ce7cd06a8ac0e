#include "kanji/Cp932.h"

#include <array>
#include <memory>

#include "kanji/Cp932Table.h"
#include "kanji/Kanji.h"

namespace tavi {

namespace {

using TCodes = std::array<std::uint16_t, 0x10000>;

// The reverse of the generated decoding table: the first code in byte order
// for each character, then iconv's own choices where they differ.
std::unique_ptr<TCodes> BuildCodes() {
  auto Codes = std::make_unique<TCodes>();
  Codes->fill(0);
  for (unsigned B = 0; B < 0x80; ++B) (*Codes)[B] = static_cast<std::uint16_t>(B);
  for (unsigned B = 0x80; B <= 0xFF; ++B) {
    const char16_t C = cp932::Singles[B - 0x80];
    if (C && !(*Codes)[C]) (*Codes)[C] = static_cast<std::uint16_t>(B);
  }
  for (unsigned Lead = 0x81; Lead <= 0xFF; ++Lead) {
    if (!IsSjisLeadByte(static_cast<unsigned char>(Lead))) continue;
    const int Row = cp932::LeadIndex(static_cast<unsigned char>(Lead));
    for (int T = cp932::TrailFirst; T <= cp932::TrailLast; ++T) {
      const char16_t C = cp932::Pairs[Row][T - cp932::TrailFirst];
      if (C && !(*Codes)[C]) (*Codes)[C] = static_cast<std::uint16_t>(Lead << 8 | static_cast<unsigned>(T));
    }
  }
  for (std::size_t I = 0; I < cp932::OverrideCount; ++I)
    (*Codes)[cp932::Overrides[I].Character] = cp932::Overrides[I].Code;
  return Codes;
}

const TCodes& Codes() {
  static const std::unique_ptr<TCodes> Table = BuildCodes();
  return *Table;
}

}  // namespace

char16_t Cp932Single(unsigned char Byte) { return Byte < 0x80 ? Byte : cp932::Singles[Byte - 0x80]; }

char16_t Cp932Pair(unsigned char Lead, unsigned char Trail) {
  const int Row = cp932::LeadIndex(Lead);
  if (Row < 0 || Trail < cp932::TrailFirst || Trail > cp932::TrailLast) return 0;
  return cp932::Pairs[Row][Trail - cp932::TrailFirst];
}

std::uint16_t Cp932Code(char32_t Character) {
  if (Character < 0x80) return static_cast<std::uint16_t>(Character);
  if (Character > 0xFFFF) return 0;
  return Codes()[Character];
}

}  // namespace tavi
