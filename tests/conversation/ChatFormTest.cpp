#include <QApplication>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QTextEdit>
#include <QToolButton>

#include "MainFormFixture.h"
#include "conversation/Channel.h"
#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/MemberEditor.h"
#include "core/ConnectionOptions.h"
#include "frame/WindowList.h"
#include "widgets/RichLog.h"
#include "kanji/SjisCase.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void PressKey(QWidget* Target, int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, Key, Modifiers);
  QCoreApplication::sendEvent(Target, &press);
}

void PressMouse(TChatForm* Chat, QPoint At, Qt::MouseButton Button) {
  QWidget* viewport = Chat->NickNameRichEdit->viewport();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(At), QPointF(viewport->mapToGlobal(At)), Button, Button,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &press);
}

QPoint EntryCentre(TChatForm* Chat, int Row) {
  return Chat->NickNameRichEdit->visualRect(Chat->NickNameRichEdit->model()->index(Row, 0)).center();
}

// Lists Entries ("@nick" for an operator) as the channel's members.
void AddMembers(TChatForm* Chat, std::initializer_list<const char*> Entries) {
  for (const char* entry : Entries) Chat->Channel()->Members.Add(Chat->Channel()->Members.FromEntry(entry));
}

Lines MenuBarTitles(TMainForm& f) {
  Lines titles;
  for (QAction* a : f.menuBar()->actions()) titles.push_back(StdText(a->text()));
  return titles;
}

Lines Captions(QMenu* Menu) {
  Lines captions;
  for (QAction* a : Menu->actions()) captions.push_back(a->isSeparator() ? "-" : StdText(a->text()));
  return captions;
}

bool WindowMenuHolds(TMainForm& f, const std::string& Caption) {
  for (QAction* a : f.Window1->actions())
    if (StdText(a->text()) == Caption) return true;
  return false;
}

const std::string CloseRefused = U8(u8"まだ退室を完了していないため、\r\nもう１度”閉じる”操作をしなおしてください。");

}  // namespace

class ChatFormTest : public MainFormFixture {
 protected:
  // The main window, shown so that the panes are laid out and large enough
  // for a whole channel window, with #c open.
  TChatForm* OpenChannel(const std::string& Channel = "#c") {
    if (!form) {
      MakeForm().resize(800, 600);
      form->show();
      QApplication::processEvents();
      Own().CurrentNick = "me";
    }
    return OpenChannelWindow(Channel);
  }

  void Select(TChatForm* Chat, int Row) { PressMouse(Chat, EntryCentre(Chat, Row), Qt::LeftButton); }
  static std::vector<QColor> NickColors(TChatForm* Chat) {
    std::vector<QColor> colours;
    for (int i = 0; i < Chat->NickCount(); ++i) colours.push_back(Chat->NickColorAt(i));
    return colours;
  }
};

