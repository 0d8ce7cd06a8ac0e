#include "kanji/WireText.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#endif

#include "kanji/Cp932.h"
#include "kanji/JisTables.h"
#include "kanji/Kanji.h"
#include "kanji/Utf8.h"

namespace tavi {

namespace {

constexpr unsigned char Esc = 0x1B;
constexpr unsigned char ShiftOut = 0x0E;
constexpr unsigned char ShiftIn = 0x0F;
constexpr char32_t Replacement = 0xFFFD;

void AppendUtf8(char32_t C, std::string& Out) {
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | C >> 6));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | C >> 12));
    Out.push_back(static_cast<char>(0x80 | (C >> 6 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | C >> 18));
    Out.push_back(static_cast<char>(0x80 | (C >> 12 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C >> 6 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

// Bit I of a stop mask is set when byte I of a block is a byte the caller
// stops at: PlainStops marks ESC, SO and bytes above 0x7F, HighStops bytes
// above 0x7F.
#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
constexpr std::size_t Block = 16;

unsigned PlainStops(const char* At) {
  const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(At));
  const __m128i Controls = _mm_or_si128(_mm_cmpeq_epi8(V, _mm_set1_epi8(static_cast<char>(Esc))),
                                        _mm_cmpeq_epi8(V, _mm_set1_epi8(static_cast<char>(ShiftOut))));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(V, Controls)));
}

unsigned HighStops(const char* At) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(At))));
}
#else
constexpr std::size_t Block = 8;
constexpr std::uint64_t Ones = 0x0101010101010101ULL;
constexpr std::uint64_t Highs = 0x8080808080808080ULL;

std::uint64_t LoadWord(const char* At) {
  std::uint64_t W = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&W, At, 8);
  } else {
    for (int I = 0; I < 8; ++I) W |= std::uint64_t{static_cast<unsigned char>(At[I])} << (8 * I);
  }
  return W;
}

// The high bit of each zero byte of W (exact: no borrow crosses a byte).
constexpr std::uint64_t ZeroBytes(std::uint64_t W) { return ~(((W & ~Highs) + ~Highs) | W) & Highs; }

// One bit a byte from the high bits of W (bit 7 of byte I to bit I).
constexpr unsigned Gather(std::uint64_t W) { return static_cast<unsigned>(((W >> 7) * 0x0102040810204080ULL) >> 56); }

unsigned PlainStops(const char* At) {
  const std::uint64_t W = LoadWord(At);
  return Gather((W & Highs) | ZeroBytes(W ^ (Ones * Esc)) | ZeroBytes(W ^ (Ones * ShiftOut)));
}

unsigned HighStops(const char* At) { return Gather(LoadWord(At) & Highs); }
#endif

// Offset of the first stop (Stops: PlainStops or HighStops) at or after
// From, or Text.size(); a block at a time, the last block read where it
// ends with Text.
template <unsigned (*Stops)(const char*)>
std::size_t SkipTo(std::string_view Text, std::size_t From) {
  const std::size_t N = Text.size();
  std::size_t I = From;
  for (; I + Block <= N; I += Block) {
    if (const unsigned M = Stops(Text.data() + I)) return I + static_cast<std::size_t>(std::countr_zero(M));
  }
  if (I == N) return N;
  if (N >= Block) {
    const unsigned M = Stops(Text.data() + N - Block) >> (I - (N - Block));
    return M ? I + static_cast<std::size_t>(std::countr_zero(M)) : N;
  }
  for (; I < N; ++I) {
    const auto B = static_cast<unsigned char>(Text[I]);
    if (B >= 0x80 || (Stops == PlainStops && (B == Esc || B == ShiftOut))) break;
  }
  return I;
}

// Offset of the first byte at or after From that is above 0x7F, an ESC or a
// SO, or Text.size(): what an ASCII line is scanned for.
std::size_t SkipPlain(std::string_view Text, std::size_t From) { return SkipTo<PlainStops>(Text, From); }

// Offset of the first byte above 0x7F at or after From, or Text.size().
std::size_t SkipAscii(std::string_view Text, std::size_t From) { return SkipTo<HighStops>(Text, From); }

// True when Text holds a designation of ISO-2022 (ESC $ ..., ESC ( ...) or
// a SO; other escapes (colour sequences of terminals) do not make a line JIS,
// nor does SI, which IRC uses to end formatting.
bool IsDesignation(std::string_view Text, std::size_t At) {
  return Text[At] == static_cast<char>(Esc) && At + 1 < Text.size() && (Text[At + 1] == '$' || Text[At + 1] == '(');
}

