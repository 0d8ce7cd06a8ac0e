#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolButton>
#include <fstream>
#include <iterator>
#include <map>

#include "MainFormFixture.h"
#include "conversation/Channel.h"
#include "conversation/ChannelMode.h"
#include "conversation/UserMode.h"
#include "dcc/DCC.h"
#include "frame/WindowList.h"
#include "dialogs/InviteCmd.h"
#include "dialogs/KickCmd.h"
#include "platform/QtPlatform.h"
#include "core/ConnectionOptions.h"
#include "conversation/ServerErrorUnit.h"
#include "dialogs/AwayCmd.h"
#include "kanji/Kanji.h"
#include "widgets/MdiChildForm.h"
#include "settings/SettingsFile.h"

using namespace tavi;
using namespace tavi::test;

namespace {

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream out(Path, std::ios::binary);
  out << Bytes;
}

std::vector<std::string> MenuBarTitles(TMainForm& f) {
  std::vector<std::string> titles;
  for (QAction* a : f.menuBar()->actions()) titles.push_back(StdText(a->text()));
  return titles;
}

class RefusingChild : public TMdiChildForm {
 public:
  explicit RefusingChild(TMainForm& F) : TMdiChildForm(F, &F.Connection()) {}
  int asked = 0;
  bool CloseQuery() override {
    ++asked;
    return false;
  }
};

void ExpectSessionControls(TMainForm& f, bool Registered) {
  EXPECT_EQ(f.DisConnectSpeedButton->isEnabled(), Registered);
  EXPECT_EQ(f.JOINSpeedButton->isEnabled(), Registered);
  EXPECT_EQ(f.TalkSpeedButton->isEnabled(), Registered);
  EXPECT_EQ(f.ServerDisConnect->isEnabled(), Registered);
  EXPECT_EQ(f.Join->isEnabled(), Registered);
  EXPECT_EQ(f.TalkMenu->isEnabled(), Registered);
  EXPECT_EQ(f.Command1->isEnabled(), Registered);
  EXPECT_EQ(f.Mode1->isEnabled(), Registered);
}

}  // namespace

using MainFormTest = MainFormFixture;

TEST_F(MainFormTest, StartStateMenusAndCaption) {
  TMainForm& f = MakeForm();
  EXPECT_EQ(f.Caption(), U8(u8"タヴィをしませんか？"));
  EXPECT_EQ(MenuBarTitles(f), (std::vector<std::string>{U8(u8"ファイル"), U8(u8"コマンド"), U8(u8"モード"),
                                                         U8(u8"設定"), U8(u8"ウィンドウ"), U8(u8"ヘルプ")}));
  EXPECT_TRUE(f.ConnectSpeedButton->isEnabled());
  EXPECT_TRUE(f.ServerConnect->isEnabled());
  ExpectSessionControls(f, false);
  EXPECT_FALSE(f.Window1->isEnabled());
  for (QAction* always : {f.GrobalSection, f.RecieveDenyMenu, f.Exit1, f.About1, f.Help2})
    EXPECT_TRUE(always->isEnabled()) << always->objectName().toStdString();
  EXPECT_EQ(StdText(f.ConnectSpeedButton->toolTip()), U8(u8"サーバーに接続する"));
  EXPECT_EQ(StdText(f.TalkSpeedButton->toolTip()), U8(u8"送信相手を限定する"));
  EXPECT_EQ(StdText(f.NickCmd->text()), U8(u8"ニックネーム変更( Nick )"));
  EXPECT_EQ(f.Command1->actions().size(), 13);  // nine items, four separators
  for (const char* name : {"ConnectSpeedButton", "ServerMemo", "StatusBar1", "ServerConnect", "Window1", "Panel1",
                           "NickCmd", "GrobalSection", "Tile1", "Help2"})
    EXPECT_NE(f.findChild<QObject*>(QLatin1String(name)), nullptr) << name;
  EXPECT_EQ(session->VersionText, "Tavi Version  for Linux");  // the fake program file has no version
}

TEST_F(MainFormTest, CaptionShowsTheServerWhenBothAreSet) {
  TSettingsModule module;
  module.GrobalArea().ServerName = "srv";
  module.GrobalArea().PortNumber = "6667";
  ASSERT_TRUE(SaveSettings(IniPath(), module).Ok);
  TMainForm& f = MakeForm();
  EXPECT_EQ(f.Caption(), U8(u8"タヴィしませんか？   （ サーバーは　") + "srv : 6667" + U8(u8" ）"));

  form.reset();
  module.GrobalArea().PortNumber.clear();
  ASSERT_TRUE(SaveSettings(IniPath(), module).Ok);
  EXPECT_EQ(MakeForm().Caption(), U8(u8"タヴィをしませんか？"));
}

