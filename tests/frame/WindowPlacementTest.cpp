// Where windows come up: the main window on a first start and after a
// restart, conversation windows inside the area they live in, and which
// window has the keyboard when a server line opens another.
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "conversation/Talk.h"
#include "core/DesktopSettings.h"
#include "widgets/RichLog.h"

using namespace tavi;
using namespace tavi::test;

namespace {

TEST(WindowPlacement, FirstStartFitsTheScreen) {
  const std::vector<std::pair<QRect, QRect>> cases = {
      {{0, 0, 1280, 800}, {213, 133, 853, 533}},
      {{0, 0, 800, 600}, {80, 60, 640, 480}},   // two thirds would be too small
      {{0, 0, 600, 400}, {0, 0, 600, 400}},     // never beyond the screen
      {{100, 30, 1920, 1050}, {420, 205, 1280, 700}},
  };
  for (const auto& [available, want] : cases) EXPECT_EQ(FirstStartGeometry(available), want) << available.width();
}

TEST(WindowPlacement, ChildWindowsFitTheirArea) {
  struct TCase {
    QPoint At;
    QSize Size, Area;
    QRect Want;
  };
  const std::vector<TCase> cases = {
      {{0, 0}, {430, 260}, {800, 600}, {0, 0, 430, 260}},       // fits as it is
      {{0, 0}, {430, 260}, {524, 180}, {0, 0, 430, 180}},       // too tall: shrunk
      {{300, 100}, {430, 260}, {600, 300}, {170, 40, 430, 260}},  // moved in
      {{50, 50}, {430, 260}, {200, 100}, {0, 0, 200, 100}},
  };
  for (const TCase& c : cases) EXPECT_EQ(FitIntoArea(c.At, c.Size, c.Area), c.Want) << c.Area.width();
}

class WindowPlacementForm : public MainFormFixture {};

TEST_F(WindowPlacementForm, ARestartKeepsTheMainWindowsPlace) {
  OpenDesktopSettings()->clear();
  {
    TMainForm& f = MakeForm();
    f.RestorePlacement();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      EXPECT_EQ(f.geometry(), FirstStartGeometry(screen->availableGeometry()));
    }
    f.show();
    f.setGeometry(40, 50, 700, 520);
    f.close();
  }
  TMainForm& again = MakeForm();
  again.RestorePlacement();
  again.show();
  EXPECT_EQ(again.geometry(), QRect(40, 50, 700, 520));
  OpenDesktopSettings()->clear();
}

TEST_F(WindowPlacementForm, ConversationWindowsOpenInsideASmallMainWindow) {
  TMainForm& f = MakeForm();
  f.setGeometry(0, 0, 544, 375);
  f.show();
  QApplication::processEvents();
  Own().CurrentNick = "me";
  Feed(":me!u@h JOIN #c\r\n");
  Feed(":x!u@h PRIVMSG me :hi\r\n");
  const QRect area = f.MdiArea->viewport()->rect();
  for (TMdiChildForm* child : f.ChildWindows())
    EXPECT_TRUE(area.contains(child->geometry())) << child->geometry().height() << " in " << area.height() << " min " << child->minimumSizeHint().height() << " " << child->minimumHeight();
  // Shrunk further, the children are still reached by scrolling.
  f.resize(300, 220);
  QApplication::processEvents();
  EXPECT_GT(f.MdiArea->verticalScrollBar()->maximum() + f.MdiArea->horizontalScrollBar()->maximum(), 0);
}

TEST_F(WindowPlacementForm, AWindowAServerLineOpensLeavesTheKeyboardWhereItIs) {
  TMainForm& f = MakeForm();
  f.show();
  QApplication::setActiveWindow(&f);
  Own().CurrentNick = "me";
  // The user's own join opens an active window.
  f.Connection().NoteJoinRequest("#mine");
  Feed(":me!u@h JOIN #mine\r\n");
  TChatForm* mine = f.FindChannelWindow("#mine");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(f.MdiArea->activeSubWindow(), mine);
  mine->SendEdit->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), mine->SendEdit);

  // A private message, a forced join and a join by someone else open
  // windows without taking the keyboard, nor the active window even for a
  // moment.
  std::vector<QMdiSubWindow*> activated;
  QObject::connect(f.MdiArea, &QMdiArea::subWindowActivated, &f, [&](QMdiSubWindow* W) { activated.push_back(W); });
  for (const char* line : {":x!u@h PRIVMSG me :hi\r\n", ":me!u@h JOIN #forced\r\n", ":y!u@h JOIN #other\r\n"}) {
    const std::size_t before = f.ChildWindows().size();
    Feed(line);
    QApplication::processEvents();
    EXPECT_TRUE(activated.empty()) << line;
    EXPECT_EQ(f.ChildWindows().size(), before + 1) << line;
    EXPECT_EQ(f.MdiArea->activeSubWindow(), mine) << line;
    EXPECT_EQ(QApplication::focusWidget(), mine->SendEdit) << line;
  }

  // A window nobody has looked at carries no menus; they come when it does.
  TChatForm* forced = f.FindChannelWindow("#forced");
  ASSERT_NE(forced, nullptr);
  EXPECT_EQ(forced->findChild<QMenu*>(QStringLiteral("File1")), nullptr);
  f.MdiArea->setActiveSubWindow(forced);
  EXPECT_EQ(f.menuBar()->actions().value(0), forced->Menus().File1->menuAction());

  f.Connection().NoteJoinRequest("#next");
  Feed(":me!u@h JOIN #next\r\n");
  EXPECT_EQ(f.MdiArea->activeSubWindow(), f.FindChannelWindow("#next"));
  // A join the server refused ends: the same channel forced on us later is
  // no join the user asked for.
  f.Connection().NoteJoinRequest("#banned");
  Feed(":irc.test 474 me #banned :Cannot join channel (+b)\r\n");
  Feed(":me!u@h JOIN #banned\r\n");
  EXPECT_EQ(f.MdiArea->activeSubWindow(), f.FindChannelWindow("#next"));
}

TEST_F(WindowPlacementForm, AWindowOpenedQuietlyKeepsItsNewestLineInSight) {
  TMainForm& f = MakeForm();
  f.show();
  Own().CurrentNick = "me";
  f.Connection().NoteJoinRequest("#mine");
  Feed(":me!u@h JOIN #mine\r\n");
  Feed(":me!u@h JOIN #quiet\r\n");
  TChatForm* quiet = f.FindChannelWindow("#quiet");
  ASSERT_NE(quiet, nullptr);
  ASSERT_NE(f.MdiArea->activeSubWindow(), quiet);
  // A bouncer's playback: a burst that more follow right after another,
  // whose lines the pane shows a moment later.
  TRichLog::BeginBurst();
  TRichLog::EndBurst();
  TRichLog::BeginBurst();
  for (int i = 0; i < 300; ++i) Feed(":x!u@h PRIVMSG #quiet :line " + std::to_string(i) + "\r\n");
  TRichLog::EndBurst(true);
  ASSERT_TRUE(PumpUntil([&] { return quiet->RecvRichEdit->document()->blockCount() > 200; }, 2000));
  f.MdiArea->setActiveSubWindow(quiet);
  QApplication::processEvents();
  const QScrollBar* bar = quiet->RecvRichEdit->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

}  // namespace