bool HoldsJis(std::string_view Text, std::size_t From) {
  const char* End = Text.data() + Text.size();
  if (std::memchr(Text.data() + From, ShiftOut, Text.size() - From)) return true;
  for (const char* P = Text.data() + From;; ++P) {
    P = static_cast<const char*>(std::memchr(P, Esc, static_cast<std::size_t>(End - P)));
    if (!P || P + 1 == End) return false;
    if (P[1] == '$' || P[1] == '(') return true;
  }
}

// ---- JIS ---------------------------------------------------------------------

enum class TG0 : unsigned char { Ascii, X0208, Kana, X0212, X0213Plane1, X0213Plane2 };

// The code page 932 character of a JIS X 0208 code (bytes 0x21..0x7E), 0 when none.
char16_t Cp932OfJis(unsigned Row, unsigned Cell) {
  const unsigned Lead = ((Row + 1) >> 1) + (Row <= 0x5E ? 0x70 : 0xB0);
  const unsigned Trail = Cell + ((Row & 1) ? (Cell >= 0x60 ? 0x20 : 0x1F) : 0x7E);
  return Cp932Pair(static_cast<unsigned char>(Lead), static_cast<unsigned char>(Trail));
}

constexpr bool IsX0208Row(unsigned Row) { return (Row >= 0x21 && Row <= 0x28) || (Row >= 0x30 && Row <= 0x74); }

// Writes C as UTF-8 at Out; the bytes written.
std::size_t PutUtf8(char32_t C, char* Out) {
  if (C < 0x80) {
    Out[0] = static_cast<char>(C);
    return 1;
  }
  if (C < 0x800) {
    Out[0] = static_cast<char>(0xC0 | C >> 6);
    Out[1] = static_cast<char>(0x80 | (C & 0x3F));
    return 2;
  }
  if (C < 0x10000) {
    Out[0] = static_cast<char>(0xE0 | C >> 12);
    Out[1] = static_cast<char>(0x80 | (C >> 6 & 0x3F));
    Out[2] = static_cast<char>(0x80 | (C & 0x3F));
    return 3;
  }
  Out[0] = static_cast<char>(0xF0 | C >> 18);
  Out[1] = static_cast<char>(0x80 | (C >> 12 & 0x3F));
  Out[2] = static_cast<char>(0x80 | (C >> 6 & 0x3F));
  Out[3] = static_cast<char>(0x80 | (C & 0x3F));
  return 4;
}

// JIS X 0208 codes as UTF-8, ready to copy: the bytes in the low three
// bytes, their count in the high one (U+FFFD for a code without character).
struct TX0208Utf8 {
  std::uint32_t Cells[94][94];
  TX0208Utf8() {
    for (unsigned Row = 0; Row < 94; ++Row) {
      for (unsigned Cell = 0; Cell < 94; ++Cell) {
        const char16_t C = Cp932OfJis(Row + 0x21, Cell + 0x21);
        char Bytes[4] = {};
        const std::size_t N = PutUtf8(C ? C : Replacement, Bytes);
        std::uint32_t V = static_cast<std::uint32_t>(N) << 24;
        for (std::size_t I = 0; I < N; ++I) V |= static_cast<std::uint32_t>(static_cast<unsigned char>(Bytes[I])) << (8 * I);
        Cells[Row][Cell] = V;
      }
    }
  }
};

const TX0208Utf8& X0208Utf8() {
  static const TX0208Utf8 Table;
  return Table;
}

// Writes the character of a pair in the 94 x 94 sets other than JIS X 0208
// at Out; the bytes written.
std::size_t PutPair(TG0 Mode, unsigned Row, unsigned Cell, char* Out) {
  char32_t C = 0;
  std::size_t N = 0;
  switch (Mode) {
    case TG0::X0212:
      if (const char16_t* R = jis::X0212Rows[Row - 0x21]) C = R[Cell - 0x21];
      break;
    case TG0::X0213Plane1:
      // Where JIS X 0208 has the code, as ESC $ B reads it (so that a wave
      // dash is U+FF5E throughout); the additions from the JIS X 0213 table.
      if (IsX0208Row(Row)) C = Cp932OfJis(Row, Cell);
      [[fallthrough]];
    case TG0::X0213Plane2:
      if (!C) {
        if (const char32_t* R = jis::X0213Rows[Mode == TG0::X0213Plane2][Row - 0x21]) C = R[Cell - 0x21];
      }
      if (C >= jis::PairBase) {
        N = PutUtf8(jis::X0213Pairs[C - jis::PairBase][0], Out);
        C = jis::X0213Pairs[C - jis::PairBase][1];
      }
      break;
    default:
      break;
  }
  return N + PutUtf8(C ? C : Replacement, Out + N);
}

