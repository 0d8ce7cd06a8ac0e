#include "frame/Establish.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

#include "MainFormFixture.h"
#include "ScriptedServer.h"
#include "core/ConnectionOptions.h"

namespace tavi {
namespace {

using Strings = std::vector<std::string>;

class EstablishTest : public test::MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
  }

  TEstablishForm* Open() {
    TEstablishForm* dialog = form->FindOrCreateForm<TEstablishForm>(Connection());
    dialog->show();
    return dialog;
  }
  // The dialog frees itself later, as the event loop would.
  static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  // Opens the dialog, types a server and presses OK.
  void ChooseServer(const std::string& Name) {
    TEstablishForm* dialog = Open();
    dialog->ServerNameComboBox->setEditText(QText(Name));
    dialog->OKButton->click();
    Flush();
  }
};

TEST_F(EstablishTest, FreshDialogShowsInitialContentAndOkStoresIt) {
  TEstablishForm* dialog = Open();
  QPointer<TEstablishForm> watch(dialog);
  EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("サーバーとの設定"));
  EXPECT_EQ(dialog->size(), QSize(640, 404));
  // Every caption shows whole, and the edits have room for a few words.
  for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
    EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
  for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
    EXPECT_GE(edit->width(), 120) << edit->objectName().toStdString();
  EXPECT_EQ(dialog->PassWordEdit->text(), QString());
  EXPECT_EQ(dialog->PassWordEdit->echoMode(), QLineEdit::Password);
  EXPECT_EQ(dialog->NickNameEdit->text(), QStringLiteral("MyNick"));
  EXPECT_EQ(dialog->NickNameEdit->maxLength(), 9);
  EXPECT_EQ(dialog->TrueNameEdit->text(), QString::fromUtf8("私の本名"));
  EXPECT_EQ(dialog->LoginNameEdit->text(), QStringLiteral("LoginName"));
  EXPECT_EQ(dialog->HostNameEdit->text(), QStringLiteral("LocalHost"));
  EXPECT_EQ(dialog->ServerNameComboBox->currentText(), QString());
  EXPECT_EQ(dialog->ServerNameComboBox->count(), 0);
  EXPECT_EQ(dialog->PortEdit->text(), QStringLiteral("6667"));
  EXPECT_TRUE(dialog->JISRadioButton->isChecked());
  EXPECT_FALSE(dialog->SJISRadioButton->isChecked());
  auto* group = qobject_cast<QGroupBox*>(dialog->SJISRadioButton->parentWidget());
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), QString::fromUtf8("送信する漢字コード"));
  QStringList labels;
  for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  for (const char* text : {"パスワード：", "ニックネーム（必須項目）：", "本名（必須項目）：", "ログイン名（必須項目）：",
                           "ホスト名（必須項目）：", "接続先のサーバー名：", "接続ポート："})
    EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
  for (const char* name : {"PassWordEdit", "NickNameEdit", "TrueNameEdit", "LoginNameEdit", "HostNameEdit", "PortEdit"})
    EXPECT_NE(dialog->findChild<QLineEdit*>(QString::fromLatin1(name)), nullptr) << name;

  dialog->OKButton->click();
  const TGrobalArea& area = Grobal();
  EXPECT_EQ(area.Password, "");
  EXPECT_EQ(area.NickName1, "MyNick");
  EXPECT_EQ(area.TrueName, U8(u8"私の本名"));
  EXPECT_EQ(area.LoginName, "LoginName");
  EXPECT_EQ(area.HostName, "LocalHost");
  EXPECT_EQ(area.ServerName, "");
  EXPECT_EQ(area.ServerNameList, Strings{""});  // an empty server still goes on top
  EXPECT_EQ(area.PortNumber, "6667");
  EXPECT_TRUE(area.JISChoice);
  EXPECT_FALSE(area.SJISChoice);
  EXPECT_EQ(Connection().SocketPort(), 6667);
  EXPECT_TRUE(platform.Messages.empty());
  Flush();
  EXPECT_TRUE(watch.isNull());
}

