// TChatParser::ParseLine lines per second on a mix of server lines.
//
// BM_ParseLine/mix is what a busy channel session receives: mostly prefixed
// PRIVMSG to channels (30% of their texts with JIS runs), then NOTICE, JOIN,
// PART, QUIT, MODE, NICK, numerics and PING. BM_ParseLine/<kind> runs one
// kind alone, to show which lines cost most. One parser and one token are
// reused throughout, as the receive thread does.
//
// BM_LinePath/<corpus> is the whole line path up to the dispatcher: the
// pool fed to the line framer in reads of 127 bytes, each line taken,
// passed through the reading step where it holds bytes above 0x7F, and
// tokenized. Corpora: the mix; the mix with 30% of its lines turned into
// Shift-JIS; the mix with 30% of its lines Japanese UTF-8. Built against a
// tree without the reading step (no kanji/Utf8.h), it times the path as it
// was, for before/after figures.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "FloodCorpus.h"
#include "kanji/Kanji.h"
#include "protocol/ChatParser.h"
#include "core/LineFramer.h"
#if __has_include("kanji/Utf8.h")
#include "kanji/Utf8.h"
#define TAVI_READING_STEP 1
#endif

namespace {

using tavi::bench::TRng;

constexpr std::string_view Server = "irc.example.net";
constexpr std::string_view Me = "tavi";
constexpr std::string_view Nicks[] = {"alice",  "bob",    "carol", "dave",
                                      "erin",   "frank",  "kenji", "yuki",
                                      "hanako", "taro_",  "sakura", "[mio]"};
constexpr std::string_view Hosts[] = {"a@example.org", "~bob@p1234-ipad.tokyo.ocn.ne.jp",
                                      "carol@203.0.113.7", "dave@host.example.com"};
// Channel names on Japanese networks are often JIS themselves.
constexpr std::string_view Channels[] = {"#tavi", "#bench", "#japan",
                                         "#\x1b$B$F$9$H\x1b(B", "#linux-jp"};

template <typename T, std::size_t N>
std::string_view Pick(TRng& Rng, const T (&Items)[N]) {
  return Items[Rng.Below(N)];
}

void AppendUser(TRng& Rng, std::string& L) {
  L += ':';
  L += Pick(Rng, Nicks);
  L += '!';
  L += Pick(Rng, Hosts);
}

enum EKind {
  KPrivmsg, KPrivmsgMe, KNotice, KJoin, KPart, KQuit, KMode, KNick,
  K353, K372, K322, K001, KPing, KindCount
};
constexpr const char* KindNames[KindCount] = {
    "PRIVMSG", "PRIVMSG_me", "NOTICE", "JOIN", "PART", "QUIT", "MODE",
    "NICK",    "353",        "372",    "322",  "001",  "PING"};
// Shares of the mix, in percent.
constexpr int KindWeights[KindCount] = {55, 3, 6, 6, 4, 4, 4, 3, 4, 4, 3, 1, 3};

std::string MakeLine(TRng& Rng, EKind Kind) {
  std::string L;
  switch (Kind) {
    case KPrivmsg:
      AppendUser(Rng, L);
      L += " PRIVMSG ";
      L += Pick(Rng, Channels);
      L += " :";
      tavi::bench::AppendFloodText(Rng, 30, L);
      break;
    case KPrivmsgMe:
      AppendUser(Rng, L);
      L += " PRIVMSG ";
      L += Me;
      L += " :";
      tavi::bench::AppendFloodText(Rng, 30, L);
      break;
    case KNotice:
      if (Rng.Below(2)) {
        L += ':';
        L += Server;
        L += " NOTICE * :*** Looking up your hostname...";
      } else {
        AppendUser(Rng, L);
        L += " NOTICE ";
        L += Pick(Rng, Channels);
        L += " :";
        tavi::bench::AppendFloodText(Rng, 30, L);
      }
      break;
    case KJoin:
      AppendUser(Rng, L);
      L += " JOIN :";
      L += Pick(Rng, Channels);
      break;
    case KPart:
      AppendUser(Rng, L);
      L += " PART ";
      L += Pick(Rng, Channels);
      L += Rng.Below(2) ? " :see you" : " :\x1b$B$^$?$M\x1b(B";
      break;
    case KQuit:
      AppendUser(Rng, L);
      L += Rng.Below(2) ? " QUIT :Ping timeout: 240 seconds" : " QUIT :Read error: Connection reset by peer";
      break;
    case KMode:
      AppendUser(Rng, L);
      L += " MODE ";
      L += Pick(Rng, Channels);
      L += Rng.Below(2) ? " +o " : " +ov-b ";
      L += Pick(Rng, Nicks);
      L += ' ';
      L += Pick(Rng, Nicks);
      break;
    case KNick:
      AppendUser(Rng, L);
      L += " NICK :";
      L += Pick(Rng, Nicks);
      L += '_';
      break;
    case K353: {
      L += ':';
      L += Server;
      L += " 353 ";
      L += Me;
      L += " = ";
      L += Pick(Rng, Channels);
      L += " :";
      const std::uint32_t N = 20 + Rng.Below(40);  // a full NAMES reply line
      for (std::uint32_t I = 0; I < N; ++I) {
        if (I) L += ' ';
        const std::uint32_t M = Rng.Below(8);
        if (M == 0) L += '@';
        if (M == 1) L += '+';
        L += Pick(Rng, Nicks);
        L += std::to_string(Rng.Below(100));
      }
      break;
    }
    case K372:
      L += ':';
      L += Server;
      L += " 372 ";
      L += Me;
      L += " :- ";
      tavi::bench::AppendFloodText(Rng, 30, L);
      break;
    case K322:
      L += ':';
      L += Server;
      L += " 322 ";
      L += Me;
      L += ' ';
      L += Pick(Rng, Channels);
      L += ' ';
      L += std::to_string(1 + Rng.Below(300));
      L += " :";
      tavi::bench::AppendFloodText(Rng, 30, L);
      break;
    case K001:
      L += ':';
      L += Server;
      L += " 001 ";
      L += Me;
      L += " :Welcome to the Internet Relay Network tavi!~tavi@localhost";
      break;
    case KPing:
      L += "PING :";
      L += Server;
      break;
    case KindCount:
      break;
  }
  L += "\r\n";
  return L;
}

struct TLines {
  std::string Bytes;
  std::vector<std::size_t> Offsets;  // line starts, plus Bytes.size()
  std::size_t Count() const { return Offsets.size() - 1; }
  std::string_view Line(std::size_t I) const {
    return std::string_view(Bytes).substr(Offsets[I], Offsets[I + 1] - Offsets[I]);
  }
  void Add(const std::string& L) {
    if (Offsets.empty()) Offsets.push_back(0);
    Bytes += L;
    Offsets.push_back(Bytes.size());
  }
};

// A few hundred KB: the lines stay in cache as in a receive loop.
constexpr std::size_t PoolLines = 4096;

TLines MakeMix(std::uint64_t Seed) {
  TRng Rng(Seed);
  TLines T;
  for (std::size_t I = 0; I < PoolLines; ++I) {
    std::uint32_t R = Rng.Below(100);
    int K = 0;
    while (R >= static_cast<std::uint32_t>(KindWeights[K])) R -= KindWeights[K++];
    T.Add(MakeLine(Rng, static_cast<EKind>(K)));
  }
  return T;
}

TLines MakeKind(std::uint64_t Seed, EKind Kind) {
  TRng Rng(Seed);
  TLines T;
  for (std::size_t I = 0; I < PoolLines; ++I) T.Add(MakeLine(Rng, Kind));
  return T;
}

void RunParse(benchmark::State& State, const TLines& T) {
  const tavi::TChatParser Parser;
  tavi::TToken Token;
  std::size_t Rejected = 0;
  for (auto _ : State) {
    for (std::size_t I = 0, N = T.Count(); I < N; ++I) {
      const bool Ok = Parser.ParseLine(T.Line(I), Token);
      Rejected += !Ok;
      benchmark::DoNotOptimize(Ok);
      benchmark::DoNotOptimize(Token);
      benchmark::ClobberMemory();
    }
  }
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * T.Count()));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * T.Bytes.size()));
  // Share of lines ParseLine refused; all of these lines are well formed.
  State.counters["rejected"] = benchmark::Counter(
      static_cast<double>(Rejected) / static_cast<double>(State.iterations() * T.Count()));
  State.counters["avg_bytes"] =
      benchmark::Counter(static_cast<double>(T.Bytes.size()) / static_cast<double>(T.Count()));
}

