#include "kanji/Kanji.h"

#include <gtest/gtest.h>

#include <random>

using namespace tavi;

namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

const std::string KIn = "\x1B$B";
const std::string KInAt = "\x1B$@";
const std::string KOut = "\x1B(B";
const std::string KOutJ = "\x1B(J";

std::string Decode(const std::string& data) {
  std::string carry, out;
  JisDecode(data, carry, out);
  return out;
}

// JisDecode read word for word: 1-based positions, erasing from the front.
std::size_t LiteralFind(const std::string& s, const std::string& a, const std::string& b) {
  const auto pa = s.find(a), pb = s.find(b);
  std::size_t r = 0;
  if (pa != std::string::npos) r = pa + 1;
  if (pb != std::string::npos && (r == 0 || pb + 1 < r)) r = pb + 1;
  return r;
}
std::size_t LitIn(const std::string& s) { return LiteralFind(s, KInAt, KIn); }
std::size_t LitOut(const std::string& s) { return LiteralFind(s, KOutJ, KOut); }

void LiteralJisDecode(const std::string& data, std::string& carry, std::string& output) {
  std::string work = data;
  if (data.size() >= 2) {
    for (std::size_t n = data.size(); n >= 2; --n) {
      if (data[n - 2] == '\r' && data[n - 1] == '\n') {
        work = carry + data.substr(0, n);
        carry = data.substr(n);
        break;
      }
    }
  }
  while (!work.empty()) {
    std::string seg;
    const auto crlf = work.find("\r\n");
    if (crlf != std::string::npos) {
      seg = work.substr(0, crlf + 2);
      work.erase(0, crlf + 2);
    } else {
      seg = work;
      work.clear();
    }
    while (!seg.empty()) {
      const std::size_t a = LitIn(seg);
      if (a == 0) {
        output += seg;
        break;
      }
      output += seg.substr(0, a - 1);
      seg.erase(0, a - 1 + 3);
      std::size_t b = LitIn(seg);
      std::size_t c = LitOut(seg);
      if (c != 0) {
        while (b != 0 && b < c) {
          seg.erase(b - 1, 3);
          c -= 3;
          b = LitIn(seg);
        }
        output += JisToSjis(seg.substr(0, c - 1));
        seg.erase(0, c - 1 + 3);
      } else {
        while ((b = LitIn(seg)) != 0) seg.erase(b - 1, 3);
        const auto e = seg.find("\r\n");
        if (e != std::string::npos) {
          output += JisToSjis(seg.substr(0, e)) + "\r\n";
        } else {
          output += JisToSjis(seg);
        }
        break;
      }
    }
  }
}

}  // namespace

TEST(SjisToJis, SingleCharactersAndRuns) {
  EXPECT_EQ(SjisToJis(Bytes({0x82, 0xA0})), KIn + Bytes({0x24, 0x22}) + KOut);
  EXPECT_EQ(SjisToJis(Bytes({0x81, 0x40})), KIn + Bytes({0x21, 0x21}) + KOut);
  // Two kanji (nihon) between ASCII make one run.
  EXPECT_EQ(SjisToJis("ab" + Bytes({0x93, 0xFA, 0x96, 0x7B}) + "cd"),
            "ab" + KIn + Bytes({0x46, 0x7C, 0x4B, 0x5C}) + KOut + "cd");
  EXPECT_EQ(SjisToJis("plain ascii\r\n"), "plain ascii\r\n");
  EXPECT_EQ(SjisToJis(""), "");
}

TEST(SjisToJis, HalfWidthKatakanaAndStrayLeadBytes) {
  EXPECT_EQ(SjisToJis(Bytes({0x82, 0xA0, 0xB1, 0x82, 0xA2})),
            KIn + Bytes({0x24, 0x22}) + KOut + Bytes({0xB1}) + KIn + Bytes({0x24, 0x24}) + KOut);
  EXPECT_EQ(SjisToJis("a" + Bytes({0x81})), "a" + Bytes({0x81}));
  // A lead byte before an invalid trail is copied; the next byte stands alone.
  EXPECT_EQ(SjisToJis(Bytes({0x81, 0x20, 0x82, 0xA0})), Bytes({0x81, 0x20}) + KIn + Bytes({0x24, 0x22}) + KOut);
  EXPECT_EQ(SjisToJis(Bytes({0xF0, 0x40})), Bytes({0xF0, 0x40}));
}

