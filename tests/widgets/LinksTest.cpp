// Where a line's addresses are, and which irc addresses are channels to join.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widgets/Links.h"

using namespace tavi;
using Texts = std::vector<std::string>;

namespace {

Texts LinkTexts(const char* Line) {
  const QString line = QString::fromUtf8(Line);
  Texts texts;
  for (const TLinkSpan& span : FindLinks(line)) texts.push_back(line.mid(span.Start, span.Length).toStdString());
  return texts;
}

}  // namespace

TEST(Links, FoundWithoutTheTextAroundThem) {
  const struct {
    const char* Line;
    Texts Links;
  } cases[] = {
      {"no address here", {}},
      {"12:00 <a> see http://example.com/a?b=1&c=2#x now", {"http://example.com/a?b=1&c=2#x"}},
      {"HTTPS://Example.com/ and irc://irc.example.net/#tavi", {"HTTPS://Example.com/", "irc://irc.example.net/#tavi"}},
      {"ircs://h:6697/chan,needkey.", {"ircs://h:6697/chan,needkey"}},
      // Japanese text and full-width brackets right after an address.
      {"見てhttp://example.jp/ページです（http://a.jp/b）", {"http://example.jp/", "http://a.jp/b"}},
      // Sentence punctuation and unopened brackets are not the address's.
      {"(see http://en.wikipedia.org/wiki/Tavi_(program)), or http://x.org/?",
       {"http://en.wikipedia.org/wiki/Tavi_(program)", "http://x.org/"}},
      {"<http://a.org/b> \"https://c.org\"", {"http://a.org/b", "https://c.org"}},
      // Other schemes, a scheme inside a word, nothing after the scheme.
      {"ftp://a.org xhttp://b.org http:// https://... file:///etc", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(LinkTexts(c.Line), c.Links) << c.Line;
  // Spans are positions in the line as given.
  EXPECT_EQ(FindLinks(QStringLiteral("ab http://c.d e")), (QList<TLinkSpan>{{3, 10}}));
}

TEST(Links, IrcLinksToChannelsOfTheServer) {
  const struct {
    const char* Link;
    const char* Channel;  // "-": not a channel to join
  } cases[] = {
      {"irc://irc.example.net/#tavi", "#tavi"},
      {"ircs://IRC.Example.NET:6697/tavi", "#tavi"},
      {"irc:///#tavi,needkey", "#tavi"},
      {"irc://irc.example.net/%23%E6%97%A5%E6%9C%AC", "#日本"},
      {"irc://irc.example.net/&local", "&local"},
      {"irc://other.example.net/#tavi", "-"},
      {"irc://irc.example.net/bob,isnick", "-"},
      {"irc://irc.example.net/", "-"},
      {"https://irc.example.net/#tavi", "-"},
      {"irc:///%23a%0D%0AQUIT%20:bye", "-"},  // a line break would start another command
      {"irc:///%23a%07b", "-"},
  };
  for (const auto& c : cases) {
    const std::optional<QString> channel = ChannelOfIrcLink(QUrl(QString::fromUtf8(c.Link)), QStringLiteral("irc.example.net"));
    EXPECT_EQ(channel.value_or(QStringLiteral("-")).toStdString(), c.Channel) << c.Link;
  }
}