// The JIS runs of a line as Shift-JIS.
std::string Sjis(std::string_view Line) {
  std::string Carry, Out;
  tavi::JisDecode(Line, Carry, Out);
  return Out;
}

// The mix with Share percent of its lines Japanese in another code: lines
// with JIS runs are converted, others are replaced by a PRIVMSG whose text
// holds JIS runs, converted.
TLines Recode(const TLines& Mix, std::uint64_t Seed, int Share, std::string (*Code)(std::string_view)) {
  TRng Rng(Seed);
  TLines T;
  for (std::size_t I = 0; I < Mix.Count(); ++I) {
    std::string L(Mix.Line(I));
    if (Rng.Below(100) < static_cast<std::uint32_t>(Share)) {
      if (L.find('\x1b') == std::string::npos) {
        L = ":yuki!~y@p1234-ipad.tokyo.ocn.ne.jp PRIVMSG #japan :";
        tavi::bench::AppendFloodText(Rng, 100, L);
        L += "\r\n";
      }
      L = Code(L);
    }
    T.Add(L);
  }
  return T;
}

void RunLinePath(benchmark::State& State, const TLines& T) {
  const tavi::TChatParser Parser;
  tavi::TToken Token;
  tavi::TLineFramer Framer;
  std::string Line;
  std::size_t Lines = 0;
  const std::string_view Bytes = T.Bytes;
  for (auto _ : State) {
    for (std::size_t At = 0; At < Bytes.size(); At += 127) {
      Framer.Append(Bytes.substr(At, 127));
#ifdef TAVI_READING_STEP
      bool High = false;
      while (Framer.TakeLine(Line, High)) {
        if (High) tavi::ReadReceivedLine(Line);
#else
      while (Framer.TakeLine(Line)) {
#endif
        benchmark::DoNotOptimize(Parser.ParseLine(Line, Token));
        benchmark::DoNotOptimize(Token);
        ++Lines;
      }
    }
  }
  State.SetItemsProcessed(static_cast<int64_t>(Lines));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * T.Bytes.size()));
}

