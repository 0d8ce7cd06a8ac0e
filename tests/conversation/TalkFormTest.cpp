#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>

#include "MainFormFixture.h"
#include "conversation/MemberEditor.h"
#include "conversation/Talk.h"
#include "conversation/UserMode.h"

using namespace tavi;
using namespace tavi::test;

namespace {

void PressKey(QWidget* Target, int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
  QKeyEvent event(QEvent::KeyPress, Key, Modifiers);
  QCoreApplication::sendEvent(Target, &event);
}

void Type(TTalkForm* Talk, const std::string& Text) {
  Talk->SendEdit->setText(QText(Text));
  PressKey(Talk->SendEdit, Qt::Key_Return);
}

std::vector<std::string> MenuBarTitles(TMainForm& F) {
  std::vector<std::string> titles;
  for (QAction* a : F.menuBar()->actions()) titles.push_back(StdText(a->text()));
  return titles;
}

std::vector<std::string> WindowEntries(TMainForm& F) {
  std::vector<std::string> entries;
  for (QAction* a : F.Window1->actions())
    if (!a->isSeparator()) entries.push_back(StdText(a->text()));
  return entries;
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

using TalkFormTest = MainFormFixture;

TEST_F(TalkFormTest, CreationGivesTheDateLineAndTheLayout) {
  TMainForm& f = MakeForm();
  TTalkForm* talk = OpenTalkWindow("bob,alice");
  EXPECT_EQ(talk->Caption(), "bob,alice");
  EXPECT_EQ(talk->RecvLines(), (std::vector<std::string>{U8(u8"日付： ") + "2006/01/02"}));
  EXPECT_TRUE(talk->NickNames().empty());
  EXPECT_TRUE(talk->Query()->MemberList.empty());
  EXPECT_EQ(talk->size(), QSize(430, 260));
  EXPECT_EQ(talk->property("helpContext").toInt(), 61);
  EXPECT_TRUE(talk->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(talk->RecvMemo->isReadOnly());
  EXPECT_TRUE(talk->NickNameMemo->isReadOnly());
  for (QWidget* w : std::initializer_list<QWidget*>{talk->RecvMemo, talk->NickNameMemo, talk->SendEdit})
    EXPECT_EQ(w->font().pixelSize(), 16) << w->objectName().toStdString();
  EXPECT_EQ(StdText(talk->CloseFormSpeedButton->toolTip()), U8(u8"このフォームを閉じる"));
  EXPECT_EQ(StdText(talk->Label1->text()), U8(u8"発言："));
  for (const char* name : {"Panel1", "CloseFormSpeedButton", "RecvMemo", "NickNameMemo", "Panel2", "Label1",
                           "SendEdit", "File1", "Join", "TalkMenu", "Close1", "Exit1", "Mode1", "UserModeMenu",
                           "Member1", "AddDeleteMember"})
    EXPECT_NE(talk->findChild<QObject*>(QLatin1String(name)), nullptr) << name;
  EXPECT_EQ(talk->WindowMenuItem, f.Window1->actions().back());
  EXPECT_EQ(StdText(talk->WindowMenuItem->text()), "bob,alice");
}

TEST_F(TalkFormTest, EnterSendsOneLineToAllMembersAndEchoes) {
  MakeForm();
  Grobal().UTF8Choice = true;  // sent texts compare with their literals
  Own().CurrentNick = "me";
  platform.Time.Hour = 23;
  platform.Time.Minute = 4;
  TTalkForm* talk = OpenTalkWindow("bob,alice");

  PressKey(talk->SendEdit, Qt::Key_Return);  // empty: nothing
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(talk->RecvLines().size(), 1u);

  Type(talk, " hi  there ");
  talk->SendEdit->setText(QText(U8(u8"こんにちは")));
  PressKey(talk->SendEdit, Qt::Key_Enter, Qt::ShiftModifier);
  talk->SendEdit->setText(QStringLiteral("x"));
  PressKey(talk->SendEdit, Qt::Key_A);  // other keys only type
  EXPECT_EQ(Sent, (std::vector<std::string>{"PRIVMSG bob,alice : hi  there \r\n",
                                            "PRIVMSG bob,alice :" + U8(u8"こんにちは") + "\r\n"}));
  const std::vector<std::string> lines = talk->RecvLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "23:04 [me]  hi  there ");
  EXPECT_EQ(lines[2], "23:04 [me] " + U8(u8"こんにちは"));
  EXPECT_EQ(talk->SendEdit->text(), QStringLiteral("x"));

  talk->SendEditKeyDown(TTalkForm::EnterKey);
  EXPECT_EQ(Sent.back(), "PRIVMSG bob,alice :x\r\n");
  EXPECT_TRUE(talk->SendEdit->text().isEmpty());
}

TEST_F(TalkFormTest, ChangingMembersKeepsTheHistoryAndRenamesTheWindow) {
  TMainForm& f = MakeForm();
  Own().CurrentNick = "me";
  TTalkForm* other = OpenTalkWindow("dave");
  TTalkForm* talk = OpenTalkWindow("bob,alice");
  talk->Query()->MemberList = {"bob", "alice"};
  talk->Query()->AddSpeaker("bob");
  talk->QueryChanged();
  Type(talk, "before");
  const std::vector<std::string> linesBefore = talk->RecvLines();

  talk->AddDeleteMember->trigger();
  auto* editor = talk->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->parent(), talk);
  EXPECT_EQ(StdText(editor->windowTitle()), U8(u8"会話相手を選定"));
  EXPECT_EQ(StdText(editor->Label1->text()), U8(u8"会話相手："));
  EXPECT_EQ(StdText(editor->Label2->text()), U8(u8"会話相手のリスト："));
  EXPECT_EQ(editor->EditMode, "TalkMember");
  EXPECT_EQ(editor->TargetForm.data(), talk);
  EXPECT_EQ(editor->property("helpContext").toInt(), 60);
  EXPECT_EQ(editor->Entries(), (std::vector<std::string>{"bob", "alice"}));

  editor->MemberListBox->clear();
  editor->MemberEdit->setText(QStringLiteral("carol"));
  editor->AddButton->click();
  editor->ChangeButton->click();

  EXPECT_EQ(talk->Caption(), "carol");
  EXPECT_EQ(talk->Query()->MemberList, (std::vector<std::string>{"carol"}));
  EXPECT_EQ(talk->RecvLines(), linesBefore);
  EXPECT_EQ(talk->NickNames(), (std::vector<std::string>{"bob"}));
  EXPECT_EQ(StdText(talk->WindowMenuItem->text()), "carol");
  EXPECT_EQ(StdText(other->WindowMenuItem->text()), "dave");
  EXPECT_EQ(f.FindChildWindow("carol"), talk);
  EXPECT_EQ(f.FindChildWindow("bob,alice"), nullptr);

  Sent.clear();
  Type(talk, "after");
  EXPECT_EQ(Sent, (std::vector<std::string>{"PRIVMSG carol :after\r\n"}));

  // A "&" in the members is shown as itself, and found again next time.
  DeleteClosed();
  talk->AddDeleteMember->trigger();
  editor = talk->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  editor->SetEntries({"a&b", "c"});
  editor->ChangeButton->click();
  EXPECT_EQ(talk->WindowMenuItem->text(), QStringLiteral("a&&b,c"));
  DeleteClosed();
  talk->AddDeleteMember->trigger();
  editor = talk->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  editor->SetEntries({"e"});
  editor->ChangeButton->click();
  const std::vector<std::string> entries = WindowEntries(f);
  EXPECT_EQ(entries.back(), "e");
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "a&&b,c"), 0);
}

