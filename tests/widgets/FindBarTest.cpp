// The find bar selects matches in its pane, both ways round, and says when
// there are none.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kanji/QtText.h"
#include "widgets/FindBar.h"

using namespace tavi;

namespace {

void Press(QWidget* Target, int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, Key, Modifiers);
  QCoreApplication::sendEvent(Target, &press);
}

template <class TPane>
class FindBarTest : public ::testing::Test {};
using PaneKinds = ::testing::Types<QTextEdit, QPlainTextEdit>;
TYPED_TEST_SUITE(FindBarTest, PaneKinds);

}  // namespace

TYPED_TEST(FindBarTest, FindsBothWaysRoundAndSaysWhenNothingMatches) {
  QWidget window;
  auto* pane = new TypeParam(&window);
  pane->setReadOnly(true);
  pane->setPlainText(QString::fromUtf8("一行目 テスト\nother\n三行目 てすと テスト\nlast"));
  auto* bar = new TFindBar(pane, &window);
  auto* column = new QVBoxLayout(&window);
  column->addWidget(pane);
  column->addWidget(bar);
  window.show();
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(bar->FindShortcut->key(), QKeySequence(QKeySequence::Find));
  emit bar->FindShortcut->activated();
  ASSERT_TRUE(bar->isVisible());

  // Where the selection starts, after each step: typing, Enter, Enter,
  // Shift+Enter twice.
  auto selected = [&] { return pane->textCursor().selectionStart(); };
  bar->FindEdit->setText(QString::fromUtf8("テスト"));
  emit bar->FindEdit->textEdited(bar->FindEdit->text());
  EXPECT_EQ(selected(), 4);
  EXPECT_EQ(pane->textCursor().selectedText(), QString::fromUtf8("テスト"));
  Press(bar->FindEdit, Qt::Key_Return);
  EXPECT_EQ(selected(), 22);
  Press(bar->FindEdit, Qt::Key_Return);  // wraps to the top
  EXPECT_EQ(selected(), 4);
  EXPECT_FALSE(bar->FindStatusLabel->text().isEmpty());
  Press(bar->FindEdit, Qt::Key_Return, Qt::ShiftModifier);  // wraps to the end
  EXPECT_EQ(selected(), 22);
  Press(bar->FindEdit, Qt::Key_Enter, Qt::ShiftModifier);
  EXPECT_EQ(selected(), 4);
  EXPECT_TRUE(bar->FindStatusLabel->text().isEmpty());

  bar->FindEdit->setText(QStringLiteral("nowhere"));
  EXPECT_FALSE(bar->FindNext());
  EXPECT_EQ(StdText(bar->FindStatusLabel->text()), U8(u8"見つかりません"));
  EXPECT_EQ(selected(), 4);  // the last match stays selected

  Press(bar->FindEdit, Qt::Key_Escape);
  EXPECT_FALSE(bar->isVisible());
}
