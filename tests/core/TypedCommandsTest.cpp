// Lines typed into a channel window: commands go to the server as commands,
// never as text to the channel.
#include "core/TypedCommands.h"

#include "CoreFixture.h"
#include "kanji/QtText.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using TypedCommandsTest = CoreFixture;

TEST_F(TypedCommandsTest, CommandsGoToTheServerAndOnlyTextIsSaid) {
  TChannel& chat = Channel("#c", "me bob");
  struct Case {
    std::string Typed;
    Lines Sent;
    TTypedKind Kind = TTypedKind::Ran;
    std::string Said = {};
  } cases[] = {
      {"hello", {}, TTypedKind::Say, "hello"},
      {"/msg NickServ IDENTIFY secret", {"PRIVMSG NickServ :IDENTIFY secret\r\n"}},
      {U8(u8"／MSG hanako やあ"), {U8(u8"PRIVMSG hanako :やあ\r\n")}},
      {"/notice bob hi", {"NOTICE bob :hi\r\n"}},
      {"/join #x key", {"JOIN #x key\r\n"}},
      {"/part", {"PART #c\r\n"}},
      {"/part #other bye now", {"PART #other :bye now\r\n"}},
      {"/part see you", {"PART #c :see you\r\n"}},
      {"/nick taro", {"NICK taro\r\n"}},
      {"/whois bob", {"WHOIS bob\r\n"}},
      {"/topic new topic", {"TOPIC #c :new topic\r\n"}},
      {"/kick bob out", {"KICK #c bob :out\r\n"}},
      {"/invite bob", {"INVITE bob #c\r\n"}},
      {"/mode", {"MODE #c\r\n"}},
      {"/mode #c +t", {"MODE #c +t\r\n"}},
      {"/away gone", {"AWAY :gone\r\n"}},
      {"/back", {"AWAY\r\n"}},
      {"/ctcp bob version", {"PRIVMSG bob :\x01VERSION\x01\r\n"}},
      {"/quote PRIVMSG x :y", {"PRIVMSG x :y\r\n"}},
      {"/frobnicate a b", {"FROBNICATE a b\r\n"}},
      {"/me waves", {}, TTypedKind::Say, "/me waves"},
      {"//not a command", {}, TTypedKind::Say, "/not a command"},
      {"/clear", {}, TTypedKind::Window},
      {"/", {}},
  };
  for (const Case& c : cases) {
    const TTypedOutcome outcome = RunTypedLine(Connection(), c.Typed, &chat, nullptr);
    EXPECT_EQ(TakeSent(), c.Sent) << c.Typed;
    EXPECT_EQ(outcome.Kind, c.Kind) << c.Typed;
    EXPECT_EQ(outcome.Text, c.Said) << c.Typed;
  }
  Take();
  // /query opens a talk window; /quit ends the connection with its reason.
  RunTypedLine(Connection(), "/query hanako", &chat, nullptr);
  ASSERT_EQ(Connection().Queries().size(), 1u);
  EXPECT_EQ(Connection().Queries()[0]->Caption, "hanako");
  // A talk window has no channel to leave or kick from.
  TQuery& talk = *Connection().Queries()[0];
  TakeSent();
  for (const char* typed : {"/part", "/kick bob", "/part #x bye"}) RunTypedLine(Connection(), typed, nullptr, &talk);
  EXPECT_EQ(TakeSent(), Lines{"PART #x :bye\r\n"});
}

// /connect opens a further network (kept in the list) under the names used
// here; an address that is no address opens nothing and says how.
TEST_F(TypedCommandsTest, ConnectOpensAFurtherNetworkKeptInTheList) {
  session->Grobal() = TGrobalArea{"", "taro", "Taro", "t", "h", "irc.example.jp", {}, "6667", true};
  for (const char* typed : {"/connect", "/connect host 0", "/connect host 99999", "/connect a 1 2", "/server"})
    RunTypedLine(Connection(), typed, nullptr, nullptr);
  EXPECT_EQ(session->Connections().size(), 1u);
  EXPECT_EQ(Of(Take(), "log").size(), 5u);
  struct Case {
    std::string Typed;
    TServerAddress Server;
    std::string Name;
  } cases[] = {{"/connect irc.one.invalid -tls", {"irc.one.invalid", 6697, true, ""}, "irc.one.invalid"},
               {"/connect irc.example.jp 7000", {"irc.example.jp", 7000, false, ""}, "irc.example.jp:7000"}};
  std::vector<TNetwork> expected;
  for (const Case& c : cases) {
    RunTypedLine(Connection(), c.Typed, nullptr, nullptr);
    const TConnection& added = *session->Connections().back();
    const TNetwork network = added.Network();
    EXPECT_EQ(network.Servers, std::vector<TServerAddress>{c.Server}) << c.Typed;
    EXPECT_EQ(network.Name, c.Name);
    EXPECT_EQ(network.Nick, "taro");
    EXPECT_EQ(network.Encoding, TWireEncoding::Jis);
    expected.push_back(network);
  }
  EXPECT_EQ(LoadFurtherNetworks(), expected);
  // The first network's settings are its own still.
  EXPECT_EQ(Connection().Area().ServerName, "irc.example.jp");
  for (const auto& connection : session->Connections()) connection->Disconnect();
}

}  // namespace
