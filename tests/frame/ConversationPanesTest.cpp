// The channel, talk and DCC chat windows alike: the addresses in their panes
// open in the browser or join, Ctrl+F finds in the pane, and each kind of
// window opens at the size the last one of its kind was given.
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextBlock>
#include <QTextEdit>
#include <functional>

#include "MainFormFixture.h"
#include "PaneClick.h"
#include "dcc/DCC.h"
#include "widgets/FindBar.h"

using namespace tavi;
using namespace tavi::test;

namespace {

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Clicks the character Offset of Pane's last line.
void ClickLastLine(QWidget* Pane, int Offset) {
  if (auto* edit = qobject_cast<QTextEdit*>(Pane)) ClickText(edit, edit->document()->lastBlock().position() + Offset);
  if (auto* memo = qobject_cast<QPlainTextEdit*>(Pane)) ClickText(memo, memo->document()->lastBlock().position() + Offset);
}

QString Selected(QWidget* Pane) {
  if (auto* edit = qobject_cast<QTextEdit*>(Pane)) return edit->textCursor().selectedText();
  return qobject_cast<QPlainTextEdit*>(Pane)->textCursor().selectedText();
}

class ConversationPanesTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm().resize(1000, 700);
    form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    MainFormFixture::TearDown();
    DeleteClosed();
  }

  // One kind of conversation window: how to open one, show a line in its
  // pane, and reach its pane and find bar.
  struct TKind {
    const char* Name;
    std::function<TMdiChildForm*()> Open;
    std::function<void(TMdiChildForm*, const std::string&)> Show;
    std::function<QWidget*(TMdiChildForm*)> Pane;
    std::function<TFindBar*(TMdiChildForm*)> Bar;
  };
  std::vector<TKind> Kinds() {
    return {
        {"channel", [this] { return OpenChannelWindow("#c"); },
         [](TMdiChildForm* w, const std::string& Line) { qobject_cast<TChatForm*>(w)->ShowLine(TLineKind::Event, QText(Line)); },
         [](TMdiChildForm* w) { return qobject_cast<TChatForm*>(w)->RecvRichEdit; },
         [](TMdiChildForm* w) { return qobject_cast<TChatForm*>(w)->FindBar; }},
        {"talk", [this] { return OpenTalkWindow("bob"); },
         [](TMdiChildForm* w, const std::string& Line) { qobject_cast<TTalkForm*>(w)->ShowLine(QText(Line)); },
         [](TMdiChildForm* w) { return qobject_cast<TTalkForm*>(w)->RecvMemo; },
         [](TMdiChildForm* w) { return qobject_cast<TTalkForm*>(w)->FindBar; }},
        {"DCC chat",
         [this] {
           OpenDccChat(*form, Connection(), "carol", "", "", "");
           return form->FindChildWindow("carol");
         },
         [](TMdiChildForm* w, const std::string& Line) { qobject_cast<TDCCForm*>(w)->AddRecvLine(Line); },
         [](TMdiChildForm* w) { return qobject_cast<TDCCForm*>(w)->RecvMemo; },
         [](TMdiChildForm* w) { return qobject_cast<TDCCForm*>(w)->FindBar; }},
    };
  }
};

}  // namespace

TEST_F(ConversationPanesTest, AddressesOpenInTheBrowserOrJoinTheChannel) {
  for (const TKind& kind : Kinds()) {
    SCOPED_TRACE(kind.Name);
    TMdiChildForm* window = kind.Open();
    ASSERT_NE(window, nullptr);
    const std::string line = "12:00 see http://example.org/a and irc:///#linked";
    kind.Show(window, line);
    ClickLastLine(kind.Pane(window), 14);
    ASSERT_FALSE(platform.OpenedUrls.empty());
    EXPECT_EQ(platform.OpenedUrls.back(), "http://example.org/a");
    Sent.clear();
    ClickLastLine(kind.Pane(window), static_cast<int>(line.find("irc:")) + 3);
    EXPECT_EQ(Sent, std::vector<std::string>{"JOIN #linked\r\n"});
    EXPECT_EQ(platform.OpenedUrls.size(), 1u);
    platform.OpenedUrls.clear();
  }
  // The server log too; without a browser, a message says so.
  form->AddServerMemoLine(QStringLiteral("12:00 MOTD https://example.net/rules"));
  platform.OpenUrlRefused = true;
  ClickLastLine(form->ServerMemo, 14);
  EXPECT_EQ(platform.OpenedUrls, std::vector<std::string>{"https://example.net/rules"});
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.Messages[0].find("https://example.net/rules"), std::string::npos);
}

TEST_F(ConversationPanesTest, CtrlFFindsInThePane) {
  for (const TKind& kind : Kinds()) {
    SCOPED_TRACE(kind.Name);
    TMdiChildForm* window = kind.Open();
    kind.Show(window, "a needle in the pane");
    TFindBar* bar = kind.Bar(window);
    ASSERT_NE(bar, nullptr);
    // The shortcut belongs to this window's content, not to the frame.
    EXPECT_TRUE(window->isAncestorOf(qobject_cast<QWidget*>(bar->FindShortcut->parent())));
    emit bar->FindShortcut->activated();
    EXPECT_TRUE(bar->isVisible());
    bar->FindEdit->setText(QStringLiteral("NEEDLE"));
    EXPECT_TRUE(bar->FindNext());
    EXPECT_EQ(Selected(kind.Pane(window)), QStringLiteral("needle"));
  }
}

TEST_F(ConversationPanesTest, EachKindOpensAtTheLastSizeOfItsKind) {
  const QSize first(430, 260);
  int step = 0;
  for (const TKind& kind : Kinds()) {
    SCOPED_TRACE(kind.Name);
    TMdiChildForm* window = kind.Open();
    // Resizable and maximisable; the kinds before did not change this one.
    EXPECT_EQ(window->size(), first);
    EXPECT_LT(window->minimumWidth(), first.width());
    EXPECT_GT(window->maximumWidth(), 2000);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    QApplication::processEvents();
    const QSize chosen(520 + 10 * step, 300 + 10 * step);
    ++step;
    window->resize(chosen);
    window->showMinimized();  // before the size is written
    window->close();
    DeleteClosed();

    window = kind.Open();
    EXPECT_EQ(window->size(), chosen);
    QApplication::processEvents();
    // Maximised is no size to keep. (The next window may open maximised,
    // as the area's windows are then.)
    window->showMaximized();
    QApplication::processEvents();
    window->close();
    DeleteClosed();
    window = kind.Open();
    QApplication::processEvents();
    window->showNormal();
    EXPECT_EQ(window->size(), chosen);
  }
}

TEST_F(ConversationPanesTest, TileSharesTheAreaBetweenTheWindows) {
  TMdiChildForm* channel = OpenChannelWindow("#c");
  TMdiChildForm* talk = OpenTalkWindow("bob");
  form->Tile1->trigger();
  EXPECT_FALSE(channel->geometry().intersects(talk->geometry()));
  EXPECT_GT(channel->width() + talk->width(), 800);
  // The event pane takes the width; the member pane keeps its own.
  EXPECT_GT(qobject_cast<TChatForm*>(channel)->RecvRichEdit->width(), 300);
  EXPECT_EQ(qobject_cast<TChatForm*>(channel)->NickNameRichEdit->width(), 126);
}
