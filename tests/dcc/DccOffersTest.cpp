// DCC offers arriving in messages, and the channel window's DCC items.
#include <QCoreApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QTcpServer>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "dcc/DCC.h"
#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"

using namespace tavi;
using namespace tavi::test;

namespace {

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string ChatQuestion(const std::string& Nick) {
  return Nick + U8(u8" から DCC CHAT の接続要求が来ています") + "\r\n" + U8(u8"接続しますか？");
}

std::string FileQuestion(const std::string& Nick, const std::string& File, const std::string& Size) {
  return Nick + U8(u8" から ") + File + U8(u8"（") + Size + U8(u8"）というファイルが送られてきています") + "\r\n" +
         U8(u8"受信しますか？");
}

class DccOffersTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm().show();
    Own().CurrentNick = "me";
  }
  void TearDown() override {
    MainFormFixture::TearDown();
    DeleteClosed();
  }

  TDCCForm* Chat(const std::string& Nick) { return qobject_cast<TDCCForm*>(form->FindChildWindow(Nick)); }

  // A channel window with the members, Row selected as a click would.
  TChatForm* ChannelWithSelection(const std::vector<std::string>& Members, int Row, const std::string& Name = "#c") {
    TChatForm* chat = OpenChannelWindow(Name);
    for (const std::string& nick : Members) chat->Channel()->Members.Add(chat->Channel()->Members.FromEntry(nick));
    QWidget* viewport = chat->NickNameRichEdit->viewport();
    const QPoint at = chat->NickNameRichEdit->visualRect(chat->NickNameRichEdit->model()->index(Row, 0)).center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &press);
    return chat;
  }
};

}  // namespace

TEST_F(DccOffersTest, ChatOffersAreAskedFirstWhateverTheTypesCase) {
  // Declined: no window, nothing connected.
  QTcpServer listener;
  ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
  const std::string port = std::to_string(listener.serverPort());
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC chat chat 2130706433 " + port + "\x01\r\n");
  ASSERT_EQ(platform.Questions, std::vector<std::string>{ChatQuestion("bob")});
  EXPECT_EQ(Chat("bob"), nullptr);
  QCoreApplication::processEvents();
  EXPECT_FALSE(listener.hasPendingConnections());

  // Accepted: the window opens and connects to the offered port.
  platform.YesNoAnswers = {true};
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC CHAT chat 2130706433 " + port + "\x01\r\n");
  TDCCForm* chat = Chat("bob");
  ASSERT_NE(chat, nullptr);
  EXPECT_EQ(chat->SocketRole, "CLIENT");
  EXPECT_TRUE(PumpUntil([&] { return listener.hasPendingConnections(); }));
  EXPECT_TRUE(Sent.empty());
}

TEST_F(DccOffersTest, FileOffersAreAskedWithTheirNameAndDeclinedOnesConnectNowhere) {
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC SEND notes.txt 2130706433 1040 12\x01\r\n");
  ASSERT_EQ(platform.Questions, std::vector<std::string>{FileQuestion("bob", "notes.txt", U8(u8"12 バイト"))});
  EXPECT_EQ(TDccTransFileForm::OwnedBy(form.get()), nullptr);

  // A name with a space is cut at it, and the fields after it shift: the
  // port becomes "1040" + ... and the offer cannot work.
  platform.Questions.clear();
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC SEND my notes.txt 2130706433 1040 12\x01\r\n");
  EXPECT_TRUE(platform.Questions.empty());
  ASSERT_EQ(platform.Notices.size(), 1u);
  EXPECT_EQ(platform.Notices[0],
            UnusableOfferMessage("bob", "SEND", "my", "notes.txt", "2130706433", "1040 12"));
  EXPECT_EQ(TDccTransFileForm::OwnedBy(form.get()), nullptr);
}

