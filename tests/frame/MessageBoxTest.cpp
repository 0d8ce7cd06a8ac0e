// Server lines against the real Qt message boxes: a box's own event loop
// runs deferred deletes and queued calls, so what a fake platform cannot
// show (a box freed under its own exec, boxes stacked without end) shows
// here. A timer closes each modal box soon after it opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "QtWait.h"
#include "RealBoxPlatform.h"
#include "conversation/ReferenceResult.h"
#include "protocol/CommandLex.h"
#include "core/DesktopSettings.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform = std::make_unique<TRealBoxPlatform>(5);
    platform->ProgramPath = folder.filePath(QStringLiteral("Tavi")).toStdString();
    SetPlatform(platform.get());
    OpenDesktopSettings()->clear();
    session = std::make_unique<TSession>();
    form = new TMainForm(*session);
    form->setAttribute(Qt::WA_DeleteOnClose);
    session->Connection().SetLineSink([](const std::string&) {});
    form->show();
    form->activateWindow();
    session->Connection().Own.CurrentNick = "tavi";
    session->Connection().Own.IsonRequests = 100;  // the user asked: ISON results open their window
  }

  void TearDown() override {
    delete form.data();
    PumpFor(20);
    session.reset();
    platform.reset();
    SetPlatform(nullptr);
  }

  // One burst, as the receive thread hands lines over, then the event loop
  // with the boxes the lines caused.
  void Burst(const std::vector<std::string>& Lines) {
    TConnection& connection = session->Connection();
    connection.BeginLines();
    for (const std::string& line : Lines) connection.ReceiveLine(line + "\r\n");
    connection.EndLines(false);
    PumpFor(150);
  }

  QTemporaryDir folder;
  std::unique_ptr<TRealBoxPlatform> platform;
  std::unique_ptr<TSession> session;
  QPointer<TMainForm> form;
};

// A result window that frees itself on losing the activation is active,
// then a line whose box takes the activation: the box must outlive it.
TEST_F(MessageBoxTest, ABoxOutlivesTheResultWindowThatWasActive) {
  struct TCase {
    std::vector<std::string> Opening;
    std::string Boxing;
  };
  const std::vector<TCase> cases{
      {{":srv.test 351 tavi ircd-9.9 srv.test :comment"}, ":srv.test 341 tavi bob #chan"},
      {{":srv.test 303 tavi :bob carol"}, ":srv.test 341 tavi bob #chan"},
      {{":srv.test 311 tavi bob b host * :Bob", ":srv.test 318 tavi bob :End"},
       ":bob!b@h PRIVMSG tavi :\x01" "DCC SEND a.txt 2130706433 5000 10\x01"},
      {{":srv.test 256 tavi :admin", ":srv.test 259 tavi :mail"},
       ":bob!b@h PRIVMSG tavi :\x01" "DCC SEND a.txt 2130706433 0 10\x01"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Boxing);
    Burst(c.Opening);
    QWidget* result = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != form && w->isVisible() && w->testAttribute(Qt::WA_DeleteOnClose)) result = w;
    ASSERT_NE(result, nullptr);
    result->activateWindow();
    PumpFor(20);
    Burst({c.Boxing});
    ASSERT_TRUE(form);
    // The session goes on: the next line is still handled.
    std::vector<std::string> sent;
    session->Connection().SetLineSink([&](const std::string& Line) { sent.push_back(Line); });
    Burst({"PING :alive"});
    EXPECT_EQ(sent, std::vector<std::string>{"PONG alive\r\n"});
    session->Connection().SetLineSink([](const std::string&) {});
  }
}

TEST_F(MessageBoxTest, ClosingTheMainWindowOverAnActiveResultWindowAsksSafely) {
  Burst({":tavi!u@h JOIN #chan", ":srv.test 303 tavi :bob"});
  auto* ison = form->findChild<TReferenceResultForm*>();
  ASSERT_NE(ison, nullptr);
  ison->activateWindow();
  PumpFor(20);
  // The channel is not left yet: closing asks to close again, in a box.
  form->close();
  PumpFor(150);
  ASSERT_TRUE(form);
  EXPECT_GE(platform->ModalShown, 1);
}

TEST_F(MessageBoxTest, RepliesFromTheServerNeverStackBoxes) {
  std::vector<std::string> lines(50, ":srv.test 341 tavi bob #chan");
  Burst(lines);
  EXPECT_EQ(platform->ModalShown, 0);
  auto* notice = qobject_cast<QMessageBox*>(platform->NoticeWindow());
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(platform->NoticeCount(), 50);
  EXPECT_TRUE(notice->text().contains(QStringLiteral(u"このほかに 49 件")));
  // Dismissed, the next notice starts the count again.
  notice->close();
  Burst({":srv.test 341 tavi carol #chan"});
  EXPECT_EQ(platform->NoticeCount(), 1);
}

}  // namespace