TEST_F(TalkFormTest, ClosingNeverAsks) {
  TMainForm& f = MakeForm();
  TTalkForm* first = OpenTalkWindow("bob");
  TTalkForm* second = OpenTalkWindow("carol");
  QPointer<TTalkForm> watchFirst(first), watchSecond(second);
  first->Close1->trigger();
  second->CloseFormSpeedButton->click();
  DeleteClosed();
  EXPECT_TRUE(watchFirst.isNull());
  EXPECT_TRUE(watchSecond.isNull());
  EXPECT_TRUE(platform.Questions.empty());
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_TRUE(Sent.empty());
  const std::vector<std::string> entries = WindowEntries(f);
  EXPECT_TRUE(std::none_of(entries.begin(), entries.end(), [](const std::string& E) { return E.find("bob") != std::string::npos; }));
  EXPECT_EQ(entries.front(), U8(u8"整列させて表示"));

  // The main window's exit does not stop at a talk window either.
  OpenTalkWindow("dave");
  EXPECT_TRUE(f.close());
}

TEST_F(TalkFormTest, MenusMergeWhileActiveAndCallTheMainCommands) {
  TMainForm& f = MakeForm();
  f.show();
  TTalkForm* talk = OpenTalkWindow("bob");
  f.MdiArea->setActiveSubWindow(talk);
  f.activateWindow();
  PumpUntil([&] { return QApplication::focusWidget() != nullptr; }, 3000);
  EXPECT_EQ(QApplication::focusWidget(), talk->SendEdit);
  f.MergeChildMenus();
  EXPECT_EQ(MenuBarTitles(f), (std::vector<std::string>{U8(u8"ファイル"), U8(u8"コマンド"), U8(u8"モード"),
                                                         U8(u8"メンバー"), U8(u8"設定"), U8(u8"ウィンドウ"),
                                                         U8(u8"ヘルプ")}));
  ASSERT_EQ(f.menuBar()->actions().size(), 7);
  EXPECT_EQ(f.menuBar()->actions()[0], talk->File1->menuAction());
  EXPECT_EQ(f.menuBar()->actions()[1], f.Command1->menuAction());
  EXPECT_EQ(f.menuBar()->actions()[2], talk->Mode1->menuAction());
  EXPECT_EQ(StdText(talk->AddDeleteMember->text()), U8(u8"メンバーの変更"));
  EXPECT_EQ(talk->File1->actions().size(), 5);  // four items and a separator

  // The items run the main window's own commands.
  talk->UserModeMenu->trigger();
  EXPECT_NE(f.findChild<TUserModeForm*>(), nullptr);

  talk->TalkMenu->trigger();
  auto* editor = f.findChild<TMemberEditorForm*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->EditMode, "TalkMember");
  EXPECT_EQ(editor->TargetForm.data(), nullptr);
  editor->CloseButtonClick();

  talk->close();
  DeleteClosed();
  f.MergeChildMenus();
  EXPECT_EQ(f.menuBar()->actions()[0], f.File1->menuAction());
  EXPECT_EQ(f.menuBar()->actions().size(), 6);
}

TEST_F(TalkFormTest, ThePanesShowTheSpeakersAndKeepTheLastLines) {
  MakeForm();
  TTalkForm* talk = OpenTalkWindow("bob");
  TQuery& query = *talk->Query();
  query.AddSpeaker("Bob");
  query.AddSpeaker("ann");
  query.ReplaceSpeaker("BOB", "robert");
  query.RemoveSpeaker("nobody");
  talk->QueryChanged();
  EXPECT_EQ(talk->NickNames(), (std::vector<std::string>{"robert", "ann"}));
  EXPECT_TRUE(query.HasSpeaker("ANN"));
  EXPECT_FALSE(query.HasSpeaker("an"));
  for (int i = 0; i < 300; ++i) talk->ShowLine(QString::number(i));
  ASSERT_EQ(talk->RecvLines().size(), std::size_t(TConnection::KeptLines));
  EXPECT_EQ(talk->RecvLines().back(), "299");
}
