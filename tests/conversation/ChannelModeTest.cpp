#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <functional>

#include "MainFormFixture.h"
#include "conversation/ChannelMode.h"
#include "conversation/Chat.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;
const std::string Query = "MODE #c\r\n";

class ChannelModeTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    chat = OpenChannelWindow("#c");
  }

  // A dialog as the channel window's menu makes it, filled as on activation.
  TChannelModeForm* Open(QWidget* Owner = nullptr, const std::string& Channel = "#c") {
    auto* dialog = new TChannelModeForm(Owner ? Owner : chat, Connection());
    dialog->TargetChannel = dialog->TargetWireName = Channel;
    dialog->FormActivate();
    return dialog;
  }

  // Opens, lets Edit work the boxes, presses OK; the lines sent by that.
  Lines Apply(const std::function<void(TChannelModeForm&)>& Edit) {
    Sent.clear();
    QPointer<TChannelModeForm> dialog = Open();
    Edit(*dialog);
    dialog->OKButton->click();
    EXPECT_TRUE(Deleted(dialog));
    return Sent;
  }

  // As typed by the user: textEdited fires too.
  static void Type(QLineEdit* Edit, const QString& Text) {
    Edit->selectAll();
    Edit->del();
    Edit->insert(Text);
  }

  template <class T>
  static bool Deleted(QPointer<T>& Dialog) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return Dialog.isNull();
  }

  TChatForm* chat = nullptr;
};

