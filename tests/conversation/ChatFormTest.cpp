#include <QApplication>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
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
  return Chat->NickNameRichEdit->visualItemRect(Chat->NickNameRichEdit->item(Row)).center();
}

Lines MenuBarTitles(TMainForm& f) {
  Lines titles;
  for (QAction* a : f.menuBar()->actions()) titles.push_back(ToSjis(a->text()));
  return titles;
}

Lines Captions(QMenu* Menu) {
  Lines captions;
  for (QAction* a : Menu->actions()) captions.push_back(a->isSeparator() ? "-" : ToSjis(a->text()));
  return captions;
}

bool WindowMenuHolds(TMainForm& f, const std::string& Caption) {
  for (QAction* a : f.Window1->actions())
    if (ToSjis(a->text()) == Caption) return true;
  return false;
}

const std::string CloseRefused = Sj(u8"まだ退室を完了していないため、\r\nもう１度”閉じる”操作をしなおしてください。");

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
      Globals().CurrentNick = "me";
    }
    return form->OpenChannelWindow(Channel);
  }

  void Select(TChatForm* Chat, int Row) { PressMouse(Chat, EntryCentre(Chat, Row), Qt::LeftButton); }
};

TEST_F(ChatFormTest, CreationLayoutAndDateLine) {
  TChatForm* chat = OpenChannel();
  EXPECT_EQ(chat->size(), QSize(430, 260));
  EXPECT_EQ(chat->minimumSize(), chat->maximumSize());
  EXPECT_FALSE(chat->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(chat->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(chat->property("helpContext").toInt(), 35);
  EXPECT_EQ(chat->NickNameRichEdit->width(), 126);
  EXPECT_TRUE(chat->RecvRichEdit->isReadOnly());
  EXPECT_EQ(ToSjis(chat->PARTSpeedButton->toolTip()), Sj(u8"チャンネルから離脱する"));
  EXPECT_EQ(ToSjis(chat->CloseFormSpeedButton->toolTip()), Sj(u8"このフォームを閉じる"));
  for (const char* name : {"Panel1", "PARTSpeedButton", "CloseFormSpeedButton", "Panel2", "Label1", "SendEdit",
                           "RecvRichEdit", "NickNameRichEdit", "PopupMenu", "ChannelOperator1", "OPTake", "BanMask1"})
    EXPECT_NE(chat->findChild<QObject*>(QLatin1String(name)), nullptr) << name;

  EXPECT_EQ(chat->RecvLines(), Lines{Sj(u8"日付： ") + "2006/01/02"});
  EXPECT_EQ(chat->RecvLineColor(0), clBlack);
  EXPECT_FALSE(chat->Joined);
  EXPECT_FALSE(chat->ChannelOperator1->isEnabled());
  EXPECT_FALSE(chat->ChannelOperator1->menuAction()->isEnabled());
  EXPECT_EQ(Captions(chat->PopupMenu), (Lines{Sj(u8"参加者情報 ( Who is )"), "-", "CTCP", "-", "DCC", "-",
                                              "Channel Operator"}));
  EXPECT_EQ(Captions(chat->CTCP1), (Lines{"PING", "VERSION", "TIME", "FINGER", "USERINFO", "CLIENTINFO"}));
  EXPECT_EQ(Captions(chat->ChannelOperator1), (Lines{Sj(u8"与える"), Sj(u8"取り上げる")}));
}

TEST_F(ChatFormTest, EnterSendsToTheCaptionAndEchoesEvenWhenNotJoined) {
  TChatForm* chat = OpenChannel("#Chan");
  const std::string text = Sj(u8"  こんにちは、世界  ");
  chat->SendEdit->setText(FromSjis(text));
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

TEST_F(ChatFormTest, EventPaneLinesKeepTheirColours) {
  TChatForm* chat = OpenChannel();
  chat->AddRecvColorLine("green", clGreen);
  chat->AddRecvLine(Sj(u8"黒い行"));
  chat->AddRecvColorLine("", clBlue);
  chat->AddRecvColorLine("blue", clBlue);
  const Lines lines = chat->RecvLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), (Lines{"green", Sj(u8"黒い行"), "", "blue"}));
  EXPECT_EQ(chat->RecvLineColor(1), clGreen);
  EXPECT_EQ(chat->RecvLineColor(2), clBlack);
  EXPECT_EQ(chat->RecvLineColor(3), clBlue);
  EXPECT_EQ(chat->RecvLineColor(4), clBlue);
  EXPECT_FALSE(chat->RecvLineColor(5).isValid());

  // Trimming by the handlers leaves the newest lines in their colours.
  for (int i = 0; i < 300; ++i) chat->AddRecvColorLine(std::to_string(i), i % 2 ? clGreen : clBlue);
  TMainForm::KeepLastLines(chat->RecvRichEdit);
  ASSERT_EQ(chat->RecvLines().size(), 256u);
  EXPECT_EQ(chat->RecvLines().front(), "44");
  EXPECT_EQ(chat->RecvLineColor(0), clBlue);
  EXPECT_EQ(chat->RecvLineColor(255), clGreen);

  // After the pane was emptied the next line is its first, not a blank one.
  chat->RecvRichEdit->clear();
  EXPECT_TRUE(chat->RecvLines().empty());
  chat->AddRecvColorLine("again", clGreen);
  EXPECT_EQ(chat->RecvLines(), Lines{"again"});
  EXPECT_EQ(chat->RecvLineColor(0), clGreen);
}

TEST_F(ChatFormTest, MemberPaneFindsWithoutCaseAndReplacesColourAndText) {
  TChatForm* chat = OpenChannel();
  chat->AddNickColorLine("@Alice", clRed);
  chat->AddNickLine("bob");
  chat->AddNickLine("carol");
  EXPECT_EQ(chat->FindNick("@ALICE"), 0);
  EXPECT_EQ(chat->FindNick("alice"), -1);  // listed as an operator only
  EXPECT_EQ(chat->FindLastNick("Carol"), 2);
  EXPECT_EQ(chat->FindNick("dave"), -1);
  // The same member listed again, in any case: one entry, the latest.
  chat->AddNickColorLine("alice", clBlack);
  chat->AddNickColorLine("ALICE", clGreen);
  ASSERT_EQ(chat->NickCount(), 3);
  EXPECT_EQ(chat->FindNick("alice"), 0);
  EXPECT_EQ(chat->FindNick("@alice"), -1);
  EXPECT_EQ(chat->NickAt(0), "ALICE");
  EXPECT_EQ(chat->NickColorAt(0), clGreen);

  chat->ReplaceNick(1, "@bobby", clRed);
  EXPECT_EQ(chat->NickAt(1), "@bobby");
  EXPECT_EQ(chat->NickColorAt(1), clRed);
  EXPECT_EQ(chat->NickNameRichEdit->item(1)->foreground().color(), clRed);
  chat->DeleteNick(17);
  chat->DeleteNick(-1);
  chat->ReplaceNick(9, "x", clRed);
  ASSERT_EQ(chat->NickCount(), 3);
  EXPECT_EQ(chat->NickAt(2), "carol");
  EXPECT_EQ(chat->NickAt(5), "");
  // Renamed to a member listed already: the two are one.
  chat->ReplaceNick(2, "Alice", clBlack);
  ASSERT_EQ(chat->NickCount(), 2);
  EXPECT_EQ(chat->FindNick("alice"), 1);

  // Bytes that do not decode come back as they went in.
  const std::string odd = "\x81\x7f\xfd";
  chat->AddNickLine(odd);
  EXPECT_EQ(chat->FindNick(odd), 2);
  EXPECT_EQ(chat->FindNick("bob"), -1);  // renamed away
  EXPECT_EQ(chat->FindNick("@BOBBY"), 0);
  chat->ClearNicks();
  EXPECT_EQ(chat->NickCount(), 0);
  EXPECT_EQ(chat->FindNick(odd), -1);
}

TEST_F(ChatFormTest, MemberLookupsAgreeWithAScanThroughEveryChange) {
  TChatForm* chat = OpenChannel();
  auto scan = [&](const std::string& Nick, bool Last) {
    int found = -1;
    for (int i = 0; i < chat->NickCount(); ++i)
      if (SjisSameText(chat->NickAt(i), Nick) && (Last || found < 0)) found = i;
    return found;
  };
  // A netsplit-sized pane with repeated and differently cased names,
  // then renames and removals in a fixed pseudo-random order.
  for (int i = 0; i < 3000; ++i) chat->AddNickLine((i % 3 ? "n" : "N") + std::to_string(i % 1000));
  unsigned seed = 7;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int step = 0; step < 600; ++step) {
    const int row = static_cast<int>(next() % static_cast<unsigned>(chat->NickCount()));
    if (step % 3 == 0)
      chat->ReplaceNick(row, "r" + std::to_string(next() % 50), clRed);
    else
      chat->DeleteNick(row);
  }
  for (int i = 0; i < 1000; i += 7)
    for (const std::string& nick : {"N" + std::to_string(i), "r" + std::to_string(i % 50)}) {
      EXPECT_EQ(chat->FindNick(nick), scan(nick, false)) << nick;
      EXPECT_EQ(chat->FindLastNick(nick), scan(nick, true)) << nick;
    }
}

