// Decoding must take any bytes; encoding valid Shift-JIS must decode back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kanji/Kanji.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // Split the input into two blocks to exercise the carry.
  const std::size_t half = size / 2;
  std::string carry, out;
  tavi::JisDecode(std::string_view(input).substr(0, half), carry, out);
  tavi::JisDecode(std::string_view(input).substr(half), carry, out);

  const std::string jis = tavi::SjisToJis(input);
  if (jis.find('\0') != std::string::npos) abort();

  // Any text without ESC, CR, LF or zero bytes survives the round trip, as
  // long as every lead byte has a valid trail (others are copied alone).
  std::string clean;
  for (std::size_t i = 0; i < size; ++i) {
    const auto b = static_cast<unsigned char>(input[i]);
    if (b == 0 || b == 0x1B || b == '\r' || b == '\n') continue;
    if (tavi::IsSjisLeadByte(b)) {
      if (i + 1 < size && tavi::IsSjisTrailByte(static_cast<unsigned char>(input[i + 1]))) {
        clean.push_back(input[i]);
        clean.push_back(input[i + 1]);
        ++i;
      }
      continue;
    }
    clean.push_back(input[i]);
  }
  std::string c2, back;
  tavi::JisDecode(tavi::SjisToJis(clean) + "\r\n", c2, back);
  if (back != clean + "\r\n") abort();
  return 0;
}
