// Reading a whole number from text, the way every conversion in the program
// reads one: blanks in front, at most one sign, then decimal digits only.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace tavi {

// False for empty text, stray characters or a value outside 32 bits.
inline bool ParseDecimal(std::string_view Text, std::int32_t& Value) {
  while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);
    // from_chars would take the '-' of "+-5" as a second sign.
    if (!Text.empty() && Text.front() == '-') return false;
  }
  if (Text.empty()) return false;
  std::int32_t number = 0;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), number);
  if (ec != std::errc() || end != Text.data() + Text.size()) return false;
  Value = number;
  return true;
}

}  // namespace tavi