TEST_F(EstablishTest, CreationCopiesOnlyNonEmptySettings) {
  TGrobalArea& area = Grobal();
  area.Password = "secret";
  area.TrueName = U8(u8"山田太郎");
  area.ServerNameList = {"a.example", "irc.example"};
  area.JISChoice = area.SJISChoice = true;  // SJIS is applied last

  TEstablishForm* dialog = Open();
  EXPECT_EQ(dialog->PassWordEdit->text(), QStringLiteral("secret"));
  EXPECT_EQ(dialog->NickNameEdit->text(), QStringLiteral("MyNick"));  // empty settings keep the initial text
  EXPECT_EQ(dialog->TrueNameEdit->text(), QString::fromUtf8("山田太郎"));
  EXPECT_EQ(dialog->PortEdit->text(), QStringLiteral("6667"));
  // The list alone: the box shows none of its entries as its text.
  EXPECT_EQ(dialog->ServerNameComboBox->currentText(), QString());
  ASSERT_EQ(dialog->ServerNameComboBox->count(), 2);
  EXPECT_EQ(dialog->ServerNameComboBox->itemText(1), QStringLiteral("irc.example"));
  EXPECT_TRUE(dialog->SJISRadioButton->isChecked());
  dialog->CancelButton->click();
  Flush();

  area.ServerName = "irc.example";
  area.PortNumber = "7000";
  area.JISChoice = area.SJISChoice = false;  // neither: JIS stays
  dialog = Open();
  EXPECT_EQ(dialog->ServerNameComboBox->currentText(), QStringLiteral("irc.example"));
  EXPECT_EQ(dialog->PortEdit->text(), QStringLiteral("7000"));
  EXPECT_TRUE(dialog->JISRadioButton->isChecked());
}

TEST_F(EstablishTest, ServerListKeepsMostRecentFirst) {
  ChooseServer("srvb");
  ChooseServer("srva");
  EXPECT_EQ(Grobal().ServerNameList, (Strings{"srva", "srvb"}));

  // Choosing a listed server moves it up; it stays listed once.
  ChooseServer("srvb");
  EXPECT_EQ(Grobal().ServerNameList, (Strings{"srvb", "srva"}));
  ChooseServer("srvb");
  EXPECT_EQ(Grobal().ServerNameList, (Strings{"srvb", "srva"}));

  // Letter case is ignored when looking for the old entry; the new spelling wins.
  ChooseServer("SRVA");
  EXPECT_EQ(Grobal().ServerNameList, (Strings{"SRVA", "srvb"}));
  EXPECT_EQ(Grobal().ServerName, "SRVA");

  // Only the first equal entry goes.
  Grobal().ServerNameList = {"x", "dup", "DUP"};
  ChooseServer("Dup");
  EXPECT_EQ(Grobal().ServerNameList, (Strings{"Dup", "x", "DUP"}));

  // An empty server also goes on top.
  ChooseServer("");
  EXPECT_EQ(Grobal().ServerNameList, (Strings{"", "Dup", "x", "DUP"}));

  // "ア" is 83 41 and "ヂ" is 83 61: trail bytes that look like 'A' and 'a'.
  const std::string a = U8(u8"サーバア"), di = U8(u8"サーバヂ");
  Grobal().ServerNameList = {di};
  ChooseServer(a);
  EXPECT_EQ(Grobal().ServerNameList, (Strings{a, di}));
}

TEST_F(EstablishTest, PortThatIsNoIntegerStopsAfterTheServerList) {
  TGrobalArea& area = Grobal();
  area.PortNumber = "6667";
  TEstablishForm* dialog = Open();
  QPointer<TEstablishForm> watch(dialog);
  dialog->NickNameEdit->setText(QStringLiteral("newnick"));
  dialog->ServerNameComboBox->setEditText(QStringLiteral("srv"));
  dialog->PortEdit->setText(QStringLiteral("66a7"));
  dialog->SJISRadioButton->setChecked(true);
  dialog->OKButton->click();

  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0], "'66a7' " + U8(u8"は有効な整数値ではありません。"));
  // Steps 1 to 3 stored; the port and the code choice not.
  EXPECT_EQ(area.NickName1, "newnick");
  EXPECT_EQ(area.ServerName, "srv");
  EXPECT_EQ(area.ServerNameList, Strings{"srv"});
  EXPECT_EQ(area.PortNumber, "6667");
  EXPECT_FALSE(area.SJISChoice);
  EXPECT_FALSE(area.JISChoice);
  Flush();
  ASSERT_FALSE(watch.isNull());
  EXPECT_TRUE(dialog->isVisible());

  for (const char* bad : {"", "6667 ", "99999999999"}) {
    platform.Messages.clear();
    dialog->PortEdit->setText(QString::fromLatin1(bad));
    dialog->OKButton->click();
    ASSERT_EQ(platform.Messages.size(), 1u) << '"' << bad << '"';
    EXPECT_EQ(platform.Messages[0], "'" + std::string(bad) + U8(u8"' は有効な整数値ではありません。"));
  }
  EXPECT_EQ(area.PortNumber, "6667");

  // Corrected, the same dialog stores everything and closes; the text is kept as typed.
  platform.Messages.clear();
  dialog->PortEdit->setText(QStringLiteral(" +7001"));
  dialog->OKButton->click();
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(area.PortNumber, " +7001");
  EXPECT_EQ(Connection().SocketPort(), 7001);
  EXPECT_TRUE(area.SJISChoice);
  Flush();
  EXPECT_TRUE(watch.isNull());
}