TEST_F(ChatFormTest, AnyButtonSelectsTheWholeEntryUnderThePointer) {
  TChatForm* chat = OpenChannel();
  for (const char* nick : {"@alice", "bob", "carol"}) chat->AddNickLine(nick);
  EXPECT_EQ(chat->SelectedNick(), "");

  PressMouse(chat, EntryCentre(chat, 1), Qt::LeftButton);
  EXPECT_EQ(chat->SelectedNick(), "bob");
  EXPECT_FALSE(chat->PopupMenu->isVisible());

  PressMouse(chat, EntryCentre(chat, 0), Qt::RightButton);
  EXPECT_EQ(chat->SelectedNick(), "@alice");
  EXPECT_TRUE(chat->PopupMenu->isVisible());
  chat->PopupMenu->hide();

  // Below the last line the nearest entry is the last one.
  const QRect last = chat->NickNameRichEdit->visualItemRect(chat->NickNameRichEdit->item(2));
  ASSERT_LT(last.bottom() + 20, chat->NickNameRichEdit->viewport()->height());
  PressMouse(chat, QPoint(last.center().x(), last.bottom() + 20), Qt::MiddleButton);
  EXPECT_EQ(chat->SelectedNick(), "carol");
  EXPECT_EQ(chat->NickNameRichEdit->selectedItems().size(), 1);

  // The menu key opens the pop-up on the chosen entry.
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), chat->NickNameRichEdit->mapToGlobal(QPoint(0, 0)));
  QCoreApplication::sendEvent(chat->NickNameRichEdit, &key);
  EXPECT_TRUE(chat->PopupMenu->isVisible());
  chat->PopupMenu->hide();
}

