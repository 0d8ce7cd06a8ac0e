// The server's byte stream cut into lines: whatever arrives, every line taken
// ends in CR LF, holds no zero byte, stays within the length limit, and the
// lines do not depend on how the stream was cut into reads.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/LineFramer.h"

namespace {

std::vector<std::string> TakeAll(tavi::TLineFramer& Framer) {
  std::vector<std::string> lines;
  std::string line;
  while (Framer.TakeLine(line)) lines.push_back(line);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte sets the read size, as a socket might deliver.
  const std::size_t chunk = 1 + data[0] % 64;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

  tavi::TLineFramer whole;
  whole.Append(stream);
  const std::vector<std::string> expected = TakeAll(whole);

  tavi::TLineFramer pieces;
  for (std::size_t at = 0; at < stream.size(); at += chunk) pieces.Append(stream.substr(at, chunk));
  if (TakeAll(pieces) != expected) abort();

  for (const std::string& line : expected) {
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) abort();
    if (line.find('\0') != std::string::npos) abort();
    if (line.size() > tavi::TLineFramer::MaxLineLength + 2) abort();
  }
  return 0;
}