TEST_F(ChatFormTest, CreationLayoutAndDateLine) {
  TChatForm* chat = OpenChannel();
  EXPECT_EQ(chat->size(), QSize(430, 260));
  EXPECT_NE(chat->minimumSize(), chat->maximumSize());
  EXPECT_TRUE(chat->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(chat->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(chat->property("helpContext").toInt(), 35);
  EXPECT_EQ(chat->NickNameRichEdit->width(), 126);
  EXPECT_TRUE(chat->RecvRichEdit->isReadOnly());
  EXPECT_EQ(StdText(chat->PARTSpeedButton->toolTip()), U8(u8"チャンネルから離脱する"));
  EXPECT_EQ(StdText(chat->CloseFormSpeedButton->toolTip()), U8(u8"このフォームを閉じる"));
  for (const char* name : {"Panel1", "PARTSpeedButton", "CloseFormSpeedButton", "Panel2", "Label1", "SendEdit",
                           "RecvRichEdit", "NickNameRichEdit", "PopupMenu", "ChannelOperator1", "OPTake", "BanMask1"})
    EXPECT_NE(chat->findChild<QObject*>(QLatin1String(name)), nullptr) << name;

  EXPECT_EQ(chat->RecvLines(), Lines{U8(u8"日付： ") + "2006/01/02"});
  EXPECT_EQ(chat->RecvLineColor(0), clBlack);
  EXPECT_FALSE(chat->Channel()->Joined);
  EXPECT_FALSE(chat->Menus().ChannelOperator1->isEnabled());
  EXPECT_FALSE(chat->Menus().ChannelOperator1->menuAction()->isEnabled());
  EXPECT_EQ(Captions(chat->Menus().PopupMenu), (Lines{U8(u8"参加者情報 ( Who is )"), "-", "CTCP", "-", "DCC", "-",
                                              "Channel Operator"}));
  EXPECT_EQ(Captions(chat->Menus().CTCP1), (Lines{"PING", "VERSION", "TIME", "FINGER", "USERINFO", "CLIENTINFO"}));
  EXPECT_EQ(Captions(chat->Menus().ChannelOperator1), (Lines{U8(u8"与える"), U8(u8"取り上げる")}));
}

// An input method composes in the line (pre-edit), then commits; Enter sends
// what was committed, emoji and all.
TEST_F(ChatFormTest, AnInputMethodsCommitIsWhatGoesOut) {
  TChatForm* chat = OpenChannel("#im");
  Grobal().UTF8Choice = true;
  chat->SendEdit->setFocus();
  QInputMethodEvent preedit(QString::fromUtf8("かんじ"), {});
  QCoreApplication::sendEvent(chat->SendEdit, &preedit);
  EXPECT_TRUE(chat->SendEdit->text().isEmpty());  // composing is not text yet
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("漢字😀"));
  QCoreApplication::sendEvent(chat->SendEdit, &commit);
  EXPECT_EQ(chat->SendEdit->text(), QString::fromUtf8("漢字😀"));
  PressKey(chat->SendEdit, Qt::Key_Return);
  EXPECT_EQ(Sent, Lines{U8(u8"PRIVMSG #im :漢字😀\r\n")});

  // A command typed here is a command, never text for the channel.
  Sent.clear();
  chat->SendEdit->setText(QStringLiteral("/msg NickServ IDENTIFY secret"));
  PressKey(chat->SendEdit, Qt::Key_Return);
  EXPECT_EQ(Sent, Lines{"PRIVMSG NickServ :IDENTIFY secret\r\n"});
  EXPECT_TRUE(chat->SendEdit->text().isEmpty());

  // Up and Down walk what was sent from this line; the typed line comes back.
  chat->SendEdit->setText(QStringLiteral("half typed"));
  const char* walk[][2] = {{"up", "/msg NickServ IDENTIFY secret"}, {"up", "漢字😀"}, {"up", "漢字😀"},
                           {"down", "/msg NickServ IDENTIFY secret"}, {"down", "half typed"}, {"down", "half typed"}};
  for (const auto& [key, shown] : walk) {
    PressKey(chat->SendEdit, std::string(key) == "up" ? Qt::Key_Up : Qt::Key_Down);
    EXPECT_EQ(chat->SendEdit->text(), QString::fromUtf8(shown)) << key << " " << shown;
  }
}

// Tab completes nicks (the latest speaker first), channels and commands;
// each further Tab gives the next match.
TEST_F(ChatFormTest, TabCompletesNicksChannelsAndCommands) {
  TChatForm* chat = OpenChannel("#c");
  OpenChannelWindow("#other");
  AddMembers(chat, {"hanako", "@Hiro", "bob", "hal"});
  Feed(":Hiro!u@h PRIVMSG #c :earlier\r\n");
  Feed(":hal!u@h PRIVMSG #c :latest\r\n");
  const struct {
    const char* Typed;
    int Tabs;
    const char* Shown;
  } cases[] = {
      {"h", 1, "hal: "},          {"h", 2, "Hiro: "},       {"h", 3, "hanako: "},  {"h", 4, "hal: "},
      {"hi ha", 1, "hi hal "},     {"hi HA", 2, "hi hanako "}, {"/JO", 1, "/join "}, {"／wh", 1, "／whois "},
      {"see #o", 1, "see #other "}, {"zz", 1, "zz"},        {"", 1, ""},
  };
  for (const auto& c : cases) {
    chat->SendEdit->setText(QString::fromUtf8(c.Typed));
    PressKey(chat->SendEdit, Qt::Key_Left);  // any other key ends a cycle
    chat->SendEdit->end(false);
    for (int i = 0; i < c.Tabs; ++i) PressKey(chat->SendEdit, Qt::Key_Tab);
    EXPECT_EQ(StdText(chat->SendEdit->text()), c.Shown) << c.Typed << " x" << c.Tabs;
  }
  EXPECT_TRUE(Sent.empty());
}

// A line that names the user in a window the user is not looking at: its
// own colour, a marker where the unread lines begin, the window marked in
// the list, one desktop notification; Alt+A goes there.
TEST_F(ChatFormTest, HighlightsMarkTheWindowAndNotify) {
  TChatForm* quiet = OpenChannel("#quiet");
  TChatForm* chat = OpenChannel("#c");
  TMainForm& f = *form;
  ASSERT_EQ(f.MdiArea->activeSubWindow(), chat);
  const std::string marker = StdText(UnreadMarkerText());
  struct TCase {
    std::string Line;
    std::uint32_t Tick;
    Lines Notified;
  } cases[] = {
      {":bob!u@h PRIVMSG #quiet :plain words", 1000, {}},
      {":bob!u@h PRIVMSG #quiet :ME: look", 1000, {"#quiet : bob|09:05 [bob] ME: look"}},
      {":bob!u@h PRIVMSG #quiet :me again", 1500, {}},  // one a second at most
      {":me!u@h PRIVMSG #quiet :me myself", 9000, {}},  // never the user's own
      {":carol!u@h PRIVMSG me :psst", 9000, {"carol : carol|09:05 [carol] psst"}},
  };
  for (const TCase& c : cases) {
    platform.Tick = c.Tick;
    platform.Notifications.clear();
    Feed(c.Line + "\r\n");
    EXPECT_EQ(platform.Notifications, c.Notified) << c.Line;
  }
  const Lines lines = quiet->RecvLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 5], marker);
  EXPECT_EQ(quiet->RecvLineColor(static_cast<int>(lines.size()) - 3), clHighlight);
  EXPECT_EQ(quiet->RecvLineColor(static_cast<int>(lines.size()) - 4), clBlack);
  EXPECT_EQ(quiet->Activity(), TMdiChildForm::TActivity::Highlight);
  EXPECT_EQ(StdText(quiet->WindowMenuItem->text()), U8(u8"★ #quiet"));
  const int tab = 0;  // the list keeps the order the windows opened
  QCoreApplication::processEvents();  // the tabs follow once a turn
  EXPECT_EQ(f.WindowList->tabTextColor(tab), QColor(255, 0, 0));

  // Switched off in the settings: marked, but nothing goes out.
  SaveConnectionOptions(TConnectionOptions::With(false, true, false));
  TConnectionOptions off = LoadConnectionOptions();
  off.Notifications = false;
  SaveConnectionOptions(off);
  Connection().ReloadOptions();
  platform.Tick = 20000;
  platform.Notifications.clear();
  Feed(":bob!u@h PRIVMSG #quiet :me?\r\n");
  EXPECT_TRUE(platform.Notifications.empty());

  // Alt+A: the highlights in list order (carol's talk window, then
  // #quiet); seen, the mark goes.
  f.NextActiveWindow1->trigger();
  f.NextActiveWindow1->trigger();
  EXPECT_EQ(f.MdiArea->activeSubWindow(), quiet);
  EXPECT_EQ(quiet->Activity(), TMdiChildForm::TActivity::None);
  EXPECT_EQ(StdText(quiet->WindowMenuItem->text()), "#quiet");
  // Coming back later moves the one marker down.
  chat->MenuClick();
  Feed(":bob!u@h PRIVMSG #quiet :later\r\n");
  const Lines after = quiet->RecvLines();
  EXPECT_EQ(std::count(after.begin(), after.end(), marker), 1);
  EXPECT_EQ(after[after.size() - 2], marker);
}