TEST_F(ChannelModeTest, FormHasItsSizeCaptionsAndNames) {
  TChannelModeForm dialog(chat, Connection());
  EXPECT_EQ(dialog.size(), QSize(286, 391));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(StdText(dialog.windowTitle()), U8(u8"チャンネルモードの表示と設定"));
  EXPECT_EQ(dialog.property("helpContext").toInt(), 53);
  EXPECT_TRUE(dialog.testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_EQ(StdText(dialog.GroupBox1->title()), U8(u8"チャンネルモード"));
  const std::pair<const char*, std::u8string_view> boxes[] = {
      {"PrivateCheckBox", u8"プライベートチャンネル属性"}, {"SecretCheckBox", u8"シークレットチャンネル属性"},
      {"InviteCheckBox", u8"招待属性"},                   {"TopicCheckBox", u8"トピックの変更権をオペレータに設定"},
      {"MessageCheckBox", u8"チャンネル外のメッセージの受信"}, {"ModeratedCheckBox", u8"司会つきチャンネル属性"},
      {"LimitCheckBox", u8"チャンネルに参加する人数を制限"}, {"SpeechCheckBox", u8"司会つきチャンネルの発言権"},
      {"KeyWordCheckBox", u8"チャンネルキーワードの設定"}};
  int lastTop = -1;
  for (const auto& [name, caption] : boxes) {
    auto* box = dialog.GroupBox1->findChild<QCheckBox*>(QLatin1String(name));
    ASSERT_NE(box, nullptr) << name;
    EXPECT_EQ(StdText(box->text()), U8(caption)) << name;
    EXPECT_GT(box->y(), lastTop) << name;
    lastTop = box->y();
  }
  EXPECT_GT(dialog.LimitEdit->y(), dialog.LimitCheckBox->y());
  EXPECT_GT(dialog.KeyWordEdit->y(), dialog.KeyWordCheckBox->y());
  EXPECT_GE(dialog.OKButton->y(), dialog.GroupBox1->geometry().bottom());
  EXPECT_LE(dialog.CancelButton->geometry().bottom(), 391);
}

TEST_F(ChannelModeTest, ActivationShowsTheFirstChannelWindowsModes) {
  chat->Channel()->PrivateMode = chat->Channel()->SecretMode = true;  // both reported: only s shows
  chat->Channel()->TopicMode = chat->Channel()->SpeechMode = true;
  chat->Channel()->LimitMode = true;
  chat->Channel()->LimitNumber = 25;
  chat->Channel()->KeyWordMode = true;
  chat->Channel()->KeyWord = "pw";
  TChannelModeForm* dialog = Open();
  EXPECT_EQ(StdText(dialog->windowTitle()), "#c" + U8(u8" のモードの表示と設定"));
  EXPECT_FALSE(dialog->PrivateCheckBox->isChecked());
  EXPECT_TRUE(dialog->SecretCheckBox->isChecked());
  EXPECT_FALSE(dialog->InviteCheckBox->isChecked());
  EXPECT_TRUE(dialog->TopicCheckBox->isChecked());
  EXPECT_TRUE(dialog->MessageCheckBox->isChecked());  // no +n: outside messages are received
  EXPECT_TRUE(dialog->LimitEdit->isEnabled());
  EXPECT_EQ(dialog->LimitEdit->text(), QStringLiteral("25"));
  EXPECT_TRUE(dialog->KeyWordEdit->isEnabled());
  EXPECT_EQ(dialog->KeyWordEdit->text(), QStringLiteral("pw"));
  EXPECT_TRUE(dialog->SpeechCheckBox->isChecked());

  chat->Channel()->LimitNumber = 0;  // a limit without a number: empty but enabled
  dialog->FormActivate();
  EXPECT_TRUE(dialog->LimitEdit->isEnabled());
  EXPECT_TRUE(dialog->LimitEdit->text().isEmpty());
  chat->Channel()->LimitMode = chat->Channel()->KeyWordMode = false;
  dialog->FormActivate();
  EXPECT_FALSE(dialog->LimitEdit->isEnabled());
  EXPECT_FALSE(dialog->KeyWordEdit->isEnabled());
  EXPECT_TRUE(dialog->KeyWordEdit->text().isEmpty());
}

TEST_F(ChannelModeTest, PrivateAndSecretExcludeEachOtherAndEditsFollowTheirBoxes) {
  TChannelModeForm* dialog = Open();
  dialog->SecretCheckBox->click();
  dialog->PrivateCheckBox->click();
  EXPECT_TRUE(dialog->PrivateCheckBox->isChecked());
  EXPECT_FALSE(dialog->SecretCheckBox->isChecked());
  dialog->SecretCheckBox->click();
  EXPECT_FALSE(dialog->PrivateCheckBox->isChecked());
  dialog->LimitCheckBox->click();
  dialog->KeyWordCheckBox->click();
  EXPECT_TRUE(dialog->LimitEdit->isEnabled());
  EXPECT_TRUE(dialog->KeyWordEdit->isEnabled());
  dialog->LimitCheckBox->click();
  dialog->KeyWordCheckBox->click();
  EXPECT_FALSE(dialog->LimitEdit->isEnabled());
  EXPECT_FALSE(dialog->KeyWordEdit->isEnabled());
}

TEST_F(ChannelModeTest, OkSendsTheChangesThenTheQuery) {
  EXPECT_EQ(Apply([](auto& d) { d.InviteCheckBox->click(); }), (Lines{"MODE #c +i \r\n", Query}));
  EXPECT_FALSE(chat->Channel()->InviteMode);  // waits for the server's MODE
  EXPECT_EQ(Apply([](auto&) {}), Lines{Query});

  // Every letter, in the order p s i t n m l k v, the limit before the key.
  EXPECT_EQ(Apply([](TChannelModeForm& d) {
              for (QCheckBox* box : {d.SpeechCheckBox, d.KeyWordCheckBox, d.LimitCheckBox, d.ModeratedCheckBox,
                                     d.MessageCheckBox, d.TopicCheckBox, d.InviteCheckBox, d.SecretCheckBox})
                box->click();
              Type(d.LimitEdit, QStringLiteral("5"));
              Type(d.KeyWordEdit, QStringLiteral("key"));
            }),
            (Lines{"MODE #c +s+i+t+n+m+l+k+v 5 key\r\n", Query}));
}

TEST_F(ChannelModeTest, UncheckingEverythingRemovesEachMode) {
  chat->Channel()->PrivateMode = chat->Channel()->InviteMode = chat->Channel()->TopicMode = chat->Channel()->MessageMode = chat->Channel()->ModeratedMode = true;
  chat->Channel()->LimitMode = chat->Channel()->KeyWordMode = chat->Channel()->SpeechMode = true;
  chat->Channel()->LimitNumber = 5;
  chat->Channel()->KeyWord = "pw";
  EXPECT_EQ(Apply([](auto&) {}), Lines{Query});
  EXPECT_EQ(chat->Channel()->KeyWord, "pw");
  // -l carries no argument; the key keeps its separating blank.
  EXPECT_EQ(Apply([](TChannelModeForm& d) {
              for (QCheckBox* box : {d.PrivateCheckBox, d.InviteCheckBox, d.TopicCheckBox, d.MessageCheckBox,
                                     d.ModeratedCheckBox, d.LimitCheckBox, d.KeyWordCheckBox, d.SpeechCheckBox})
                box->click();
            }),
            (Lines{"MODE #c -p-i-t-n-m-l-k-v  pw\r\n", Query}));
  EXPECT_TRUE(chat->Channel()->KeyWord.empty());
  EXPECT_TRUE(chat->Channel()->KeyWordMode);

  // Removing a limit needs the number shown.
  chat->Channel()->LimitNumber = 0;
  EXPECT_EQ(Apply([](auto& d) { d.LimitCheckBox->click(); }), Lines{Query});
}

TEST_F(ChannelModeTest, LimitNeedsAPositiveNumber) {
  const std::pair<const char*, Lines> cases[] = {{"20", {"MODE #c +l 20\r\n", Query}},
                                                 {"  +7", {"MODE #c +l 7\r\n", Query}},
                                                 {"", {Query}},
                                                 {"0", {Query}},
                                                 {"-3", {Query}}};
  for (const auto& [text, lines] : cases)
    EXPECT_EQ(Apply([&](TChannelModeForm& d) {
                d.LimitCheckBox->click();
                Type(d.LimitEdit, QString::fromLatin1(text));
              }),
              lines)
        << text;
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(ChannelModeTest, BadLimitIsReportedAndTheRestStillSent) {
  for (const char* text : {"abc", "12x", "+-5", "99999999999"}) {
    platform.Messages.clear();
    EXPECT_EQ(Apply([&](TChannelModeForm& d) {
                d.InviteCheckBox->click();
                d.LimitCheckBox->click();
                Type(d.LimitEdit, QString::fromLatin1(text));
              }),
              (Lines{"MODE #c +i \r\n", Query}))
        << text;
    EXPECT_EQ(platform.Messages,
              Lines{U8(u8"チャンネルに参加する人数の制限値が正しくありません。\r\n正しい数字を入力してください。")});
  }
}

// A message box that takes the activation from the dialog.
class StealingPlatform : public TFakePlatform {
 public:
  QPointer<TChannelModeForm> Dialog;
  bool OpenDuringMessage = false;
  void ShowMessage(const std::string& Text) override {
    TFakePlatform::ShowMessage(Text);
    if (Dialog) Dialog->FormDeactivate();
    OpenDuringMessage = Dialog && !Dialog->IsClosed();
  }
};

TEST_F(ChannelModeTest, ItsOwnMessageBoxDoesNotCloseTheDialog) {
  StealingPlatform stealing;
  SetPlatform(&stealing);
  EXPECT_EQ(Apply([&](TChannelModeForm& d) {
              stealing.Dialog = &d;
              d.ModeratedCheckBox->click();
              Type(d.LimitEdit, QStringLiteral("abc"));
            }),
            (Lines{"MODE #c +m \r\n", Query}));
  EXPECT_TRUE(stealing.OpenDuringMessage);
}

TEST_F(ChannelModeTest, SettingAndChangingTheKey) {
  auto setKey = [](const char* Key) {
    return [=](TChannelModeForm& d) {
      if (!d.KeyWordCheckBox->isChecked()) d.KeyWordCheckBox->click();
      Type(d.KeyWordEdit, QString::fromLatin1(Key));
    };
  };
  EXPECT_EQ(Apply(setKey("pw")), (Lines{"MODE #c +k  pw\r\n", Query}));
  EXPECT_EQ(chat->Channel()->KeyWord, "pw");
  chat->Channel()->KeyWordMode = true;
  EXPECT_EQ(Apply(setKey("pw2")), (Lines{"MODE #c -k pw\r\n", "MODE #c +k  pw2\r\n", Query}));
  EXPECT_EQ(chat->Channel()->KeyWord, "pw2");
  // The same key typed again: nothing to remove first.
  EXPECT_EQ(Apply(setKey("pw2")), (Lines{"MODE #c +k  pw2\r\n", Query}));
  // Sent as typed, stored trimmed.
  chat->Channel()->KeyWord.clear();
  EXPECT_EQ(Apply(setKey(" p w ")), (Lines{"MODE #c +k   p w \r\n", Query}));
  EXPECT_EQ(chat->Channel()->KeyWord, "p w");
}

TEST_F(ChannelModeTest, UncheckedOrEmptyKeyIsRemoved) {
  chat->Channel()->KeyWordMode = true;
  chat->Channel()->KeyWord = "pw";
  EXPECT_EQ(Apply([](auto& d) { d.KeyWordCheckBox->click(); }), (Lines{"MODE #c -k  pw\r\n", Query}));
  EXPECT_TRUE(chat->Channel()->KeyWord.empty());
  chat->Channel()->KeyWord = "pw";
  EXPECT_EQ(Apply([](auto& d) { Type(d.KeyWordEdit, QString()); }), (Lines{"MODE #c -k  pw\r\n", Query}));
  EXPECT_TRUE(chat->Channel()->KeyWord.empty());
  // A checked box left empty on a keyless channel.
  chat->Channel()->KeyWordMode = false;
  EXPECT_EQ(Apply([](auto& d) { d.KeyWordCheckBox->click(); }), (Lines{"MODE #c -k  \r\n", Query}));
}

TEST_F(ChannelModeTest, WithoutTheChannelWindowOkDoesNothing) {
  OpenTalkWindow("#gone");  // a talk window of that caption is no channel window
  QPointer<TChannelModeForm> dialog = Open(form.get(), "#gone");
  EXPECT_EQ(StdText(dialog->windowTitle()), "#gone" + U8(u8" のモードの表示と設定"));
  dialog->InviteCheckBox->click();
  dialog->OKButton->click();
  EXPECT_FALSE(Deleted(dialog));
  EXPECT_FALSE(dialog->IsClosed());
  dialog->CancelButton->click();
  EXPECT_TRUE(Deleted(dialog));
  EXPECT_TRUE(Sent.empty());
}

TEST_F(ChannelModeTest, CancelEscapeAndDeactivationSendNothing) {
  QPointer<TChannelModeForm> cancelled = Open();
  cancelled->InviteCheckBox->click();
  cancelled->CancelButton->click();
  QPointer<TChannelModeForm> escaped = Open();
  escaped->show();
  escaped->InviteCheckBox->click();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(escaped.data(), &escape);
  QPointer<TChannelModeForm> deactivated = Open();
  deactivated->TopicCheckBox->click();
  deactivated->FormDeactivate();
  EXPECT_TRUE(Deleted(cancelled));
  EXPECT_TRUE(Deleted(escaped));
  EXPECT_TRUE(Deleted(deactivated));
  EXPECT_TRUE(Sent.empty());
}

TEST_F(ChannelModeTest, MenuOpensAFilledDialogOwnedByTheWindow) {
  chat->Channel()->InviteMode = true;
  chat->ChannelModeMenuClick();
  const QList<TChannelModeForm*> dialogs = chat->findChildren<TChannelModeForm*>();
  ASSERT_EQ(dialogs.size(), 1);
  QPointer<TChannelModeForm> dialog = dialogs.front();
  EXPECT_EQ(dialog->TargetChannel, "#c");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->InviteCheckBox->isChecked());
  // The window system's activation comes after the fill and must not fill
  // again over the user's change.
  dialog->InviteCheckBox->click();
  ASSERT_TRUE(PumpUntil([&] { return dialog->isActiveWindow(); }, 2000));
  EXPECT_FALSE(dialog->InviteCheckBox->isChecked());

  // Another click, another dialog; the first loses the activation and closes.
  chat->ChannelModeMenuClick();
  EXPECT_EQ(chat->findChildren<TChannelModeForm*>().size(), 2);
  EXPECT_TRUE(PumpUntil([&] { return dialog.isNull() || dialog->IsClosed(); }, 2000));
  EXPECT_TRUE(Sent.empty());
}

}  // namespace
