#include "kanji/WireText.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "kanji/Cp932.h"

namespace tavi {
namespace {

using E = TWireEncoding;

std::string Utf8Of(std::u32string_view Text) {
  std::string Out;
  for (char32_t C : Text) {
    if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (C < 0x800) {
      Out += static_cast<char>(0xC0 | C >> 6);
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
      Out += static_cast<char>(0xE0 | C >> 12);
      Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else {
      Out += static_cast<char>(0xF0 | C >> 18);
      Out += static_cast<char>(0x80 | (C >> 12 & 0x3F));
      Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    }
  }
  return Out;
}

// The code page 932 characters that read back as their own code, in code
// order, with each character's Shift-JIS code.
struct TCp932Char {
  char32_t Character;
  unsigned Code;
};
std::vector<TCp932Char> Cp932Characters(unsigned FirstCode, unsigned LastCode) {
  std::vector<TCp932Char> Out;
  for (unsigned Code = FirstCode; Code <= LastCode; ++Code) {
    const char16_t C = Cp932Pair(static_cast<unsigned char>(Code >> 8), Code & 0xFF);
    if (C && Cp932Code(C) == Code) Out.push_back({C, Code});
  }
  return Out;
}

// The JIS X 0208 code of a Shift-JIS pair.
unsigned JisOfSjis(unsigned Code) {
  unsigned Lead = Code >> 8, Trail = Code & 0xFF;
  unsigned Row = (Lead <= 0x9F ? Lead - 0x70 : Lead - 0xB0) * 2 - 1;
  if (Trail >= 0x9F) {
    ++Row;
    Trail -= 0x7E;
  } else {
    Trail -= Trail > 0x7F ? 0x20 : 0x1F;
  }
  return Row << 8 | Trail;
}

// ---- Decoding ----------------------------------------------------------------

struct TDecodeCase {
  const char* Name;
  std::string Bytes;
  std::string Text;
  E Found;
};

const TDecodeCase DecodeCases[] = {
    {"ascii", "hello, world\r\n", "hello, world\r\n", E::Ascii},
    {"empty", "", "", E::Ascii},
    {"terminal colour escape stays", "\x1B[31mred", "\x1B[31mred", E::Ascii},
    {"mirc codes stay", "\x02" "b\x0F" "c\x03" "4,5d", "\x02" "b\x0F" "c\x03" "4,5d", E::Ascii},
    // JIS, every form
    {"ESC $ B", "a\x1B$B4A;z\x1B(Bb\r\n", "a漢字b\r\n", E::Jis},
    {"ESC $ @ and ESC ( J", "\x1B$@$\"\x1B(Jx", "あx", E::Jis},
    {"long forms ESC $ ( B, ESC $ ( @", "\x1B$(B$\"\x1B(B.\x1B$(@$$", "あ.い", E::Jis},
    {"JIS X 0208-1990 announcer", "\x1B&@\x1B$B$\"\x1B(B", "あ", E::Jis},
    {"wave dash as code page 932", "\x1B$B!A\x1B(B", "～", E::Jis},
    {"row 13 as code page 932", "\x1B$B-!-j\x1B(B", "①㈱", E::Jis},
    {"ESC ( I half-width katakana", "\x1B(I6@6E\x1B(B!", "ｶﾀｶﾅ!", E::Jis},
    {"SO / SI half-width katakana", "a\x0E" "6@\x0F" "b", "aｶﾀb", E::Jis},
    {"SI alone in JIS is IRC's plain", "\x1B$B$\"\x1B(B\x0F" "x", "あ\x0F" "x", E::Jis},
    {"8-bit katakana in JIS", "\x1B$B$\"\x1B(B\xB6\xC0", "あｶﾀ", E::Jis},
    {"JIS X 0212", "\x1B$(D0!\"7\x1B(B", "丂～", E::Jis},
    {"JIS X 0213 plane 1, two code points", "\x1B$(Q$w.~)!\x1B(B", "か゚咡€", E::Jis},
    {"JIS X 0213 plane 1 (2000)", "\x1B$(O&x\x1B(B", "ㇷ゚", E::Jis},
    {"JIS X 0213 plane 2", "\x1B$(P!!\x1B(B", "\U00020089", E::Jis},
    {"run closed by the line end", "\x1B$B$\"\r\nx", "あ\r\nx", E::Jis},
    {"run open at the end", "x\x1B$B$\"$$", "xあい", E::Jis},
    {"unknown escape", "\x1B$A0!\x1B(Bok", "\uFFFD0!ok", E::Jis},
    {"unknown escape inside a run", "\x1B$B$\"\x1B$)C$\"", "あ\uFFFDあ", E::Jis},
    {"escape cut short", "\x1B$B$\"\x1B", "あ\uFFFD", E::Jis},
    {"undefined pair", "\x1B$B)!$\"\x1B(Bz", "\uFFFDあz", E::Jis},
    {"half a pair", "\x1B$B$\"$\r\n", "あ\uFFFD\r\n", E::Jis},
    {"bad 8-bit byte in JIS", "\x1B$B$\"\x1B(B\x81z", "あ\uFFFDz", E::Jis},
    // UTF-8 against Shift-JIS
    {"café", "caf\xC3\xA9", "café", E::Utf8},
    {"Crème brûlée", "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e", "Crème brûlée", E::Utf8},
    {"mixed scripts", "漢字 😀 café 한국어 Ελληνικά", "漢字 😀 café 한국어 Ελληνικά", E::Utf8},
    {"Cyrillic", "Привет, мир", "Привет, мир", E::Utf8},
    {"French à as a word", "Il est \xC3\xA0 la maison", "Il est à la maison", E::Utf8},
    {"Portuguese é as a word", "Ele \xC3\xA9 bom", "Ele é bom", E::Utf8},
    {"degrees", "25\xC2\xB0" "C", "25°C", E::Utf8},
    {"Vietnamese", "Tiếng Việt", "Tiếng Việt", E::Utf8},
    {"Shift-JIS", "\x8A\xBF\x8E\x9A\x82\xC6\xB6\xC0\xB6\xC5", "漢字とｶﾀｶﾅ", E::Sjis},
    {"Shift-JIS NEC and IBM", "\x87\x40\x87\x8A\xFA\x5C", "①㈱纊", E::Sjis},
    {"Shift-JIS valid as UTF-8", "\xC3\xBD", "ﾃｽ", E::Sjis},
    {"Shift-JIS katakana and long vowel", "\xD2\xB0\xD9", "ﾒｰﾙ", E::Sjis},
    {"Shift-JIS short katakana pair", "\xCF\xB2 ok", "ﾏｲ ok", E::Sjis},
    {"undecodable bytes keep the rest", "\x82\xA0\x80\x82\xA0!", "あ\uFFFDあ!", E::Sjis},
    {"lone lead byte at the end", "\x82\xA0\x82", "あ\uFFFD", E::Sjis},
    {"bad byte amid Shift-JIS", "\x82\xA0\xFF\x82\xA2", "あ\uFFFDい", E::Sjis},
    {"CR LF kept", "\x82\xA0\r\n", "あ\r\n", E::Sjis},
};

TEST(WireText, Decodes) {
  for (const auto& C : DecodeCases) {
    E Found = E::Utf8 == C.Found ? E::Ascii : E::Utf8;
    EXPECT_EQ(DecodeWire(C.Bytes, &Found), C.Text) << C.Name;
    EXPECT_EQ(Found, C.Found) << C.Name;
  }
}

// ---- Encoding ----------------------------------------------------------------

struct TEncodeCase {
  const char* Name;
  std::string Text;
  E Encoding;
  std::string Bytes;
  std::u32string Unencodable;
};

const TEncodeCase EncodeCases[] = {
    {"ascii to JIS", "plain\x03" "4text", E::Jis, "plain\x03" "4text", U""},
    {"kanji run back to ASCII", "a漢字b", E::Jis, "a\x1B$B4A;z\x1B(Bb", U""},
    {"ends in ASCII", "漢", E::Jis, "\x1B$B4A\x1B(B", U""},
    {"half-width katakana as full-width", "ｶﾞﾊﾟｳﾞｶﾀｰ", E::Jis, "\x1B$B%,%Q%t%+%?!<\x1B(B", U""},
    {"sound mark that does not combine", "ｱﾞ", E::Jis, "\x1B$B%\"!+\x1B(B", U""},
    {"wave dashes", "〜～", E::Jis, "\x1B$B!A!A\x1B(B", U""},
    {"circled digits", "①⑳", E::Jis, "(1)(20)", U""},
    {"company marks", "㈱㈲", E::Jis, "(\x1B$B3t\x1B(B)(\x1B$BM-\x1B(B)", U""},
    {"roman numerals", "Ⅰⅳ", E::Jis, "Iiv", U""},
    {"unit squares", "㍉㎝", E::Jis, "\x1B$B%_%j\x1B(Bcm", U""},
    {"number and telephone", "№℡", E::Jis, "No.TEL", U""},
    {"yen as full-width in JIS", "¥", E::Jis, "\x1B$B!o\x1B(B", U""},
    {"geta for the rest", "a😀b한c😀", E::Jis, "a\x1B$B\".\x1B(Bb\x1B$B\".\x1B(Bc\x1B$B\".\x1B(B", U"😀한"},
    {"IBM kanji outside JIS X 0208", "纊", E::Jis, "\x1B$B\".\x1B(B", U"纊"},
    {"half-width katakana in Shift-JIS", "ｶﾀ①", E::Sjis, "\xB6\xC0\x87\x40", U""},
    {"wave dash variant in Shift-JIS", "〜", E::Sjis, "\x81\x60", U""},
    {"geta in Shift-JIS", "a😀", E::Sjis, "a\x81\xAC", U"😀"},
    {"ill-formed input in Shift-JIS", "a\xFF", E::Sjis, "a\x81\xAC", U"\uFFFD"},
    {"UTF-8 made well-formed", "a\xE3\x81z\xC3\xA9", E::Utf8, "a\uFFFD\uFFFDzé", U""},
    {"Ascii as UTF-8", "é\x80", E::Ascii, "é\uFFFD", U""},
};

TEST(WireText, Encodes) {
  for (const auto& C : EncodeCases) {
    std::u32string Refused;
    EXPECT_EQ(EncodeWire(C.Text, C.Encoding, &Refused), C.Bytes) << C.Name;
    EXPECT_EQ(Refused, C.Unencodable) << C.Name;
    EXPECT_EQ(UnencodableCharacters(C.Text, C.Encoding), C.Unencodable) << C.Name;
  }
}

// What glibc reads from ISO-2022-JP, as UTF-8; Whole false when it stops.
std::string IconvJis(const std::string& Bytes, bool& Whole) {
  iconv_t Cd = iconv_open("UTF-8", "ISO-2022-JP");
  EXPECT_NE(Cd, reinterpret_cast<iconv_t>(-1));
  std::string In = Bytes, Out(Bytes.size() * 3 + 16, '\0');
  char* I = In.data();
  char* O = Out.data();
  std::size_t InLeft = In.size(), OutLeft = Out.size();
  Whole = iconv(Cd, &I, &InLeft, &O, &OutLeft) != static_cast<std::size_t>(-1) && InLeft == 0 &&
          iconv(Cd, nullptr, nullptr, &O, &OutLeft) != static_cast<std::size_t>(-1);
  iconv_close(Cd);
  Out.resize(Out.size() - OutLeft);
  return Out;
}

// glibc maps a few JIS X 0208 codes to other code points than code page 932.
std::u32string AsCp932(std::u32string Text) {
  for (char32_t& C : Text) {
    if (C == 0x2014) C = 0x2015;
    C = ToCp932Variant(static_cast<char16_t>(C));
  }
  return Text;
}

std::u32string Utf32Of(const std::string& Utf8) {
  iconv_t Cd = iconv_open("UTF-32LE", "UTF-8");
  std::string In = Utf8, Out(Utf8.size() * 4 + 16, '\0');
  char* I = In.data();
  char* O = Out.data();
  std::size_t InLeft = In.size(), OutLeft = Out.size();
  iconv(Cd, &I, &InLeft, &O, &OutLeft);
  iconv_close(Cd);
  return std::u32string(reinterpret_cast<const char32_t*>(Out.data()), (Out.size() - OutLeft) / 4);
}

TEST(WireText, GlibcReadsJisWhole) {
  std::u32string X0208, Row13, Ibm, Kana;
  for (const auto& C : Cp932Characters(0x8140, 0x84FF)) X0208 += C.Character;
  for (const auto& C : Cp932Characters(0x889F, 0xEAFF)) X0208 += C.Character;
  for (const auto& C : Cp932Characters(0x8740, 0x879F)) Row13 += C.Character;
  for (const auto& C : Cp932Characters(0xED40, 0xEEFC)) Ibm += C.Character;
  for (const auto& C : Cp932Characters(0xFA40, 0xFC4B)) Ibm += C.Character;
  for (char32_t C = 0xFF61; C <= 0xFF9F; ++C) Kana += C;
  ASSERT_GT(X0208.size(), 6800u);
  const std::string Samples[] = {
      Utf8Of(X0208), Utf8Of(Row13), Utf8Of(Ibm), Utf8Of(Kana),
      "mixed ｶﾞｲﾄﾞ ①㈱ and 漢字, ～ 〜 ¥ 😀 end", "漢字\r\nnext \x1B$B",
  };
  for (const auto& Text : Samples) {
    const std::string Jis = EncodeWire(Text, E::Jis);
    for (unsigned char B : Jis) ASSERT_LT(B, 0x80) << "8-bit byte in JIS";
    bool Whole = false;
    const std::string Read = IconvJis(Jis, Whole);
    EXPECT_TRUE(Whole) << Text.substr(0, 60);
    // glibc and this program read the same characters.
    EXPECT_EQ(AsCp932(Utf32Of(Read)), Utf32Of(DecodeWire(Jis))) << Text.substr(0, 60);
  }
  // Row 13 and the IBM non-kanji are written, not replaced.
  std::u32string NonKanji = Row13;
  for (const auto& C : Cp932Characters(0xEEEF, 0xEEFC)) NonKanji += C.Character;
  for (const auto& C : Cp932Characters(0xFA40, 0xFA5B)) NonKanji += C.Character;
  EXPECT_EQ(UnencodableCharacters(Utf8Of(NonKanji), E::Jis), U"");
}

bool WidenedInJis(const std::string& Text) {
  for (char32_t C : Utf32Of(Text)) {
    const unsigned Code = Cp932Code(C);
    if ((C >= 0xFF61 && C <= 0xFF9F) || (Code >= 0x8740 && Code <= 0x879F) || Code >= 0xED40) return true;
  }
  return false;
}

TEST(WireText, RoundTrips) {
  // Every JIS X 0208 character, in code order, as JIS codes.
  std::u32string X0208;
  std::string Pairs;
  for (unsigned First : {0x8140u, 0x889Fu}) {
    for (const auto& C : Cp932Characters(First, First == 0x8140 ? 0x84FF : 0xEAFF)) {
      X0208 += C.Character;
      const unsigned Jis = JisOfSjis(C.Code);
      Pairs += static_cast<char>(Jis >> 8);
      Pairs += static_cast<char>(Jis & 0xFF);
    }
  }
  EXPECT_EQ(EncodeWire(Utf8Of(X0208), E::Jis), "\x1B$B" + Pairs + "\x1B(B");

  std::u32string AllSjis;
  for (const auto& C : Cp932Characters(0x8140, 0xFCFC)) AllSjis += C.Character;
  for (char32_t C = 0xFF61; C <= 0xFF9F; ++C) AllSjis += C;
  const std::string Texts[] = {
      Utf8Of(X0208), Utf8Of(AllSjis), "漢字とかなカナ、「引用」", "①㈱ｶﾀｶﾅ は ﾃｽﾄ です", "日本語 and English",
      "café Crème brûlée", "漢字 😀 café 한국어 Ελληνικά", "Привет", "Tiếng Việt có dấu",
  };
  for (const auto& Text : Texts) {
    for (E Encoding : {E::Jis, E::Sjis, E::Utf8}) {
      if (!UnencodableCharacters(Text, Encoding).empty()) continue;
      // JIS widens half-width katakana and spells out row 13.
      if (Encoding == E::Jis && WidenedInJis(Text)) continue;
      E Found = E::Ascii;
      EXPECT_EQ(DecodeWire(EncodeWire(Text, Encoding), &Found), Text)
          << Text.substr(0, 60) << " in " << static_cast<int>(Encoding);
      EXPECT_EQ(Found, Encoding) << Text.substr(0, 60);
    }
  }
}

TEST(WireText, ValidUtf8ReplacesEachBadByte) {
  EXPECT_EQ(ValidUtf8("ok é 😀"), "ok é 😀");
  EXPECT_EQ(ValidUtf8("\xC0\xAF" "a\xED\xA0\x80" "b\xF4\x90\x80\x80"),
            "\uFFFD\uFFFD" "a\uFFFD\uFFFD\uFFFD" "b\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(ValidUtf8("\xE3\x81"), "\uFFFD\uFFFD");
}

TEST(WireText, FitNeverCutsACharacter) {
  const std::string Text = "ab漢字ｶﾞ①😀c\xFF" "d";
  for (E Encoding : {E::Jis, E::Sjis, E::Utf8}) {
    std::size_t Last = 0;
    for (std::size_t Max = 0; Max <= 60; ++Max) {
      const std::size_t Fit = FitWireBytes(Text, Encoding, Max);
      const std::string Prefix = Text.substr(0, Fit);
      EXPECT_LE(EncodeWire(Prefix, Encoding).size(), Max) << Max;
      EXPECT_GE(Fit, Last);
      Last = Fit;
      // One more character would not fit.
      if (Fit < Text.size()) {
        std::size_t More = Fit + 1;
        while (More < Text.size() && (static_cast<unsigned char>(Text[More]) & 0xC0) == 0x80) ++More;
        if (Encoding == E::Jis && Text.compare(Fit, 3, "ｶ") == 0) More += 3;  // ｶﾞ is one in JIS
        EXPECT_GT(EncodeWire(Text.substr(0, More), Encoding).size(), Max) << Max << " " << static_cast<int>(Encoding);
      }
      EXPECT_EQ(ValidUtf8(Prefix).size(), Prefix.size() + (Prefix.find('\xFF') != std::string::npos ? 2 : 0));
    }
    EXPECT_EQ(FitWireBytes(Text, Encoding, 1000), Text.size());
  }
  // The closing escape counts: "漢" alone is 8 bytes in JIS.
  EXPECT_EQ(FitWireBytes("漢", E::Jis, 7), 0u);
  EXPECT_EQ(FitWireBytes("漢", E::Jis, 8), 3u);
}

}  // namespace
}  // namespace tavi