TEST_F(MainFormTest, ConnectNeedsEverySettingAndANumericPort) {
  TMainForm& f = MakeForm();
  f.Connection().Connect();
  EXPECT_EQ(platform.Beeps, 1);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0], U8(u8"設定を書き込んでください。"));
  EXPECT_EQ(f.StatusText(), "");

  Grobal() = TGrobalArea{"", "nick", "Taro", "me", "host", "srv", {}, "66x7"};
  f.Connection().Connect();
  ASSERT_EQ(platform.Messages.size(), 2u);
  EXPECT_EQ(platform.Messages[1], "'66x7" + U8(u8"' は有効な整数値ではありません。"));
  EXPECT_TRUE(f.ServerConnect->isEnabled());
  EXPECT_FALSE(f.Connection().SocketActive());
}

TEST_F(MainFormTest, StatusHandlersThroughTheDispatcher) {
  TMainForm& f = MakeForm();
  Own().CurrentNick = "abc";
  Own().EnteredNick = "abcd";  // typed in the nick dialog
  Feed(":irc.test 001 abcd :Welcome to IRC\r\n");
  EXPECT_EQ(Own().CurrentNick, "abcd");
  EXPECT_EQ(Grobal().NickName1, "abcd");
  EXPECT_EQ(f.StatusText(), U8(u8"IRCサーバーとの接続が完了しました。"));
  EXPECT_TRUE(MemoLines().empty());  // the welcome text is not shown

  platform.Time.Hour = 9;
  platform.Time.Minute = 7;
  Feed(":irc.test 375 abcd :- irc.test Message of the day\r\n");
  Feed(":irc.test 372 abcd :- text\r\n");
  ExpectSessionControls(f, false);
  Feed(":irc.test 376 abcd :End of MOTD\r\n");
  EXPECT_EQ(MemoLines(), (std::vector<std::string>{"09:07 :- irc.test Message of the day", "09:07 :- text",
                                                   "09:07 :End of MOTD"}));
  ExpectSessionControls(f, true);
  EXPECT_TRUE(f.Window1->isEnabled());
  EXPECT_EQ(Sent, (std::vector<std::string>{"MODE abcd\r\n"}));

  // A second 376 repeats the MODE query.
  Feed(":irc.test 376 abcd :End\r\n");
  EXPECT_EQ(Sent.size(), 2u);
}

TEST_F(MainFormTest, MissingMessageOfTheDayEndsRegistrationToo) {
  TMainForm& f = MakeForm();
  Own().CurrentNick = "abcd";
  ExpectSessionControls(f, false);
  Feed(":irc.test 422 abcd :MOTD File is missing\r\n");
  ExpectSessionControls(f, true);
  EXPECT_EQ(Sent, (std::vector<std::string>{"MODE abcd\r\n"}));
  EXPECT_EQ(MemoLines(), (std::vector<std::string>{TimeStamp() + " :MOTD File is missing"}));
  // Shown in the log, not as an error window.
  EXPECT_TRUE(f.findChildren<TServerErrorForm*>().isEmpty());
}

TEST_F(MainFormTest, TheServerLogKeepsItsLastLinesAndCutsHugeOnes) {
  MakeForm();
  Feed(":s 372 me :" + std::string(65000, 'm') + "\r\n");
  ASSERT_EQ(MemoLines().size(), 1u);
  EXPECT_EQ(MemoLines()[0].size(), DisplayLineBytes);
  for (int i = 0; i < TMainForm::LogLines + 100; ++i) Feed(":s 372 me :line" + std::to_string(i) + "\r\n");
  const std::vector<std::string> lines = MemoLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(TMainForm::LogLines));
  EXPECT_EQ(lines.back(), TimeStamp() + " :line" + std::to_string(TMainForm::LogLines + 99));
}

TEST_F(MainFormTest, NicknameInUseOpensTheNickDialog) {
  TMainForm& f = MakeForm();
  Feed(":irc.test 433 * abc :Nickname already in use\r\n");
  ASSERT_TRUE(f.AwayDialog()->isVisible());
  EXPECT_EQ(f.AwayDialog()->CommandKind, "Nick");
  f.AwayDialog()->hide();
  Feed(":irc.test 432 * a$c :Erroneous nickname\r\n");
  EXPECT_FALSE(f.AwayDialog()->isVisible());
}