TEST_F(ChatFormTest, EnterSendsToTheCaptionAndEchoesEvenWhenNotJoined) {
  TChatForm* chat = OpenChannel("#Chan");
  const std::string text = U8(u8"  こんにちは、世界  ");
  Grobal().UTF8Choice = true;  // sent texts compare with their literals
  chat->SendEdit->setText(QText(text));
  PressKey(chat->SendEdit, Qt::Key_A);
  EXPECT_TRUE(Sent.empty());

  PressKey(chat->SendEdit, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(Sent, Lines{"PRIVMSG #Chan :" + text + "\r\n"});
  ASSERT_EQ(chat->RecvLines().size(), 2u);
  EXPECT_EQ(chat->RecvLines()[1], "09:05 [me] " + text);
  EXPECT_EQ(chat->RecvLineColor(1), clBlack);
  EXPECT_TRUE(chat->SendEdit->text().isEmpty());

  // The keypad's Enter counts too; an empty edit sends and writes nothing.
  PressKey(chat->SendEdit, Qt::Key_Enter);
  EXPECT_EQ(Sent.size(), 1u);
  EXPECT_EQ(chat->RecvLines().size(), 2u);
  chat->SendEdit->setText(QStringLiteral("x"));
  PressKey(chat->SendEdit, Qt::Key_Enter, Qt::ControlModifier);
  EXPECT_EQ(Sent.back(), "PRIVMSG #Chan :x\r\n");
}

TEST_F(ChatFormTest, EventPaneLinesKeepTheirColoursAndThePaneItsLastLines) {
  TChatForm* chat = OpenChannel();
  chat->ShowLine(TLineKind::Own, QStringLiteral("green"));
  chat->ShowLine(TLineKind::Talk, QText(U8(u8"黒い行")));
  chat->ShowLine(TLineKind::Event, QString());
  chat->ShowLine(TLineKind::Event, QStringLiteral("blue"));
  const Lines lines = chat->RecvLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), (Lines{"green", U8(u8"黒い行"), "", "blue"}));
  const std::vector<QColor> colours{clGreen, clBlack, clBlue, clBlue};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(chat->RecvLineColor(i + 1), colours[static_cast<std::size_t>(i)]) << i;
  EXPECT_FALSE(chat->RecvLineColor(5).isValid());

  // The pane keeps its newest lines in their colours.
  for (int i = 0; i < 300; ++i) chat->ShowLine(i % 2 ? TLineKind::Own : TLineKind::Event, QString::number(i));
  ASSERT_EQ(chat->RecvLines().size(), std::size_t(TConnection::KeptLines));
  EXPECT_EQ(chat->RecvLines().front(), "44");
  EXPECT_EQ(chat->RecvLineColor(0), clBlue);
  EXPECT_EQ(chat->RecvLineColor(255), clGreen);

  // After the pane was emptied the next line is its first, not a blank one.
  chat->RecvRichEdit->clear();
  EXPECT_TRUE(chat->RecvLines().empty());
  chat->ShowLine(TLineKind::Own, QStringLiteral("again"));
  EXPECT_EQ(chat->RecvLines(), Lines{"again"});
  EXPECT_EQ(chat->RecvLineColor(0), clGreen);
}

