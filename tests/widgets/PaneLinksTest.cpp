// Addresses in the panes are links that a click (not a drag) reports, and
// they leave the lines' text as it was.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextEdit>

#include "PaneClick.h"
#include "widgets/PaneLinks.h"
#include "widgets/RichLog.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const QString Line = QStringLiteral("12:00 <a> see http://example.org/x?y=1 and more");
constexpr int LinkStart = 14;
constexpr int LinkLength = 24;

// The two kinds of pane: a coloured log (QTextEdit through TRichLog) and a
// memo (QPlainTextEdit).
template <class TPane>
struct TPaneCase {
  TPane Pane;
  TPaneLinks* Links = new TPaneLinks(&Pane);
  void Append(const QString& Text) {
    if constexpr (std::is_same_v<TPane, QTextEdit>) {
      if (!TRichLog::Of(&Pane)) new TRichLog(&Pane);
      TRichLog::Of(&Pane)->Append(Text, Qt::darkGreen);
    } else {
      AppendLinkedLine(&Pane, Text);
    }
  }
};

template <class TPane>
class PaneLinksTest : public ::testing::Test {};
using PaneKinds = ::testing::Types<QTextEdit, QPlainTextEdit>;
TYPED_TEST_SUITE(PaneLinksTest, PaneKinds);

}  // namespace

TYPED_TEST(PaneLinksTest, AddressesAreLinksThatAClickReports) {
  TPaneCase<TypeParam> c;
  c.Pane.setReadOnly(true);
  c.Pane.resize(600, 200);
  c.Pane.show();
  c.Append(Line);
  c.Append(QStringLiteral("plain"));
  std::vector<QUrl> activated;
  QObject::connect(c.Links, &TPaneLinks::Activated, [&](const QUrl& Link) { activated.push_back(Link); });

  const QTextDocument* doc = c.Pane.document();
  EXPECT_EQ(doc->toPlainText(), Line + QStringLiteral("\nplain"));
  // Only the address is a link.
  for (const QTextLayout::FormatRange& range : doc->firstBlock().textFormats()) {
    const bool inLink = range.start >= LinkStart && range.start + range.length <= LinkStart + LinkLength;
    EXPECT_EQ(range.format.isAnchor(), inLink) << range.start;
    EXPECT_EQ(range.format.fontUnderline(), inLink) << range.start;
  }

  ClickText(&c.Pane, LinkStart + 3, QPoint(40, 0));  // a drag selects
  ClickText(&c.Pane, LinkStart - 3);                 // beside the link
  EXPECT_TRUE(activated.empty());
  ClickText(&c.Pane, LinkStart + 3);
  EXPECT_EQ(activated, std::vector<QUrl>{QUrl(QStringLiteral("http://example.org/x?y=1"))});

  // The click left the pane's cursor in the link: the next line is plain.
  c.Append(QStringLiteral("after"));
  EXPECT_FALSE(doc->lastBlock().begin().fragment().charFormat().isAnchor());

  // A document keeps every format it was given: new addresses add none.
  const qsizetype formats = doc->allFormats().size();
  for (int i = 0; i < 20; ++i) c.Append(QStringLiteral("https://example.org/%1 x").arg(i));
  EXPECT_EQ(doc->allFormats().size(), formats);
  ClickText(&c.Pane, doc->lastBlock().position() + 3);
  EXPECT_EQ(activated.back(), QUrl(QStringLiteral("https://example.org/19")));
}
