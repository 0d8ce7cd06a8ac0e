#include <gtest/gtest.h>

#include <string>

#include "core/Highlight.h"
#include "core/Model.h"
#include "kanji/SjisCase.h"

namespace tavi {
namespace {

// The member index agrees with a scan through every change, and the list
// stays sorted by rank, then name: a netsplit-sized list with names in
// several cases, then renames (merging with a listed name) and removals in a
// fixed pseudo-random order.
TEST(MemberList, LookupsAgreeWithAScanThroughEveryChange) {
  TMemberList members;
  auto scan = [&](const std::string& Nick) {
    for (int i = 0; i < members.Count(); ++i)
      if (SjisSameText(members.At(i).Nick, Nick)) return i;
    return -1;
  };
  for (int i = 0; i < 3000; ++i) members.Add(TMember{(i % 3 ? "n" : "N") + std::to_string(i % 1000), i % 5 == 0 ? "@" : ""});
  EXPECT_EQ(members.Count(), 1000);
  unsigned seed = 7;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int step = 0; step < 600; ++step) {
    const int row = static_cast<int>(next() % static_cast<unsigned>(members.Count()));
    if (step % 3 == 0)
      members.Set(row, TMember{"r" + std::to_string(next() % 50), step % 2 ? "+" : "@+"});
    else
      members.Remove(row);
    if (step % 50 != 0) continue;
    int operators = 0;
    for (int i = 0; i < members.Count(); ++i) {
      operators += members.At(i).Ranks.starts_with('@');
      if (i == 0) continue;
      const TMember& a = members.At(i - 1);
      const TMember& b = members.At(i);
      const auto rank = [](const TMember& M) { return M.Ranks.empty() ? 2 : M.Ranks[0] == '@' ? 0 : 1; };
      ASSERT_TRUE(rank(a) < rank(b) || (rank(a) == rank(b) && NameKey(a.Nick) < NameKey(b.Nick)))
          << a.Entry() << " before " << b.Entry() << " at step " << step;
    }
    ASSERT_EQ(members.OperatorCount(), operators);
    for (int i = 0; i < 1000; i += 7)
      for (const std::string& nick : {"N" + std::to_string(i), "r" + std::to_string(i % 50)})
        ASSERT_EQ(members.Find(nick), scan(nick)) << nick << " at step " << step;
  }
  // Every entry is listed once.
  for (int i = 0; i < members.Count(); ++i) EXPECT_EQ(scan(members.At(i).Nick), i);
}


TEST(Writing, TypedCharsetFixesOrFreesTheEncodingAndOtherLinesAreNoCommand) {
  struct Case {
    std::string Typed;
    bool Command;
    TWireEncoding Chosen;  // after the line
    std::string Reply;
  } cases[] = {
      {"/charset jis", true, TWireEncoding::Jis, "送信する文字コード： JIS（固定）"},
      {"／CHARSET Shift-JIS ", true, TWireEncoding::Sjis, "送信する文字コード： Shift-JIS（固定）"},
      {"/charset", true, TWireEncoding::Sjis, "送信する文字コード： Shift-JIS（固定）"},
      {"/charset klingon", true, TWireEncoding::Sjis, "/charset auto | jis | sjis | utf-8"},
      {"/charset auto", true, TWireEncoding::Ascii, "送信する文字コード： UTF-8（自動）"},
      {"/charsets utf-8", false, TWireEncoding::Ascii, ""},
      {"charset utf-8", false, TWireEncoding::Ascii, ""},
  };
  TWriting writing;
  writing.Hear(TWireEncoding::Utf8);
  for (const Case& c : cases) {
    std::string reply;
    EXPECT_EQ(ApplyCharsetCommand(c.Typed, writing, TWireEncoding::Jis, reply), c.Command) << c.Typed;
    EXPECT_EQ(writing.Chosen, c.Chosen) << c.Typed;
    EXPECT_EQ(reply, c.Reply) << c.Typed;
  }
}

TEST(Highlight, TheNickOrAWordNamedOnItsOwnInAnyCase) {
  const QStringList words{QStringLiteral("hanako"), QString::fromUtf8("お茶"), QString()};
  const std::pair<const char*, bool> cases[] = {
      {"hanako: hi", true},     {"hi HANAKO", true},     {"「hanako」さん", true}, {"hanako_ is away", false},
      {"thanakos", false},      {"お茶にしよう", true},  {"hana", false},         {"", false},
      {"x hanako2 hanako", true}, {"(hanako)", true}, {"[hanako]", false}, {"花子hanakoさん", true},
      {"see https://example.jp/hanako/news", false}, {"hanako https://example.jp/", true},
  };
  for (const auto& [text, named] : cases) EXPECT_EQ(NamesAnyWord(QString::fromUtf8(text), words), named) << text;
}

TEST(CaseMapping, NamesFoldAsTheServerSays) {
  EXPECT_TRUE(SameName("#Chan[1]~", "#chan{1}^"));
  EXPECT_FALSE(SameName("#chan~", "#chan^", TCaseMapping::StrictRfc1459));
  EXPECT_FALSE(SameName("#chan[", "#chan{", TCaseMapping::Ascii));
  EXPECT_TRUE(SameName("#CHAN", "#chan", TCaseMapping::Ascii));
  // Bytes above ASCII are never folded: names in other encodings stay apart.
  EXPECT_FALSE(SameName("\x82\x60", "\x82\x81"));
  EXPECT_EQ(CaseMappingNamed("strict-rfc1459"), TCaseMapping::StrictRfc1459);
  EXPECT_EQ(CaseMappingNamed("rfc7613"), TCaseMapping::Rfc1459);
}

}  // namespace
}  // namespace tavi
