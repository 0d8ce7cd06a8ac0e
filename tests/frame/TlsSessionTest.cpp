// The session over TLS against a TLS server of the test's own: the question
// about an unknown certificate and its answers, pinning, a changed
// certificate, a failed handshake, and text byte for byte.
#include "MainFormFixture.h"
#include "ScriptedServer.h"
#include "TlsIdentity.h"
#include "conversation/Chat.h"
#include "core/ConnectionOptions.h"
#include "core/DesktopSettings.h"

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

TEST_F(TlsSessionTest, FailedHandshakeSaysWhyInTheStatusBarAndABox) {
  TScriptedServer server;
  server.Send(":irc.example NOTICE * :*** Looking up your hostname\r\n");
  TMainForm& f = Make(server.Port());
  ASSERT_TRUE(ConnectAndWait(f));
  EXPECT_FALSE(f.Connection().SocketActive());
  EXPECT_TRUE(platform.Questions.empty());
  const std::string why = U8(u8"サーバーが SSL/TLS で応答しませんでした。ポート番号を確かめてください。");
  EXPECT_NE(f.StatusText().find(why), std::string::npos);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.Messages[0].find(why), std::string::npos);
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
