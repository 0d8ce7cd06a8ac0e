// How often DecodeWire reads a line as the wrong encoding, both ways: the
// Shift-JIS corpus (Japanese) taken for UTF-8, and the UTF-8 corpus (other
// languages) taken for Shift-JIS; each line LF-ended, made by
// bench/misread_corpus.py. Prints the first few misread lines of each, and
// the old reading step's figures (ReadReceivedLine) beside them.
//
//   tavi_misread SJIS_CORPUS UTF8_CORPUS [--show N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "kanji/Utf8.h"
#include "kanji/WireText.h"

namespace {

long Show = 10;

struct TCount {
  long Lines = 0, Bytes = 0, Misread = 0, OldMisread = 0;
};

void Print(const char* What, const std::string& Line) {
  std::printf("  %s:", What);
  for (unsigned char C : Line) std::printf(C < 0x80 ? " %c" : " %02X", C);
  std::printf("\n");
}

void Report(const char* What, const TCount& C) {
  auto Rate = [&C](long N) { return C.Lines ? 100.0 * static_cast<double>(N) / static_cast<double>(C.Lines) : 0.0; };
  std::printf("%s: %ld lines (%ld bytes), misread %ld: %.4f%%  (old reading step: %ld, %.4f%%)\n", What, C.Lines,
              C.Bytes, C.Misread, Rate(C.Misread), C.OldMisread, Rate(C.OldMisread));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--show") == 0)) {
    std::fprintf(stderr, "usage: tavi_misread SJIS_CORPUS UTF8_CORPUS [--show N]\n");
    return 2;
  }
  if (argc == 5) Show = std::atol(argv[4]);
  std::ifstream Sjis(argv[1], std::ios::binary), Utf8(argv[2], std::ios::binary);
  if (!Sjis || !Utf8) {
    std::fprintf(stderr, "cannot read the corpora\n");
    return 1;
  }
  std::string Line;
  TCount A, B;
  std::printf("Shift-JIS lines read as UTF-8 (or not as their code page 932 text):\n");
  while (std::getline(Sjis, Line)) {
    ++A.Lines;
    A.Bytes += static_cast<long>(Line.size());
    tavi::TWireEncoding Found;
    const std::string Text = tavi::DecodeWire(Line + "\r\n", &Found);
    if (Found != tavi::TWireEncoding::Sjis || Text != tavi::SjisToUtf8(Line) + "\r\n") {
      if (A.Misread++ < Show) Print("misread", Line);
    }
    std::string Old = Line + "\r\n";
    if (tavi::ReadReceivedLine(Old)) ++A.OldMisread;
  }
  std::printf("UTF-8 lines read as Shift-JIS (or not as themselves):\n");
  while (std::getline(Utf8, Line)) {
    ++B.Lines;
    B.Bytes += static_cast<long>(Line.size());
    tavi::TWireEncoding Found;
    const std::string Text = tavi::DecodeWire(Line + "\r\n", &Found);
    if (Found != tavi::TWireEncoding::Utf8 || Text != Line + "\r\n") {
      if (B.Misread++ < Show) Print("misread", Line);
    }
    std::string Old = Line + "\r\n";
    if (!tavi::ReadReceivedLine(Old)) ++B.OldMisread;
  }
  Report("(a) Shift-JIS taken for UTF-8", A);
  Report("(b) UTF-8 taken for Shift-JIS", B);
  return 0;
}