TEST_F(ChatFormTest, PopupCommandsOnAnOperatorAndAPlainMember) {
  TChatForm* chat = OpenChannel();
  for (const char* nick : {"@alice", "bob", "  carol  ", " ", "@"}) chat->AddNickLine(nick);

  // Nothing chosen: nothing happens.
  chat->Whois->trigger();
  chat->VERSION1->trigger();
  chat->OPTake->trigger();
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(platform.Messages.empty());

  Select(chat, 0);
  chat->Whois->trigger();
  chat->OPGive->trigger();
  chat->OPTake->trigger();
  EXPECT_EQ(Sent, (Lines{"WHOIS alice\r\n", "MODE #c -o alice\r\n"}));
  EXPECT_EQ(platform.Messages, Lines{"@alice" + Sj(u8" は、すでにチャンネルオペレーターです。")});

  Sent.clear();
  platform.Messages.clear();
  Select(chat, 1);
  chat->Whois->trigger();
  chat->OPGive->trigger();
  chat->OPTake->trigger();
  for (QAction* query : {chat->VERSION1, chat->TIME1, chat->FINGER1, chat->USERINFO1, chat->CLIENTINFO1})
    query->trigger();
  EXPECT_EQ(Sent, (Lines{"WHOIS bob\r\n", "MODE #c +o bob\r\n", "PRIVMSG bob :\x01VERSION\x01\r\n",
                         "PRIVMSG bob :\x01TIME\x01\r\n", "PRIVMSG bob :\x01" "FINGER\x01\r\n",
                         "PRIVMSG bob :\x01USERINFO\x01\r\n", "PRIVMSG bob :\x01" "CLIENTINFO\x01\r\n"}));
  EXPECT_EQ(platform.Messages, Lines{"bob" + Sj(u8" はチャンネルオペレーターではありません。")});

  // The entry is trimmed first; a blank entry counts as nothing chosen.
  Sent.clear();
  Select(chat, 2);
  chat->Whois->trigger();
  Select(chat, 3);
  chat->Whois->trigger();
  chat->OPGive->trigger();
  EXPECT_EQ(Sent, Lines{"WHOIS carol\r\n"});
  // A lone "@" leaves an empty nick, which is still sent.
  Select(chat, 4);
  chat->Whois->trigger();
  EXPECT_EQ(Sent.back(), "WHOIS \r\n");
}