TEST(SjisToJis, StopsAtZeroByte) {
  EXPECT_EQ(SjisToJis(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(SjisToJis(std::string("\x82\xA0\0\x82\xA0", 5)), KIn + Bytes({0x24, 0x22}) + KOut);
}

TEST(JisToSjis, PairsAndOddByte) {
  EXPECT_EQ(JisToSjis(Bytes({0x24, 0x22})), Bytes({0x82, 0xA0}));
  EXPECT_EQ(JisToSjis(Bytes({0x21, 0x21})), Bytes({0x81, 0x40}));
  EXPECT_EQ(JisToSjis(Bytes({0x7E, 0x7E})), Bytes({0xEF, 0xFC}));
  EXPECT_EQ(JisToSjis(Bytes({0x24, 0x22, 0x30})), Bytes({0x82, 0xA0}));
  EXPECT_EQ(JisToSjis(""), "");
}

TEST(JisConversion, EveryDoubleByteCharacterRoundTrips) {
  for (int lead = 0x81; lead <= 0xEF; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const std::string sjis = Bytes({lead, trail});
      const std::string jis = SjisToJis(sjis);
      ASSERT_EQ(jis.size(), 8u);
      ASSERT_GE(static_cast<unsigned char>(jis[3]), 0x21);
      ASSERT_LE(static_cast<unsigned char>(jis[3]), 0x7E);
      ASSERT_GE(static_cast<unsigned char>(jis[4]), 0x21);
      ASSERT_LE(static_cast<unsigned char>(jis[4]), 0x7E);
      ASSERT_EQ(JisToSjis(jis.substr(3, 2)), sjis) << std::hex << lead << " " << trail;
      ASSERT_EQ(Decode(jis + "\r\n"), sjis + "\r\n");
    }
  }
}

TEST(FindKanji, PositionsAreOneBasedAndTakeTheEarlier) {
  EXPECT_EQ(FindKanjiIn("abc"), 0u);
  EXPECT_EQ(FindKanjiIn("ab" + KIn), 3u);
  EXPECT_EQ(FindKanjiIn("a" + KInAt + "b" + KIn), 2u);
  EXPECT_EQ(FindKanjiIn("a" + KIn + "b" + KInAt), 2u);
  EXPECT_EQ(FindKanjiOut(KOutJ), 1u);
  EXPECT_EQ(FindKanjiOut("xx" + KOut + KOutJ), 3u);
  EXPECT_EQ(FindKanjiOut("\x1B(C"), 0u);
  EXPECT_EQ(FindKanjiIn("\x1B$"), 0u);
}

TEST(JisDecode, RunsAndLineEnds) {
  EXPECT_EQ(Decode("abc" + KIn + Bytes({0x24, 0x22}) + KOut + "def\r\n"), "abc" + Bytes({0x82, 0xA0}) + "def\r\n");
  EXPECT_EQ(Decode(KInAt + Bytes({0x24, 0x22}) + "\r\n"), Bytes({0x82, 0xA0}) + "\r\n");
  // ESC ( J also closes; repeated kanji-in inside a run is ignored.
  EXPECT_EQ(Decode(KIn + Bytes({0x24, 0x22}) + KIn + Bytes({0x24, 0x24}) + KOutJ + "x\r\n"),
            Bytes({0x82, 0xA0, 0x82, 0xA2}) + "x\r\n");
  // An open run ends at its line; the next line is plain again.
  EXPECT_EQ(Decode(KIn + Bytes({0x24, 0x22}) + "\r\nabc\r\n"), Bytes({0x82, 0xA0}) + "\r\nabc\r\n");
  // Other escapes are data.
  EXPECT_EQ(Decode("a\x1B(Ib\r\n"), "a\x1B(Ib\r\n");
}

TEST(JisDecode, TextWithoutEscapesIsUnchanged) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != 0x1B) all.push_back(static_cast<char>(b));
  all += "\r\n";
  EXPECT_EQ(Decode(all), all);
  const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA \xB1\xB2\r\n";
  EXPECT_EQ(Decode(sjis), sjis);
}

