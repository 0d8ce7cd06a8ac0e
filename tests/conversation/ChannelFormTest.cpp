#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <functional>

#include "MainFormFixture.h"
#include "conversation/Channel.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void TypeKeys(QWidget* Target, const QString& Text) {
  for (QChar c : Text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(Target, &press);
  }
}

Lines ListedNames(TChannelForm* Dialog) {
  Lines names;
  for (int i = 0; i < Dialog->ChannelComboBox->count(); ++i) names.push_back(StdText(Dialog->ChannelComboBox->itemText(i)));
  return names;
}

}  // namespace

class ChannelFormTest : public MainFormFixture {
 protected:
  // The main window's join command and the dialog it opened.
  TChannelForm* Open() {
    if (!form) MakeForm();
    form->JoinClick();
    return form->findChild<TChannelForm*>();
  }

  // Types a channel and a key and presses OK; the dialog is gone after.
  void Join(const std::string& Channel, const std::string& Key) {
    QPointer<TChannelForm> dialog = Open();
    ASSERT_TRUE(dialog);
    dialog->ChannelComboBox->setEditText(QText(Channel));
    dialog->ChannelKeyEdit->setText(QText(Key));
    dialog->OKButton->click();
    DeleteClosed();
    EXPECT_FALSE(dialog);
  }
};

TEST_F(ChannelFormTest, OpensWithTheLastChannelAndKey) {
  MakeForm();
  Local().ChannelNames = {"#a", U8(u8"#日本")};
  Local().ChannelName = U8(u8"#日本");
  Local().ChannelKey = "k";
  TChannelForm* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(StdText(dialog->windowTitle()), U8(u8"チャンネルを選んでください。"));
  EXPECT_EQ(dialog->size(), QSize(275, 169));
  EXPECT_EQ(dialog->property("helpContext").toInt(), 36);
  EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_EQ(StdText(dialog->Label1->text()), U8(u8"チャンネル名："));
  EXPECT_EQ(StdText(dialog->Label2->text()), U8(u8"キーワード："));
  EXPECT_EQ(StdText(dialog->ChannelComboBox->currentText()), U8(u8"#日本"));
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "k");
  EXPECT_EQ(ListedNames(dialog), (Lines{"#a", U8(u8"#日本")}));

  // A second join command reuses the open dialog and resets its texts.
  dialog->ChannelComboBox->setEditText(QStringLiteral("#typed"));
  EXPECT_EQ(Open(), dialog);
  EXPECT_EQ(StdText(dialog->ChannelComboBox->currentText()), U8(u8"#日本"));
  EXPECT_EQ(form->findChildren<TChannelForm*>().size(), 1);
}

// The proposal is selected: what the user types replaces it, however the
// dialog was opened (the join command, an invitation).
TEST_F(ChannelFormTest, TypingReplacesTheProposedChannel) {
  MakeForm();
  Local().ChannelNames = {"#big"};
  Local().ChannelName = "#big";
  const std::function<void()> openers[] = {[this] { form->JoinClick(); },
                                           [this] { form->ShowJoinDialog(Connection(), "#big"); }};
  for (const auto& open : openers) {
    open();
    TChannelForm* dialog = form->findChild<TChannelForm*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(StdText(dialog->ChannelComboBox->currentText()), "#big");
    TypeKeys(dialog->ChannelComboBox->lineEdit(), QStringLiteral("#mix"));
    dialog->OKButton->click();
    DeleteClosed();
    EXPECT_EQ(Sent.back(), "JOIN #mix \r\n");
    Local().ChannelName = "#big";
  }
}