// The pane shows the channel's members as they change: the user in green,
// operators in red, members away in grey, others in black; the operator
// commands while the user is one.
TEST_F(ChatFormTest, TheMemberPaneFollowsTheChannelsMembersInTheirColours) {
  TChatForm* chat = OpenChannel();
  TMemberList& members = chat->Channel()->Members;
  AddMembers(chat, {"@alice", "me", "bob"});
  EXPECT_EQ(chat->NickAt(0), "@alice");
  EXPECT_EQ(NickColors(chat), (std::vector<QColor>{clRed, clBlack, clGreen}));
  // A member away is dimmed, and bright again once back.
  for (const bool away : {true, false}) {
    TMember bob = members.At(1);
    bob.Away = away;
    members.Set(1, bob);
    EXPECT_EQ(chat->NickColorAt(1), away ? clGray : clBlack);
  }
  EXPECT_FALSE(chat->Menus().ChannelOperator1->isEnabled());
  members.Set(members.Find("me"), TMember{"me", "@"});
  EXPECT_EQ(chat->NickAt(1), "@me");
  EXPECT_EQ(chat->NickColorAt(1), clGreen);
  EXPECT_TRUE(chat->Menus().ChannelOperator1->isEnabled());
  QCoreApplication::processEvents();
  EXPECT_EQ(StdText(chat->MemberCountLabel->text()), U8(u8"3 人（オペレーター 2 人）"));
  members.Remove(members.Find("alice"));
  EXPECT_EQ(chat->NickCount(), 2);
  EXPECT_EQ(chat->FindNick("@ME"), 0);
  EXPECT_EQ(chat->FindNick("me"), -1);
  members.Clear();
  EXPECT_EQ(chat->NickCount(), 0);
  EXPECT_FALSE(chat->Menus().ChannelOperator1->isEnabled());
  // Bytes that do not decode come back as they went in.
  const std::string odd = "\x81\x7f\xfd";
  AddMembers(chat, {odd.c_str()});
  EXPECT_EQ(chat->NickAt(0), odd);
}

