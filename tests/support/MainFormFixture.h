// A real main window on the fake platform, with the sent lines caught by a
// line sink, in a folder of its own for the settings file.
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
#include "QtWait.h"
#include "kanji/SjisText.h"
#include "protocol/CommandLex.h"
#include "core/DesktopSettings.h"
#include "session/Globals.h"
#include "handlers/ServerLineHandlers.h"
#include "frame/MainForm.h"

namespace tavi::test {

class MainFormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform.ProgramPath = ProgramPath();
    SetPlatform(&platform);
    // Everything the program keeps process-wide starts fresh, the desktop
    // settings (TLS, reconnecting, logs, pinned certificates) too.
    ResetGlobals();
    OpenDesktopSettings()->clear();
  }

  void TearDown() override {
    form.reset();
    SetPlatform(nullptr);
  }

  std::string ProgramPath() const { return folder.filePath(QStringLiteral("Tavi")).toStdString(); }
  std::string IniPath() const { return ProgramPath() + ".Ini"; }

  // Makes the window; with CatchLines the sent lines go to Sent.
  TMainForm& MakeForm(bool CatchLines = true) {
    form = std::make_unique<TMainForm>();
    if (CatchLines) form->SetLineSink([this](const std::string& Line) { Sent.push_back(Line); });
    return *form;
  }

  // Connects and runs the event loop until the connect has ended.
  bool ConnectAndWait(TMainForm& F, int TimeoutMs = 10000) {
    F.ConnectCommand();
    return PumpUntil([&] { return !F.Connecting(); }, TimeoutMs);
  }

  void Feed(const std::string& Line) { DispatchServerLine(Line, form->Handlers()); }
  // Runs what the handlers left queued for after the line (questions,
  // message boxes, connects), as the event loop would.
  void Settle() { QCoreApplication::sendPostedEvents(form.get(), QEvent::MetaCall); }
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
    for (const QString& line : text.split(QLatin1Char('\n'))) lines.push_back(ToSjis(line));
    return lines;
  }

  QTemporaryDir folder;
  TFakePlatform platform;
  std::unique_ptr<TMainForm> form;
  std::vector<std::string> Sent;
};

}  // namespace tavi::test
