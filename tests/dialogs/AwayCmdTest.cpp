#include <QAction>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "dialogs/AwayCmd.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

class AwayCmdTest : public MainFormFixture {
 protected:
  TAwayCmdForm& Dialog() { return *form->AwayDialog(); }
  // Types Text and presses 設定; returns what was sent by it.
  Lines Ok(const std::string& Text) {
    Sent.clear();
    Dialog().AwayMessageEdit->setText(QText(Text));
    Dialog().OKButton->click();
    return Sent;
  }
  Lines Cancel() {
    Sent.clear();
    Dialog().CancelButton->click();
    return Sent;
  }
  int HelpContext() { return Dialog().property("helpContext").toInt(); }
};

}  // namespace

TEST_F(AwayCmdTest, OneHiddenInstanceThatGoesWithTheMainWindow) {
  MakeForm();
  EXPECT_EQ(form->findChild<TAwayCmdForm*>(), nullptr);
  TAwayCmdForm* dialog = form->AwayDialog();
  EXPECT_EQ(form->AwayDialog(), dialog);
  EXPECT_EQ(dialog->parent(), form.get());
  EXPECT_FALSE(dialog->isVisible());
  // Closing only hides it.
  form->AwayCmdClick();
  QPointer<TAwayCmdForm> kept = dialog;
  dialog->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(kept.isNull());
  EXPECT_FALSE(kept->isVisible());
  form.reset();
  EXPECT_TRUE(kept.isNull());
}

TEST_F(AwayCmdTest, AwayIsSentAsTypedAndKeptTrimmed) {
  MakeForm();
  Own().AwayMessage = "old";
  form->AwayCmd->trigger();
  EXPECT_TRUE(Dialog().isVisible());
  EXPECT_EQ(Dialog().CommandKind, "Away");
  EXPECT_EQ(Dialog().Caption(), U8(u8"自動返信の設定"));
  EXPECT_EQ(Dialog().LabelText(), U8(u8"自動で返信するメッセージ："));
  EXPECT_EQ(Dialog().EditText(), "old");
  EXPECT_EQ(HelpContext(), 49);

  EXPECT_TRUE(Ok("").empty());
  EXPECT_EQ(platform.Messages, Lines{U8(u8"メッセージが書き込まれていません。")});
  EXPECT_TRUE(Dialog().isVisible());

  EXPECT_EQ(Ok("  gone  "), Lines{"AWAY :  gone  \r\n"});
  EXPECT_EQ(Own().AwayMessage, "gone");
  EXPECT_FALSE(Dialog().isVisible());
  form->AwayCmdClick();
  EXPECT_EQ(Dialog().EditText(), "gone");

  // Blanks alone pass the test and leave no message in force.
  EXPECT_EQ(Ok("   "), Lines{"AWAY :   \r\n"});
  EXPECT_EQ(Own().AwayMessage, "");
}

TEST_F(AwayCmdTest, CancelEndsTheAwayAndCloseSendsNothing) {
  MakeForm();
  Own().AwayMessage = "gone";
  form->AwayCmdClick();
  EXPECT_EQ(Cancel(), Lines{"AWAY \r\n"});
  EXPECT_EQ(Own().AwayMessage, "");
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(Dialog().EditText(), "");

  Sent.clear();
  form->AwayCmdClick();
  Dialog().CloseButton->click();
  EXPECT_TRUE(Sent.empty());
  EXPECT_FALSE(Dialog().isVisible());
}

TEST_F(AwayCmdTest, NewNickIsTrimmedAndCutToEightBytes) {
  MakeForm();
  Own().CurrentNick = "tavi";
  form->AwayCmdClick();
  Dialog().AwayMessageEdit->setText(QStringLiteral("leftover"));
  form->NickCmd->trigger();
  EXPECT_TRUE(Dialog().isVisible());
  EXPECT_EQ(Dialog().CommandKind, "Nick");
  EXPECT_EQ(Dialog().Caption(), U8(u8"ニックネームの変更"));
  EXPECT_EQ(Dialog().LabelText(), U8(u8"現在のニックネーム：") + "tavi");
  EXPECT_EQ(Dialog().EditText(), "");
  EXPECT_EQ(HelpContext(), 85);

  EXPECT_EQ(Ok("abcdefghij"), Lines{"NICK abcdefgh\r\n"});
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(Ok("  bob  "), Lines{"NICK bob\r\n"});
  EXPECT_EQ(Ok(U8(u8"あいうえ")), Lines{"NICK \x82\xA0\x82\xA2\x82\xA4\x82\xA6\r\n"});  // 8 bytes of Shift-JIS
  // The eighth byte would be the first half of あ: the character stays whole.
  EXPECT_EQ(Ok("abcdefg" + U8(u8"あ")), Lines{"NICK abcdefg\r\n"});
  EXPECT_EQ(Own().CurrentNick, "tavi");

  form->NickCmdClick();
  EXPECT_TRUE(Ok("    ").empty());
  EXPECT_EQ(platform.Messages, Lines{U8(u8"新しいニックネームが書き込まれていません。")});
  EXPECT_TRUE(Dialog().isVisible());
}