TEST_F(ChatFormTest, EachPingDrawsItsOwnTokenAndStampsTheTick) {
  TChatForm* chat = OpenChannel();
  chat->AddNickLine("@alice");
  Select(chat, 0);
  platform.Tick = 5000;
  chat->PING1->trigger();
  EXPECT_EQ(chat->PingSentTime, 5000u);
  platform.Tick = 7250;
  chat->PING1->trigger();
  EXPECT_EQ(chat->PingSentTime, 7250u);

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
  chat->Part->trigger();
  EXPECT_TRUE(Sent.empty());

  chat->Joined = true;
  chat->PARTSpeedButton->click();
  chat->Part->trigger();
  EXPECT_EQ(Sent, (Lines{"PART #c\r\n", "PART #c\r\n"}));
  EXPECT_TRUE(chat->isVisible());
}

TEST_F(ChatFormTest, CloseWhileJoinedSendsOnePartPerAttemptAndRefuses) {
  OpenChannel();
  TMainForm& f = *form;
  QPointer<TChatForm> chat = qobject_cast<TChatForm*>(f.FindChildWindow("#c"));
  ASSERT_TRUE(chat);
  chat->Joined = true;

  chat->Close1Click();
  chat->CloseFormSpeedButton->click();
  chat->close();  // the window's own close box
  f.close();      // the main window's exit asks the channel window too
  DeleteClosed();
  ASSERT_TRUE(chat);
  EXPECT_TRUE(chat->isVisible());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(Sent, Lines(4, "PART #c\r\n"));
  EXPECT_EQ(platform.Messages, Lines(4, CloseRefused));
  EXPECT_TRUE(WindowMenuHolds(f, "#c"));

  // Once the server confirmed the PART the window goes, with its entry.
  chat->Joined = false;
  Sent.clear();
  chat->Close1->trigger();
  EXPECT_FALSE(WindowMenuHolds(f, "#c"));
  DeleteClosed();
  EXPECT_FALSE(chat);
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(f.FindChildWindow("#c"), nullptr);
}

TEST_F(ChatFormTest, ALostConnectionClosesJoinedWindowsWithoutPart) {
  OpenChannel("#a");
  TMainForm& f = *form;
  QPointer<TChatForm> a = qobject_cast<TChatForm*>(f.FindChildWindow("#a"));
  QPointer<TChatForm> b = f.OpenChannelWindow("#b");
  a->Joined = b->Joined = true;
  f.ConnectionClosed();
  DeleteClosed();
  EXPECT_FALSE(a);
  EXPECT_FALSE(b);
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_FALSE(WindowMenuHolds(f, "#a"));
}