struct TEscape {
  std::size_t Length;
  TG0 Mode;
  bool Known;  // false for an escape this reader does not know
};

// Reads the escape sequence at Text[I] (an ESC): its length (the whole of a
// well-formed one, known or not) and the designation it makes from Mode.
TEscape ReadEscape(std::string_view Text, std::size_t I, TG0 Mode) {
  std::size_t J = I + 1;
  while (J < Text.size() && Text[J] >= 0x20 && Text[J] <= 0x2F) ++J;
  if (J >= Text.size() || Text[J] < 0x30 || Text[J] > 0x7E) return {1, Mode, false};
  const std::string_view Seq = Text.substr(I + 1, J - I);
  static constexpr struct {
    std::string_view Seq;
    TG0 Mode;
  } Designations[] = {
      {"$@", TG0::X0208},        {"$B", TG0::X0208},        {"$(@", TG0::X0208},
      {"$(B", TG0::X0208},       {"(B", TG0::Ascii},        {"(J", TG0::Ascii},
      {"(I", TG0::Kana},         {"$(D", TG0::X0212},       {"$(O", TG0::X0213Plane1},
      {"$(Q", TG0::X0213Plane1}, {"$(P", TG0::X0213Plane2},
  };
  for (const auto& D : Designations)
    if (Seq == D.Seq) return {J - I + 1, D.Mode, true};
  // The announcer of JIS X 0208-1990 (ESC & @ before ESC $ B) changes nothing.
  return {J - I + 1, Mode, Seq == "&@"};
}

// Decodes a JIS line at Out, which has room for 3 bytes per byte of Text
// and 4 more; the bytes written.
std::size_t DecodeJis(std::string_view Text, char* const Out) {
  const auto* const Begin = reinterpret_cast<const unsigned char*>(Text.data());
  const auto* const End = Begin + Text.size();
  const auto& Table = X0208Utf8();
  const unsigned char* P = Begin;
  char* O = Out;
  TG0 Mode = TG0::Ascii;
  bool Shifted = false;  // SO: half-width katakana until SI
  while (P < End) {
    if (!Shifted && Mode == TG0::Ascii) {
      // A block copied whole, then kept up to its first stop: Out has
      // room for it while a block of Text is left (at most 3 bytes have
      // been written per byte read).
      unsigned M = 0;
      while (End - P >= static_cast<std::ptrdiff_t>(Block)) {
        std::memcpy(O, P, Block);
        M = PlainStops(reinterpret_cast<const char*>(P));
        if (M) break;
        P += Block;
        O += Block;
      }
      if (M) {
        const auto K = std::countr_zero(M);
        P += K;
        O += K;
      } else {
        while (P < End && *P < 0x80 && *P != Esc && *P != ShiftOut) *O++ = static_cast<char>(*P++);
        if (P == End) break;
      }
    } else if (!Shifted && Mode == TG0::X0208) {
      while (End - P >= 2 && P[0] - 0x21u < 94 && P[1] - 0x21u < 94) {
        const std::uint32_t V = Table.Cells[P[0] - 0x21][P[1] - 0x21];
        std::memcpy(O, &V, 4);  // the fourth byte is overwritten next
        O += V >> 24;
        P += 2;
      }
      if (P == End) break;
    }
    const unsigned char B = *P;
    if (B == Esc) {
      // The two escapes of nearly every JIS line first.
      if (End - P >= 3 && P[2] == 'B' && (P[1] == '$' || P[1] == '(')) {
        Mode = P[1] == '$' ? TG0::X0208 : TG0::Ascii;
        P += 3;
        continue;
      }
      const TEscape E = ReadEscape(Text, static_cast<std::size_t>(P - Begin), Mode);
      Mode = E.Mode;
      P += E.Length;
      if (!E.Known) O += PutUtf8(Replacement, O);
      continue;
    }
    ++P;
    if (B == ShiftOut || (B == ShiftIn && Shifted)) {
      Shifted = B == ShiftOut;
      continue;
    }
    if (B >= 0x80) {
      // 8-bit half-width katakana, as some clients send them inside JIS.
      O += PutUtf8(B >= 0xA1 && B <= 0xDF ? char32_t{0xFF61} + (B - 0xA1) : Replacement, O);
      continue;
    }
    if (B == '\r' || B == '\n') {
      // A run not closed before the line end ends there.
      Mode = TG0::Ascii;
      Shifted = false;
    }
    if (B < 0x21 || B == 0x7F || (Mode == TG0::Ascii && !Shifted)) {
      *O++ = static_cast<char>(B);
      continue;
    }
    if (Shifted || Mode == TG0::Kana) {
      O += PutUtf8(B <= 0x5F ? char32_t{0xFF61} + (B - 0x21) : Replacement, O);
      continue;
    }
    if (P == End || *P < 0x21 || *P > 0x7E) {
      O += PutUtf8(Replacement, O);  // half a pair; what follows is read on its own
      continue;
    }
    O += PutPair(Mode, B, *P, O);
    ++P;
  }
  return static_cast<std::size_t>(O - Out);
}

