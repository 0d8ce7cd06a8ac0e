#include "protocol/CommandLex.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tavi;

namespace {

// Records which slot each line reached, with the token it got.
class RecordingHandlers : public TServerHandlers {
 public:
  std::vector<std::string> calls;
  std::vector<TToken> tokens;

#define TAVI_RECORD(Name)              \
  void Name(TToken Token) override {   \
    calls.push_back(#Name);            \
    tokens.push_back(std::move(Token)); \
  }
  TAVI_RECORD(ErrorCommand)
  TAVI_RECORD(NickCommand)
  TAVI_RECORD(JoinCommand)
  TAVI_RECORD(PartCommand)
  TAVI_RECORD(PrivmsgCommand)
  TAVI_RECORD(NoticeCommand)
  TAVI_RECORD(QuitCommand)
  TAVI_RECORD(ModeCommand)
  TAVI_RECORD(TopicCommand)
  TAVI_RECORD(PingCommand)
  TAVI_RECORD(InviteCommand)
  TAVI_RECORD(KickCommand)
  TAVI_RECORD(Welcome001)
  TAVI_RECORD(UserModeIs221)
  TAVI_RECORD(AdminMe256)
  TAVI_RECORD(AdminLoc1_257)
  TAVI_RECORD(AdminLoc2_258)
  TAVI_RECORD(AdminEmail259)
  TAVI_RECORD(Away301)
  TAVI_RECORD(Ison303)
  TAVI_RECORD(UnAway305)
  TAVI_RECORD(NowAway306)
  TAVI_RECORD(WhoisUser311)
  TAVI_RECORD(WhoisServer312)
  TAVI_RECORD(WhoisOperator313)
  TAVI_RECORD(WhowasUser314)
  TAVI_RECORD(WhoisIdle317)
  TAVI_RECORD(EndOfWhois318)
  TAVI_RECORD(WhoisChannels319)
  TAVI_RECORD(List322)
  TAVI_RECORD(ListEnd323)
  TAVI_RECORD(NoTopic331)
  TAVI_RECORD(Topic332)
  TAVI_RECORD(Inviting341)
  TAVI_RECORD(Version351)
  TAVI_RECORD(NamesReply353)
  TAVI_RECORD(EndOfNames366)
  TAVI_RECORD(BanList367)
  TAVI_RECORD(EndOfBanList368)
  TAVI_RECORD(EndOfWhowas369)
  TAVI_RECORD(Motd372)
  TAVI_RECORD(MotdStart375)
  TAVI_RECORD(EndOfMotd376)
  TAVI_RECORD(NoMotd422)
  TAVI_RECORD(ServerError)
#undef TAVI_RECORD
  bool NickRefused(const TToken& Token) override {
    calls.push_back("NickRefused " + Token.Params[2]);
    return Token.Params[2] == "taken";
  }
};

std::vector<std::string> Dispatch(const std::string& line) {
  RecordingHandlers h;
  DispatchServerLine(line, h);
  return h.calls;
}

using Calls = std::vector<std::string>;

}  // namespace

TEST(DispatchServerLine, EachNamedRowReachesItsOwnSlot) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"ERROR", "ErrorCommand"}, {"NICK", "NickCommand"}, {"JOIN", "JoinCommand"},
      {"PART", "PartCommand"}, {"PRIVMSG", "PrivmsgCommand"}, {"NOTICE", "NoticeCommand"},
      {"QUIT", "QuitCommand"}, {"MODE", "ModeCommand"}, {"TOPIC", "TopicCommand"},
      {"PING", "PingCommand"}, {"INVITE", "InviteCommand"}, {"KICK", "KickCommand"},
      {"001", "Welcome001"}, {"221", "UserModeIs221"}, {"256", "AdminMe256"},
      {"257", "AdminLoc1_257"}, {"258", "AdminLoc2_258"}, {"259", "AdminEmail259"},
      {"301", "Away301"}, {"303", "Ison303"}, {"305", "UnAway305"}, {"306", "NowAway306"}, {"311", "WhoisUser311"},
      {"312", "WhoisServer312"}, {"313", "WhoisOperator313"}, {"314", "WhowasUser314"},
      {"317", "WhoisIdle317"}, {"318", "EndOfWhois318"}, {"319", "WhoisChannels319"},
      {"322", "List322"}, {"323", "ListEnd323"}, {"331", "NoTopic331"}, {"332", "Topic332"},
      {"341", "Inviting341"}, {"351", "Version351"}, {"353", "NamesReply353"},
      {"366", "EndOfNames366"}, {"367", "BanList367"}, {"368", "EndOfBanList368"},
      {"369", "EndOfWhowas369"}, {"372", "Motd372"}, {"375", "MotdStart375"},
      {"376", "EndOfMotd376"}, {"422", "NoMotd422"}};
  for (const auto& [command, slot] : rows)
    EXPECT_EQ(Dispatch(":srv " + command + " me :x\r\n"), Calls{slot}) << command;
}

