#include "kanji/SjisCase.h"

#include "kanji/Kanji.h"

namespace tavi {

namespace {

// Calls Visit(byte, isSingle) for every byte of Text in order.
template <typename Visit>
void ForEachByte(std::string_view Text, Visit&& visit) {
  const std::size_t n = Text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(Text[i]);
    if (IsSjisLeadByte(b) && i + 1 < n && IsSjisTrailByte(static_cast<unsigned char>(Text[i + 1]))) {
      visit(i, false);
      visit(i + 1, false);
      ++i;
    } else {
      visit(i, true);
    }
  }
}

constexpr unsigned char AsciiUpper(unsigned char b) {
  return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 'a' + 'A') : b;
}

}  // namespace

std::string SjisUpperCase(std::string_view Text) {
  std::string out(Text);
  ForEachByte(Text, [&](std::size_t i, bool single) {
    if (single) out[i] = static_cast<char>(AsciiUpper(static_cast<unsigned char>(out[i])));
  });
  return out;
}

int SjisCompareText(std::string_view A, std::string_view B) {
  // Both sides are brought to the same case first; the byte order of the
  // upper-cased texts decides.
  const std::string ua = SjisUpperCase(A);
  const std::string ub = SjisUpperCase(B);
  const int c = ua.compare(ub);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace tavi