// ---- Shift-JIS ---------------------------------------------------------------

void DecodeSjis(std::string_view Text, std::string& Out) { AppendSjisAsUtf8(Text, Out); }

// True when every byte of Text decodes in code page 932.
bool WholeSjis(std::string_view Text, std::size_t From) {
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  const std::size_t N = Text.size();
  for (std::size_t I = From; I < N; ++I) {
    if (P[I] < 0x80) continue;
    if (I + 1 < N && Cp932Pair(P[I], P[I + 1])) {
      ++I;
    } else if (!Cp932Single(P[I])) {
      return false;
    }
  }
  return true;
}

// ---- Reading UTF-8 or Shift-JIS ----------------------------------------------

// What a character says about the line it is in. Shift-JIS passes for UTF-8
// mostly as 2-byte sequences (a half-width katakana from U+FF82 on, then one
// up to U+FF7F or a double-byte lead), which read as lone letters of Latin,
// Greek, Cyrillic, Hebrew, Arabic... Real UTF-8 has such letters in words:
// next to ASCII letters or to letters of their own script.
enum class TKind : unsigned char {
  Space,     // ASCII other than letters, and the line's ends
  Letter,    // ASCII letters
  Digit,
  Latin,     // Latin-1 and Latin Extended letters
  Symbol,    // Latin-1 signs: degree, guillemets, inverted marks...
  Mark,      // combining diacritics
  Script,    // a letter of a 2-byte alphabet (Script holds which)
  Wide,      // a 3- or 4-byte character of a block people write in
  Unlikely,  // C1 controls, private use, blocks nobody types
};

struct TChar {
  TKind Kind = TKind::Space;
  unsigned char Script = 0;  // TKind::Script: 1 Greek, 2 Cyrillic, ...; TKind::Symbol: 1 for a free one
  bool Word = false;          // a letter that is a word on its own ("é", "à", "и", "ŭ")
};

// Small letters that make one-letter words; the half-width katakana pairs
// that read as such letters (ﾃｨ for è...) seldom stand alone.
constexpr bool IsLetterWord(char32_t C) {
  return (C >= 0xE0 && C <= 0xFC && C != 0xF0 && C != 0xF7) || C == 0xDF || C == 0x16D ||
         (C >= 0x3AC && C <= 0x3CE) || (C >= 0x430 && C <= 0x44F) || C == 0x454 || C == 0x456 || C == 0x457;
}

