// Shared by the fuzz targets that check decoded text.
#pragma once

#include <cstddef>
#include <string>

namespace tavi::fuzz {

// Well-formedness written out from the Unicode standard's table of byte
// ranges, apart from the code under test.
inline bool WellFormedUtf8(const std::string& S) {
  const auto* P = reinterpret_cast<const unsigned char*>(S.data());
  const std::size_t N = S.size();
  auto In = [&](std::size_t I, unsigned Lo, unsigned Hi) { return I < N && P[I] >= Lo && P[I] <= Hi; };
  for (std::size_t I = 0; I < N;) {
    const unsigned B = P[I];
    if (B < 0x80) { I += 1; continue; }
    if (B >= 0xC2 && B <= 0xDF && In(I + 1, 0x80, 0xBF)) { I += 2; continue; }
    if (B == 0xE0 && In(I + 1, 0xA0, 0xBF) && In(I + 2, 0x80, 0xBF)) { I += 3; continue; }
    if (((B >= 0xE1 && B <= 0xEC) || B == 0xEE || B == 0xEF) && In(I + 1, 0x80, 0xBF) && In(I + 2, 0x80, 0xBF)) { I += 3; continue; }
    if (B == 0xED && In(I + 1, 0x80, 0x9F) && In(I + 2, 0x80, 0xBF)) { I += 3; continue; }
    if (B == 0xF0 && In(I + 1, 0x90, 0xBF) && In(I + 2, 0x80, 0xBF) && In(I + 3, 0x80, 0xBF)) { I += 4; continue; }
    if (B >= 0xF1 && B <= 0xF3 && In(I + 1, 0x80, 0xBF) && In(I + 2, 0x80, 0xBF) && In(I + 3, 0x80, 0xBF)) { I += 4; continue; }
    if (B == 0xF4 && In(I + 1, 0x80, 0x8F) && In(I + 2, 0x80, 0xBF) && In(I + 3, 0x80, 0xBF)) { I += 4; continue; }
    return false;
  }
  return true;
}

}  // namespace tavi::fuzz