TEST_F(ChannelFormTest, OkJoinsAndMovesTheChannelToTheTop) {
  MakeForm();
  Local().ChannelNames = {"#a", "#b", "#foo"};
  Join("  #b ", " sec ");
  EXPECT_EQ(Sent, Lines{"JOIN #b sec\r\n"});
  EXPECT_EQ(Local().ChannelNames, (Lines{"#b", "#a", "#foo"}));
  EXPECT_EQ(Local().ChannelName, "#b");
  EXPECT_EQ(Local().ChannelKey, "sec");

  // Twice: still one entry, on top; a join without key keeps its blank.
  Join("#b", "");
  EXPECT_EQ(Sent.back(), "JOIN #b \r\n");
  EXPECT_EQ(Local().ChannelNames, (Lines{"#b", "#a", "#foo"}));
  EXPECT_EQ(Local().ChannelKey, "");

  // Another spelling of a listed channel replaces its entry.
  Join("#Foo", "");
  EXPECT_EQ(Local().ChannelNames, (Lines{"#Foo", "#b", "#a"}));
  // Sent as typed: no "#" is added.
  Join("plain", "");
  EXPECT_EQ(Sent.back(), "JOIN plain \r\n");
  EXPECT_EQ(ListedNames(Open()), (Lines{"plain", "#Foo", "#b", "#a"}));
}

TEST_F(ChannelFormTest, BlankNameOrCancelSendsAndStoresNothing) {
  MakeForm();
  Local().ChannelNames = {"#a"};
  Local().ChannelName = "#a";
  Join("   ", "key");
  Join("", "");
  QPointer<TChannelForm> dialog = Open();
  dialog->ChannelComboBox->setEditText(QStringLiteral("#new"));
  dialog->CancelButton->click();
  DeleteClosed();
  EXPECT_FALSE(dialog);
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(Local().ChannelNames, Lines{"#a"});
  EXPECT_EQ(Local().ChannelName, "#a");
  EXPECT_EQ(Local().ChannelKey, "");
}

TEST_F(ChannelFormTest, ChoosingAListedChannelBringsItsKeyInThisRunOnly) {
  MakeForm();
  Local().ChannelNames = {"#open"};
  Join("#secret", "pw");
  Join("#other", "zz");
  Join("#Other", "");  // the new spelling carries the new, empty key
  EXPECT_EQ(Connection().RememberedKey("#SECRET"), "pw");
  EXPECT_EQ(Connection().RememberedKey("#other"), "");

  TChannelForm* dialog = Open();
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "");  // the last join had none
  dialog->ChannelComboBox->setCurrentIndex(dialog->ChannelComboBox->findText(QStringLiteral("#secret")));
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "pw");
  dialog->ChannelComboBox->setCurrentIndex(dialog->ChannelComboBox->findText(QStringLiteral("#open")));
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "");
  // Typing a listed name in another case finds it; an unknown one keeps the key.
  dialog->ChannelComboBox->setEditText(QStringLiteral("#SeCrEt"));
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "pw");
  dialog->ChannelComboBox->setEditText(QStringLiteral("#unknown"));
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "pw");

  // After a restart the names come back from the settings file, the keys do not.
  form->close();
  form.reset();
  session = std::make_unique<TSession>();  // as a new process starts
  MakeForm();
  EXPECT_EQ(Local().ChannelNames, (Lines{"#Other", "#secret", "#open"}));
  dialog = Open();
  dialog->ChannelComboBox->setEditText(QStringLiteral("#x"));
  dialog->ChannelKeyEdit->setText(QStringLiteral("typed"));
  dialog->ChannelComboBox->setCurrentIndex(dialog->ChannelComboBox->findText(QStringLiteral("#secret")));
  EXPECT_EQ(StdText(dialog->ChannelKeyEdit->text()), "");
}

TEST_F(ChannelFormTest, LosingActivationClosesWithoutJoining) {
  MakeForm().show();
  QPointer<TChannelForm> dialog = Open();
  dialog->ChannelComboBox->setEditText(QStringLiteral("#c"));
  dialog->activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return dialog->isActiveWindow(); }, 2000));
  form->activateWindow();
  EXPECT_TRUE(PumpUntil([&] { return !dialog; }, 2000));
  EXPECT_TRUE(Sent.empty());
}
