#include "kanji/SjisCase.h"

#include <gtest/gtest.h>

using namespace tavi;

TEST(SjisCase, UpperCasesOnlySingleByteLetters) {
  EXPECT_EQ(SjisUpperCase("privmsg #Chan"), "PRIVMSG #CHAN");
  // 0x83 0x61 is a katakana whose trail byte reads as 'a'.
  EXPECT_EQ(SjisUpperCase("\x83\x61x"), "\x83\x61X");
  // A stray lead byte before a blank does not swallow the next letter.
  EXPECT_EQ(SjisUpperCase("\x81 a"), "\x81 A");
  // Half-width katakana are single bytes and stay.
  EXPECT_EQ(SjisUpperCase("\xB1z"), "\xB1Z");
  EXPECT_EQ(SjisUpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(SjisCase, ComparesWithoutRegardToCase) {
  EXPECT_TRUE(SjisSameText("Alice", "aLICE"));
  EXPECT_FALSE(SjisSameText("alice", "alic"));
  EXPECT_FALSE(SjisSameText("\x83\x61", "\x83\x41"));  // different katakana
  EXPECT_TRUE(SjisSameText("#\x93\xFA\x96\x7B" "a", "#\x93\xFA\x96\x7B" "A"));
  EXPECT_LT(SjisCompareText("abc", "ABD"), 0);
  EXPECT_GT(SjisCompareText("b", "A"), 0);
  EXPECT_GT(SjisCompareText("\x82\xA0", "z"), 0);  // bytes compare unsigned
}
