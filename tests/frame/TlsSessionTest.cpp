// The session over TLS against a TLS server of the test's own: the question
// about an unknown certificate and its answers, pinning, a changed
// certificate, a failed handshake, and text byte for byte.
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QTimer>

#include "MainFormFixture.h"
#include "ScriptedServer.h"
#include "TlsIdentity.h"
#include "conversation/Chat.h"
#include "core/ConnectionOptions.h"
#include "core/DesktopSettings.h"
#include "platform/QtPlatform.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class TlsSessionTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    SaveConnectionOptions(TConnectionOptions::With(true, false, false));
  }
  TMainForm& Make(std::uint16_t Port) {
    TMainForm& f = MakeForm(false);
    Grobal() = TGrobalArea{"", "abc", "Taro", "me", "host", "127.0.0.1", {}, std::to_string(Port)};
    return f;
  }
  const TTlsIdentity identity = MakeSelfSignedIdentity();
};

TEST_F(TlsSessionTest, UnknownCertificateAsksOnceAndEachAnswerDoesWhatItSays) {
  struct TCase {
    const char* Name;
    int Answer;
    bool Connects;
    bool Pinned;
  };
  for (const TCase& c : {TCase{"this time", 0, true, false}, TCase{"always", 1, true, true},
                         TCase{"refuse", 2, false, false}, TCase{"box closed", -1, false, false}}) {
    SCOPED_TRACE(c.Name);
    OpenDesktopSettings()->clear();
    SaveConnectionOptions(TConnectionOptions::With(true, false, false));
    platform.Reset();
    TScriptedServer server;
    server.StartTls(identity);
    auto nick = server.ReadLine();
    TMainForm& f = Make(server.Port());
    platform.ChoiceAnswers = {c.Answer};
    ASSERT_TRUE(ConnectAndWait(f));
    ASSERT_EQ(platform.Questions.size(), 1u);
    EXPECT_NE(platform.Questions[0].find(identity.Fingerprint), std::string::npos);
    EXPECT_NE(platform.Questions[0].find("SHA-256"), std::string::npos);
    EXPECT_EQ(platform.ChoiceLists[0],
              (std::vector<std::string>{U8(u8"今回だけ許可"), U8(u8"常に許可"), U8(u8"拒否")}));
    EXPECT_EQ(f.Connection().SocketActive(), c.Connects);
    EXPECT_EQ(PinnedFingerprint("127.0.0.1", server.Port()), c.Pinned ? identity.Fingerprint : "");
    if (c.Connects) {
      EXPECT_EQ(Await(nick), "NICK abc\r\n");
      // Once accepted, the same certificate is not asked about again in this run.
      server.AcceptNext();
      server.StartTls(identity);
      ASSERT_TRUE(ConnectAndWait(f));
      EXPECT_TRUE(f.Connection().SocketActive());
      EXPECT_EQ(platform.Questions.size(), 1u);
    } else {
      EXPECT_NE(f.StatusText().find(U8(u8"証明書を拒否")), std::string::npos);
      EXPECT_TRUE(f.ServerConnect->isEnabled());
    }
    form.reset();
  }
}