TChar ClassifyScript(char32_t C) {
  if (C < 0x80) {
    if ((C | 0x20) >= 'a' && (C | 0x20) <= 'z') return {TKind::Letter};
    if (C >= '0' && C <= '9') return {TKind::Digit};
    return {TKind::Space};
  }
  if (C < 0xA0) return {TKind::Unlikely};
  // Guillemets, copyright and registered signs, the inverted question mark
  // stand anywhere; half-width katakana rarely form them (ﾂｫ, ﾂｩ, ﾂｿ).
  if (C == 0xAB || C == 0xBB || C == 0xA9 || C == 0xAE || C == 0xBF) return {TKind::Symbol, 1};
  if (C < 0xC0) return {TKind::Symbol};
  // Latin Extended, IPA (Azerbaijani ə) and modifier letters (Uzbek ʻ).
  if (C < 0x300) return {C == 0xD7 || C == 0xF7 ? TKind::Symbol : TKind::Latin};
  if (C < 0x370) return {TKind::Mark};
  if (C < 0x400) return {TKind::Script, 1};  // Greek
  if (C < 0x530) return {TKind::Script, 2};  // Cyrillic
  if (C < 0x590) return {TKind::Script, 3};  // Armenian
  if (C < 0x600) return {TKind::Script, 4};  // Hebrew
  if (C < 0x700) return {TKind::Script, 5};  // Arabic
  if (C < 0x800) return {TKind::Script, 6};  // Syriac, Thaana, N'Ko
  if (C >= 0x1AB0 && C < 0x1B00) return {TKind::Mark};
  // Indic, Thai, Georgian, Hangul Jamo, Ethiopic... Latin and Greek extended, then
  // punctuation and symbols; CJK and kana; Hangul; full-width forms;
  // emoji and the supplementary ideographs.
  if ((C >= 0x900 && C < 0x1DC0) || (C >= 0x1E00 && C < 0x2C00) || (C >= 0x2E80 && C < 0xA000) ||
      (C >= 0xAC00 && C < 0xD7A4) || (C >= 0xFF00 && C < 0xFFF0) || (C >= 0x1F000 && C < 0x1FB00) ||
      (C >= 0x20000 && C < 0x32000))
    return {TKind::Wide};
  return {TKind::Unlikely};
}

TChar Classify(char32_t C) {
  TChar T = ClassifyScript(C);
  T.Word = IsLetterWord(C);
  return T;
}

constexpr bool IsWordy(TKind K) { return K == TKind::Letter || K == TKind::Latin || K == TKind::Mark; }

// The plausibility of one character of the UTF-8 reading, given its
// neighbours: positive for UTF-8, negative for Shift-JIS.
// Lone counts the Latin letters and signs that stand alone between spaces,
// digits or punctuation: "é", "à" as words, "© 2024".
int Weigh(const TChar& Prev, const TChar& Cur, const TChar& Next, int& Lone) {
  switch (Cur.Kind) {
    case TKind::Latin:
      if (IsWordy(Prev.Kind) || IsWordy(Next.Kind)) return 2;
      if (Cur.Word) return 1;
      ++Lone;
      return -1;
    case TKind::Symbol:
      if (Prev.Kind == TKind::Digit || Next.Kind == TKind::Digit || IsWordy(Prev.Kind) || IsWordy(Next.Kind) ||
          Cur.Script)
        return 1;
      ++Lone;
      return -1;
    case TKind::Mark:
      return Prev.Kind == TKind::Letter || Prev.Kind == TKind::Latin || Prev.Kind == TKind::Script ? 1 : -3;
    case TKind::Script: {
      const int Same = (Prev.Kind == TKind::Script && Prev.Script == Cur.Script) +
                       (Next.Kind == TKind::Script && Next.Script == Cur.Script);
      // Greek, Cyrillic and Armenian have words of one and two letters; the
      // rarer alphabets, which half-width katakana pairs form more easily,
      // count in longer runs.
      if (Cur.Script <= 3) {
        if (Same) return Same;
        return Cur.Word ? 1 : -1;
      }
      return Same == 2 ? 3 : Same == 1 ? 0 : -2;
    }
    case TKind::Wide:
      return 4;
    case TKind::Unlikely:
      return -4;
    default:
      return 0;
  }
}

