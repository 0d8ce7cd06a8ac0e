// What the timed harnesses of the whole client share: a platform that tells
// its boxes on stderr instead of showing them (a box means the run went
// wrong), and a failure that ends the run at once.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/QtPlatform.h"

namespace bench {

class TQuietPlatform : public tavi::TQtPlatform {
 public:
  int Boxes = 0;
  void ShowMessage(const std::string& Text) override { Told("message", Text); }
  void ShowNotice(const std::string& Text) override { Told("notice", Text); }
  bool AskYesNo(const std::string& Text) override {
    Told("question", Text);
    return false;
  }

 private:
  void Told(const char* Kind, const std::string& Text) {
    ++Boxes;
    std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, Kind, Text.c_str());
  }
};

// Says why on stderr and exits with status 1, without the teardown: what
// was printed on stdout goes out first.
[[noreturn]] __attribute__((format(printf, 1, 2))) inline void Fail(const char* Format, ...) {
  std::va_list args;
  va_start(args, Format);
  std::fprintf(stderr, "%s: ", program_invocation_short_name);
  std::vfprintf(stderr, Format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::fflush(stdout);
  _exit(1);
}

}  // namespace bench