TEST_F(TlsSessionTest, PinnedCertificateConnectsSilentlyAndAChangedOneAsksSayingSo) {
  TScriptedServer server;
  PinFingerprint("127.0.0.1", server.Port(), identity.Fingerprint);
  server.StartTls(identity);
  TMainForm& f = Make(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_TRUE(f.Connection().SocketActive());
  EXPECT_TRUE(platform.Questions.empty());

  const TTlsIdentity other = MakeSelfSignedIdentity();
  server.AcceptNext();
  server.StartTls(other);
  platform.ChoiceAnswers = {1};
  ASSERT_TRUE(ConnectAndWait(f));
  ASSERT_EQ(platform.Questions.size(), 1u);
  EXPECT_NE(platform.Questions[0].find(U8(u8"変わっています")), std::string::npos);
  EXPECT_NE(platform.Questions[0].find(other.Fingerprint), std::string::npos);
  EXPECT_NE(platform.Questions[0].find(identity.Fingerprint), std::string::npos);
  EXPECT_EQ(PinnedFingerprint("127.0.0.1", server.Port()), other.Fingerprint);
}

// The text of one cell of a rich text's table.
QString CellText(QTextTable& Table, int Row, int Column) {
  QTextCursor cursor = Table.cellAt(Row, Column).firstCursorPosition();
  cursor.setPosition(Table.cellAt(Row, Column).lastCursorPosition().position(), QTextCursor::KeepAnchor);
  return cursor.selectedText().remove(QChar::LineSeparator);
}

// A certificate that differs from the pinned one is a warning that says so,
// the two fingerprints side by side; refusing is the default, and Esc and
// the title bar's close refuse too.
TEST_F(TlsSessionTest, AChangedCertificateIsAWarningThatRefusesByDefaultAndOnEscape) {
  TQtPlatform boxes;
  SetPlatform(&boxes);
  const TTlsIdentity other = MakeSelfSignedIdentity();
  for (const bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Esc" : "close");
    TScriptedServer server;
    PinFingerprint("127.0.0.1", server.Port(), identity.Fingerprint);
    server.StartTls(other);
    TMainForm& f = Make(server.Port());
    QString title, defaultText, pinnedCell, newCell;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool closed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      watch.stop();
      icon = box->icon();
      title = box->windowTitle();
      defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
      QTextDocument text;
      text.setHtml(box->text());
      for (QTextFrame* frame : text.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame); table && table->rows() == 2 && table->columns() == 2) {
          pinnedCell = CellText(*table, 1, 0);
          newCell = CellText(*table, 1, 1);
        }
      if (escape) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &key);
      } else {
        box->close();
      }
      closed = !box->isVisible();
      if (!closed) box->done(-1);  // the box would wait for a button
    });
    watch.start(20);
    f.Connection().Connect();
    ASSERT_TRUE(PumpUntil([&] { return f.Connection().State() == TConnectionState::Idle && !watch.isActive(); }));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(StdText(title), U8(u8"警告：サーバーの証明書が変わっています"));
    EXPECT_EQ(StdText(pinnedCell), identity.Fingerprint);
    EXPECT_EQ(StdText(newCell), other.Fingerprint);
    EXPECT_EQ(StdText(defaultText), U8(u8"拒否"));
    EXPECT_TRUE(closed);
    EXPECT_NE(f.StatusText().find(U8(u8"証明書を拒否")), std::string::npos) << f.StatusText();
    EXPECT_EQ(PinnedFingerprint("127.0.0.1", server.Port()), identity.Fingerprint);
    form.reset();
  }
}

TEST_F(TlsSessionTest, FailedHandshakeSaysWhyInTheStatusBarAndABox) {
  TScriptedServer server;
  server.Send(":irc.example NOTICE * :*** Looking up your hostname\r\n");
  TMainForm& f = Make(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_TRUE(platform.Questions.empty());
  const std::string why = U8(u8"サーバーが SSL/TLS で応答しませんでした。");
  EXPECT_NE(f.StatusText().find(why), std::string::npos);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.Messages[0].find(why), std::string::npos);
  EXPECT_NE(platform.Messages[0].find(U8(u8"このポートは SSL/TLS 用ではないかもしれません")), std::string::npos);
  EXPECT_TRUE(f.ServerConnect->isEnabled());
}

TEST_F(TlsSessionTest, RegistrationAndJisTextCrossTlsByteForByte) {
  TScriptedServer server;
  PinFingerprint("127.0.0.1", server.Port(), identity.Fingerprint);
  server.StartTls(identity);
  auto pass = server.ReadLine();
  auto nick = server.ReadLine();
  auto user = server.ReadLine();
  TMainForm& f = Make(server.Port());
  Grobal().Password = "pw";
  Grobal().NickName1 = U8(u8"あ");
  Grobal().JISChoice = true;
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_EQ(Await(pass), "PASS pw\r\n");
  EXPECT_EQ(Await(nick), "NICK \x1B$B$\"\x1B(B\r\n");
  EXPECT_EQ(Await(user), "USER me host 127.0.0.1 :Taro\r\n");

  server.Send(":srv 001 \x1B$B$\"\x1B(B :Welcome\r\n:srv 376 \x1B$B$\"\x1B(B :End\r\n");
  server.Send(":\x1B$B$\"\x1B(B!u@h JOIN :#a\r\n:bob!u@h PRIVMSG #a :\x1B$B$3$s$K$A$O\x1B(B\r\n");
  ASSERT_TRUE(PumpUntil([&] {
    TChatForm* chat = f.FindChannelWindow("#a");
    return chat && chat->RecvLines().back().find("[bob]") != std::string::npos;
  }));
  EXPECT_EQ(f.FindChannelWindow("#a")->RecvLines().back(), "09:05 [bob] " + U8(u8"こんにちは"));
  for (int i = 0; i < 2; ++i) server.ReadLine();  // MODE nick, MODE #a
  auto said = server.ReadLine();
  f.Connection().SendLine(U8(u8"PRIVMSG #a :こん\r\n"));
  EXPECT_EQ(Await(said), "PRIVMSG #a :\x1B$B$3$s\x1B(B\r\n");
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

}  // namespace