TEST(JisDecode, CarryJoinsTheNextBlockWithALineEnd) {
  std::string carry, out;
  JisDecode("one\r\ntw", carry, out);
  EXPECT_EQ(out, "one\r\n");
  EXPECT_EQ(carry, "tw");

  // A block with no CR LF is decoded at once and leaves the carry alone.
  out.clear();
  JisDecode(KIn + Bytes({0x24, 0x22}), carry, out);
  EXPECT_EQ(out, Bytes({0x82, 0xA0}));
  EXPECT_EQ(carry, "tw");

  out.clear();
  JisDecode("o\r\n", carry, out);
  EXPECT_EQ(out, "two\r\n");
  EXPECT_EQ(carry, "");

  // A JIS run split across blocks is decoded once the line is complete.
  out.clear();
  JisDecode("x" + KIn + Bytes({0x24}), carry, out);  // no CR LF: decoded alone
  out.clear();
  carry.clear();
  JisDecode("a\r\n" + KIn + Bytes({0x24}), carry, out);
  EXPECT_EQ(out, "a\r\n");
  out.clear();
  JisDecode(Bytes({0x22}) + KOut + "\r\n", carry, out);
  EXPECT_EQ(out, Bytes({0x82, 0xA0}) + "\r\n");
}

TEST(JisDecode, AgreesWithALiteralReadingOnGeneratedInput) {
  // Pieces chosen so that escapes meet, overlap, nest and split line ends.
  const std::vector<std::string> pieces = {
      KIn, KInAt, KOut, KOutJ, "\x1B", "\x1B$", "\x1B(", "$", "(", "B", "@", "J",
      "\r", "\n", "\r\n", "ab", "$\"", "F|", "\x82\xA0", "~", " ", std::string(1, '\0'), "\xFF"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 40000; ++round) {
    std::string data, carry = round % 3 == 0 ? std::string("c\x1B$B$\"") : std::string();
    const int n = static_cast<int>(rng() % 14);
    for (int i = 0; i < n; ++i) data += pieces[rng() % pieces.size()];
    std::string c1 = carry, o1 = "prefix", c2 = carry, o2 = "prefix";
    JisDecode(data, c1, o1);
    LiteralJisDecode(data, c2, o2);
    ASSERT_EQ(o1, o2) << "round " << round;
    ASSERT_EQ(c1, c2) << "round " << round;
  }
}

TEST(CutForDisplay, LongLinesAreCutOnACharacterBoundary) {
  const std::string ellipsis = "\xE2\x80\xA6";
  const std::string a(DisplayLineBytes, 'a');
  EXPECT_EQ(CutForDisplay(a), a);  // what fits is untouched
  EXPECT_EQ(CutForDisplay(a + "b"), a.substr(0, DisplayLineBytes - 3) + ellipsis);
  // A character that would straddle the cut goes whole: kanji of 3 bytes
  // and emoji of 4 behind one or two ASCII letters put the cut inside one.
  for (const std::string unit : {"\xE6\xBC\xA2", "\xF0\x9F\x98\x80"})
    for (const std::string lead : {"x", "xy"}) {
      std::string text = lead;
      while (text.size() < DisplayLineBytes + 10) text += unit;
      const std::string cut = CutForDisplay(text);
      EXPECT_LE(cut.size(), DisplayLineBytes);
      EXPECT_GT(cut.size(), DisplayLineBytes - unit.size() - 3);
      EXPECT_EQ(cut.substr(cut.size() - unit.size() - 3), unit + ellipsis);
    }
}