TEST_F(MainFormTest, CommandsThatNeedNoWindow) {
  TMainForm& f = MakeForm();
  f.VersionCmd->trigger();
  f.AdminCmd->trigger();
  EXPECT_FALSE(Own().NamesRequested);
  f.NamesCmd->trigger();
  EXPECT_TRUE(Own().NamesRequested);
  f.ListCmd->trigger();
  EXPECT_EQ(Sent, (std::vector<std::string>{"VERSION \r\n", "ADMIN \r\n", "NAMES \r\n", "LIST \r\n"}));
}

TEST_F(MainFormTest, HelpOpensAtTheContext) {
  TMainForm& f = MakeForm();
  f.Help2->trigger();
  ASSERT_EQ(platform.HelpCalls.size(), 1u);
  EXPECT_EQ(platform.HelpCalls[0].File, "guide/index.html");
  EXPECT_EQ(platform.HelpCalls[0].Context, 2);

  // The guide marks a place for each window's context.
  QString guide;
  for (const QString& place : HelpFilePlaces(QCoreApplication::applicationDirPath(), QText(TMainForm::HelpFile)))
    if (QFile file(place); guide.isEmpty() && file.open(QIODevice::ReadOnly)) guide = QString::fromUtf8(file.readAll());
  ASSERT_FALSE(guide.isEmpty());
  for (int context : {TMainForm::HelpContext, TChatForm::HelpContext, TTalkForm::HelpContext, TDCCForm::HelpContext,
                      TChannelForm::HelpContext, TInviteCmdForm::HelpContext, TKickCmdForm::HelpContext,
                      TUserModeForm::HelpContext, TChannelModeForm::HelpContext})
    EXPECT_TRUE(guide.contains(QStringLiteral("id=\"help-%1\"").arg(context))) << context;
}

// Windows that open, close and change within one turn of the event loop
// are all in the list's tabs after it, a network's windows together.
TEST_F(MainFormTest, TheWindowListFollowsABatchOfWindows) {
  TMainForm& f = MakeForm();
  f.show();
  std::map<std::string, TMdiChildForm*> opened;
  for (const std::string caption : {"a", "b", "own", "c", "d"}) {
    opened[caption] = new TMdiChildForm(f, caption == "own" ? nullptr : &f.Connection());
    opened[caption]->SetCaption(caption);
    f.AddChildWindow(opened[caption]);
  }
  delete opened["b"];
  opened["a"]->MenuClick();
  opened["d"]->NoteActivity(TMdiChildForm::TActivity::Highlight);
  opened["c"]->NoteActivity(TMdiChildForm::TActivity::Unread);
  QCoreApplication::processEvents();
  std::vector<std::pair<std::string, QColor>> tabs;
  for (int i = 0; i < f.WindowList->count(); ++i)
    tabs.emplace_back(StdText(f.WindowList->tabText(i)), f.WindowList->tabTextColor(i));
  EXPECT_EQ(tabs, (std::vector<std::pair<std::string, QColor>>{
                      {"a", QColor()}, {"● c", QColor(0, 0, 255)}, {"★ d", QColor(255, 0, 0)}, {"own", QColor()}}));
  EXPECT_EQ(f.WindowList->currentIndex(), 0);
}

TEST_F(MainFormTest, ChildWindowsAndTheWindowMenu) {
  TMainForm& f = MakeForm();
  const int fixedItems = static_cast<int>(f.Window1->actions().size());
  auto* first = new TMdiChildForm(f, nullptr);
  first->SetCaption("#Chan");
  f.AddChildWindow(first);
  EXPECT_EQ(f.Window1->actions().size(), fixedItems + 2);  // separator and entry
  EXPECT_TRUE(f.Window1->actions()[fixedItems]->isSeparator());
  EXPECT_EQ(StdText(f.Window1->actions()[fixedItems + 1]->text()), "#Chan");

  auto* second = new TMdiChildForm(f, nullptr);
  second->SetCaption("alice bob & co");
  f.AddChildWindow(second);
  EXPECT_EQ(f.Window1->actions().size(), fixedItems + 3);
  EXPECT_EQ(f.Window1->actions().back()->text(), QStringLiteral("alice bob && co"));

  EXPECT_EQ(f.FindChildWindow("#Chan"), first);
  EXPECT_EQ(f.FindChildWindow("#chan"), nullptr);
  EXPECT_EQ(f.FindChildWindow("alice bob & co"), second);

  delete first;
  EXPECT_EQ(f.Window1->actions().size(), fixedItems + 2);
  EXPECT_EQ(f.FindChildWindow("#Chan"), nullptr);
}

