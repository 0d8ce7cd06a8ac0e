// How often Shift-JIS text passes for UTF-8 in the reading step: reads
// Shift-JIS lines (LF-ended) from stdin, counts those the step would convert
// and prints the first few of them. The same lines written as UTF-8 count
// the other way: how many the step leaves unconverted or converts wrongly.
//
//   tavi_misread [--show N] < corpus
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "kanji/Utf8.h"

int main(int argc, char** argv) {
  long Show = 10;
  if (argc == 3 && std::strcmp(argv[1], "--show") == 0) Show = std::atol(argv[2]);
  long Lines = 0, Misread = 0, Bytes = 0, Missed = 0;
  std::string Line;
  while (std::getline(std::cin, Line)) {
    ++Lines;
    Bytes += static_cast<long>(Line.size());
    std::string Utf8 = tavi::SjisToUtf8(Line) + "\r\n";
    if (!tavi::ReadReceivedLine(Utf8) || tavi::SjisToUtf8(Utf8) != tavi::SjisToUtf8(Line + "\r\n")) ++Missed;
    std::string Work = Line + "\r\n";
    if (!tavi::ReadReceivedLine(Work)) continue;
    if (Misread++ < Show) {
      std::printf("misread:");
      for (unsigned char C : Line) std::printf(C < 0x80 ? " %c" : " %02X", C);
      std::printf("\n");
    }
  }
  std::printf("%ld Shift-JIS lines (%ld bytes), %ld read as UTF-8: %.4f%%\n", Lines, Bytes, Misread,
              Lines ? 100.0 * static_cast<double>(Misread) / static_cast<double>(Lines) : 0.0);
  std::printf("the same lines as UTF-8: %ld not read back as they were: %.4f%%\n", Missed,
              Lines ? 100.0 * static_cast<double>(Missed) / static_cast<double>(Lines) : 0.0);
  return 0;
}