TEST_F(DccOffersTest, OffersThatCannotWorkAreRefusedWithoutAsking) {
  const std::vector<std::string> offers = {
      "DCC CHAT chat 2130706433 0",        "DCC CHAT chat 2130706433 65536",  "DCC CHAT chat 12x 7000",
      "DCC CHAT chat",                     "DCC SEND f 2130706433 1040 -1",   "DCC SEND f 2130706433 1040 9223372036854775808",
      "DCC SEND f 2130706433 1040",        "DCC SEND f 2130706433 99999 10",  "DCC SEND f 1.2.3.4 1040 10",
  };
  for (const std::string& offer : offers) {
    platform.Notices.clear();
    FeedAndSettle(":bob!b@h PRIVMSG me :\x01" + offer + "\x01\r\n");
    EXPECT_TRUE(platform.Questions.empty()) << offer;
    ASSERT_EQ(platform.Notices.size(), 1u) << offer;
    EXPECT_NE(platform.Notices[0].find("bob"), std::string::npos) << offer;
  }
  EXPECT_EQ(Chat("bob"), nullptr);
  EXPECT_EQ(TDccTransFileForm::OwnedBy(form.get()), nullptr);
  EXPECT_TRUE(Sent.empty());
}

TEST_F(DccOffersTest, OtherTypesAreRefusedAndRefusedNicksIgnored) {
  session->VersionText = "Tavi 1.0";
  Grobal().UTF8Choice = true;  // sent texts compare with their literals
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC RESUME f 1040 0\x01\r\n");
  ASSERT_EQ(Sent.size(), 1u);
  EXPECT_EQ(Sent[0], "NOTICE bob :\x01" "DCC Tavi 1.0" + U8(u8" では ") + "RESUME" + U8(u8" をサポートしていません。") +
                         "\x01\r\n");

  session->Connection().RecieveDenyList = {"BOB"};
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC CHAT chat 2130706433 7000\x01\r\n");
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC SEND f 2130706433 1040 10\x01\r\n");
  FeedAndSettle(":bob!b@h PRIVMSG me :\x01" "DCC RESUME f 1040 0\x01\r\n");
  EXPECT_TRUE(platform.Questions.empty());
  EXPECT_EQ(Sent.size(), 1u);
}

TEST_F(DccOffersTest, ChatItemOffersTheSelectedMemberAChatAndFollowsItsNickChange) {
  platform.Addresses = {"192.168.1.10"};
  TChatForm* chat = ChannelWithSelection({"@alice", "bob"}, 0);
  chat->Menus().CHAT1->trigger();

  TDCCForm* dcc = Chat("alice");
  ASSERT_NE(dcc, nullptr);
  EXPECT_EQ(dcc->SocketRole, "SERVER");
  ASSERT_TRUE(dcc->ServerSocket->isListening());
  const std::uint16_t port = dcc->ServerSocket->serverPort();
  ASSERT_EQ(Sent.size(), 1u);
  EXPECT_EQ(Sent[0], "PRIVMSG alice :\x01" "DCC CHAT chat 3232235786 " + std::to_string(port) + "\x01\r\n");

  // The next offer draws the next port of the table.
  chat = ChannelWithSelection({"bob"}, 0, "#d");
  chat->Menus().CHAT1->trigger();
  TDCCForm* second = Chat("bob");
  ASSERT_NE(second, nullptr);
  EXPECT_GT(second->ServerSocket->serverPort(), port);

  Feed(":alice!a@h NICK :alicia\r\n");
  EXPECT_EQ(dcc->Caption(), "alicia");
  EXPECT_EQ(Chat("alice"), nullptr);
  bool listed = false;
  for (QAction* a : form->Window1->actions()) listed = listed || StdText(a->text()) == "alicia";
  EXPECT_TRUE(listed);
}

TEST_F(DccOffersTest, SendItemAsksForAFileAndACancelSendsNothing) {
  TChatForm* chat = ChannelWithSelection({"@alice"}, 0);
  chat->Menus().SEND1->trigger();
  EXPECT_EQ(platform.OpenFilters.size(), 1u);
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(TDccTransFileForm::OwnedBy(form.get()), nullptr);
}
