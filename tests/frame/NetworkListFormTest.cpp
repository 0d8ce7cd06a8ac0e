// The network list: a first start offers it; networks are edited, added,
// refused when a field cannot be taken, reordered, connected, disconnected,
// removed, and connected at start when marked so.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "MainFormFixture.h"
#include "ScriptedServer.h"
#include "core/NetworkList.h"
#include "frame/NetworkListForm.h"
#include "frame/ServerLogForm.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class NetworkListFormTest : public MainFormFixture {
 protected:
  static void Flush() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  TNetworkListForm* List() { return form->findChild<TNetworkListForm*>(); }
  std::vector<std::string> Column(int Column) {
    std::vector<std::string> texts;
    QTreeWidget* view = List()->NetworkListView;
    for (int i = 0; i < view->topLevelItemCount(); ++i) texts.push_back(StdText(view->topLevelItem(i)->text(Column)));
    return texts;
  }
  // Fills the open editor: name, server lines, nick.
  TNetworkEditForm* Fill(const char* Name, const QString& Servers, const char* Nick = "taro") {
    TNetworkEditForm* editor = List()->Editor();
    if (!editor) return nullptr;
    editor->NameEdit->setText(QString::fromUtf8(Name));
    editor->ServersEdit->setPlainText(Servers);
    editor->NickNameEdit->setText(QString::fromUtf8(Nick));
    editor->LoginNameEdit->setText(QStringLiteral("taro"));
    editor->TrueNameEdit->setText(QStringLiteral("Taro"));
    return editor;
  }
};

TEST_F(NetworkListFormTest, TheListAddsEditsRefusesReordersConnectsAndRemovesNetworks) {
  TScriptedServer server;
  MakeForm();
  form->StartNetworks();
  ASSERT_NE(List(), nullptr);
  EXPECT_TRUE(List()->isVisible());
  EXPECT_FALSE(List()->NoteLabel->isHidden());
  EXPECT_FALSE(List()->RemoveButton->isEnabled());  // the first network stays

  // The first network is the settings file's.
  List()->EditButton->click();
  Fill("", QStringLiteral("127.0.0.1 6667"))->OKButton->click();
  EXPECT_EQ(Grobal().ServerName, "127.0.0.1");
  EXPECT_EQ(Grobal().NickName1, "taro");
  EXPECT_EQ(Column(0), (std::vector<std::string>{"127.0.0.1"}));
  EXPECT_TRUE(List()->NoteLabel->isHidden());

  const std::string port = std::to_string(server.Port());
  for (const char* name : {"日本", "utf8"}) {
    List()->AddButton->click();
    // A new network goes by the names of the first.
    EXPECT_EQ(List()->Editor()->NickNameEdit->text(), QStringLiteral("taro"));
    Fill(name, QString::fromStdString("127.0.0.1 " + port + "\nbackup.example 6697 -tls"))->OKButton->click();
  }
  EXPECT_EQ(Column(0), (std::vector<std::string>{"127.0.0.1", "日本", "utf8"}));
  EXPECT_EQ(Column(1)[1], "127.0.0.1 " + port + U8(u8" ほか 1 台"));

  // What cannot be taken is said, and the editor stays open.
  struct TRefusal {
    const char* Name;
    QString Servers;
    const char* Nick;
    std::string Says;
  };
  const TRefusal refusals[] = {
      {"utf8", QStringLiteral("a 1"), "n", U8(u8"ほかのネットワークが使っています")},
      {"", QStringLiteral("UTF8 1"), "n", U8(u8"ネットワーク名 UTF8 は")},  // unnamed: the host's name
      {"x", QStringLiteral("a 99999"), "n", U8(u8"「a 99999」を読めません")},
      {"x", QString(), "n", U8(u8"1 台以上")},
      {"x", QStringLiteral("a"), "", U8(u8"ニックネーム、ログイン名、本名")},
  };
  List()->SelectRow(1);
  List()->EditButton->click();
  for (const TRefusal& r : refusals) {
    SCOPED_TRACE(r.Says);
    platform.Messages.clear();
    Fill(r.Name, r.Servers, r.Nick)->OKButton->click();
    ASSERT_EQ(platform.Messages.size(), 1u);
    EXPECT_NE(platform.Messages[0].find(r.Says), std::string::npos) << platform.Messages[0];
    EXPECT_TRUE(List()->Editor() && List()->Editor()->isVisible());
  }
  List()->Editor()->reject();
  Flush();

  // Reordering moves the networks after the first only.
  List()->SelectRow(2);
  EXPECT_FALSE(List()->DownButton->isEnabled());
  List()->UpButton->click();
  EXPECT_EQ(Column(0), (std::vector<std::string>{"127.0.0.1", "utf8", "日本"}));
  EXPECT_FALSE(List()->UpButton->isEnabled());
  EXPECT_EQ(LoadFurtherNetworks()[0].Name, "utf8");

  // Connecting opens the network's own server window; the row follows its state.
  List()->SelectRow(2);
  List()->ConnectButton->click();
  ASSERT_EQ(session->Connections().size(), 2u);
  TConnection& jp = *session->Connections().back();
  EXPECT_EQ(jp.NetworkName(), "日本");
  EXPECT_EQ(form->findChildren<TServerLogForm*>().size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return jp.State() == TConnectionState::Registering; }));
  EXPECT_EQ(Column(2)[2], NetworkStateText(TConnectionState::Registering));
  EXPECT_TRUE(List()->DisconnectButton->isEnabled());
  List()->DisconnectButton->click();
  ASSERT_TRUE(PumpUntil([&] { return jp.State() == TConnectionState::Idle; }));
  EXPECT_EQ(Column(2)[2], NetworkStateText(TConnectionState::Idle));

  // Removing asks, ends the connection and forgets the network.
  platform.YesNoAnswers = {true};
  List()->RemoveButton->click();
  Flush();
  EXPECT_EQ(session->Connections().size(), 1u);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"127.0.0.1", "utf8"}));
  EXPECT_TRUE(form->findChildren<TServerLogForm*>().empty());

  // Marked to connect at start, a network does on the next start.
  List()->SelectRow(1);
  List()->EditButton->click();
  List()->Editor()->ConnectAtStartCheckBox->setChecked(true);
  List()->Editor()->OKButton->click();
  EXPECT_EQ(Column(3)[1], U8(u8"接続"));
  form->StartNetworks();
  ASSERT_EQ(session->Connections().size(), 2u);
  EXPECT_EQ(session->Connections().back()->NetworkName(), "utf8");
  EXPECT_EQ(Connection().State(), TConnectionState::Idle);  // the first is not marked
}

}  // namespace

