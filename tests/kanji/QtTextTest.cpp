#include "kanji/QtText.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include "kanji/Kanji.h"
#include "kanji/Utf8.h"

using namespace tavi;

TEST(QtText, EveryCharacterCrossesTheWidgetEdgeAndBadBytesKeepTheRest) {
  for (const char* text : {"abc", "日本語 ｶﾀｶﾅ ①㈱", "漢字 😀 café 한국어 Ελληνικά", "𠮷野家"})
    EXPECT_EQ(StdText(QText(text)), text);
  EXPECT_EQ(QText("😀").size(), 2);  // one character, a surrogate pair
  EXPECT_EQ(QText("a\xFF" "b\xE3\x81"), QString::fromUtf8("a\uFFFDb\uFFFD\uFFFD"));
  const std::string longText = std::string(5000, 'x') + "\xE3\x81\x82";
  EXPECT_EQ(QText(longText).size(), 5001);
  EXPECT_EQ(DisplayLineText(longText).size(), static_cast<qsizetype>(DisplayLineBytes - 3 + 1));
}

// The settings file and the Shift-JIS wire read with the generated table;
// it must be glibc's code page 932, byte for byte.
TEST(QtText, TheShiftJisTableIsCodePage932) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  auto viaIconv = [&](std::string In) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[16];
    char* in = In.data();
    char* o = out;
    std::size_t inLeft = In.size(), outLeft = sizeof out;
    const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1);
    return ok ? std::string(out, o) : std::string();
  };
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string two{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string want = viaIconv(two);
      // What iconv refuses the program shows as replacements.
      if (!want.empty() && IsSjisLeadByte(static_cast<unsigned char>(lead))) {
        ASSERT_EQ(SjisToUtf8(two), want) << std::hex << lead << " " << trail;
      }
    }
  }
  iconv_close(cd);
}