TEST_F(ChatFormTest, AnyButtonSelectsTheWholeEntryUnderThePointer) {
  TChatForm* chat = OpenChannel();
  AddMembers(chat, {"@alice", "bob", "carol"});
  EXPECT_EQ(chat->SelectedNick(), "");

  PressMouse(chat, EntryCentre(chat, 1), Qt::LeftButton);
  EXPECT_EQ(chat->SelectedNick(), "bob");
  EXPECT_FALSE(chat->Menus().PopupMenu->isVisible());

  PressMouse(chat, EntryCentre(chat, 0), Qt::RightButton);
  EXPECT_EQ(chat->SelectedNick(), "@alice");
  EXPECT_TRUE(chat->Menus().PopupMenu->isVisible());
  chat->Menus().PopupMenu->hide();

  // Below the last line the nearest entry is the last one.
  const QRect last = chat->NickNameRichEdit->visualRect(chat->NickNameRichEdit->model()->index(2, 0));
  ASSERT_LT(last.bottom() + 20, chat->NickNameRichEdit->viewport()->height());
  PressMouse(chat, QPoint(last.center().x(), last.bottom() + 20), Qt::MiddleButton);
  EXPECT_EQ(chat->SelectedNick(), "carol");
  EXPECT_EQ(chat->NickNameRichEdit->selectionModel()->selectedIndexes().size(), 1);

  // The menu key opens the pop-up on the chosen entry.
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), chat->NickNameRichEdit->mapToGlobal(QPoint(0, 0)));
  QCoreApplication::sendEvent(chat->NickNameRichEdit, &key);
  EXPECT_TRUE(chat->Menus().PopupMenu->isVisible());
  chat->Menus().PopupMenu->hide();
}

