// The fuzz input as one burst of server lines: cut at LF, framed as the
// receive thread frames the server's bytes (CR LF, the length bound, the
// reading of lines with high bytes), and handed to the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Connection.h"
#include "core/LineFramer.h"

namespace tavi {

inline void FeedBurst(TConnection& Connection, std::string_view Preamble, const std::uint8_t* Data, std::size_t Size) {
  std::string stream(Preamble);
  std::string_view rest(reinterpret_cast<const char*>(Data), Size);
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    stream.append(line).append("\r\n");
  }
  TLineFramer framer;
  framer.Append(stream);
  Connection.BeginLines();
  std::string line;
  while (framer.TakeLine(line)) Connection.ReceiveLine(line);
  Connection.EndLines(false);
}

}  // namespace tavi
