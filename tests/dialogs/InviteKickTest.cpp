#include <QCoreApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <functional>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "dialogs/InviteCmd.h"
#include "dialogs/KickCmd.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// A message box takes the activation from the window that shows it.
class ActivationTakingPlatform : public TFakePlatform {
 public:
  std::function<void()> WhileShown;
  void ShowMessage(const std::string& Text) override {
    TFakePlatform::ShowMessage(Text);
    if (WhileShown) WhileShown();
  }
};

class InviteKickTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    chat = Channel("#room");
  }
  // A main window freed while shown would rebuild its menus half destroyed.
  void TearDown() override {
    if (form) form->hide();
    MainFormFixture::TearDown();
  }
  TChatForm* Channel(const std::string& Name) {
    TChatForm* window = OpenChannelWindow(Name);
    form->MdiArea->setActiveSubWindow(window);
    return window;
  }
  template <class T>
  static T* NewestOf(QObject* Owner) {
    const auto found = Owner->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly);
    return found.isEmpty() ? nullptr : found.last();
  }
  TInviteCmdForm* Invite(TChatForm* Window, const char* Nick) {
    Window->Invite1Click();
    TInviteCmdForm* dialog = NewestOf<TInviteCmdForm>(Window);
    dialog->NickNameEdit->setText(QString::fromLatin1(Nick));
    return dialog;
  }
  TKickCmdForm* Kick(const std::string& User, const std::string& Reason) {
    chat->Kick1Click();
    TKickCmdForm* dialog = NewestOf<TKickCmdForm>(chat);
    dialog->UserNameEdit->setText(QText(User));
    dialog->CommentEdit->setText(QText(Reason));
    return dialog;
  }
  TChatForm* chat = nullptr;
};

}  // namespace

TEST_F(InviteKickTest, InviteSendsNickThenTheProposedChannel) {
  QPointer<TInviteCmdForm> invite = Invite(chat, "alice");
  EXPECT_TRUE(invite->isVisible());
  EXPECT_EQ(invite->property("helpContext").toInt(), 43);
  EXPECT_EQ(StdText(invite->ChannelNameEdit->text()), "#room");
  invite->OKButton->click();
  EXPECT_EQ(Sent, Lines{"INVITE alice #room\r\n"});
  DeleteClosed();
  EXPECT_TRUE(invite.isNull());

  // The proposal may be overwritten.
  invite = Invite(chat, "bob");
  invite->ChannelNameEdit->setText(QStringLiteral("#other"));
  invite->OKButton->click();
  EXPECT_EQ(Sent.back(), "INVITE bob #other\r\n");
}

TEST_F(InviteKickTest, InviteWithAnEmptyNickBeepsTellsAndCloses) {
  TInviteCmdForm* invite = Invite(chat, "");
  invite->OKButton->click();
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(platform.Beeps, 1);
  EXPECT_EQ(platform.Messages, Lines{U8(u8"ニックネームとチャンネル名を記入してください。")});
  EXPECT_TRUE(invite->IsClosed());
  EXPECT_FALSE(invite->isVisible());
}

TEST_F(InviteKickTest, KickReasonFollowsAPlainBlank) {
  TKickCmdForm* kick = Kick("bob", "spam");
  EXPECT_EQ(kick->property("helpContext").toInt(), 44);
  EXPECT_EQ(StdText(kick->ChannelNameEdit->text()), "#room");
  kick->KickButton->click();
  EXPECT_TRUE(kick->IsClosed());
  Kick("bob", "")->KickButton->click();
  Kick("bob", "go away now")->KickButton->click();
  Kick("bob", "spam")->CloseButton->click();
  EXPECT_EQ(Sent, (Lines{"KICK #room bob spam\r\n", "KICK #room bob \r\n", "KICK #room bob go away now\r\n"}));
}

TEST_F(InviteKickTest, KickWithAnEmptyFieldTellsAndSendsNothing) {
  Kick("", "spam")->KickButton->click();
  TKickCmdForm* kick = Kick("bob", "spam");
  kick->ChannelNameEdit->clear();
  kick->KickButton->click();
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(platform.Messages, Lines(2, U8(u8"項目に記入漏れがあります。")));
}

TEST_F(InviteKickTest, OwnMessageBoxTakingTheActivationClosesAfterTheBox) {
  ActivationTakingPlatform taking;
  SetPlatform(&taking);
  TKickCmdForm* kick = Kick("", "");
  bool openDuringBox = false;
  taking.WhileShown = [&] {
    kick->FormDeactivate();
    openDuringBox = !kick->IsClosed();
  };
  kick->KickButton->click();
  SetPlatform(&platform);
  EXPECT_EQ(taking.Messages.size(), 1u);
  // The box is the dialog's child: the dialog goes only once the box has.
  EXPECT_TRUE(openDuringBox);
  EXPECT_TRUE(kick->IsClosed());
  EXPECT_TRUE(Sent.empty());
}

TEST_F(InviteKickTest, ProposalIsTheActiveChildWindow) {
  TChatForm* second = Channel("#second");
  EXPECT_EQ(StdText(Invite(second, "alice")->ChannelNameEdit->text()), "#second");
  form->MdiArea->setActiveSubWindow(chat);
  EXPECT_EQ(StdText(Invite(second, "alice")->ChannelNameEdit->text()), "#room");
}

TEST_F(InviteKickTest, DeactivationClosesWithoutSending) {
  TInviteCmdForm* invite = Invite(chat, "alice");
  invite->FormDeactivate();
  TKickCmdForm* kick = Kick("bob", "spam");
  kick->FormDeactivate();
  EXPECT_TRUE(invite->IsClosed());
  EXPECT_TRUE(kick->IsClosed());
  EXPECT_FALSE(kick->isVisible());
  EXPECT_TRUE(Sent.empty());
}

TEST_F(InviteKickTest, DialogsGoWithTheirChannelWindow) {
  QPointer<TInviteCmdForm> invite = Invite(chat, "alice");
  QPointer<TKickCmdForm> kick = Kick("bob", "");
  chat->close();
  DeleteClosed();
  EXPECT_TRUE(invite.isNull());
  EXPECT_TRUE(kick.isNull());
}

TEST_F(InviteKickTest, ClickingAnotherWindowCloses) {
  form->show();
  QPointer<TInviteCmdForm> invite = Invite(chat, "alice");
  ASSERT_TRUE(PumpUntil([&] { return invite->isActiveWindow(); }));
  // Active, the dialog still proposes the child window it came from.
  EXPECT_EQ(StdText(invite->ChannelNameEdit->text()), "#room");
  form->activateWindow();
  EXPECT_TRUE(PumpUntil([&] { return invite.isNull(); }));
  EXPECT_TRUE(Sent.empty());
}
