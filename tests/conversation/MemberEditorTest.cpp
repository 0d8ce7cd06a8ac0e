#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "conversation/MemberEditor.h"
#include "conversation/Talk.h"

using namespace tavi;
using namespace tavi::test;

namespace {

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void Add(TMemberEditorForm* Editor, const std::string& Entry) {
  Editor->MemberEdit->setText(QText(Entry));
  Editor->AddButton->click();
}

struct TExpectedSetup {
  std::u8string_view Caption, Label1, Label2;
  std::string Mode;
  int HelpContext;
  std::u8string_view ChangeCaption;
};

void ExpectSetup(TMemberEditorForm* Editor, const TExpectedSetup& E) {
  EXPECT_EQ(StdText(Editor->windowTitle()), U8(E.Caption));
  EXPECT_EQ(StdText(Editor->Label1->text()), U8(E.Label1));
  EXPECT_EQ(StdText(Editor->Label2->text()), U8(E.Label2));
  EXPECT_EQ(Editor->EditMode, E.Mode);
  EXPECT_EQ(Editor->property("helpContext").toInt(), E.HelpContext);
  EXPECT_EQ(StdText(Editor->ChangeButton->text()), U8(E.ChangeCaption));
  EXPECT_EQ(Editor->TargetForm.data(), nullptr);
  EXPECT_TRUE(Editor->isVisible());
}

}  // namespace

class MemberEditorTest : public MainFormFixture {
 protected:
  // The editor the main window's commands opened.
  TMemberEditorForm* MainEditor() {
    for (QObject* child : form->children())
      if (auto* editor = qobject_cast<TMemberEditorForm*>(child); editor && !editor->IsClosed()) return editor;
    return nullptr;
  }
};

TEST_F(MemberEditorTest, TheMainWindowsOpenersSetItUp) {
  TMainForm& f = MakeForm();
  auto* fresh = new TMemberEditorForm(&f, Connection());
  EXPECT_EQ(StdText(fresh->windowTitle()), U8(u8"会話相手を選定"));
  EXPECT_EQ(StdText(fresh->Label1->text()), U8(u8"会話相手："));
  EXPECT_EQ(StdText(fresh->Label2->text()), U8(u8"会話相手のリスト："));
  EXPECT_EQ(fresh->property("helpContext").toInt(), 60);
  EXPECT_EQ(fresh->size(), QSize(303, 208));
  EXPECT_TRUE(fresh->testAttribute(Qt::WA_DeleteOnClose));
  for (const char* name : {"Label1", "MemberEdit", "Label2", "MemberListBox", "AddButton", "DeleteButton",
                           "ChangeButton", "CloseButton"})
    EXPECT_NE(fresh->findChild<QObject*>(QLatin1String(name)), nullptr) << name;
  EXPECT_EQ(StdText(fresh->AddButton->text()), U8(u8"追加"));
  EXPECT_EQ(StdText(fresh->DeleteButton->text()), U8(u8"削除"));
  EXPECT_EQ(StdText(fresh->CloseButton->text()), U8(u8"閉じる"));

  // The main window's one editor is the one already there.
  f.TalkSpeedButton->setEnabled(true);
  f.TalkSpeedButton->click();
  EXPECT_EQ(MainEditor(), fresh);
  ExpectSetup(fresh, {u8"会話相手を選定", u8"会話相手：", u8"会話相手のリスト：", "TalkMember", 60, u8"変更"});
  EXPECT_TRUE(fresh->Entries().empty());
  fresh->CloseButton->click();

  // A closed editor is not taken again, even before it is gone.
  f.IsonCmd->trigger();
  TMemberEditorForm* ison = MainEditor();
  ASSERT_NE(ison, nullptr);
  EXPECT_NE(ison, fresh);
  ExpectSetup(ison, {u8"ニックネームがチャットしているか検索", u8"検索ニックネーム：", u8"検索ニックネームのリスト：",
                     "ISON", 50, u8"検索"});
  ison->CloseButtonClick();
  DeleteClosed();

  session->Connection().RecieveDenyList = {"troll", "Spam"};
  f.RecieveDenyMenu->trigger();
  TMemberEditorForm* deny = MainEditor();
  ASSERT_NE(deny, nullptr);
  ExpectSetup(deny, {u8"着信拒否相手を設定", u8"拒否相手：", u8"拒否相手のリスト：", "RecieveDeny", 16, u8"変更"});
  EXPECT_EQ(deny->Entries(), (std::vector<std::string>{"troll", "Spam"}));
}

