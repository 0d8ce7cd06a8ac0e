// Any server line tokenizes without fault; a true result always carries one
// of the table's keywords.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocol/ChatParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  tavi::TToken token;
  const bool ok = tavi::TChatParser().ParseLine(line, token);
  if (!token.Command.empty() &&
      std::find(tavi::CommandKeywords.begin(), tavi::CommandKeywords.end(), token.Command) == tavi::CommandKeywords.end())
    abort();
  if (ok && token.Command.empty()) abort();
  // Nothing a slot holds can be longer than the line it came from.
  std::size_t total = token.Prefix.size();
  for (const auto& p : token.Params) total += p.size();
  if (total > size) abort();
  return 0;
}
