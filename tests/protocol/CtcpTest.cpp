// The framing helpers on their own; the replies as sent are checked through
// the handlers in MessageHandlersTest.
#include <gtest/gtest.h>

#include <string>

#include "kanji/QtText.h"
#include "protocol/ChannelState.h"
#include "protocol/Ctcp.h"

using namespace tavi;

namespace {

std::string Framed(const std::string& Body) { return "\x01" + Body + "\x01"; }

}  // namespace

TEST(CtcpTest, QueryWordTrimsControlsOnly) {
  EXPECT_EQ(CtcpQueryWord(Framed("PING 12345")), "PING");
  EXPECT_EQ(CtcpQueryWord("\x01"), "");
  EXPECT_EQ(CtcpQueryWord("\x01 X"), "");
  // Every byte from 0 to 32 goes at both ends, nothing from the middle.
  EXPECT_EQ(TrimControls(std::string("\x00\x1f \tA\x01" "B\x20\x02", 9)), "A\x01" "B");
  EXPECT_EQ(TrimControls("\x7f!\x21"), "\x7f!!");
  EXPECT_EQ(SenderNick("a!b!c"), "a");
  EXPECT_EQ(SenderNick("irc.example.net"), "");
  EXPECT_EQ(WithoutColon("::x"), ":x");
}

TEST(CtcpTest, SplitOfReplies) {
  TCtcpReply r = SplitCtcpReply(Framed("version Tavi 1.0 x"));
  EXPECT_EQ(r.Word, "VERSION");
  EXPECT_EQ(r.Text, "Tavi 1.0 x");
  // Only the first SOH after the word is removed.
  r = SplitCtcpReply("\x01X a\x01" "b\x01");
  EXPECT_EQ(r.Word, "X");
  EXPECT_EQ(r.Text, "ab\x01");
  r = SplitCtcpReply("\x01 ");
  EXPECT_EQ(r.Word, "");
  EXPECT_EQ(r.Text, "");
  r = SplitCtcpReply("hello \x01there");  // plain: untouched
  EXPECT_EQ(r.Word, "");
  EXPECT_EQ(r.Text, "hello \x01there");
}

TEST(CtcpTest, DccOfferWords) {
  std::string rest = "a  b";
  EXPECT_EQ(TakeNextWord(rest), "a");
  EXPECT_EQ(TakeNextWord(rest), "");  // the empty word between two spaces
  EXPECT_EQ(TakeNextWord(rest), "");  // no space left: nothing removed
  EXPECT_EQ(rest, "b");

  TDccOffer o = ParseDccOffer(Framed("DCC chat chat 3232235786 7000"));
  EXPECT_EQ(o.Kind, TDccKind::Chat);  // type compared in upper case
  EXPECT_EQ(o.Type, "chat");
  EXPECT_EQ(o.Address, "3232235786");
  EXPECT_EQ(o.Port, "7000");

  o = ParseDccOffer(Framed("DCC SEND file.txt 3232235786 5000 1024"));
  EXPECT_EQ(o.Kind, TDccKind::Send);
  EXPECT_EQ(o.Argument, "file.txt");
  EXPECT_EQ(o.Port, "5000");
  EXPECT_EQ(o.Size, "1024");
  // A file name with a space shifts the fields after it.
  o = ParseDccOffer(Framed("DCC SEND my file.txt 3232235786 5000 1024"));
  EXPECT_EQ(o.Argument, "my");
  EXPECT_EQ(o.Address, "file.txt");
  EXPECT_EQ(o.Port, "3232235786");
  EXPECT_EQ(o.Size, "5000 1024");
  // Without a size the port word has no space after it and stays empty.
  o = ParseDccOffer(Framed("DCC SEND f 1 5000"));
  EXPECT_EQ(o.Port, "");
  EXPECT_EQ(o.Size, "5000");

  // RESUME and ACCEPT are read from the end: a name with spaces stays whole.
  o = ParseDccOffer(Framed("DCC RESUME my file.txt 5000 100"));
  EXPECT_EQ(o.Kind, TDccKind::Resume);
  EXPECT_EQ(o.Argument, "my file.txt");
  EXPECT_EQ(o.Port, "5000");
  EXPECT_EQ(o.Size, "100");
  o = ParseDccOffer(Framed("DCC accept f 5000 0"));
  EXPECT_EQ(o.Kind, TDccKind::Accept);
  EXPECT_EQ(o.Size, "0");
  o = ParseDccOffer(Framed("DCC RESUME 5000"));
  EXPECT_EQ(o.Kind, TDccKind::Other);
  EXPECT_EQ(CtcpDccNotSupportedReply("bob", "DCC", "V", o.Type),
            "NOTICE bob :\x01" "DCC V" + U8(u8" では RESUME をサポートしていません。") + "\x01\r\n");
  for (const char* text : {"", "\x01" "DCC\x01", "\x01" "DCC CHAT\x01"}) {
    o = ParseDccOffer(text);
    EXPECT_EQ(o.Kind, TDccKind::Other) << text;
    EXPECT_EQ(o.Address, "") << text;
  }
}

TEST(CtcpTest, RateLimiterSlides) {
  TCtcpRateLimiter limiter;
  EXPECT_TRUE(limiter.Allow(1000));
  EXPECT_TRUE(limiter.Allow(1000));
  EXPECT_TRUE(limiter.Allow(1500));
  EXPECT_FALSE(limiter.Allow(2999));
  EXPECT_TRUE(limiter.Allow(3000));   // both answers at 1000 slid out
  EXPECT_TRUE(limiter.Allow(3000));
  EXPECT_FALSE(limiter.Allow(3499));  // 1500, 3000, 3000 still inside
  EXPECT_TRUE(limiter.Allow(3500));
  limiter.Reset();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow(3500));
  EXPECT_FALSE(limiter.Allow(3500));
}
