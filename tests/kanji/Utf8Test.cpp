#include "kanji/Utf8.h"

#include <gtest/gtest.h>

#include "kanji/Cp932.h"
#include "kanji/Kanji.h"

using namespace tavi;

TEST(Utf8Sequence, TakesWellFormedFormsOnly) {
  struct Case {
    const char* Bytes;
    std::size_t Length;  // 0: not well-formed
    char32_t Character;
  };
  const Case Cases[] = {
      {"\xC2\x80", 2, 0x80},         {"\xDF\xBF", 2, 0x7FF},          {"\xE0\xA0\x80", 3, 0x800},
      {"\xE3\x81\x82", 3, 0x3042},   {"\xED\x9F\xBF", 3, 0xD7FF},     {"\xEF\xBF\xBD", 3, 0xFFFD},
      {"\xF0\x90\x80\x80", 4, 0x10000}, {"\xF0\x9F\x98\x80", 4, 0x1F600}, {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xE3\x81\x82tail", 3, 0x3042},
      // overlong forms
      {"\xC0\x80", 0, 0}, {"\xC1\xBF", 0, 0}, {"\xE0\x80\x80", 0, 0}, {"\xE0\x9F\xBF", 0, 0},
      {"\xF0\x80\x80\x80", 0, 0}, {"\xF0\x8F\xBF\xBF", 0, 0},
      // surrogates, and above U+10FFFF
      {"\xED\xA0\x80", 0, 0}, {"\xED\xBF\xBF", 0, 0}, {"\xF4\x90\x80\x80", 0, 0}, {"\xF5\x80\x80\x80", 0, 0},
      // 5- and 6-byte forms, and bytes that never occur
      {"\xF8\x88\x80\x80\x80", 0, 0}, {"\xFC\x84\x80\x80\x80\x80", 0, 0}, {"\xFE", 0, 0}, {"\xFF", 0, 0},
      // stray continuation bytes, truncated sequences, a missing continuation
      {"\x80", 0, 0}, {"\xBF\x80", 0, 0}, {"\xC3", 0, 0}, {"\xE3\x81", 0, 0}, {"\xF0\x9F\x98", 0, 0},
      {"\xE3\x41\x82", 0, 0}, {"\xC3\xC3\xA9", 0, 0}, {"\xF0\x9F\x98\x41", 0, 0},
  };
  for (const Case& C : Cases) {
    char32_t Got = 0;
    EXPECT_EQ(Utf8Sequence(C.Bytes, Got), C.Length) << testing::PrintToString(std::string(C.Bytes));
    if (C.Length) {
      EXPECT_EQ(Got, C.Character) << testing::PrintToString(std::string(C.Bytes));
    }
  }
}

TEST(ReadReceivedLine, EachLineIsReadByWhatItIs) {
  struct Case {
    std::string In;
    std::string Out;  // empty: the line stays as it is
  };
  const Case Cases[] = {
      {"PRIVMSG #a :plain text\r\n", ""},
      // JIS and Shift-JIS lines are the tokenizer's, as before.
      {":a PRIVMSG #a :\x1B$B$3$s\x1B(B\r\n", ""},
      {":a PRIVMSG #a :\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n", ""},
      {":a PRIVMSG #a :\x8A\xBF\x8E\x9A\r\n", ""},
      // UTF-8: kana, kanji, "①", half-width katakana, the wave dash.
      {":a PRIVMSG #a :\xE3\x81\x93\xE3\x82\x93 ok\r\n", ":a PRIVMSG #a :\x82\xB1\x82\xF1 ok\r\n"},
      {":a PRIVMSG #\xE6\x97\xA5\xE6\x9C\xAC :\xE2\x91\xA0\xEF\xBD\xB1\r\n", ":a PRIVMSG #\x93\xFA\x96\x7B :\x87\x40\xB1\r\n"},
      {"x \xE3\x80\x9C\r\n", "x \x81\x60\r\n"},
      // What code page 932 cannot hold becomes the geta mark.
      {"\xE3\x81\x82\xF0\x9F\x98\x80\xE4\xB8\x82\r\n", "\x82\xA0\x81\xAC\x81\xAC\r\n"},
      {"\xF0\x9F\x91\x8D\r\n", "\x81\xAC\r\n"},
      // One ill-formed sequence keeps the whole line Shift-JIS.
      {"\xE3\x81\x82\xC0\x80\r\n", ""},
      {"\xE3\x81\x82\xE3\x81\r\n", ""},
      // A UTF-8 line with a JIS escape is decoded as JIS.
      {"\x1B$B$3\x1B(B \xE3\x81\x82\r\n", ""},
      // Shift-JIS that happens to be well-formed UTF-8 of only 2-byte forms
      // (half-width katakana) or of characters code page 932 cannot hold.
      {"\xC3\xBD\r\n", ""},
      {"\xD0\xB6 \xCE\xB1\r\n", ""},
      {"\xE1\x80\x80\r\n", ""},
  };
  for (const Case& C : Cases) {
    std::string Line = C.In;
    const bool Converted = ReadReceivedLine(Line);
    EXPECT_EQ(Converted, !C.Out.empty()) << testing::PrintToString(C.In);
    EXPECT_EQ(Line, C.Out.empty() ? C.In : C.Out) << testing::PrintToString(C.In);
  }
}

TEST(Utf8Conversion, BadBytesAndUnknownCharacters) {
  EXPECT_EQ(Utf8ToSjis("a\x80" "b\xE3\x81" "c\xC0\x80"), "a\x81\xAC" "b\x81\xAC\x81\xAC" "c\x81\xAC\x81\xAC");
  EXPECT_EQ(Utf8ToSjis("\xC3\xA9\xE2\x82\xAC"), "\x81\xAC\x81\xAC");  // é, euro sign
  EXPECT_EQ(Utf8ToSjis("\xC2\xA5"), "\\");                            // yen, as iconv maps it
  EXPECT_EQ(SjisToUtf8("a\x93\xFA\xB1"), "a\xE6\x97\xA5\xEF\xBD\xB1");
  EXPECT_EQ(SjisToUtf8("\x81\x60\x87\x40"), "\xEF\xBD\x9E\xE2\x91\xA0");
  EXPECT_EQ(SjisToUtf8("\xFF" "a\x82 b\x82"), "\xEF\xBF\xBD" "a\xEF\xBF\xBD b\xEF\xBF\xBD");
}

TEST(Utf8Conversion, EveryShiftJisCharacterRoundTrips) {
  // The IBM extension rows FA..FC come back as their NEC-selected twins.
  int Pairs = 0;
  for (int Lead = 0x81; Lead <= 0xFC; ++Lead) {
    for (int Trail = 0x40; Trail <= 0xFC; ++Trail) {
      if (!Cp932Pair(static_cast<unsigned char>(Lead), static_cast<unsigned char>(Trail))) continue;
      const std::string Sjis{static_cast<char>(Lead), static_cast<char>(Trail)};
      const std::string Utf8 = SjisToUtf8(Sjis);
      const std::string Back = Utf8ToSjis(Utf8);
      if (IsSjisLeadByte(static_cast<unsigned char>(Lead))) {
        EXPECT_EQ(SjisToUtf8(Back), Utf8) << Lead << " " << Trail;
        ++Pairs;
      } else if (Back != Geta) {
        EXPECT_EQ(SjisToUtf8(Back), Utf8) << Lead << " " << Trail;
        EXPECT_TRUE(IsSjisLeadByte(static_cast<unsigned char>(Back[0])));
      }
    }
  }
  EXPECT_GT(Pairs, 7000);
  for (int B = 0xA1; B <= 0xDF; ++B) {
    const std::string One(1, static_cast<char>(B));
    EXPECT_EQ(Utf8ToSjis(SjisToUtf8(One)), One);
  }
}

TEST(ReadReceivedText, BlocksAreReadLineByLineWithTheCarry) {
  std::string Carry, Out;
  // One block: a JIS, a Shift-JIS and a UTF-8 line, then half a UTF-8 line.
  ReadReceivedText("\x1B$B$\"\x1B(B\r\n\x82\xA0\r\n\xE3\x81\x82\r\n\xE3\x81\x84", Carry, Out);
  EXPECT_EQ(Out, "\x82\xA0\r\n\x82\xA0\r\n\x82\xA0\r\n");
  EXPECT_EQ(Carry, "\xE3\x81\x84");
  Out.clear();
  ReadReceivedText("\xE3\x81\x86\r\n", Carry, Out);
  EXPECT_EQ(Out, "\x82\xA2\x82\xA4\r\n");
  EXPECT_TRUE(Carry.empty());
  // A block without a line end is read at once and leaves the carry alone.
  Carry = "kept";
  Out.clear();
  ReadReceivedText("\xE3\x81\x88", Carry, Out);
  EXPECT_EQ(Out, "\x82\xA6");
  EXPECT_EQ(Carry, "kept");
}