// The server window's line takes commands only, with or without a "/".
TEST_F(MainFormTest, TheServerWindowsLineSendsCommandsOnly) {
  TMainForm& f = MakeForm();
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"whois bob", {"WHOIS bob\r\n"}},
      {"/join #x", {"JOIN #x\r\n"}},
      {"／Mode me +i", {"MODE me +i\r\n"}},
      {"//hello", {}},
      {"   ", {}},
  };
  for (const auto& [typed, sent] : cases) {
    Sent.clear();
    f.ServerSendEdit->setText(QString::fromUtf8(typed));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(f.ServerSendEdit, &enter);
    EXPECT_EQ(Sent, sent) << typed;
  }
  EXPECT_EQ(MemoLines().size(), 1u);  // "//hello" is no command: told so
}

TEST_F(MainFormTest, ClosingAsksTheChildrenFirst) {
  TMainForm& f = MakeForm();
  auto* refusing = new RefusingChild(f);
  refusing->SetCaption("#stay");
  f.AddChildWindow(refusing);
  EXPECT_FALSE(f.close());
  EXPECT_EQ(refusing->asked, 1);
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(IniPath())));  // nothing saved yet
}

// --- the settings file across starts ---

TEST_F(MainFormTest, FirstRunAndCloseWritesTheFreshFile) {
  MakeForm().close();
  const std::string bytes = ReadFile(IniPath());
  EXPECT_EQ(bytes.size(), 131u);
  TSettingsModule fresh;
  fresh.GrobalArea();
  fresh.LocalArea();
  EXPECT_EQ(bytes, WriteSettingsBytes(fresh));
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(MainFormTest, StoredSettingsSurviveAStartAndAClose) {
  TSettingsModule module;
  TGrobalArea& g = module.GrobalArea();
  // The file holds Shift-JIS; a wave dash and an NEC mark keep their bytes.
  g = TGrobalArea{"pw", "nick", "\x8E\x52\x93\x63\x91\xBE\x98\x59\x81\x60\x87\x40", "me", "host", "irc.example.jp",
                  {"irc.example.jp", "b", "c"}, "6668", true, false};
  TLocalArea& l = module.LocalArea();
  l.ChannelName = "#\x93\xFA\x96\x7B\x8C\xEA";
  l.ChannelNames = {"#a", "#b"};
  l.TalkMember = std::string(300, 'x');
  const std::string original = WriteSettingsBytes(module);
  WriteFile(IniPath(), original);

  TMainForm& f = MakeForm();
  EXPECT_EQ(Grobal().TrueName, U8(u8"山田太郎～①"));
  EXPECT_EQ(Local().ChannelName, U8(u8"#日本語"));
  EXPECT_TRUE(Grobal().JISChoice);
  f.close();
  EXPECT_EQ(ReadFile(IniPath()), original);

  // What Shift-JIS cannot hold goes to the file as the geta mark and is
  // kept whole beside it; a file changed since by another program wins.
  TMainForm& again = MakeForm();
  Grobal().TrueName = U8(u8"Zoë 😀 山田");
  again.close();
  TSettingsModule stored;
  ASSERT_TRUE(ReadSettingsBytes(ReadFile(IniPath()), stored).Ok);
  EXPECT_EQ(stored.GrobalArea().TrueName, "Zo\x81\xAC \x81\xAC \x8E\x52\x93\x63");
  form.reset();
  session = std::make_unique<TSession>();
  MakeForm();
  EXPECT_EQ(Grobal().TrueName, U8(u8"Zoë 😀 山田"));
  form->close();
  stored.GrobalArea().TrueName = "Zoe";
  WriteFile(IniPath(), WriteSettingsBytes(stored));
  form.reset();
  session = std::make_unique<TSession>();
  MakeForm();
  EXPECT_EQ(Grobal().TrueName, "Zoe");
}

TEST_F(MainFormTest, ADamagedFileIsKeptAsideAndReported) {
  const std::string damaged = "\xFF\x0A\x00garbage that is no settings file";
  WriteFile(IniPath(), damaged);
  TMainForm& f = MakeForm();
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.Messages[0].find(U8(u8"を読み込めませんでした。")), std::string::npos);
  EXPECT_NE(platform.Messages[0].find(".bad"), std::string::npos);
  EXPECT_EQ(ReadFile(IniPath() + ".bad"), damaged);
  EXPECT_TRUE(Grobal().ServerName.empty());

  f.close();
  EXPECT_EQ(ReadFile(IniPath()).size(), 131u);
  EXPECT_EQ(ReadFile(IniPath() + ".bad"), damaged);
}

TEST_F(MainFormTest, RefusalListIsNotStored) {
  MakeForm();
  session->Connection().RecieveDenyList.push_back("troll");
  form->close();
  form.reset();
  MakeForm();
  EXPECT_TRUE(session->Connection().RecieveDenyList.empty());
}