TEST_F(EstablishTest, PortChangeIsRefusedWhileConnected) {
  test::TScriptedServer server;
  TGrobalArea& area = Grobal();
  area.ServerName = "127.0.0.1";
  area.PortNumber = std::to_string(server.Port());
  area.NickName1 = "nick";
  area.TrueName = "name";
  area.LoginName = "login";
  area.HostName = "host";
  ASSERT_TRUE(ConnectAndWait(*form));
  ASSERT_TRUE(Connection().SocketActive()) << (platform.Messages.empty() ? "" : platform.Messages.back());
  platform.Messages.clear();

  TEstablishForm* dialog = Open();
  QPointer<TEstablishForm> watch(dialog);
  dialog->TrueNameEdit->setText(QStringLiteral("changed"));
  dialog->ServerNameComboBox->setEditText(QStringLiteral("other.example"));
  dialog->PortEdit->setText(QString::number(server.Port() == 6000 ? 6001 : 6000));
  dialog->JISRadioButton->setChecked(false);
  dialog->SJISRadioButton->setChecked(true);
  dialog->OKButton->click();

  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0], U8(u8"使用中のソケットは値を変更できません"));
  EXPECT_EQ(area.TrueName, "changed");
  EXPECT_EQ(area.ServerName, "other.example");
  EXPECT_EQ(area.PortNumber, std::to_string(server.Port()));
  EXPECT_FALSE(area.SJISChoice);
  EXPECT_EQ(Connection().SocketPort(), int{server.Port()});
  Flush();
  ASSERT_FALSE(watch.isNull());

  // The same port changes nothing and goes through.
  platform.Messages.clear();
  dialog->PortEdit->setText(QString::number(server.Port()));
  dialog->OKButton->click();
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_TRUE(area.SJISChoice);
  Flush();
  EXPECT_TRUE(watch.isNull());
}

// Connecting with nothing set asks for the settings instead of refusing; the
// dialog's OK then connects, its Cancel does not. Opened from the settings
// menu, OK only stores.
TEST_F(EstablishTest, ConnectWithoutSettingsOpensTheDialogWhoseOkConnects) {
  test::TScriptedServer server;
  const std::function<void()> connects[] = {[this] { form->ConnectSpeedButton->click(); },
                                            [this] { form->ServerConnect->trigger(); }};
  for (const auto& connect : connects) {
    connect();
    QPointer<TEstablishForm> dialog = form->findChild<TEstablishForm*>();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(platform.Messages.empty());
    EXPECT_EQ(platform.Beeps, 0);
    dialog->CancelButton->click();
    Flush();
    EXPECT_EQ(Connection().State(), TConnectionState::Idle);
  }

  form->ConnectSpeedButton->click();
  TEstablishForm* dialog = form->findChild<TEstablishForm*>();
  ASSERT_NE(dialog, nullptr);
  dialog->ServerNameComboBox->setEditText(QStringLiteral("127.0.0.1"));
  dialog->PortEdit->setText(QString::number(server.Port()));
  dialog->OKButton->click();
  Flush();
  EXPECT_TRUE(Connection().Connecting());
  ASSERT_TRUE(test::PumpUntil([this] { return !Connection().Connecting(); }));
  EXPECT_EQ(Connection().State(), TConnectionState::Registering);
  ASSERT_GE(Sent.size(), 2u);
  EXPECT_EQ(Sent[0], "CAP LS 302\r\n");
  EXPECT_EQ(Sent[1], "NICK MyNick\r\n");
  EXPECT_TRUE(platform.Messages.empty());

  Connection().Close();
  ChooseServer("127.0.0.1");
  EXPECT_EQ(Connection().State(), TConnectionState::Idle);
}

