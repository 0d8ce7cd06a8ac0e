#include "kanji/SjisText.h"

#include <gtest/gtest.h>

#include "kanji/Kanji.h"
#include "kanji/Utf8.h"

using namespace tavi;

TEST(SjisText, DecodesCodePage932) {
  EXPECT_EQ(FromSjis("abc"), QString("abc"));
  EXPECT_EQ(FromSjis("\x93\xFA\x96\x7B\x8C\xEA"), QString::fromUtf8("日本語"));
  EXPECT_EQ(FromSjis("\x81\x60"), QString(QChar(0xFF5E)));   // wave dash as Windows shows it
  EXPECT_EQ(FromSjis("\x87\x40"), QString::fromUtf8("①"));   // NEC extension
  EXPECT_EQ(FromSjis("\xB1"), QString::fromUtf8("ｱ"));
}

TEST(SjisText, BadBytesShowAsReplacementAndKeepTheRest) {
  EXPECT_EQ(FromSjis("a\xFF" "b\x82\xA0"), QString::fromUtf8("a\uFFFDbあ"));
  EXPECT_EQ(FromSjis("tail\x82"), QString::fromUtf8("tail\uFFFD"));
  const std::string longText = std::string(5000, 'x') + "\x82\xA0";
  EXPECT_EQ(FromSjis(longText).size(), 5001);
}

TEST(SjisText, EncodesAndReplacesWhatShiftJisCannotHold) {
  EXPECT_EQ(ToSjis(QString::fromUtf8("日本語 ok")), "\x93\xFA\x96\x7B\x8C\xEA ok");
  EXPECT_EQ(ToSjis(QString::fromUtf8("a😀b")), "a?b");
  EXPECT_EQ(ToSjis(QString::fromUtf8("é")), "?");
  // Input methods type U+301C; code page 932 holds it as U+FF5E.
  EXPECT_EQ(ToSjis(QString::fromUtf8("〜")), "\x81\x60");
  for (const char* s : {"\x82\xA0\x82\xA2", "\x87\x40\xFA\x5C", "x\xB1y"})
    EXPECT_EQ(ToSjis(FromSjis(s)), s);
}

// The UTF-8 conversions use the generated table; the widgets use iconv.
// Both must be one mapping.
TEST(SjisText, TheUtf8ConversionsAgreeWithTheWidgetEdge) {
  for (int Lead = 0x80; Lead <= 0xFF; ++Lead) {
    const std::string One(1, static_cast<char>(Lead));
    ASSERT_EQ(SjisToUtf8(One), FromSjis(One).toStdString()) << Lead;
    for (int Trail = 0x40; Trail <= 0xFF; ++Trail) {
      const std::string Two{static_cast<char>(Lead), static_cast<char>(Trail)};
      ASSERT_EQ(SjisToUtf8(Two), FromSjis(Two).toStdString()) << Lead << " " << Trail;
    }
  }
  for (char32_t C = 0x80; C <= 0xFFFF; ++C) {
    if (C >= 0xD800 && C <= 0xDFFF) continue;
    const QString Text(QChar(static_cast<char16_t>(C)));
    const std::string Widget = ToSjis(Text);
    const std::string Read = Utf8ToSjis(Text.toStdString());
    if (Widget == "?") {
      ASSERT_EQ(Read, Geta) << std::hex << static_cast<unsigned>(C);
    } else if (Widget.size() == 1 || IsSjisLeadByte(static_cast<unsigned char>(Widget[0]))) {
      ASSERT_EQ(Read, Widget) << std::hex << static_cast<unsigned>(C);
    } else {
      // Outside the lead bytes the program knows: the same character or none.
      ASSERT_TRUE(Read == Geta || FromSjis(Read) == FromSjis(Widget)) << std::hex << static_cast<unsigned>(C);
    }
  }
}
