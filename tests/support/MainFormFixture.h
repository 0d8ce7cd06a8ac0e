// A real main window on the fake platform, over a fresh session whose
// connection's sent lines are caught by a line sink, in a folder of its own
// for the settings file.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "conversation/Chat.h"
#include "conversation/Talk.h"
#include "QtWait.h"
#include "core/Connection.h"
#include "core/DesktopSettings.h"
#include "core/Session.h"
#include "dcc/DccTransFile.h"
#include "dcc/SendFileThread.h"
#include "dcc/RecieveFileThread.h"
#include "frame/MainForm.h"
#include "kanji/QtText.h"

namespace tavi::test {

class MainFormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform.ProgramPath = ProgramPath();
    SetPlatform(&platform);
    // What the program keeps in the desktop settings (TLS, reconnecting,
    // logs, pinned certificates) starts fresh, and so do the DCC workers'
    // time limits.
    OpenDesktopSettings()->clear();
    TSendFileThread::SetAckWaitMs(TSendFileThread::DefaultAckWaitMs);
    TRecieveFileThread::SetDataWaitMs(TRecieveFileThread::DefaultDataWaitMs);
    session = std::make_unique<TSession>();
  }

  void TearDown() override {
    form.reset();
    session.reset();
    SetPlatform(nullptr);
  }

  std::string ProgramPath() const { return folder.filePath(QStringLiteral("Tavi")).toStdString(); }
  std::string IniPath() const { return ProgramPath() + ".Ini"; }

  TConnection& Connection() { return session->Connection(); }
  TOwnState& Own() { return session->Connection().Own; }
  TGrobalArea& Grobal() { return session->Grobal(); }
  TLocalArea& Local() { return session->Local(); }

  // Makes the window; with CatchLines the sent lines go to Sent.
  TMainForm& MakeForm(bool CatchLines = true) {
    form = std::make_unique<TMainForm>(*session);
    if (CatchLines) Connection().SetLineSink([this](const std::string& Line) { Sent.push_back(Line); });
    return *form;
  }

  // Connects and runs the event loop until the connect has ended.
  bool ConnectAndWait(TMainForm& F, int TimeoutMs = 10000) {
    F.Connection().Connect();
    return PumpUntil([&] { return !F.Connection().Connecting(); }, TimeoutMs);
  }

  // A channel's or a query's window, as the connection opens them.
  TChatForm* OpenChannelWindow(const std::string& Name) {
    Connection().OpenChannel(Name);
    return form->FindChannelWindow(Name);
  }
  TTalkForm* OpenTalkWindow(const std::string& Caption) {
    Connection().OpenQuery(Caption, {});
    return qobject_cast<TTalkForm*>(form->ChildWindows().back());
  }

  // One received line, as the receive thread hands it over.
  void Feed(const std::string& Line) { Connection().ReceiveLine(Line); }
  // Runs what the line left queued for after it (questions, message boxes,
  // connects), as the event loop would.
  void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); }
  void FeedAndSettle(const std::string& Line) {
    Feed(Line);
    Settle();
  }

  // Runs the event loop until a line read by a scripted server is there.
  static std::string Await(std::future<std::string>& Line, int TimeoutMs = 6000) {
    PumpUntil([&] { return Line.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, TimeoutMs);
    return Line.wait_for(std::chrono::seconds(0)) == std::future_status::ready ? Line.get() : std::string("<none>");
  }

  std::vector<std::string> MemoLines() const {
    std::vector<std::string> lines;
    const QString text = form->ServerMemo->toPlainText();
    if (text.isEmpty()) return lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(StdText(line));
    return lines;
  }

  QTemporaryDir folder;
  TFakePlatform platform;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TMainForm> form;
  std::vector<std::string> Sent;
};

}  // namespace tavi::test
