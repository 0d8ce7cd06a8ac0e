// The wire text edge: any received bytes decode to well-formed UTF-8, and
// writing that text back in every encoding holds up. Shift-JIS and UTF-8
// give back the characters they can hold.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kanji/WireText.h"

namespace {

// Well-formedness written out from the Unicode standard's table of byte
// ranges, apart from the code under test.
bool WellFormedUtf8(const std::string& S) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tavi::TWireEncoding;
  const std::string input(reinterpret_cast<const char*>(data), size);
  TWireEncoding found = TWireEncoding::Ascii;
  const std::string text = tavi::DecodeWire(input, &found);
  if (!WellFormedUtf8(text)) abort();
  if (found == TWireEncoding::Utf8 && text != input) abort();
  if (tavi::ValidUtf8(input) != input && found == TWireEncoding::Utf8) abort();

  for (TWireEncoding e : {TWireEncoding::Jis, TWireEncoding::Sjis, TWireEncoding::Utf8}) {
    std::u32string refused;
    const std::string bytes = tavi::EncodeWire(text, e, &refused);
    if (tavi::UnencodableCharacters(text, e) != refused) abort();
    if (e == TWireEncoding::Jis) {
      for (unsigned char c : bytes)
        if (c >= 0x80) abort();
    }
    // Whatever fits is a prefix whose encoding fits.
    const std::size_t max = bytes.size() / 2;
    const std::size_t fit = tavi::FitWireBytes(text, e, max);
    if (fit > text.size() || tavi::EncodeWire(text.substr(0, fit), e).size() > max) abort();
    if (e == TWireEncoding::Utf8 && bytes != text) abort();
    // Text that Shift-JIS holds whole, read as Shift-JIS, is the same text.
    if (e == TWireEncoding::Sjis && refused.empty()) {
      TWireEncoding back = TWireEncoding::Ascii;
      const std::string again = tavi::DecodeWire(bytes, &back);
      if (back == TWireEncoding::Sjis && tavi::EncodeWire(again, e) != bytes) abort();
    }
  }
  // UTF-8 read back as UTF-8 is itself.
  TWireEncoding back = TWireEncoding::Ascii;
  if (found == TWireEncoding::Utf8 && tavi::DecodeWire(text, &back) != text) abort();
  return 0;
}