TEST_F(EstablishTest, CancelEscapeAndDeactivationStoreNothing) {
  Grobal().NickName1 = "keep";
  const TGrobalArea before = Grobal();
  const std::vector<void (*)(TEstablishForm*)> closers = {
      [](TEstablishForm* Form) { Form->CancelButton->click(); },
      [](TEstablishForm* Form) { Form->FormDeactivate(); },
      [](TEstablishForm* Form) { Form->reject(); },  // Escape
  };
  for (std::size_t i = 0; i < closers.size(); ++i) {
    TEstablishForm* dialog = Open();
    QPointer<TEstablishForm> watch(dialog);
    dialog->NickNameEdit->setText(QStringLiteral("other"));
    dialog->ServerNameComboBox->setEditText(QStringLiteral("srv"));
    dialog->PortEdit->setText(QStringLiteral("1234"));
    dialog->SJISRadioButton->setChecked(true);
    closers[i](dialog);
    Flush();
    EXPECT_TRUE(watch.isNull()) << i;
    EXPECT_EQ(Grobal(), before) << i;
  }
  EXPECT_EQ(Connection().SocketPort(), 0);
  EXPECT_TRUE(platform.Messages.empty());
}

// A message box taking the activation must not close the dialog under it.
class TStealingPlatform : public test::TFakePlatform {
 public:
  QWidget* Target = nullptr;
  void ShowMessage(const std::string& Text) override {
    TFakePlatform::ShowMessage(Text);
    if (Target) {
      QEvent change(QEvent::ActivationChange);
      QCoreApplication::sendEvent(Target, &change);
    }
  }
};

TEST_F(EstablishTest, OwnMessageBoxIsNoDeactivation) {
  TStealingPlatform stealing;
  stealing.ProgramPath = platform.ProgramPath;
  SetPlatform(&stealing);
  TEstablishForm* dialog = Open();
  QPointer<TEstablishForm> watch(dialog);
  stealing.Target = dialog;
  // The box opens while the dialog is not the active window.
  ASSERT_FALSE(dialog->isActiveWindow());
  dialog->PortEdit->setText(QStringLiteral("x"));
  dialog->OKButton->click();
  EXPECT_EQ(stealing.Messages.size(), 1u);
  Flush();
  ASSERT_FALSE(watch.isNull());
  EXPECT_TRUE(dialog->isVisible());

  // The same change outside a message box does close it.
  QEvent change(QEvent::ActivationChange);
  QCoreApplication::sendEvent(dialog, &change);
  Flush();
  EXPECT_TRUE(watch.isNull());
  SetPlatform(&platform);
}

TEST_F(EstablishTest, ReopeningShowsStoredValues) {
  TEstablishForm* dialog = Open();
  dialog->PassWordEdit->setText(QStringLiteral("pw"));
  dialog->NickNameEdit->setText(QString::fromUtf8("ニック"));
  dialog->ServerNameComboBox->setEditText(QStringLiteral("srv"));
  dialog->PortEdit->setText(QStringLiteral("6668"));
  dialog->SJISRadioButton->setChecked(true);
  dialog->OKButton->click();
  Flush();
  ASSERT_EQ(form->findChild<TEstablishForm*>(), nullptr);

  EXPECT_EQ(Grobal().NickName1, U8(u8"ニック"));
  TEstablishForm* again = Open();
  EXPECT_EQ(again->PassWordEdit->text(), QStringLiteral("pw"));
  EXPECT_EQ(again->NickNameEdit->text(), QString::fromUtf8("ニック"));
  EXPECT_EQ(again->ServerNameComboBox->currentText(), QStringLiteral("srv"));
  EXPECT_EQ(again->ServerNameComboBox->itemText(0), QStringLiteral("srv"));
  EXPECT_EQ(again->PortEdit->text(), QStringLiteral("6668"));
  EXPECT_TRUE(again->SJISRadioButton->isChecked());
  // A value the settings file cannot hold is kept beside it, and said so.
  EXPECT_TRUE(again->WideNoteLabel->isHidden());
  again->TrueNameEdit->setText(QString::fromUtf8("Zoë 😀"));
  EXPECT_FALSE(again->WideNoteLabel->isHidden());
  again->TrueNameEdit->setText(QString::fromUtf8("山田"));
  EXPECT_TRUE(again->WideNoteLabel->isHidden());

  // Only one dialog at a time.
  EXPECT_EQ(form->FindOrCreateForm<TEstablishForm>(Connection()), again);
  EXPECT_EQ(form->findChildren<TEstablishForm*>().size(), 1);
}

