#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "MainFormFixture.h"
#include "conversation/Channel.h"
#include "dialogs/PassiveInviteCmd.h"
#include "dialogs/WhoIsWasCmd.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

Lines Labels(TPassiveInviteCmdForm* Prompt) {
  return {StdText(Prompt->Label1->text()), StdText(Prompt->Label2->text()), StdText(Prompt->Label3->text())};
}

Lines Expected(const std::string& Inviter, const std::string& Channel) {
  return {Inviter + U8(u8" から"), U8(u8"チャンネル ") + Channel + U8(u8" へ"), U8(u8"招待を受けました。")};
}

template <class T>
T* VisibleOf(QObject* Owner) {
  for (QObject* child : Owner->children())
    if (auto* d = qobject_cast<T*>(child); d && d->isVisible()) return d;
  return nullptr;
}

using PassiveInviteTest = MainFormFixture;

}  // namespace

TEST_F(PassiveInviteTest, SecondInvitationReplacesTheFirst) {
  MakeForm();
  TPassiveInviteCmdForm* prompt = ShowInvitation(form.get(), Connection(), *form, "carol", "#room");
  EXPECT_TRUE(prompt->isVisible());
  EXPECT_EQ(prompt->parent(), form.get());
  EXPECT_EQ(Labels(prompt), Expected("carol", "#room"));
  EXPECT_EQ(ShowInvitation(form.get(), Connection(), *form, "dave", "#hall"), prompt);
  EXPECT_EQ(Labels(prompt), Expected("dave", "#hall"));
  // Losing the activation leaves the prompt up.
  prompt->FormDeactivate();
  EXPECT_TRUE(prompt->isVisible());
}

TEST_F(PassiveInviteTest, JoinOpensTheJoinDialogWithTheChannel) {
  MakeForm();
  Local().ChannelName = "#usual";
  QPointer<TPassiveInviteCmdForm> prompt = ShowInvitation(form.get(), Connection(), *form, "carol", "#room");
  prompt->JoinButton->click();
  TChannelForm* join = VisibleOf<TChannelForm>(form.get());
  ASSERT_NE(join, nullptr);
  EXPECT_EQ(StdText(join->ChannelComboBox->currentText()), "#room");
  EXPECT_TRUE(Sent.empty());  // the join waits for the user's OK
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(prompt.isNull());
}

TEST_F(PassiveInviteTest, IgnoreClosesAndTheNextInvitationMakesANewPrompt) {
  MakeForm();
  TPassiveInviteCmdForm* prompt = ShowInvitation(form.get(), Connection(), *form, "carol", "#room");
  prompt->CancelButton->click();
  EXPECT_TRUE(prompt->IsClosed());
  EXPECT_TRUE(Sent.empty());
  TPassiveInviteCmdForm* next = ShowInvitation(form.get(), Connection(), *form, "dave", "#hall");
  EXPECT_NE(next, prompt);
  EXPECT_EQ(Labels(next), Expected("dave", "#hall"));
}

TEST_F(PassiveInviteTest, InviterLookupKeepsThePromptOpen) {
  MakeForm();
  form->WhoWasCmdClick();  // help context 48, which the prompt's opener keeps
  TPassiveInviteCmdForm* prompt = ShowInvitation(form.get(), Connection(), *form, "carol", "#room");
  prompt->WhoIsButton->click();
  EXPECT_TRUE(prompt->isVisible());
  TWhoIsWasCmdForm* whois = VisibleOf<TWhoIsWasCmdForm>(form.get());
  ASSERT_NE(whois, nullptr);
  EXPECT_EQ(whois->property("helpContext").toInt(), 48);
  whois->OKButton->click();
  EXPECT_EQ(Sent, Lines{"WHOIS carol\r\n"});
}