TEST_F(AwayCmdTest, NickCutCountsTheBytesOfTheEncodingAndCutsBetweenCharacters) {
  struct Case {
    std::string Nick;
    TWireEncoding Encoding;
    std::string Kept;
  } cases[] = {
      // Half-width katakana are single bytes in Shift-JIS, three in UTF-8.
      {U8(u8"ｱｲｳｴｵｶｷｸｹ"), TWireEncoding::Sjis, U8(u8"ｱｲｳｴｵｶｷｸ")},
      {U8(u8"ｱｲｳｴｵｶｷｸｹ"), TWireEncoding::Utf8, U8(u8"ｱｲ")},
      {"abcdef" + U8(u8"ゃx"), TWireEncoding::Sjis, "abcdef" + U8(u8"ゃ")},
      {"abcdef" + U8(u8"ゃx"), TWireEncoding::Utf8, "abcdef"},
      // JIS counts the escapes in and out.
      {"ab" + U8(u8"あいう"), TWireEncoding::Jis, "ab"},
      {"abcdefgh", TWireEncoding::Jis, "abcdefgh"},
      {"", TWireEncoding::Utf8, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NickCut(c.Nick, c.Encoding), c.Kept) << c.Nick;
}

TEST_F(AwayCmdTest, NicknameInUseDuringRegistrationAsksForANewOne) {
  MakeForm();
  Own().CurrentNick = "abc";
  Feed(":irc.test 433 * abc :Nickname already in use\r\n");
  EXPECT_TRUE(Dialog().isVisible());
  EXPECT_EQ(Dialog().CommandKind, "Nick");

  Dialog().AwayMessageEdit->setText(QStringLiteral("abc_"));
  EXPECT_TRUE(Cancel().empty());
  EXPECT_EQ(platform.Messages, Lines{U8(u8"新しいニックネームが書き込まれていません。")});
  EXPECT_TRUE(Dialog().isVisible());
  EXPECT_EQ(Dialog().EditText(), "");

  // Once registered, 解除 neither sends nor complains, and stays open.
  Feed(":irc.test 376 abc :End of MOTD\r\n");
  ASSERT_TRUE(form->DisConnectSpeedButton->isEnabled());
  EXPECT_TRUE(Cancel().empty());
  EXPECT_EQ(platform.Messages.size(), 1u);
  EXPECT_TRUE(Dialog().isVisible());
}

TEST_F(AwayCmdTest, TopicIsSetAndCleared) {
  MakeForm();
  form->AwayCmdClick();
  TChatForm* chat = OpenChannelWindow("#room");
  chat->Channel()->Topic = "old topic";
  chat->Topic1Click();
  EXPECT_EQ(Dialog().CommandKind, "Topic");
  EXPECT_EQ(Dialog().TopicChannel, "#room");
  EXPECT_EQ(Dialog().Caption(), U8(u8"チャンネルトピックの設定、変更"));
  EXPECT_EQ(Dialog().LabelText(), U8(u8"チャンネルトピック："));
  EXPECT_EQ(Dialog().EditText(), "old topic");
  EXPECT_EQ(HelpContext(), 49);  // the topic opener leaves it

  EXPECT_TRUE(Ok("   ").empty());
  EXPECT_EQ(platform.Messages, Lines{U8(u8"トピックが書き込まれていません。")});
  EXPECT_EQ(Ok("  new topic  "), Lines{"TOPIC #room :new topic\r\n"});
  EXPECT_FALSE(Dialog().isVisible());

  chat->Topic1Click();
  EXPECT_EQ(Cancel(), Lines{"TOPIC #room :\r\n"});
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(Dialog().EditText(), "");
  EXPECT_EQ(Dialog().TopicChannel, "#room");
}
