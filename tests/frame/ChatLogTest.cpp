// The logs of the channel and talk windows: their lines as the windows show
// them, one UTF-8 file per window and day.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "MainFormFixture.h"
#include "ScriptedServer.h"
#include "conversation/Chat.h"
#include "conversation/Talk.h"
#include "core/ChatLog.h"
#include "core/ConnectionOptions.h"
#include "core/DesktopSettings.h"
#include "widgets/RichLog.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class ChatLogTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    QDir(TChatLog::DefaultFolder()).removeRecursively();
  }
  static QStringList FileLines(const QString& Path) {
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly)) return {QStringLiteral("<missing %1>").arg(Path)};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
  }
  static QStringList Shown(const std::vector<std::string>& Lines, std::size_t From, std::size_t To) {
    QStringList result;
    // The unread marker belongs to the pane, not to the conversation.
    for (std::size_t i = From; i < To && i < Lines.size(); ++i)
      if (QText(Lines[i]) != UnreadMarkerText()) result << QText(Lines[i]);
    return result;
  }
  QString Path(const char* Window, const char* Date, const char* Server = "irc.example") const {
    return TChatLog::DefaultFolder() +
           QStringLiteral("/%1/%2_%3.log").arg(QLatin1String(Server), QLatin1String(Window), QLatin1String(Date));
  }
};

TEST_F(ChatLogTest, FilesHoldTheWindowsLinesPerDayInUtf8WhateverTheWireCode) {
  SaveConnectionOptions(TConnectionOptions::With(false, true, true));
  TMainForm& f = MakeForm();
  Grobal().ServerName = "irc.example";
  Own().CurrentNick = "me";
  ASSERT_NE(session->ChatLog(), nullptr);
  platform.Time = TDateTime{2006, 1, 2, 23, 59, 0, 0, 1};
  FeedAndSettle(":me!u@h JOIN :#log\r\n");
  FeedAndSettle(":bob!u@h PRIVMSG #log :\x1B$B$\"$$\x1B(B jis\r\n");       // JIS
  FeedAndSettle(":bob!u@h PRIVMSG #log :\x82\xA0\x82\xA2 sjis\r\n");       // Shift-JIS
  FeedAndSettle(":bob!u@h PRIVMSG #log :\xE3\x81\x82\xE3\x81\x84 utf8\r\n");  // UTF-8
  FeedAndSettle(":bob!u@h PRIVMSG me :\x1B$B$\"\x1B(B talk\r\n");
  TChatForm* chat = f.FindChannelWindow("#log");
  ASSERT_NE(chat, nullptr);
  const std::size_t beforeMidnight = chat->RecvLines().size();
  platform.Time = TDateTime{2006, 1, 3, 0, 1, 0, 0, 2};
  FeedAndSettle(":bob!u@h PRIVMSG #log :\x82\xA4 after midnight\r\n");
  FeedAndSettle(":bob!u@h PART #log\r\n");

  const std::vector<std::string> lines = chat->RecvLines();
  auto* talk = qobject_cast<TTalkForm*>(f.FindChildWindow("bob"));
  ASSERT_NE(talk, nullptr);
  const std::vector<std::string> talkLines = talk->RecvLines();
  ASSERT_EQ(lines.size(), beforeMidnight + 2);
  // Lines reach their files on their own, not only when the log ends.
  EXPECT_TRUE(PumpUntil([&] { return FileLines(Path("bob", "2006-01-02")) == Shown(talkLines, 0, talkLines.size()); }));
  // The end of the session writes what is still queued.
  form.reset();
  session.reset();

  const QStringList first = FileLines(Path("#log", "2006-01-02"));
  EXPECT_EQ(first, Shown(lines, 0, beforeMidnight));
  EXPECT_TRUE(first.join(QLatin1Char('\n')).contains(QStringLiteral("\u3042\u3044 jis")));
  EXPECT_TRUE(first.join(QLatin1Char('\n')).contains(QStringLiteral("\u3042\u3044 sjis")));
  EXPECT_TRUE(first.join(QLatin1Char('\n')).contains(QStringLiteral(" utf8")));
  EXPECT_EQ(FileLines(Path("#log", "2006-01-03")), Shown(lines, beforeMidnight, lines.size()));
  EXPECT_EQ(FileLines(Path("bob", "2006-01-02")), Shown(talkLines, 0, talkLines.size()));

  // What the user said and the certificates trusted are the user's alone.
  const auto shared = [](const QString& Path) {
    return QFileInfo(Path).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::WriteOther | QFile::ExeOther);
  };
  for (const QString& folder : {TChatLog::DefaultFolder(), TChatLog::DefaultFolder() + QStringLiteral("/irc.example")})
    EXPECT_EQ(shared(folder), 0) << folder.toStdString();
  const QString settingsFile = OpenDesktopSettings()->fileName();
  ASSERT_TRUE(QFileInfo::exists(settingsFile));
  EXPECT_EQ(shared(settingsFile), 0);
  EXPECT_EQ(shared(QFileInfo(settingsFile).absolutePath()), 0);
}

TEST_F(ChatLogTest, NothingIsWrittenWhileLogsAreOff) {
  MakeForm();
  Grobal().ServerName = "irc.example";
  Own().CurrentNick = "me";
  EXPECT_EQ(session->ChatLog(), nullptr);
  FeedAndSettle(":me!u@h JOIN :#log\r\n");
  FeedAndSettle(":bob!u@h PRIVMSG #log :hello\r\n");
  form.reset();
  session.reset();
  EXPECT_FALSE(QDir(TChatLog::DefaultFolder()).exists());
}

// The settings may name another server while connected: the live
// connection's lines stay with the server it was made to.
TEST_F(ChatLogTest, ALiveConnectionsLinesStayUnderTheServerItWasMadeTo) {
  SaveConnectionOptions(TConnectionOptions::With(false, true, true));
  TScriptedServer server;
  TMainForm& f = MakeForm(false);
  Grobal() = TGrobalArea{"", "abc", "Taro", "me", "host", "127.0.0.1", {}, std::to_string(server.Port())};
  platform.Time = TDateTime{2006, 1, 2, 12, 0, 0, 0, 1};
  f.Connection().Connect();
  server.ReadLine();
  server.ReadLine();
  server.Send(":srv 001 abc :Welcome\r\n:abc!u@h JOIN :#log\r\n");
  ASSERT_TRUE(PumpUntil([&] { return f.FindChannelWindow("#log") != nullptr; }));
  Grobal().ServerName = "irc.example";
  server.Send(":bob!u@h PRIVMSG #log :still here\r\n");
  TChatForm* chat = f.FindChannelWindow("#log");
  ASSERT_TRUE(PumpUntil([&] { return chat->RecvLines().back().ends_with("still here"); }));
  form.reset();
  session.reset();
  EXPECT_TRUE(FileLines(Path("#log", "2006-01-02", "127.0.0.1")).join(QLatin1Char('\n')).contains(QStringLiteral("still here")));
  EXPECT_FALSE(QDir(TChatLog::DefaultFolder() + QStringLiteral("/irc.example")).exists());
}

}  // namespace
