// JisDecode and DecodeWire throughput against glibc iconv (ISO-2022-JP ->
// CP932, and -> UTF-8 for DecodeWire's own output) on the peer harness's
// flood corpus.
//
//   bench_kanji [--corpus_mb=MB] [--dump_corpus=FILE [--jis_percent=P]]
//               [benchmark flags]
//
// Corpora (seed 1, each at least MB * 1e6 bytes, default 4): jis:30 is the
// mix (30% of lines hold JIS runs), jis:0 pure ASCII, jis:100 JIS-heavy. The
// same corpus is iconvbench.c -s 1 -j P -m MB; --dump_corpus writes it so the
// two can be compared with cmp.
//
// Per line means what the receive path does: one line with its CR LF, a
// fresh empty carry (iconv: a state reset), output into one reused buffer.
// Before timing, both converters must accept the whole corpus and give the
// same bytes; a mismatch is printed and shown in the context as
// jisdecode_matches_iconv.
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "FloodCorpus.h"
#include "kanji/Kanji.h"
#include "kanji/WireText.h"

namespace {

using tavi::bench::TCorpus;

std::map<int, TCorpus> Corpora;

const TCorpus& CorpusFor(int JisPercent) { return Corpora.at(JisPercent); }

class TIconv {
 public:
  explicit TIconv(const char* To = "CP932") : Cd(iconv_open(To, "ISO-2022-JP")) {}
  ~TIconv() {
    if (Ok()) iconv_close(Cd);
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  bool Ok() const { return Cd != reinterpret_cast<iconv_t>(-1); }

  // Converts In after a state reset, appending at Out; false on any error.
  bool Convert(std::string_view In, char*& Out, std::size_t& OutLeft) {
    char* InPtr = const_cast<char*>(In.data());
    std::size_t InLeft = In.size();
    iconv(Cd, nullptr, nullptr, nullptr, nullptr);
    return iconv(Cd, &InPtr, &InLeft, &Out, &OutLeft) != static_cast<std::size_t>(-1) &&
           iconv(Cd, nullptr, nullptr, &Out, &OutLeft) != static_cast<std::size_t>(-1);
  }

 private:
  iconv_t Cd;
};

// ---- JisDecode --------------------------------------------------------------

void BM_JisDecode_PerLine(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  std::string Carry, Output;
  Output.reserve(1024);
  for (auto _ : State) {
    for (std::size_t I = 0, N = C.LineCount(); I < N; ++I) {
      Carry.clear();
      Output.clear();
      tavi::JisDecode(C.Line(I), Carry, Output);
      benchmark::DoNotOptimize(Output.data());
      benchmark::ClobberMemory();
    }
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

void BM_JisDecode_WholeBuffer(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  std::string Carry, Output;
  Output.reserve(C.Bytes.size() + 64);
  for (auto _ : State) {
    Carry.clear();
    Output.clear();
    tavi::JisDecode(C.Bytes, Carry, Output);
    benchmark::DoNotOptimize(Output.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

// ---- DecodeWire -------------------------------------------------------------

// What the receive path will do: each line read by what it is, to UTF-8.
void BM_DecodeWire_PerLine(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  for (auto _ : State) {
    for (std::size_t I = 0, N = C.LineCount(); I < N; ++I) {
      std::string Output = tavi::DecodeWire(C.Line(I));
      benchmark::DoNotOptimize(Output.data());
      benchmark::ClobberMemory();
    }
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

// ---- glibc iconv ------------------------------------------------------------

void BM_Iconv_PerLine(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  TIconv Cv;
  if (!Cv.Ok()) {
    State.SkipWithError("iconv_open(CP932, ISO-2022-JP) failed");
    return;
  }
  char Buf[1024];  // a line is < 200 bytes and never grows in CP932
  for (auto _ : State) {
    for (std::size_t I = 0, N = C.LineCount(); I < N; ++I) {
      char* Out = Buf;
      std::size_t OutLeft = sizeof Buf;
      if (!Cv.Convert(C.Line(I), Out, OutLeft)) {
        State.SkipWithError("iconv rejected a line");
        return;
      }
      benchmark::DoNotOptimize(Out);
      benchmark::ClobberMemory();
    }
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

// The same conversion to UTF-8, as DecodeWire gives it.
void BM_IconvUtf8_PerLine(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  TIconv Cv("UTF-8");
  if (!Cv.Ok()) {
    State.SkipWithError("iconv_open(UTF-8, ISO-2022-JP) failed");
    return;
  }
  char Buf[1024];  // a line is < 200 bytes, at most 1.5 times that in UTF-8
  for (auto _ : State) {
    for (std::size_t I = 0, N = C.LineCount(); I < N; ++I) {
      char* Out = Buf;
      std::size_t OutLeft = sizeof Buf;
      if (!Cv.Convert(C.Line(I), Out, OutLeft)) {
        State.SkipWithError("iconv rejected a line");
        return;
      }
      benchmark::DoNotOptimize(Out);
      benchmark::ClobberMemory();
    }
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

void BM_Iconv_WholeBuffer(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  TIconv Cv;
  if (!Cv.Ok()) {
    State.SkipWithError("iconv_open(CP932, ISO-2022-JP) failed");
    return;
  }
  std::string Buf(C.Bytes.size() + 64, '\0');
  for (auto _ : State) {
    char* Out = Buf.data();
    std::size_t OutLeft = Buf.size();
    if (!Cv.Convert(C.Bytes, Out, OutLeft)) {
      State.SkipWithError("iconv rejected the corpus");
      return;
    }
    benchmark::DoNotOptimize(Out);
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

// The physical ceiling, as in the peer harness.
void BM_Memcpy(benchmark::State& State) {
  const TCorpus& C = CorpusFor(static_cast<int>(State.range(0)));
  std::string Buf(C.Bytes.size(), '\0');
  for (auto _ : State) {
    std::memcpy(Buf.data(), C.Bytes.data(), C.Bytes.size());
    benchmark::DoNotOptimize(Buf.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * C.Bytes.size()));
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * C.LineCount()));
}

constexpr int MixPercent = 30;

void CorpusArgs(benchmark::internal::Benchmark* B) {
  B->ArgName("jis")->Arg(MixPercent)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_JisDecode_PerLine)->Apply(CorpusArgs);
BENCHMARK(BM_Iconv_PerLine)->Apply(CorpusArgs);
BENCHMARK(BM_DecodeWire_PerLine)->Apply(CorpusArgs);
BENCHMARK(BM_IconvUtf8_PerLine)->Apply(CorpusArgs);
BENCHMARK(BM_JisDecode_WholeBuffer)->Apply(CorpusArgs);
BENCHMARK(BM_Iconv_WholeBuffer)->Apply(CorpusArgs);
BENCHMARK(BM_Memcpy)->ArgName("jis")->Arg(MixPercent)->Unit(benchmark::kMillisecond);

std::string Hex(std::string_view S) {
  std::string R;
  char B[4];
  for (unsigned char Ch : S) {
    std::snprintf(B, sizeof B, "%02x ", Ch);
    R += B;
  }
  return R;
}

// iconv must take the corpus whole and line by line; JisDecode must give
// the same Shift-JIS bytes. Returns false only when iconv refuses it.
bool Verify(int JisPercent, const TCorpus& C, std::string& Verdict) {
  TIconv Cv;
  if (!Cv.Ok()) {
    std::fprintf(stderr, "iconv_open(CP932, ISO-2022-JP): %s\n", std::strerror(errno));
    return false;
  }
  std::string Whole(C.Bytes.size() + 64, '\0');
  char* Out = Whole.data();
  std::size_t Left = Whole.size();
  if (!Cv.Convert(C.Bytes, Out, Left)) {
    std::fprintf(stderr, "jis:%d: iconv rejects the corpus: %s\n", JisPercent,
                 std::strerror(errno));
    return false;
  }
  Whole.resize(Whole.size() - Left);

  std::string Carry, Output, LineOut(1024, '\0');
  for (std::size_t I = 0, N = C.LineCount(); I < N; ++I) {
    Out = LineOut.data();
    Left = LineOut.size();
    if (!Cv.Convert(C.Line(I), Out, Left)) {
      std::fprintf(stderr, "jis:%d: iconv rejects line %zu: %s\n", JisPercent, I,
                   std::strerror(errno));
      return false;
    }
    const std::string_view Want(LineOut.data(), LineOut.size() - Left);
    Carry.clear();
    Output.clear();
    tavi::JisDecode(C.Line(I), Carry, Output);
    if (Output != Want && Verdict.empty()) {
      std::fprintf(stderr,
                   "jis:%d: JisDecode differs from iconv on line %zu\n"
                   "  in:       %s\n  iconv:    %s\n  JisDecode: %s\n",
                   JisPercent, I, Hex(C.Line(I)).c_str(), Hex(Want).c_str(),
                   Hex(Output).c_str());
      Verdict = "no (line " + std::to_string(I) + ")";
    }
  }
  if (Verdict.empty()) Verdict = "yes";
  return true;
}

// DecodeWire must give iconv's UTF-8 on every line (the corpus holds no
// character whose code point differs between the two mappings).
std::string VerifyWire(int JisPercent, const TCorpus& C) {
  TIconv Cv("UTF-8");
  std::string LineOut(1024, '\0');
  for (std::size_t I = 0, N = C.LineCount(); I < N; ++I) {
    char* Out = LineOut.data();
    std::size_t Left = LineOut.size();
    if (!Cv.Ok() || !Cv.Convert(C.Line(I), Out, Left)) return "iconv refused line " + std::to_string(I);
    const std::string_view Want(LineOut.data(), LineOut.size() - Left);
    const std::string Got = tavi::DecodeWire(C.Line(I));
    if (Got != Want) {
      std::fprintf(stderr,
                   "jis:%d: DecodeWire differs from iconv on line %zu\n"
                   "  in:       %s\n  iconv:    %s\n  DecodeWire: %s\n",
                   JisPercent, I, Hex(C.Line(I)).c_str(), Hex(Want).c_str(), Hex(Got).c_str());
      return "no (line " + std::to_string(I) + ")";
    }
  }
  return "yes";
}

bool TakeFlag(std::string_view Arg, std::string_view Name, std::string& Value) {
  if (Arg.substr(0, Name.size()) != Name) return false;
  Value = std::string(Arg.substr(Name.size()));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  double Mb = 4;
  int DumpPercent = MixPercent;
  std::string DumpPath, Value;
  int Kept = 1;
  for (int I = 1; I < argc; ++I) {
    if (TakeFlag(argv[I], "--corpus_mb=", Value))
      Mb = std::atof(Value.c_str());
    else if (TakeFlag(argv[I], "--jis_percent=", Value))
      DumpPercent = std::atoi(Value.c_str());
    else if (TakeFlag(argv[I], "--dump_corpus=", Value))
      DumpPath = Value;
    else
      argv[Kept++] = argv[I];
  }
  argc = Kept;
  const auto Want = static_cast<std::size_t>(Mb * 1e6);

  if (!DumpPath.empty()) {
    const TCorpus C = tavi::bench::MakeFloodCorpus(Want, DumpPercent);
    std::FILE* F = std::fopen(DumpPath.c_str(), "wb");
    if (!F || std::fwrite(C.Bytes.data(), 1, C.Bytes.size(), F) != C.Bytes.size() ||
        std::fclose(F) != 0) {
      std::perror(DumpPath.c_str());
      return 1;
    }
    return 0;
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  bool AllMatch = true, AllWire = true;
  for (int P : {MixPercent, 0, 100}) {
    TCorpus& C = Corpora[P] = tavi::bench::MakeFloodCorpus(Want, P);
    std::string Verdict;
    if (!Verify(P, C, Verdict)) return 1;
    AllMatch = AllMatch && Verdict == "yes";
    const std::string Key = "corpus_jis" + std::to_string(P);
    benchmark::AddCustomContext(Key, std::to_string(C.Bytes.size()) + " bytes, " +
                                         std::to_string(C.LineCount()) + " lines, " +
                                         std::to_string(C.JisLines) + " with JIS");
    benchmark::AddCustomContext(Key + "_jisdecode_matches_iconv", Verdict);
    const std::string Wire = VerifyWire(P, C);
    AllWire = AllWire && Wire == "yes";
    benchmark::AddCustomContext(Key + "_decodewire_matches_iconv", Wire);
  }
  benchmark::AddCustomContext("decodewire_matches_iconv", AllWire ? "yes" : "no");
  benchmark::AddCustomContext("jisdecode_matches_iconv", AllMatch ? "yes" : "no");

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
