// The generated code page 932 data (Cp932Table.cpp); used by Cp932.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavi::cp932 {

// Lead bytes 0x81..0x9F and 0xE0..0xFC, trail bytes 0x40..0xFC.
inline constexpr int LeadCount = 60;
inline constexpr int TrailFirst = 0x40;
inline constexpr int TrailLast = 0xFC;
inline constexpr int TrailCount = TrailLast - TrailFirst + 1;

constexpr int LeadIndex(unsigned char Lead) {
  if (Lead >= 0x81 && Lead <= 0x9F) return Lead - 0x81;
  if (Lead >= 0xE0 && Lead <= 0xFC) return Lead - 0xE0 + 31;
  return -1;
}

struct TOverride {
  char16_t Character;
  std::uint16_t Code;  // 0: none
};

extern const char16_t Singles[128];  // bytes 0x80..0xFF; 0: none
extern const char16_t Pairs[LeadCount][TrailCount];
extern const TOverride Overrides[];
extern const std::size_t OverrideCount;

}  // namespace tavi::cp932
