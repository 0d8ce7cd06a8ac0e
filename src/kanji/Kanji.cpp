#include "kanji/Kanji.h"

#include <cstring>

namespace tavi {

namespace {

constexpr char Esc = 0x1B;

constexpr bool IsKanjiIn(const char* p, const char* end) {
  return end - p >= 3 && p[0] == Esc && p[1] == '$' && (p[2] == '@' || p[2] == 'B');
}

constexpr bool IsKanjiOut(const char* p, const char* end) {
  return end - p >= 3 && p[0] == Esc && p[1] == '(' && (p[2] == 'J' || p[2] == 'B');
}

// 0-based offset of the first escape accepted by Match, or npos.
template <bool (*Match)(const char*, const char*)>
std::size_t FindEscape(std::string_view Text) {
  const char* begin = Text.data();
  const char* end = begin + Text.size();
  const char* p = begin;
  while (p < end) {
    const void* hit = std::memchr(p, Esc, static_cast<std::size_t>(end - p));
    if (!hit) break;
    p = static_cast<const char*>(hit);
    if (Match(p, end)) return static_cast<std::size_t>(p - begin);
    ++p;
  }
  return std::string_view::npos;
}

// The pair arithmetic depends on the first byte alone for the lead byte and on
// the first byte's parity and the second byte for the trail byte, so two small
// tables replace the branches.
struct TPairTables {
  unsigned char Lead[256];
  unsigned char Trail[2][256];
  constexpr TPairTables() : Lead(), Trail() {
    for (unsigned c1 = 0; c1 < 256; ++c1) {
      unsigned lead = ((c1 + 1) >> 1) + 0x70;
      if (lead > 0x9F) lead += 0x40;
      Lead[c1] = static_cast<unsigned char>(lead & 0xFF);
    }
    for (unsigned odd = 0; odd < 2; ++odd)
      for (unsigned c2 = 0; c2 < 256; ++c2) {
        unsigned trail = c2 + (odd ? 0x1F : 0x7D);
        if (trail >= 0x7F) ++trail;
        Trail[odd][c2] = static_cast<unsigned char>(trail & 0xFF);
      }
  }
};
constexpr TPairTables PairTables;

void AppendJisPairs(std::string_view Pairs, std::string& Output) {
  const std::size_t count = Pairs.size() / 2;
  const auto* in = reinterpret_cast<const unsigned char*>(Pairs.data());
  const std::size_t start = Output.size();
  Output.resize(start + count * 2);
  auto* out = reinterpret_cast<unsigned char*>(Output.data() + start);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned c1 = in[2 * i];
    out[2 * i] = PairTables.Lead[c1];
    out[2 * i + 1] = PairTables.Trail[c1 & 1][in[2 * i + 1]];
  }
}

// Copies Text into Buffer with every kanji-in escape removed, including
// escapes that only form once an inner one is gone (ESC $ ESC $ B B).
void StripKanjiIn(std::string_view Text, std::string& Buffer) {
  Buffer.clear();
  for (char ch : Text) {
    Buffer.push_back(ch);
    const std::size_t n = Buffer.size();
    if (n >= 3 && Buffer[n - 3] == Esc && Buffer[n - 2] == '$' &&
        (Buffer[n - 1] == '@' || Buffer[n - 1] == 'B')) {
      Buffer.resize(n - 3);
    }
  }
}

// Decodes one segment: the text up to and including a CR LF, or a last piece
// without one.
void DecodeSegment(std::string_view Segment, std::string& Output, std::string& Scratch) {
  while (!Segment.empty()) {
    const std::size_t a = FindEscape<IsKanjiIn>(Segment);
    if (a == std::string_view::npos) {
      Output.append(Segment);
      return;
    }
    Output.append(Segment.substr(0, a));
    Segment.remove_prefix(a + 3);

    // Usually the next ESC closes the run and nothing needs stripping.
    const void* esc = std::memchr(Segment.data(), Esc, Segment.size());
    std::size_t c = std::string_view::npos;
    bool clean = false;
    if (esc) {
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(esc) - Segment.data());
      if (IsKanjiOut(Segment.data() + at, Segment.data() + Segment.size())) {
        c = at;
        clean = true;
      } else {
        c = FindEscape<IsKanjiOut>(Segment);
      }
    }
    if (c != std::string_view::npos) {
      if (clean) {
        AppendJisPairs(Segment.substr(0, c), Output);
      } else {
        StripKanjiIn(Segment.substr(0, c), Scratch);
        AppendJisPairs(Scratch, Output);
      }
      Segment.remove_prefix(c + 3);
      continue;
    }

    // The run is not closed: the line end closes it.
    StripKanjiIn(Segment, Scratch);
    const std::size_t crlf = Scratch.find("\r\n");
    if (crlf != std::string::npos) {
      AppendJisPairs(std::string_view(Scratch).substr(0, crlf), Output);
      Output.append("\r\n");
    } else {
      AppendJisPairs(Scratch, Output);
    }
    return;
  }
}

