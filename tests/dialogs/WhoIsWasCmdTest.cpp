#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "dialogs/WhoIsWasCmd.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class WhoIsWasCmdTest : public MainFormFixture {
 protected:
  TWhoIsWasCmdForm* Open() {
    for (QObject* child : form->children())
      if (auto* d = qobject_cast<TWhoIsWasCmdForm*>(child); d && !d->IsClosed()) return d;
    return nullptr;
  }
  std::string Query(QAction* Command, const char* Nick) {
    Sent.clear();
    Command->trigger();
    TWhoIsWasCmdForm* dialog = Open();
    if (!dialog) return "<no dialog>";
    dialog->NickNameEdit->setText(QString::fromLatin1(Nick));
    dialog->OKButton->click();
    if (!dialog->IsClosed() || !dialog->NickNameEdit->text().isEmpty()) return "<still open>";
    return Sent.size() == 1 ? Sent[0] : "<" + std::to_string(Sent.size()) + " lines>";
  }
};

}  // namespace

TEST_F(WhoIsWasCmdTest, OpenersShareTheOneDialog) {
  MakeForm();
  form->WhoIsCmd->trigger();
  TWhoIsWasCmdForm* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->QueryCommand, "WHOIS ");
  EXPECT_EQ(dialog->property("helpContext").toInt(), 47);
  OpenChannelWindow("#room")->Menus().Whowas1->trigger();
  EXPECT_EQ(Open(), dialog);
  EXPECT_EQ(dialog->QueryCommand, "WHOWAS ");
  EXPECT_EQ(dialog->property("helpContext").toInt(), 48);
}

TEST_F(WhoIsWasCmdTest, QueriesAreSentWithoutATest) {
  MakeForm();
  EXPECT_EQ(Query(form->WhoIsCmd, "alice"), "WHOIS alice\r\n");
  EXPECT_EQ(Query(form->WhoWasCmd, "bob"), "WHOWAS bob\r\n");
  EXPECT_EQ(Query(form->WhoIsCmd, ""), "WHOIS \r\n");
  EXPECT_EQ(Query(form->WhoWasCmd, " a b "), "WHOWAS  a b \r\n");
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(WhoIsWasCmdTest, AbortAndDeactivationCloseWithoutSending) {
  MakeForm();
  form->WhoIsCmdClick();
  QPointer<TWhoIsWasCmdForm> first = Open();
  first->NickNameEdit->setText(QStringLiteral("alice"));
  first->CancelButton->click();
  EXPECT_TRUE(first->NickNameEdit->text().isEmpty());
  EXPECT_TRUE(first->IsClosed());
  // Closed but not yet freed, it is not reused.
  form->WhoWasCmdClick();
  TWhoIsWasCmdForm* second = Open();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first.data());
  second->NickNameEdit->setText(QStringLiteral("bob"));
  second->FormDeactivate();
  EXPECT_TRUE(second->IsClosed());
  EXPECT_FALSE(second->isVisible());
  EXPECT_TRUE(Sent.empty());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
}