// Reads Text from From (its first byte above 0x7F) as UTF-8: false when it
// is not well-formed, else Score says how plausible its characters are.
bool ScoreUtf8(std::string_view Text, std::size_t From, int& Score) {
  Score = 0;
  const auto* P = reinterpret_cast<const unsigned char*>(Text.data());
  const std::size_t N = Text.size();
  TChar Prev, Cur = From ? Classify(P[From - 1]) : TChar{};
  int Lone = 0;
  for (std::size_t I = From;;) {
    if (I == N) {
      if (Cur.Kind >= TKind::Latin) Score += Weigh(Prev, Cur, TChar{}, Lone);
      break;
    }
    if (P[I] < 0x80) {
      // Only the ends of an ASCII run are anyone's neighbours.
      const TChar Next = Classify(P[I]);
      if (Cur.Kind >= TKind::Latin) Score += Weigh(Prev, Cur, Next, Lone);
      const std::size_t Run = SkipAscii(Text, I);
      Prev = Next;
      Cur = Classify(P[Run - 1]);
      I = Run;
      continue;
    }
    char32_t C = 0;
    const std::size_t L = Utf8Sequence(Text.substr(I), C);
    if (!L) return false;
    const TChar Next = Classify(C);
    if (Cur.Kind >= TKind::Latin) Score += Weigh(Prev, Cur, Next, Lone);
    Prev = Cur;
    Cur = Next;
    I += L;
  }
  // A lone Latin letter or sign counts for UTF-8 when the line has ASCII
  // words, and against it when not (half-width katakana pairs form them).
  if (Lone) {
    bool Words = false;
    for (std::size_t I = 1; I < N && !Words; ++I)
      Words = Classify(P[I - 1]).Kind == TKind::Letter && Classify(P[I]).Kind == TKind::Letter;
    if (Words) Score += 3 * Lone;
  }
  return true;
}

}  // namespace

std::string DecodeWire(std::string_view Bytes, TWireEncoding* Found) {
  auto Say = [Found](TWireEncoding E) {
    if (Found) *Found = E;
  };
  std::size_t First = SkipPlain(Bytes, 0);
  if (First < Bytes.size() && (IsDesignation(Bytes, First) || HoldsJis(Bytes, First))) {
    Say(TWireEncoding::Jis);
    // Written in room for the worst case (three bytes for one, a JIS X 0213
    // pair of two characters in two bytes), then cut to its size; the plain
    // bytes in front of the first escape are taken as they are.
    std::string Out;
    Out.resize(3 * Bytes.size() + 4);
    std::memcpy(Out.data(), Bytes.data(), First);
    Out.resize(First + DecodeJis(Bytes.substr(First), Out.data() + First));
    return Out;
  }
  // An escape that designates nothing of ISO-2022 is a control like others.
  First = SkipAscii(Bytes, First);
  if (First == Bytes.size()) {
    Say(TWireEncoding::Ascii);
    return std::string(Bytes);
  }
  int Score = 0;
  if (ScoreUtf8(Bytes, First, Score) && (Score > 0 || !WholeSjis(Bytes, First))) {
    Say(TWireEncoding::Utf8);
    return std::string(Bytes);
  }
  Say(TWireEncoding::Sjis);
  std::string Out;
  Out.reserve(Bytes.size() + Bytes.size() / 2);
  Out.append(Bytes.data(), First);
  DecodeSjis(Bytes.substr(First), Out);
  return Out;
}

std::string ValidUtf8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size();) {
    const std::size_t Next = SkipAscii(Text, I);
    Out.append(Text.data() + I, Next - I);
    I = Next;
    if (I == Text.size()) break;
    char32_t C = 0;
    const std::size_t L = Utf8Sequence(Text.substr(I), C);
    if (L) {
      Out.append(Text.data() + I, L);
      I += L;
    } else {
      AppendUtf8(Replacement, Out);
      ++I;
    }
  }
  return Out;
}

