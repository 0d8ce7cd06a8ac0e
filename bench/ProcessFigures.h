// What the benches read of their own process from /proc: how long ago the
// kernel started it, and its resident memory.
#pragma once

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace bench {

// Milliseconds since the kernel started this process.
inline double SinceProcessStartMs() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long long startTicks = 0;
  for (int i = 3; i <= 22 && fields >> field; ++i)
    if (i == 22) startTicks = std::stoll(field);
  std::ifstream uptime("/proc/uptime");
  double up = 0;
  uptime >> up;
  return (up - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

// VmRSS in KiB.
inline long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

}  // namespace bench