TEST_F(ChatFormTest, PopupCommandsOnAnOperatorAndAPlainMember) {
  TChatForm* chat = OpenChannel();
  // Sorted by rank, then name: "@", "@alice", "+bob", " ", "  carol  ".
  AddMembers(chat, {"@alice", "+bob", "  carol  ", " ", "@"});

  // Nothing chosen: nothing happens.
  chat->Menus().Whois->trigger();
  chat->Menus().VERSION1->trigger();
  chat->Menus().OPTake->trigger();
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(platform.Messages.empty());

  Select(chat, 1);
  chat->Menus().Whois->trigger();
  chat->Menus().OPGive->trigger();
  chat->Menus().OPTake->trigger();
  EXPECT_EQ(Sent, (Lines{"WHOIS alice\r\n", "MODE #c -o alice\r\n"}));
  EXPECT_EQ(platform.Messages, Lines{"@alice" + U8(u8" は、すでにチャンネルオペレーターです。")});

  Sent.clear();
  platform.Messages.clear();
  // A voiced member goes by the nick; the rank is only how it is shown.
  Select(chat, 2);
  chat->Menus().Whois->trigger();
  chat->Menus().OPGive->trigger();
  chat->Menus().OPTake->trigger();
  for (QAction* query : {chat->Menus().VERSION1, chat->Menus().TIME1, chat->Menus().FINGER1, chat->Menus().USERINFO1, chat->Menus().CLIENTINFO1})
    query->trigger();
  EXPECT_EQ(Sent, (Lines{"WHOIS bob\r\n", "MODE #c +o bob\r\n", "PRIVMSG bob :\x01VERSION\x01\r\n",
                         "PRIVMSG bob :\x01TIME\x01\r\n", "PRIVMSG bob :\x01" "FINGER\x01\r\n",
                         "PRIVMSG bob :\x01USERINFO\x01\r\n", "PRIVMSG bob :\x01" "CLIENTINFO\x01\r\n"}));
  EXPECT_EQ(platform.Messages, Lines{"+bob" + U8(u8" はチャンネルオペレーターではありません。")});

  // The entry is trimmed first; a blank entry counts as nothing chosen.
  Sent.clear();
  Select(chat, 3);
  chat->Menus().Whois->trigger();
  chat->Menus().OPGive->trigger();
  Select(chat, 4);
  chat->Menus().Whois->trigger();
  EXPECT_EQ(Sent, Lines{"WHOIS carol\r\n"});
  // A lone "@" leaves no nick: nothing to ask about.
  Select(chat, 0);
  chat->Menus().Whois->trigger();
  EXPECT_EQ(Sent.size(), 1u);
}

TEST_F(ChatFormTest, EachPingDrawsItsOwnTokenAndStampsTheTick) {
  TChatForm* chat = OpenChannel();
  AddMembers(chat, {"@alice"});
  Select(chat, 0);
  platform.Tick = 5000;
  chat->Menus().PING1->trigger();
  EXPECT_EQ(chat->Channel()->PingSentTime, 5000u);
  platform.Tick = 7250;
  chat->Menus().PING1->trigger();
  EXPECT_EQ(chat->Channel()->PingSentTime, 7250u);

  ASSERT_EQ(Sent.size(), 2u);
  const std::string head = "PRIVMSG alice :\x01PING ";
  const std::string tail = "\x01\r\n";
  std::vector<long long> tokens;
  for (const std::string& line : Sent) {
    ASSERT_GT(line.size(), head.size() + tail.size()) << line;
    ASSERT_EQ(line.substr(0, head.size()), head) << line;
    ASSERT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    const std::string digits = line.substr(head.size(), line.size() - head.size() - tail.size());
    ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << line;
    ASSERT_LE(digits.size(), 9u) << line;
    tokens.push_back(std::stoll(digits));
  }
  for (long long token : tokens) {
    EXPECT_GE(token, 0);
    EXPECT_LE(token, 134217726);
  }
  EXPECT_NE(tokens[0], tokens[1]);
}

TEST_F(ChatFormTest, PartOnlyWhileJoined) {
  TChatForm* chat = OpenChannel();
  chat->PartClick();
  chat->PARTSpeedButton->click();
  chat->Menus().Part->trigger();
  EXPECT_TRUE(Sent.empty());

  chat->Channel()->Joined = true;
  chat->PARTSpeedButton->click();
  chat->Menus().Part->trigger();
  EXPECT_EQ(Sent, (Lines{"PART #c\r\n", "PART #c\r\n"}));
  EXPECT_TRUE(chat->isVisible());
}