// Text outside the segment that holds an ESC comes through unchanged, so only
// segments with an ESC are decoded piece by piece.
void DecodeWork(std::string_view Work, std::string& Output) {
  std::string scratch;
  while (!Work.empty()) {
    const void* hit = std::memchr(Work.data(), Esc, Work.size());
    if (!hit) {
      Output.append(Work);
      return;
    }
    const std::size_t esc = static_cast<std::size_t>(static_cast<const char*>(hit) - Work.data());
    // Bytes in front of the ESC are plain in any segment; the ESC's segment
    // ends at the first CR LF behind it (an ESC is never part of one).
    Output.append(Work.substr(0, esc));
    Work.remove_prefix(esc);
    const std::size_t crlf = Work.find("\r\n");
    const std::size_t end = crlf == std::string_view::npos ? Work.size() : crlf + 2;
    DecodeSegment(Work.substr(0, end), Output, scratch);
    Work.remove_prefix(end);
  }
}

}  // namespace

std::string SjisToJis(std::string_view Text) {
  const std::size_t zero = Text.find('\0');
  if (zero != std::string_view::npos) Text = Text.substr(0, zero);

  std::string out;
  out.reserve(Text.size() + 8);
  bool kanji = false;
  const auto* p = reinterpret_cast<const unsigned char*>(Text.data());
  const std::size_t n = Text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned lead = p[i];
    const unsigned trail = i + 1 < n ? p[i + 1] : 0;
    if (IsSjisLeadByte(static_cast<unsigned char>(lead)) &&
        IsSjisTrailByte(static_cast<unsigned char>(trail))) {
      unsigned row = lead <= 0x9F ? lead - 0x71 : lead - 0xB1;
      row = row * 2 + 1;
      unsigned cell = trail;
      if (cell > 0x7F) --cell;
      if (cell >= 0x9E) {
        cell -= 0x7D;
        ++row;
      } else {
        cell -= 0x1F;
      }
      if (!kanji) {
        out.append("\x1B$B");
        kanji = true;
      }
      out.push_back(static_cast<char>(row));
      out.push_back(static_cast<char>(cell));
      i += 2;
    } else {
      if (kanji) {
        out.append("\x1B(B");
        kanji = false;
      }
      out.push_back(static_cast<char>(lead));
      ++i;
    }
  }
  if (kanji) out.append("\x1B(B");
  return out;
}

std::string JisToSjis(std::string_view Pairs) {
  std::string out;
  AppendJisPairs(Pairs, out);
  return out;
}

std::size_t FindKanjiIn(std::string_view Text) {
  const std::size_t p = FindEscape<IsKanjiIn>(Text);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::size_t FindKanjiOut(std::string_view Text) {
  const std::size_t p = FindEscape<IsKanjiOut>(Text);
  return p == std::string_view::npos ? 0 : p + 1;
}

void JisDecode(std::string_view Data, std::string& Carry, std::string& Output) {
  std::size_t lastCrLf = std::string_view::npos;
  if (Data.size() >= 2) lastCrLf = Data.rfind("\r\n");
  if (lastCrLf == std::string_view::npos) {
    DecodeWork(Data, Output);
    return;
  }
  const std::size_t cut = lastCrLf + 2;
  if (Carry.empty()) {
    std::string rest(Data.substr(cut));
    DecodeWork(Data.substr(0, cut), Output);
    Carry = std::move(rest);
    return;
  }
  std::string work = std::move(Carry);
  work.append(Data.substr(0, cut));
  Carry.assign(Data.substr(cut));
  DecodeWork(work, Output);
}

std::string CutForDisplay(std::string_view Text) {
  if (Text.size() <= DisplayLineBytes) return std::string(Text);
  constexpr std::string_view Ellipsis = "\xE2\x80\xA6";
  std::size_t at = DisplayLineBytes - Ellipsis.size();
  // Back to the start of a character: UTF-8 continuation bytes are 10xxxxxx.
  while (at > 0 && (static_cast<unsigned char>(Text[at]) & 0xC0) == 0x80) --at;
  return std::string(Text.substr(0, at)) + std::string(Ellipsis);
}

}  // namespace tavi
