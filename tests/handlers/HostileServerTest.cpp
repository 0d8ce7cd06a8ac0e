// What a broken or hostile server may send: every command word with no, one
// or sixteen parameters, a huge names reply, a burst of CTCP queries.
#include <QCoreApplication>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "handlers/ServerLineHandlers.h"
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

// One nick in 60,000 spellings of case is one member, and leaving takes it
// out at once; a nick listed again (as operator too) stays one entry.
TEST_F(HostileServerTest, OneNickInManyCasesIsOneMember) {
  Feed(":me!m@h JOIN :#dup\r\n");
  TChatForm* chat = form->FindChannelWindow("#dup");
  ASSERT_NE(chat, nullptr);
  std::string names;
  for (int variant = 0; variant < 60000; ++variant) {
    std::string nick = "duplicatednickxx";
    for (std::size_t bit = 0; bit < nick.size(); ++bit)
      if (variant & (1 << bit)) nick[bit] = static_cast<char>(nick[bit] - 'a' + 'A');
    names += nick + " ";
    if (variant % 50 == 49) {
      Feed(":s 353 me = #dup :" + names + "\r\n");
      names.clear();
    }
  }
  Feed(":s 353 me = #dup :@DuplicatedNickXX me\r\n");
  Feed(":s 366 me #dup :End\r\n");
  ASSERT_EQ(chat->NickCount(), 2);
  EXPECT_GE(chat->FindNick("@duplicatednickxx"), 0);
  Feed(":duplicatednickxx!u@h JOIN :#dup\r\n");
  EXPECT_EQ(chat->NickCount(), 2);
  for (int i = 0; i < 20; ++i) Feed(":DUPLICATEDNICKXX!u@h PART #dup\r\n");
  EXPECT_EQ(chat->NickCount(), 1);
  EXPECT_EQ(chat->NickAt(0), "me");
}

TEST_F(HostileServerTest, AThousandCtcpQueriesDrawOnlyRationedReplies) {
  for (int i = 0; i < 1000; ++i) Feed(":q" + std::to_string(i) + "!u@h PRIVMSG me :\x01VERSION\x01\r\n");
  EXPECT_EQ(Sent.size(), static_cast<std::size_t>(TCtcpRateLimiter::MaxReplies));
}

}  // namespace

TEST_F(HostileServerTest, ForcedJoinsOpenNoMoreThanTheBoundOfChannelWindows) {
  constexpr int Bound = TServerLineHandlers::MaxChannelWindows;
  for (int i = 0; i < Bound + 3; ++i) Feed(":me!u@h JOIN #c" + std::to_string(i) + "\r\n");
  // Someone else joining yet another channel opens nothing either.
  Feed(":x!u@h JOIN #other\r\n");
  int channels = 0;
  for (TMdiChildForm* child : form->ChildWindows()) channels += qobject_cast<TChatForm*>(child) != nullptr;
  EXPECT_EQ(channels, Bound);
  EXPECT_EQ(form->FindChannelWindow("#other"), nullptr);
  // The ones beyond are left again, each with a line in the server log.
  std::vector<std::string> parts;
  for (const std::string& line : Sent)
    if (line.rfind("PART ", 0) == 0) parts.push_back(line);
  EXPECT_EQ(parts, (std::vector<std::string>{"PART #c250\r\n", "PART #c251\r\n", "PART #c252\r\n"}));
  int notes = 0;
  for (const std::string& line : MemoLines()) notes += line.find("#c25") != std::string::npos;
  EXPECT_EQ(notes, 3);
  // A window that exists still takes its joins.
  Feed(":y!u@h JOIN #c0\r\n");
  EXPECT_GE(form->FindChannelWindow("#c0")->FindNick("y"), 0);
}
