// What a broken or hostile server may send: every command word with no, one
// or sixteen parameters, a huge names reply, a burst of CTCP queries.
#include <QCoreApplication>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "protocol/ChatParser.h"

using namespace tavi;
using namespace tavi::test;

namespace {

class HostileServerTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    Globals().CurrentNick = "me";
  }
};

TEST_F(HostileServerTest, AnyCommandWithZeroOneOrSixteenParameters) {
  std::string sixteen;
  for (int i = 1; i <= 16; ++i) sixteen += " p" + std::to_string(i);
  for (const std::string_view word : CommandKeywords) {
    const std::string command(word);
    for (const std::string& params : {std::string(" "), std::string(" me"), sixteen, std::string(" #c :\x01")})
      FeedAndSettle(":x!y@z " + command + params + "\r\n");
  }
  // Whatever opened, the window is still whole and answers the next line.
  Sent.clear();
  Feed("PING :alive\r\n");
  EXPECT_EQ(Sent, std::vector<std::string>{"PONG alive\r\n"});
}

TEST_F(HostileServerTest, AFiftyThousandNickNamesReplyIsHeldWhole) {
  Feed(":me!m@h JOIN :#huge\r\n");
  TChatForm* chat = form->FindChannelWindow("#huge");
  ASSERT_NE(chat, nullptr);
  constexpr int PerLine = 50, Lines = 1000;
  for (int line = 0; line < Lines; ++line) {
    std::string names;
    for (int i = 0; i < PerLine; ++i) names += " n" + std::to_string(line * PerLine + i);
    Feed(":s 353 me = #huge :" + names.substr(1) + "\r\n");
  }
  Feed(":s 366 me #huge :End\r\n");
  EXPECT_EQ(chat->NickCount(), PerLine * Lines);
  EXPECT_EQ(chat->NickAt(PerLine * Lines - 1), "n49999");
}

TEST_F(HostileServerTest, AThousandCtcpQueriesDrawOnlyRationedReplies) {
  for (int i = 0; i < 1000; ++i) Feed(":q" + std::to_string(i) + "!u@h PRIVMSG me :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent.size(), static_cast<std::size_t>(TCtcpRateLimiter::MaxReplies));
}

}  // namespace
