#include "kanji/SjisText.h"

#include <gtest/gtest.h>

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