namespace {

// ---- Writing -----------------------------------------------------------------

// Half-width katakana U+FF61..U+FF9F as JIS X 0208 holds them.
constexpr char16_t FullWidthKana[] =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
static_assert(std::size(FullWidthKana) - 1 == 0xFF9F - 0xFF61 + 1);

// The full-width kana with the sound mark Mark (U+FF9E voiced, U+FF9F
// semi-voiced) when JIS X 0208 has it as one character, else 0.
char16_t Voiced(char16_t Kana, char32_t Mark) {
  if (Kana == u'ウ' && Mark == 0xFF9E) return u'ヴ';
  constexpr std::u16string_view VoicedOnly = u"カキクケコサシスセソタチツテト";
  constexpr std::u16string_view Both = u"ハヒフヘホ";
  if (Mark == 0xFF9E && (VoicedOnly.find(Kana) != std::u16string_view::npos || Both.find(Kana) != std::u16string_view::npos))
    return static_cast<char16_t>(Kana + 1);
  if (Mark == 0xFF9F && Both.find(Kana) != std::u16string_view::npos) return static_cast<char16_t>(Kana + 2);
  return 0;
}

// What JIS writes for the characters of code page 932 that JIS X 0208 does
// not hold (row 13, the IBM extensions' non-kanji): their compatibility form,
// or the nearest one JIS X 0208 holds. Sorted by character.
struct TCompat {
  char32_t Character;
  std::string_view Text;
};
constexpr TCompat Compat[] = {
    {0x2116, "No."},   {0x2121, "TEL"},   {0x2160, "I"},     {0x2161, "II"},    {0x2162, "III"},
    {0x2163, "IV"},    {0x2164, "V"},     {0x2165, "VI"},    {0x2166, "VII"},   {0x2167, "VIII"},
    {0x2168, "IX"},    {0x2169, "X"},     {0x2170, "i"},     {0x2171, "ii"},    {0x2172, "iii"},
    {0x2173, "iv"},    {0x2174, "v"},     {0x2175, "vi"},    {0x2176, "vii"},   {0x2177, "viii"},
    {0x2178, "ix"},    {0x2179, "x"},     {0x2211, "Σ"},     {0x221F, "∠"},     {0x222E, "∫"},
    {0x22BF, "△"},     {0x2460, "(1)"},   {0x2461, "(2)"},   {0x2462, "(3)"},   {0x2463, "(4)"},
    {0x2464, "(5)"},   {0x2465, "(6)"},   {0x2466, "(7)"},   {0x2467, "(8)"},   {0x2468, "(9)"},
    {0x2469, "(10)"},  {0x246A, "(11)"},  {0x246B, "(12)"},  {0x246C, "(13)"},  {0x246D, "(14)"},
    {0x246E, "(15)"},  {0x246F, "(16)"},  {0x2470, "(17)"},  {0x2471, "(18)"},  {0x2472, "(19)"},
    {0x2473, "(20)"},  {0x301D, "“"},     {0x301F, "”"},     {0x3231, "(株)"},  {0x3232, "(有)"},
    {0x3239, "(代)"},  {0x32A4, "(上)"},  {0x32A5, "(中)"},  {0x32A6, "(下)"},  {0x32A7, "(左)"},
    {0x32A8, "(右)"},  {0x3303, "アール"}, {0x330D, "カロリー"}, {0x3314, "キロ"}, {0x3318, "グラム"},
    {0x3322, "センチ"}, {0x3323, "セント"}, {0x3326, "ドル"}, {0x3327, "トン"}, {0x332B, "パーセント"},
    {0x3336, "ヘクタール"}, {0x333B, "ページ"}, {0x3349, "ミリ"}, {0x334A, "ミリバール"}, {0x334D, "メートル"},
    {0x3351, "リットル"}, {0x3357, "ワット"}, {0x337B, "平成"}, {0x337C, "昭和"}, {0x337D, "大正"},
    {0x337E, "明治"},  {0x338E, "mg"},    {0x338F, "kg"},    {0x339C, "mm"},    {0x339D, "cm"},
    {0x339E, "km"},    {0x33A1, "m2"},    {0x33C4, "cc"},    {0x33CD, "K.K."},  {0xFF02, "\""},
    {0xFF07, "'"},     {0xFFE4, "｜"},
};

std::string_view CompatOf(char32_t C) {
  const auto* It = std::lower_bound(std::begin(Compat), std::end(Compat), C,
                                    [](const TCompat& E, char32_t V) { return E.Character < V; });
  return It != std::end(Compat) && It->Character == C ? It->Text : std::string_view();
}

// The JIS X 0208 code (row and cell bytes as one number) of a character, 0
// when JIS X 0208 does not hold it: its code page 932 code, when that lies in
// the rows JIS X 0208 has.
std::uint16_t JisCode(char32_t C) {
  // Code page 932 writes these as ASCII; JIS has their full-width forms.
  if (C == 0xA5) C = 0xFFE5;
  if (C == 0x203E) C = 0xFFE3;
  const std::uint16_t Code = Cp932Code(C);
  if (Code < 0x100) return 0;
  const unsigned Lead = Code >> 8, Trail = Code & 0xFF;
  unsigned Row = (Lead <= 0x9F ? Lead - 0x71 : Lead - 0xB1) * 2 + 1;
  unsigned Cell = Trail > 0x7F ? Trail - 1 : Trail;
  if (Cell >= 0x9E) {
    Cell -= 0x7D;
    ++Row;
  } else {
    Cell -= 0x1F;
  }
  return IsX0208Row(Row) ? static_cast<std::uint16_t>(Row << 8 | Cell) : 0;
}

// Writes characters one at a time, so that FitWireBytes can stop between any two.
class TEncoder {
 public:
  TEncoder(TWireEncoding Encoding, std::u32string* Unencodable)
      : Encoding(Encoding == TWireEncoding::Ascii ? TWireEncoding::Utf8 : Encoding), Unencodable(Unencodable) {}

