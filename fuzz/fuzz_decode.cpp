// The wire text edge: any received bytes decode to well-formed UTF-8, and
// writing that text back in every encoding holds up. Shift-JIS and UTF-8
// give back the characters they can hold.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "WellFormedUtf8.h"

#include "kanji/WireText.h"

namespace {

using tavi::fuzz::WellFormedUtf8;

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