TEST_F(ChatFormTest, CloseWhileJoinedSendsOnePartPerAttemptAndRefuses) {
  OpenChannel();
  TMainForm& f = *form;
  QPointer<TChatForm> chat = qobject_cast<TChatForm*>(f.FindChildWindow("#c"));
  ASSERT_TRUE(chat);
  chat->Channel()->Joined = true;

  chat->Close1Click();
  chat->CloseFormSpeedButton->click();
  chat->close();  // the window's own close box
  // Quitting asks once for every channel and parts none itself; "No" stays.
  EXPECT_FALSE(f.close());
  DeleteClosed();
  ASSERT_TRUE(chat);
  EXPECT_TRUE(chat->isVisible());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(Sent, Lines(3, "PART #c\r\n"));
  EXPECT_EQ(platform.Messages, Lines(3, CloseRefused));
  EXPECT_EQ(platform.Questions.size(), 1u);
  EXPECT_TRUE(WindowMenuHolds(f, "#c"));

  // Once the server confirmed the PART the window goes, with its entry.
  chat->Channel()->Joined = false;
  Sent.clear();
  chat->Menus().Close1->trigger();
  EXPECT_FALSE(WindowMenuHolds(f, "#c"));
  DeleteClosed();
  EXPECT_FALSE(chat);
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(f.FindChildWindow("#c"), nullptr);

  // With two channels joined, one "Yes" ends the program.
  for (const char* name : {"#a", "#b"}) OpenChannelWindow(name)->Channel()->Joined = true;
  platform.YesNoAnswers = {true};
  EXPECT_TRUE(f.close());
  EXPECT_EQ(platform.Questions.size(), 2u);
  EXPECT_TRUE(Sent.empty());
}

TEST_F(ChatFormTest, ItsMenusTakeTheFramesPlaceWhileActive) {
  TChatForm* chat = OpenChannel();
  TMainForm& f = *form;
  f.MdiArea->setActiveSubWindow(chat);
  EXPECT_EQ(MenuBarTitles(f), (Lines{U8(u8"ファイル"), U8(u8"コマンド"), U8(u8"モード"), U8(u8"設定"),
                                     U8(u8"ウィンドウ"), U8(u8"ヘルプ")}));
  const QList<QAction*> bar = f.menuBar()->actions();
  ASSERT_EQ(bar.size(), 6);
  EXPECT_EQ(bar[0], chat->Menus().File1->menuAction());
  EXPECT_EQ(bar[1], chat->Menus().Command1->menuAction());
  EXPECT_EQ(bar[2], chat->Menus().Mode1->menuAction());
  EXPECT_EQ(bar[3], f.N4->menuAction());

  EXPECT_EQ(Captions(chat->Menus().File1), (Lines{U8(u8"チャンネルに入室"), U8(u8"相手を選定して会話"),
                                          U8(u8"チャンネルから退室"), "-", U8(u8"閉じる"), U8(u8"終了")}));
  EXPECT_EQ(Captions(chat->Menus().Command1),
            (Lines{U8(u8"バージョン( Version )"), U8(u8"管理者情報( Admin )"), "-", U8(u8"参加者情報( Who is )"),
                   U8(u8"過去の参加者( Who was )"), "-", U8(u8"自動不在通知( Away )"), "-", U8(u8"参加確認( Ison )"),
                   U8(u8"参加者一覧( Names )"), U8(u8"チャンネル名一覧( List )"), "-",
                   U8(u8"ニックネーム変更( Nick )"), "-", U8(u8"チャンネルトピック( Topic )"),
                   U8(u8"チャンネルへ招待( Invite )"), U8(u8"チャンネルから追放( Kick )"),
                   U8(u8"参加拒否( Ban Mask )")}));
  EXPECT_EQ(Captions(chat->Menus().Mode1),
            (Lines{U8(u8"ユーザーモード"), "-", U8(u8"チャンネルモード"), "-", U8(u8"送信する文字コード")}));
  // The encoding menu fixes the channel's, and "automatic" frees it again.
  EXPECT_EQ(Captions(chat->Menus().WritingMenu), (Lines{U8(u8"自動（参加者の文字コード）"), "JIS", "Shift-JIS", "UTF-8"}));
  chat->Menus().WritingMenu->actions()[3]->trigger();
  EXPECT_EQ(chat->Channel()->Writing.Chosen, TWireEncoding::Utf8);
  chat->Menus().WritingMenu->actions()[0]->trigger();
  EXPECT_EQ(chat->Channel()->Writing.Chosen, TWireEncoding::Ascii);

  // The items run the main window's own commands.
  chat->Menus().Version2->trigger();
  chat->Menus().Admin1->trigger();
  chat->Menus().Names1->trigger();
  chat->Menus().List1->trigger();
  EXPECT_EQ(Sent, (Lines{"VERSION \r\n", "ADMIN \r\n", "NAMES \r\n", "LIST \r\n"}));
  EXPECT_TRUE(Own().NamesRequested);
  chat->Menus().Join->trigger();
  EXPECT_NE(f.findChild<TChannelForm*>(), nullptr);

  // With no channel window active the frame's menus come back.
  chat->close();
  DeleteClosed();
  ASSERT_EQ(f.menuBar()->actions().size(), 6);
  EXPECT_EQ(f.menuBar()->actions()[0], f.File1->menuAction());
}