namespace {

// The login fields: what each choice needs, and what it keeps.
TEST_F(NetworkListFormTest, TheEditorTakesALoginOnlyWithWhatItNeeds) {
  QTemporaryDir folder;
  const QString cert = folder.filePath(QStringLiteral("cert.pem"));
  QFile file(cert);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  TNetwork base;
  base.Name = "net";
  base.Nick = base.LoginName = base.RealName = "taro";
  struct TCase {
    const char* Servers;
    TSaslMechanism Mechanism;
    const char* Account;
    const char* Password;
    QString Cert;
    const char8_t* Problem;  // the start of the refusal; nullptr: taken
  };
  const TCase cases[] = {
      {"irc.example 6667", TSaslMechanism::Plain, "taro", "pw", {}, nullptr},
      {"irc.example 6667", TSaslMechanism::Plain, "taro", "", {}, u8"ログインするアカウント名とパスワード"},
      {"irc.example 6697 -tls", TSaslMechanism::External, "", "", cert, nullptr},
      {"irc.example 6697 -tls", TSaslMechanism::External, "", "", {}, u8"クライアント証明書のファイル"},
      {"irc.example 6667", TSaslMechanism::External, "", "", cert, u8"クライアント証明書でのログインは"},
      {"irc.example 6667", TSaslMechanism::None, "", "", folder.filePath(QStringLiteral("none.pem")), u8"ファイル "},
      // A password no login uses is dropped.
      {"irc.example 6697 -tls", TSaslMechanism::External, "taro", "pw", cert, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Servers + std::string(" ") + c.Account + "/" + c.Password);
    TNetworkEditForm editor(nullptr, base, {});
    editor.ServersEdit->setPlainText(QString::fromUtf8(c.Servers));
    editor.SaslComboBox->setCurrentIndex(editor.SaslComboBox->findData(static_cast<int>(c.Mechanism)));
    EXPECT_EQ(editor.SaslPassWordEdit->isEnabled(), c.Mechanism == TSaslMechanism::Plain);
    editor.SaslAccountEdit->setText(QString::fromUtf8(c.Account));
    editor.SaslPassWordEdit->setText(QString::fromUtf8(c.Password));
    editor.SaslRequiredCheckBox->setChecked(true);
    editor.ClientCertEdit->setText(c.Cert);
    TNetwork network;
    const std::string problem = editor.ReadNetwork(network);
    if (c.Problem) {
      EXPECT_TRUE(problem.starts_with(U8(c.Problem))) << problem;
      continue;
    }
    EXPECT_EQ(problem, "");
    const bool plain = c.Mechanism == TSaslMechanism::Plain;
    EXPECT_EQ(network.Sasl, (TSaslLogin{c.Mechanism, plain ? c.Account : "", plain ? c.Password : "", true}));
    EXPECT_EQ(network.ClientCertFile, c.Cert.toStdString());
  }
}

}  // namespace