TEST_F(MemberEditorTest, TalkMembersFromTheMainWindowOpenATalkWindow) {
  TMainForm& f = MakeForm();
  f.TalkMenuClick();
  TMemberEditorForm* editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  QPointer<TMemberEditorForm> watch(editor);
  Add(editor, "ann");
  Add(editor, "");  // nothing to add
  Add(editor, "bob");
  EXPECT_EQ(editor->Entries(), (std::vector<std::string>{"ann", "bob"}));
  EXPECT_TRUE(editor->MemberEdit->text().isEmpty());
  editor->ChangeButton->click();

  auto* talk = qobject_cast<TTalkForm*>(f.FindChildWindow("ann,bob"));
  ASSERT_NE(talk, nullptr);
  EXPECT_EQ(talk->Query()->MemberList, (std::vector<std::string>{"ann", "bob"}));
  EXPECT_EQ(StdText(talk->WindowMenuItem->text()), "ann,bob");
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(editor->IsClosed());
  DeleteClosed();
  EXPECT_TRUE(watch.isNull());

  // An empty list opens nothing.
  f.TalkMenuClick();
  MainEditor()->ChangeButtonClick();
  EXPECT_EQ(f.ChildWindows().size(), 1u);
}

TEST_F(MemberEditorTest, AnEmptyListLeavesAnExistingTalkWindowAlone) {
  TMainForm& f = MakeForm();
  TTalkForm* talk = OpenTalkWindow("bob,alice");
  talk->Query()->MemberList = {"bob", "alice"};
  talk->AddDeleteMemberClick();
  auto* editor = talk->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  editor->MemberListBox->setCurrentRow(0);
  editor->DeleteButton->click();
  editor->MemberListBox->setCurrentRow(0);
  editor->DeleteButton->click();
  ASSERT_EQ(editor->MemberListBox->count(), 0);
  editor->ChangeButton->click();
  EXPECT_TRUE(editor->IsClosed());
  EXPECT_EQ(talk->Caption(), "bob,alice");
  EXPECT_EQ(talk->Query()->MemberList, (std::vector<std::string>{"bob", "alice"}));
  EXPECT_EQ(StdText(talk->WindowMenuItem->text()), "bob,alice");
  EXPECT_EQ(f.ChildWindows().size(), 1u);
}

TEST_F(MemberEditorTest, BanMasksGoOutInOneModeLine) {
  MakeForm();
  Grobal().UTF8Choice = true;  // sent texts compare with their literals
  TChatForm* chat = OpenChannelWindow("#c");
  auto makeEditor = [&] {
    auto* editor = new TMemberEditorForm(chat, Connection());
    editor->Setup(U8(u8"クライアントの侵入を防ぐBANMASKの設定"), U8(u8"拒否相手："), U8(u8"拒否相手のリスト："),
                  "BanMask", chat, 54);
    return editor;
  };

  // The channel window's own request: the editor shows with the list.
  chat->BanMask1Click();
  ASSERT_EQ(Sent, (std::vector<std::string>{"MODE #c +b\r\n"}));
  Sent.clear();
  chat->Channel()->BanMaskList = {"m0", "x!*@*"};
  chat->ShowBanMaskEditor();
  TMemberEditorForm* editor = chat->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->parent(), chat);
  EXPECT_EQ(StdText(editor->windowTitle()), U8(u8"クライアントの侵入を防ぐBANMASKの設定"));
  EXPECT_EQ(StdText(editor->Label1->text()), U8(u8"拒否相手："));
  EXPECT_EQ(StdText(editor->Label2->text()), U8(u8"拒否相手のリスト："));
  EXPECT_EQ(editor->EditMode, "BanMask");
  EXPECT_EQ(editor->TargetForm.data(), chat);
  EXPECT_EQ(editor->property("helpContext").toInt(), 54);
  EXPECT_EQ(StdText(editor->ChangeButton->text()), U8(u8"変更"));
  Add(editor, "m1");
  editor->DeleteButton->click();  // nothing selected: nothing happens
  EXPECT_EQ(editor->MemberListBox->count(), 3);
  editor->MemberListBox->setCurrentRow(0);
  editor->DeleteButton->click();
  EXPECT_EQ(editor->Entries(), (std::vector<std::string>{"x!*@*", "m1"}));
  EXPECT_EQ(chat->Channel()->BanMaskArgs, "m1 m0");
  EXPECT_EQ(chat->Channel()->BanMaskModes, "+b-b");
  editor->ChangeButton->click();
  EXPECT_EQ(Sent, (std::vector<std::string>{"MODE #c +b-b m1 m0\r\n"}));
  EXPECT_TRUE(editor->IsClosed());

  // With nothing changed the line still goes, with its two blanks.
  chat->Channel()->BanMaskArgs.clear();
  chat->Channel()->BanMaskModes.clear();
  Sent.clear();
  editor = makeEditor();
  editor->SetEntries({"m0"});
  editor->ChangeButtonClick();
  EXPECT_EQ(Sent, (std::vector<std::string>{"MODE #c  \r\n"}));

  // Closing sends nothing; the collected changes stay with the channel.
  Sent.clear();
  editor = makeEditor();
  Add(editor, "m2");
  editor->CloseButton->click();
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(chat->Channel()->BanMaskArgs, "m2");
  EXPECT_EQ(chat->Channel()->BanMaskModes, "+b");

  // A mask that is not Shift-JIS (UTF-8 here) is removed by its own bytes.
  const std::string utf8Mask = "\xE3\x81\x82!*@*";
  chat->Channel()->BanMaskArgs.clear();
  chat->Channel()->BanMaskModes.clear();
  Sent.clear();
  editor = makeEditor();
  editor->SetEntries({utf8Mask});
  EXPECT_EQ(editor->Entries(), std::vector<std::string>{utf8Mask});
  editor->MemberListBox->setCurrentRow(0);
  editor->DeleteButton->click();
  editor->ChangeButtonClick();
  EXPECT_EQ(Sent, (std::vector<std::string>{"MODE #c -b " + utf8Mask + "\r\n"}));
}