// Prints the first line of each kind that ParseLine refuses, once.
void ReportRefusals(const TLines& T) {
  const tavi::TChatParser Parser;
  tavi::TToken Token;
  std::size_t Refused = 0;
  for (std::size_t I = 0; I < T.Count(); ++I) {
    if (Parser.ParseLine(T.Line(I), Token)) continue;
    if (Refused++ == 0) {
      std::string L(T.Line(I));
      L.resize(L.size() - 2);
      std::fprintf(stderr, "ParseLine refuses: %s\n", L.c_str());
    }
  }
  if (Refused) std::fprintf(stderr, "  (%zu of %zu lines refused)\n", Refused, T.Count());
}

}  // namespace

int main(int argc, char** argv) {
  static const TLines Mix = MakeMix(1);
  static std::vector<TLines> Kinds;
  for (int K = 0; K < KindCount; ++K) Kinds.push_back(MakeKind(100 + K, static_cast<EKind>(K)));

  benchmark::RegisterBenchmark("BM_ParseLine/mix", [](benchmark::State& S) { RunParse(S, Mix); });
  static const TLines MixSjis = Recode(Mix, 7, 30, Sjis);
  benchmark::RegisterBenchmark("BM_LinePath/mix", [](benchmark::State& S) { RunLinePath(S, Mix); });
  benchmark::RegisterBenchmark("BM_LinePath/mix_sjis30", [](benchmark::State& S) { RunLinePath(S, MixSjis); });
#ifdef TAVI_READING_STEP
  static const TLines MixUtf8 = Recode(Mix, 7, 30, [](std::string_view L) { return tavi::SjisToUtf8(Sjis(L)); });
  benchmark::RegisterBenchmark("BM_LinePath/mix_utf8_30", [](benchmark::State& S) { RunLinePath(S, MixUtf8); });
#endif
  for (int K = 0; K < KindCount; ++K) {
    const std::string Name = std::string("BM_ParseLine/") + KindNames[K];
    benchmark::RegisterBenchmark(Name.c_str(),
                                 [K](benchmark::State& S) { RunParse(S, Kinds[K]); });
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ReportRefusals(Mix);
  benchmark::AddCustomContext("parse_mix", std::to_string(Mix.Count()) + " lines, " +
                                               std::to_string(Mix.Bytes.size()) + " bytes");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