TEST(DispatchServerLine, HandlerGetsTheToken) {
  RecordingHandlers h;
  DispatchServerLine(":bob!b@h PRIVMSG #x :hi there\r\n", h);
  ASSERT_EQ(h.tokens.size(), 1u);
  EXPECT_EQ(h.tokens[0].Prefix, "bob!b@h");
  EXPECT_EQ(h.tokens[0].Params[1], "#x");
  EXPECT_EQ(h.tokens[0].Params[2], ":hi there");
}

TEST(DispatchServerLine, ErrorRange) {
  EXPECT_EQ(Dispatch(":srv 401 me nobody :No such nick\r\n"), Calls{"ServerError"});
  EXPECT_EQ(Dispatch(":srv 502 me :Cant change mode\r\n"), Calls{"ServerError"});
  EXPECT_EQ(Dispatch(":srv 433 * alice :Nickname is already in use\r\n"),
            (Calls{"NickRefused alice", "ServerError"}));
  // A refusal the connection answers itself is no error to show.
  EXPECT_EQ(Dispatch(":srv 432 * taken :Erroneous nickname\r\n"), Calls{"NickRefused taken"});
  // Every error reply, also one the table does not list; nothing outside.
  EXPECT_EQ(Dispatch(":srv 476 me #x :Bad Channel Mask\r\n"), Calls{"ServerError"});
  EXPECT_EQ(Dispatch(":srv 400 me :x\r\n"), Calls{});
  EXPECT_EQ(Dispatch(":srv 503 me :x\r\n"), Calls{});
}

TEST(DispatchServerLine, KnownWordsWithoutHandlerHaveNoEffect) {
  for (const char* line : {":srv 251 me :There are 3 users\r\n", ":srv PONG srv :srv\r\n",
                           ":srv 002 me :Your host\r\n", ":srv 004 me srv v1 o o\r\n",
                           "USER a b c :d\r\n", ":x WHO #c\r\n", ":x ISON a\r\n"})
    EXPECT_EQ(Dispatch(line), Calls{}) << line;
}

TEST(DispatchServerLine, LinesThatDoNotTokenizeAreDropped) {
  for (const char* line : {"", "\r\n", "hello world\r\n", ":bob\r\n", ":a PRIVMSG #x :no end", "@time=x\r\n"})
    EXPECT_EQ(Dispatch(line), Calls{}) << line;
}

// Lines are read by position: the command is the word after the source, in
// any case, with or without parameters; a word further on is a parameter.
TEST(DispatchServerLine, TheCommandIsTheWordAfterTheSource) {
  EXPECT_EQ(Dispatch(":bob QUIT\r\n"), Calls{"QuitCommand"});
  EXPECT_EQ(Dispatch(":bob!b@h privmsg #x :hi\r\n"), Calls{"PrivmsgCommand"});
  EXPECT_EQ(Dispatch("ERROR :Closing Link: (Ping timeout: 240 seconds)\r\n"), Calls{"ErrorCommand"});
  EXPECT_EQ(Dispatch(":srv 999 me :someone JOIN #x\r\n"), Calls{});
  std::string sixteen;
  for (int i = 1; i <= 16; ++i) sixteen += " p" + std::to_string(i);
  EXPECT_EQ(Dispatch(":srv MODE" + sixteen.substr(0, sixteen.size() - 4) + "\r\n"), Calls{"ModeCommand"});
  EXPECT_EQ(Dispatch(":srv MODE" + sixteen + "\r\n"), Calls{});
}

// IRCv3 tags go before the source and leave the rest as it is.
TEST(DispatchServerLine, ATaggedLineReachesItsSlotWithItsSender) {
  RecordingHandlers h;
  DispatchServerLine("@time=2026-12-09T10:00:00.000Z;msgid=x :alice!a@h PRIVMSG #c :hello\r\n", h);
  ASSERT_EQ(h.tokens.size(), 1u);
  EXPECT_EQ(h.tokens[0].Prefix, "alice!a@h");
  EXPECT_EQ(h.tokens[0].Params[2], ":hello");
}