TEST_F(EstablishTest, ClosingSetsTheServerCaption) {
  auto caption = [](const std::string& Server) {
    return U8(u8"タヴィしませんか？   （ サーバーは　") + Server + " : 6667" + U8(u8" ）");
  };
  // No server yet: the caption stays.
  Open()->OKButton->click();
  EXPECT_EQ(form->Caption(), U8(u8"タヴィをしませんか？"));
  Flush();

  ChooseServer("srv");
  EXPECT_EQ(form->Caption(), caption("srv"));
  EXPECT_EQ(form->windowTitle(), QText(caption("srv")));

  // Whatever closes the dialog: a Cancel shows settings changed elsewhere.
  Grobal().ServerName = "other";
  Open()->CancelButton->click();
  EXPECT_EQ(form->Caption(), caption("other"));
  Flush();

  // A refused OK leaves the caption; the server it stored shows at the close.
  TEstablishForm* dialog = Open();
  dialog->ServerNameComboBox->setEditText(QStringLiteral("third"));
  dialog->PortEdit->setText(QStringLiteral("bad"));
  dialog->OKButton->click();
  EXPECT_EQ(form->Caption(), caption("other"));
  dialog->FormDeactivate();
  EXPECT_EQ(form->Caption(), caption("third"));
}

}  // namespace
}  // namespace tavi

namespace tavi {

// The code chosen is stored as one of the three flags, shown again at the
// next opening, and decides how lines go out, channel names included.
TEST_F(EstablishTest, EachKanjiCodeChoiceIsStoredShownAndSent) {
  const std::string Line = U8(u8"PRIVMSG #日本語 :こんにちは\r\n");
  const struct {
    QRadioButton* TEstablishForm::*Button;
    std::string Sent;
  } Cases[] = {
      {&TEstablishForm::JISRadioButton, "PRIVMSG #\x1B$BF|K\\8l\x1B(B :\x1B$B$3$s$K$A$O\x1B(B\r\n"},
      {&TEstablishForm::SJISRadioButton, "PRIVMSG #\x93\xFA\x96{\x8C\xEA :\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n"},
      {&TEstablishForm::UTF8RadioButton, reinterpret_cast<const char*>(u8"PRIVMSG #日本語 :こんにちは\r\n")},
  };
  for (const auto& C : Cases) {
    TEstablishForm* dialog = Open();
    (dialog->*C.Button)->setChecked(true);
    dialog->OKButton->click();
    Flush();
    const TGrobalArea& area = Grobal();
    EXPECT_EQ(area.JISChoice + area.SJISChoice + area.UTF8Choice, 1);
    TEstablishForm* again = Open();
    EXPECT_TRUE((again->*C.Button)->isChecked());
    again->CancelButton->click();
    Flush();
    Sent.clear();
    Connection().SendLine(Line);
    ASSERT_EQ(Sent.size(), 1u);
    EXPECT_EQ(Sent[0], C.Sent);
  }
}

namespace {

TEST_F(EstablishTest, ConnectionChoicesGoToTheDesktopSettingsAndTlsProposesItsPort) {
  TEstablishForm* dialog = Open();
  EXPECT_FALSE(dialog->TlsCheckBox->isChecked());
  EXPECT_TRUE(dialog->ReconnectCheckBox->isChecked());
  EXPECT_FALSE(dialog->LogCheckBox->isChecked());
  dialog->TlsCheckBox->click();
  EXPECT_EQ(dialog->PortEdit->text(), QStringLiteral("6697"));
  dialog->TlsCheckBox->click();
  EXPECT_EQ(dialog->PortEdit->text(), QStringLiteral("6667"));
  dialog->PortEdit->setText(QStringLiteral("7000"));  // a port of the user's own stays
  dialog->TlsCheckBox->click();
  EXPECT_EQ(dialog->PortEdit->text(), QStringLiteral("7000"));
  dialog->ReconnectCheckBox->click();
  dialog->LogCheckBox->click();
  dialog->AlternateNickEdit->setText(QStringLiteral(" taro2  taro_x "));
  dialog->HighlightEdit->setText(QStringLiteral("Tavi"));
  dialog->OKButtonClick();
  Flush();

  const TConnectionOptions stored = LoadConnectionOptions();
  EXPECT_EQ(stored.AlternateNicks, (std::vector<std::string>{"taro2", "taro_x"}));
  EXPECT_EQ(stored.HighlightWords, std::vector<std::string>{"Tavi"});
  EXPECT_TRUE(stored.Tls);
  EXPECT_FALSE(stored.Reconnect);
  EXPECT_TRUE(stored.Logs);
  EXPECT_TRUE(Connection().Options().Logs);
  EXPECT_NE(session->ChatLog(), nullptr);
  EXPECT_EQ(Open()->TlsCheckBox->isChecked(), true);
  EXPECT_EQ(Open()->AlternateNickEdit->text(), QStringLiteral("taro2 taro_x"));
}

}  // namespace
}  // namespace tavi
