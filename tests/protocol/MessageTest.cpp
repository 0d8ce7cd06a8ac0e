#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/Message.h"

namespace tavi {
namespace {

using Strings = std::vector<std::string>;

TEST(ParseMessage, ReadsTagsSourceCommandAndParametersByPosition) {
  struct TCase {
    std::string Line, Source, Command;
    Strings Params;
    bool Trailing;
  };
  const std::vector<TCase> cases{
      {":alice!a@h PRIVMSG #c :hello there\r\n", "alice!a@h", "PRIVMSG", {"#c", "hello there"}, true},
      {"PING :srv\r\n", "", "PING", {"srv"}, true},
      {"  :srv   001  me   :Welcome  \r\n", "srv", "001", {"me", "Welcome  "}, true},
      {":s 353 me = #c :@a b\r\n", "s", "353", {"me", "=", "#c", "@a b"}, true},
      {":bob!b@h quit\r\n", "bob!b@h", "QUIT", {}, false},
      {":n MODE #c +o x \r\n", "n", "MODE", {"#c", "+o", "x"}, false},
      {":n PRIVMSG #c :\r\n", "n", "PRIVMSG", {"#c", ""}, true},
      {"@a=b;c :n JOIN #c\r\nrest", "n", "JOIN", {"#c"}, false},
  };
  for (const TCase& c : cases) {
    TMessage m;
    ASSERT_TRUE(ParseMessage(c.Line, m)) << c.Line;
    EXPECT_EQ(m.Source, c.Source) << c.Line;
    EXPECT_EQ(m.Command, c.Command) << c.Line;
    EXPECT_EQ(m.Params, c.Params) << c.Line;
    EXPECT_EQ(m.Trailing, c.Trailing) << c.Line;
  }
  TMessage m;
  for (const char* bad : {"", "\r\n", "   \r\n", ":srv\r\n", "PRIVMSG #c :no end", "@tags-only\r\n"})
    EXPECT_FALSE(ParseMessage(bad, m)) << bad;
}

TEST(ParseMessage, TagsAreUnescapedAndTheServerTimeRead) {
  TMessage m;
  ASSERT_TRUE(ParseMessage("@time=2026-12-09T10:00:00.123Z;msgid=x;+draft/v=a\\sb\\:c\\\\d;flag :a!b@c PRIVMSG #c :hi\r\n", m));
  ASSERT_NE(m.Tag("msgid"), nullptr);
  EXPECT_EQ(*m.Tag("msgid"), "x");
  EXPECT_EQ(*m.Tag("+draft/v"), "a b;c\\d");
  EXPECT_EQ(*m.Tag("flag"), "");
  EXPECT_EQ(m.Tag("none"), nullptr);
  EXPECT_EQ(m.ServerTimeMs, 1796810400123);
  EXPECT_EQ(ParseServerTime("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(ParseServerTime("2000-02-29T23:59:59.5Z"), 951868799500);
  for (const char* bad : {"", "2026-12-09", "2026-12-09T10:00:00", "2026-13-09T10:00:00Z", "2026-12-09T10:00:00.1ZZ"})
    EXPECT_EQ(ParseServerTime(bad), -1) << bad;
}

TEST(ParseMessage, TheHandlersSlotsKeepTheTrailingColonAndTakeNoMoreThanFifteen) {
  TMessage m;
  ASSERT_TRUE(ParseMessage(":bob!b@h PRIVMSG #x :hi there\r\n", m));
  const TToken t = ToToken(m);
  EXPECT_EQ(t.Prefix, "bob!b@h");
  EXPECT_EQ(t.Command, "PRIVMSG");
  EXPECT_EQ(t.Params[1], "#x");
  EXPECT_EQ(t.Params[2], ":hi there");
  EXPECT_EQ(t.Params[3], "");
  std::string fifteen;
  for (int i = 1; i <= 15; ++i) fifteen += " p" + std::to_string(i);
  ASSERT_TRUE(ParseMessage(":s MODE" + fifteen + "\r\n", m));
  EXPECT_EQ(ToToken(m).Params[15], "p15");
  EXPECT_FALSE(ParseMessage(":s MODE" + fifteen + " p16\r\n", m));
}

}  // namespace
}  // namespace tavi