TEST_F(MemberEditorTest, ChangingMembersRenamesTheWindowsOwnMenuEntry) {
  MakeForm();
  TTalkForm* first = OpenTalkWindow("bob");
  TTalkForm* second = OpenTalkWindow("bob");
  second->AddDeleteMemberClick();
  auto* editor = second->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  Add(editor, "carol");
  editor->ChangeButton->click();
  EXPECT_EQ(second->Caption(), "carol");
  EXPECT_EQ(StdText(second->WindowMenuItem->text()), "carol");
  EXPECT_EQ(StdText(first->WindowMenuItem->text()), "bob");
}

TEST_F(MemberEditorTest, RefusalListIsReplacedEvenByAnEmptyOne) {
  TMainForm& f = MakeForm();
  session->Connection().RecieveDenyList = {"troll"};
  f.RecieveDenyMenuClick();
  TMemberEditorForm* editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  Add(editor, "spam");
  Add(editor, "spam");  // duplicates are taken as typed
  Add(editor, " x ");
  editor->ChangeButtonClick();
  EXPECT_EQ(session->Connection().RecieveDenyList, (std::vector<std::string>{"troll", "spam", "spam", " x "}));
  DeleteClosed();

  f.RecieveDenyMenuClick();
  editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  editor->MemberListBox->clear();
  editor->ChangeButtonClick();
  EXPECT_TRUE(session->Connection().RecieveDenyList.empty());
  EXPECT_TRUE(Sent.empty());
}

TEST_F(MemberEditorTest, IsonSendsOneQueryForAll) {
  TMainForm& f = MakeForm();
  f.IsonCmdClick();
  TMemberEditorForm* editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  editor->ChangeButton->click();
  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(editor->IsClosed());
  DeleteClosed();

  f.IsonCmdClick();
  editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  Add(editor, "a");
  Add(editor, "b");
  editor->ChangeButton->click();
  EXPECT_EQ(Sent, (std::vector<std::string>{"ISON a b\r\n"}));
  EXPECT_TRUE(f.ChildWindows().empty());
}

TEST_F(MemberEditorTest, ClosingOrLosingTheActivationAppliesNothing) {
  TMainForm& f = MakeForm();
  session->Connection().RecieveDenyList = {"troll"};

  f.RecieveDenyMenuClick();
  TMemberEditorForm* editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  Add(editor, "spam");
  editor->CloseButton->click();
  EXPECT_TRUE(editor->IsClosed());
  EXPECT_EQ(session->Connection().RecieveDenyList, (std::vector<std::string>{"troll"}));
  DeleteClosed();

  f.IsonCmdClick();
  editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  Add(editor, "a");
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(editor, &escape);
  EXPECT_TRUE(editor->IsClosed());
  DeleteClosed();

  f.TalkMenuClick();
  editor = MainEditor();
  ASSERT_NE(editor, nullptr);
  Add(editor, "ann");
  editor->FormDeactivate();
  EXPECT_TRUE(editor->IsClosed());
  DeleteClosed();

  EXPECT_TRUE(Sent.empty());
  EXPECT_TRUE(f.ChildWindows().empty());

  EXPECT_EQ(session->Connection().RecieveDenyList, (std::vector<std::string>{"troll"}));
}