TEST_F(ChatFormTest, BanMaskEditorWaitsForTheEndOfTheList) {
  TChatForm* chat = OpenChannel();
  chat->Channel()->BanMaskList = {"old!*@*"};
  chat->Channel()->BanMaskArgs = "x";
  chat->Channel()->BanMaskModes = "+b";
  chat->Menus().BanMask1->trigger();
  EXPECT_EQ(Sent, Lines{"MODE #c +b\r\n"});
  EXPECT_TRUE(chat->Channel()->BanMaskList.empty());
  EXPECT_TRUE(chat->Channel()->BanMaskArgs.empty());
  EXPECT_TRUE(chat->Channel()->BanMaskModes.empty());
  EXPECT_TRUE(chat->Channel()->BanMaskPending);
  QPointer<TMemberEditorForm> editor = chat->findChild<TMemberEditorForm*>();
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->TargetForm.data(), chat);
  EXPECT_EQ(editor->EditMode, "BanMask");
  EXPECT_EQ(StdText(editor->windowTitle()), U8(u8"クライアントの侵入を防ぐBANMASKの設定"));
  EXPECT_EQ(editor->property("helpContext").toInt(), 54);
  EXPECT_FALSE(editor->isVisible());

  // Another window's end of list does not show this window's editor.
  TChatForm* other = OpenChannelWindow("#d");
  other->Channel()->BanMaskPending = true;
  other->ShowBanMaskEditor();
  EXPECT_FALSE(editor->isVisible());
  EXPECT_TRUE(other->Channel()->BanMaskPending);

  chat->Channel()->BanMaskList = {"a!*@*", "b!*@*"};
  chat->ShowBanMaskEditor();
  EXPECT_TRUE(editor->isVisible());
  EXPECT_FALSE(chat->Channel()->BanMaskPending);
  EXPECT_EQ(editor->Entries(), (Lines{"a!*@*", "b!*@*"}));

  // A second end of list is not waited for and changes nothing.
  chat->Channel()->BanMaskList.push_back("c!*@*");
  chat->ShowBanMaskEditor();
  EXPECT_EQ(editor->Entries().size(), 2u);

  // Asking again replaces an editor that still waits unseen.
  other->BanMask1Click();
  QPointer<TMemberEditorForm> waiting = other->findChild<TMemberEditorForm*>();
  ASSERT_TRUE(waiting);
  other->BanMask1Click();
  DeleteClosed();
  EXPECT_FALSE(waiting);
}
