// The capability negotiation and the SASL login, as lines in and lines out.
#include "core/Capabilities.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <string>
#include <vector>

#include "protocol/Message.h"

namespace tavi {
namespace {

using Lines = std::vector<std::string>;

struct TNegotiation {
  const char* Name;
  TSaslLogin Login;
  Lines Server;    // lines the server sends, in turn
  Lines Sent;      // what the client sends after "CAP LS 302"
  Lines Enabled;
  TSaslOutcome Outcome;
};

TSaslLogin Plain(bool Required) { return {TSaslMechanism::Plain, "taro", "pw", Required}; }

TEST(CapabilitiesTest, NegotiatesAndLogsInAsTheServerAnswers) {
  const std::string creds = "AUTHENTICATE dGFybwB0YXJvAHB3\r\n";  // taro\0taro\0pw
  const TNegotiation cases[] = {
      {"offers in two lines, login",
       Plain(false),
       {"CAP * LS * :multi-prefix sasl=PLAIN,EXTERNAL unknown-cap",
        "CAP * LS :server-time away-notify", "CAP * ACK :multi-prefix server-time away-notify sasl",
        "AUTHENTICATE +", "900 taro taro!u@h taro :You are now logged in as taro", "903 taro :SASL ok"},
       {"CAP REQ :server-time multi-prefix away-notify sasl\r\n", "AUTHENTICATE PLAIN\r\n", creds, "CAP END\r\n"},
       {"away-notify", "multi-prefix", "sasl", "server-time"},
       TSaslOutcome::LoggedIn},
      {"refused request, no login",
       {},
       {"CAP * LS :multi-prefix sasl", "CAP * NAK :multi-prefix"},
       {"CAP REQ :multi-prefix\r\n", "CAP END\r\n"},
       {},
       TSaslOutcome::None},
      {"wrong password, go on", Plain(false),
       {"CAP * LS :sasl", "CAP * ACK :sasl", "AUTHENTICATE +", "904 * :SASL authentication failed"},
       {"CAP REQ :sasl\r\n", "AUTHENTICATE PLAIN\r\n", creds, "CAP END\r\n"},
       {"sasl"},
       TSaslOutcome::Failed},
      {"wrong password, login required: registration is held", Plain(true),
       {"CAP * LS :sasl", "CAP * ACK :sasl", "AUTHENTICATE +", "904 * :SASL authentication failed"},
       {"CAP REQ :sasl\r\n", "AUTHENTICATE PLAIN\r\n", creds},
       {"sasl"},
       TSaslOutcome::Failed},
      {"no sasl offered", Plain(false), {"CAP * LS :server-time", "CAP * ACK :server-time"},
       {"CAP REQ :server-time\r\n", "CAP END\r\n"}, {"server-time"}, TSaslOutcome::NotOffered},
      {"certificate login", {TSaslMechanism::External, "", "", true},
       {"CAP * LS :sasl=EXTERNAL", "CAP * ACK :sasl", "AUTHENTICATE +", "903 * :ok"},
       {"CAP REQ :sasl\r\n", "AUTHENTICATE EXTERNAL\r\n", "AUTHENTICATE +\r\n", "CAP END\r\n"},
       {"sasl"},
       TSaslOutcome::LoggedIn},
      {"offers come and go later", {},
       {"CAP * LS :", "001 me :hi", "CAP me NEW :away-notify chghost x", "CAP me ACK :away-notify chghost",
        "CAP me DEL :away-notify"},
       {"CAP END\r\n", "CAP REQ :away-notify chghost\r\n"},
       {"chghost"},
       TSaslOutcome::None},
      {"an old server answers nothing", {}, {"001 me :hi", "AUTHENTICATE +"}, {}, {}, TSaslOutcome::None},
  };
  for (const TNegotiation& c : cases) {
    SCOPED_TRACE(c.Name);
    TCapabilities caps;
    Lines sent;
    caps.Start(c.Login, [&](const std::string& Line) { sent.push_back(Line); });
    ASSERT_EQ(sent, Lines{"CAP LS 302\r\n"});
    sent.clear();
    for (const std::string& line : c.Server) {
      TMessage message;
      ASSERT_TRUE(ParseMessage(":irc.test " + line + "\r\n", message)) << line;
      if (message.Command == "001") caps.Registered();
      caps.Take(message);
    }
    EXPECT_EQ(sent, c.Sent);
    EXPECT_EQ(Lines(caps.EnabledSet().begin(), caps.EnabledSet().end()), c.Enabled);
    EXPECT_EQ(caps.SaslOutcome(), c.Outcome);
  }
}

TEST(CapabilitiesTest, APlainReplyGoesInPiecesOf400) {
  for (const std::size_t passwordBytes : {10u, 294u, 296u}) {
    const std::string password(passwordBytes, 'p');
    const Lines lines = TCapabilities::PlainResponse("ab", password);
    std::string joined;
    for (const std::string& line : lines) {
      ASSERT_TRUE(line.starts_with("AUTHENTICATE ") && line.ends_with("\r\n"));
      const std::string piece = line.substr(13, line.size() - 15);
      EXPECT_LE(piece.size(), 400u);
      if (piece != "+") joined += piece;
    }
    // A password of 294 bytes makes 300 bytes, exactly 400 characters of
    // base64: the server learns of the end from a lone "+".
    const std::string plain = std::string("ab") + '\0' + "ab" + '\0' + password;
    EXPECT_EQ(joined, QByteArray(plain.data(), static_cast<qsizetype>(plain.size())).toBase64().toStdString());
    EXPECT_EQ(lines.back() == "AUTHENTICATE +\r\n", joined.size() % 400 == 0) << passwordBytes;
  }
}

}  // namespace
}  // namespace tavi