TEST_F(ChatFormTest, ItsMenusTakeTheFramesPlaceWhileActive) {
  TChatForm* chat = OpenChannel();
  TMainForm& f = *form;
  f.MdiArea->setActiveSubWindow(chat);
  EXPECT_EQ(MenuBarTitles(f), (Lines{Sj(u8"ファイル"), Sj(u8"コマンド"), Sj(u8"モード"), Sj(u8"設定"),
                                     Sj(u8"ウィンドウ"), Sj(u8"ヘルプ")}));
  const QList<QAction*> bar = f.menuBar()->actions();
  ASSERT_EQ(bar.size(), 6);
  EXPECT_EQ(bar[0], chat->File1->menuAction());
  EXPECT_EQ(bar[1], chat->Command1->menuAction());
  EXPECT_EQ(bar[2], chat->Mode1->menuAction());
  EXPECT_EQ(bar[3], f.N4->menuAction());

  EXPECT_EQ(Captions(chat->File1), (Lines{Sj(u8"チャンネルに入室"), Sj(u8"相手を選定して会話"),
                                          Sj(u8"チャンネルから退室"), "-", Sj(u8"閉じる"), Sj(u8"終了")}));
  EXPECT_EQ(Captions(chat->Command1),
            (Lines{Sj(u8"バージョン( Version )"), Sj(u8"管理者情報( Admin )"), "-", Sj(u8"参加者情報( Who is )"),
                   Sj(u8"過去の参加者( Who was )"), "-", Sj(u8"自動不在通知( Away )"), "-", Sj(u8"参加確認( Ison )"),
                   Sj(u8"参加者一覧( Names )"), Sj(u8"チャンネル名一覧( List )"), "-",
                   Sj(u8"ニックネーム変更( Nick )"), "-", Sj(u8"チャンネルトピック( Topic )"),
                   Sj(u8"チャンネルへ招待( Invite )"), Sj(u8"チャンネルから追放( Kick )"),
                   Sj(u8"参加拒否( Ban Mask )")}));
  EXPECT_EQ(Captions(chat->Mode1), (Lines{Sj(u8"ユーザーモード"), "-", Sj(u8"チャンネルモード")}));

  // The items run the main window's own commands.
  chat->Version2->trigger();
  chat->Admin1->trigger();
  chat->Names1->trigger();
  chat->List1->trigger();
  EXPECT_EQ(Sent, (Lines{"VERSION \r\n", "ADMIN \r\n", "NAMES \r\n", "LIST \r\n"}));
  EXPECT_TRUE(Globals().NamesRequested);
  chat->Join->trigger();
  EXPECT_NE(f.findChild<TChannelForm*>(), nullptr);

  // With no channel window active the frame's menus come back.
  chat->close();
  DeleteClosed();
  ASSERT_EQ(f.menuBar()->actions().size(), 6);
  EXPECT_EQ(f.menuBar()->actions()[0], f.File1->menuAction());
}

TEST_F(ChatFormTest, BanMaskEditorWaitsForTheEndOfTheList) {
  TChatForm* chat = OpenChannel();
  chat->BanMaskList = {"old!*@*"};
  chat->BanMaskArgs = "x";
  chat->BanMaskModes = "+b";
  chat->BanMask1->trigger();
  EXPECT_EQ(Sent, Lines{"MODE #c +b\r\n"});
  EXPECT_TRUE(chat->BanMaskList.empty());
  EXPECT_TRUE(chat->BanMaskArgs.empty());
  EXPECT_TRUE(chat->BanMaskModes.empty());
  EXPECT_TRUE(chat->BanMaskPending);
  QPointer<TMemberEditorForm> editor = TChatForm::PendingBanMaskEditor;
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->parent(), chat);
  EXPECT_EQ(editor->TargetForm.data(), chat);
  EXPECT_EQ(editor->EditMode, "BanMask");
  EXPECT_EQ(ToSjis(editor->windowTitle()), Sj(u8"クライアントの侵入を防ぐBANMASKの設定"));
  EXPECT_EQ(editor->property("helpContext").toInt(), 54);
  EXPECT_FALSE(editor->isVisible());

  // Another window's end of list does not show this window's editor.
  TChatForm* other = form->OpenChannelWindow("#d");
  other->BanMaskPending = true;
  other->ShowBanMaskEditor();
  EXPECT_FALSE(editor->isVisible());
  EXPECT_TRUE(other->BanMaskPending);

  chat->BanMaskList = {"a!*@*", "b!*@*"};
  chat->ShowBanMaskEditor();
  EXPECT_TRUE(editor->isVisible());
  EXPECT_FALSE(chat->BanMaskPending);
  EXPECT_EQ(editor->Entries(), (Lines{"a!*@*", "b!*@*"}));

  // A second end of list is not waited for and changes nothing.
  chat->BanMaskList.push_back("c!*@*");
  chat->ShowBanMaskEditor();
  EXPECT_EQ(editor->Entries().size(), 2u);

  // The slot empties with the window that owns its editor.
  other->BanMask1Click();
  QPointer<TMemberEditorForm> others = TChatForm::PendingBanMaskEditor;
  ASSERT_TRUE(others);
  EXPECT_NE(others, editor);
  other->close();
  DeleteClosed();
  EXPECT_FALSE(TChatForm::PendingBanMaskEditor);
  chat->BanMaskPending = true;
  chat->ShowBanMaskEditor();
  EXPECT_TRUE(chat->BanMaskPending);
}