  // Writes the character at the front of Text (with a sound mark after it,
  // for half-width katakana in JIS); the bytes of Text it took.
  std::size_t Step(std::string_view Text) {
    const auto B = static_cast<unsigned char>(Text[0]);
    if (B < 0x80) {
      ToAscii();
      Out.push_back(static_cast<char>(B));
      return 1;
    }
    char32_t C = 0;
    std::size_t L = Utf8Sequence(Text, C);
    if (!L) {
      C = Replacement;
      L = 1;
    }
    switch (Encoding) {
      case TWireEncoding::Utf8:
        if (C == Replacement)
          AppendUtf8(C, Out);
        else
          Out.append(Text.data(), L);
        break;
      case TWireEncoding::Sjis:
        if (const std::uint16_t Code = Cp932Code(C)) {
          if (Code >= 0x100) Out.push_back(static_cast<char>(Code >> 8));
          Out.push_back(static_cast<char>(Code & 0xFF));
        } else {
          Refuse(C);
          Out.append(Geta);
        }
        break;
      default:
        L += WriteJis(C, Text.substr(L));
        break;
    }
    return L;
  }

  // The bytes so far, with the return to ASCII that ends a line.
  std::size_t Size() const { return Out.size() + (Kanji ? 3 : 0); }

  std::string Finish() {
    ToAscii();
    return std::move(Out);
  }

 private:
  void ToAscii() {
    if (Kanji) Out.append("\x1B(B");
    Kanji = false;
  }

  void WritePair(std::uint16_t Code) {
    if (!Kanji) Out.append("\x1B$B");
    Kanji = true;
    Out.push_back(static_cast<char>(Code >> 8));
    Out.push_back(static_cast<char>(Code & 0xFF));
  }

  void Refuse(char32_t C) {
    if (Unencodable && Unencodable->find(C) == std::u32string::npos) Unencodable->push_back(C);
  }

  // Writes C; the bytes of After (the text behind it) it took too.
  std::size_t WriteJis(char32_t C, std::string_view After) {
    std::size_t Took = 0;
    if (C >= 0xFF61 && C <= 0xFF9F) {
      C = FullWidthKana[C - 0xFF61];
      char32_t Mark = 0;
      if (Utf8Sequence(After, Mark) == 3 && (Mark == 0xFF9E || Mark == 0xFF9F)) {
        if (const char16_t Both = Voiced(static_cast<char16_t>(C), Mark)) {
          C = Both;
          Took = 3;
        }
      }
    }
    if (const std::uint16_t Code = JisCode(C)) {
      WritePair(Code);
      return Took;
    }
    const std::string_view Form = CompatOf(C);
    if (Form.empty()) {
      Refuse(C);
      WritePair(0x222E);  // the geta mark
      return Took;
    }
    for (std::size_t I = 0; I < Form.size();) I += Step(Form.substr(I));
    return Took;
  }

  TWireEncoding Encoding;
  std::u32string* Unencodable;
  bool Kanji = false;
  std::string Out;
};

}  // namespace

std::string EncodeWire(std::string_view Utf8, TWireEncoding Encoding, std::u32string* Unencodable) {
  if (Encoding == TWireEncoding::Utf8 || Encoding == TWireEncoding::Ascii) return ValidUtf8(Utf8);
  TEncoder Encoder(Encoding, Unencodable);
  for (std::size_t I = 0; I < Utf8.size();) I += Encoder.Step(Utf8.substr(I));
  return Encoder.Finish();
}

std::u32string UnencodableCharacters(std::string_view Utf8, TWireEncoding Encoding) {
  std::u32string Result;
  EncodeWire(Utf8, Encoding, &Result);
  return Result;
}

std::size_t FitWireBytes(std::string_view Utf8, TWireEncoding Encoding, std::size_t MaxBytes) {
  TEncoder Encoder(Encoding, nullptr);
  std::size_t I = 0;
  while (I < Utf8.size()) {
    const std::size_t Took = Encoder.Step(Utf8.substr(I));
    if (Encoder.Size() > MaxBytes) break;
    I += Took;
  }
  return I;
}

}  // namespace tavi
