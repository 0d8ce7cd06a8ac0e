#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <string>
#include <tuple>
#include <vector>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/MemberEditor.h"
#include "conversation/Talk.h"
#include "conversation/AdminReply.h"
#include "conversation/ListNamesWho.h"
#include "core/EventProcessor.h"
#include "conversation/ReferenceResult.h"
#include "conversation/ServerErrorUnit.h"
#include "conversation/VersionReply.h"
#include "conversation/WhoIsReply.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

std::string Text(const QLabel* Label) { return StdText(Label->text()); }
QColor Color(const QLabel* Label) { return TWhoIsReplyForm::LabelColor(Label); }

class ResultWindowsTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    Own().CurrentNick = "me";
    // The user asked for lists: their answers are taken.
    Own().ListRequests = Own().IsonRequests = 100;
  }

  // The main window's forms of class T; closed ones are freed first.
  template <class T>
  std::vector<T*> Forms() {
    Flush();
    const QList<T*> found = form->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly);
    return {found.begin(), found.end()};
  }
  template <class T>
  T* Only() {
    const std::vector<T*> forms = Forms<T>();
    return forms.size() == 1 ? forms.front() : nullptr;
  }
  static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  // Feeds Reply, closes its window, and feeds Reply again before the closed
  // window is freed: true when a shown window is left in the end.
  template <class T>
  bool RepeatedReplyShowsAWindow(const Lines& Reply) {
    for (const std::string& line : Reply) Feed(line);
    T* first = Only<T>();
    if (!first) return false;
    first->close();
    for (const std::string& line : Reply) Feed(line);
    const std::vector<T*> left = Forms<T>();
    return left.size() == 1 && left.front()->isVisible();
  }
};

TEST_F(ResultWindowsTest, WhoIsRunFillsOneWindowShownByItsEnd) {
  Feed(":s 311 me alice ~al host.example * :Alice Liddell\r\n");
  Feed(":s 312 me alice irc.example :Example server\r\n");
  Feed(":s 313 me alice :is an IRC operator\r\n");
  Feed(":s 317 me alice 42 :seconds idle\r\n");
  Feed(":s 319 me alice :@#a #b\r\n");
  TWhoIsReplyForm* whois = Only<TWhoIsReplyForm>();
  ASSERT_NE(whois, nullptr);
  EXPECT_FALSE(whois->isVisible());
  Feed(":s 318 me alice :End of WHOIS list\r\n");
  ASSERT_EQ(Only<TWhoIsReplyForm>(), whois);
  EXPECT_TRUE(whois->isVisible());
  EXPECT_FALSE(whois->isModal());

  const std::vector<std::pair<const QLabel*, std::string>> values = {
      {whois->NickNameLabel, "alice"},       {whois->LoginNameLabel, "~al"},
      {whois->HostNameLabel, "host.example"}, {whois->RealNameLabel, "Alice Liddell"},
      {whois->ServerNameLabel, "irc.example Example server"},
      {whois->IdleTimeLabel, "42 seconds idle"}, {whois->ChannelNameLabel, "@#a #b"}};
  for (const auto& [label, text] : values) {
    EXPECT_EQ(Text(label), text);
    EXPECT_EQ(Color(label), QColor(0, 0, 255)) << text;
  }
  EXPECT_EQ(Text(whois->IRCOperatorLabel), "alice is an IRC operator");
  EXPECT_EQ(Color(whois->IRCOperatorLabel), QColor(255, 0, 0));

  // A second end without new replies shows nothing.
  whois->CloseButton->click();
  EXPECT_TRUE(Forms<TWhoIsReplyForm>().empty());
  Feed(":s 318 me alice :End of WHOIS list\r\n");
  EXPECT_TRUE(Forms<TWhoIsReplyForm>().empty());

  // A fresh window starts empty: the earlier operator line is gone.
  Feed(":s 311 me bob ~b b.example * :Bob\r\n");
  Feed(":s 318 me bob :End of WHOIS list\r\n");
  whois = Only<TWhoIsReplyForm>();
  ASSERT_NE(whois, nullptr);
  EXPECT_EQ(Text(whois->NickNameLabel), "bob");
  EXPECT_EQ(Text(whois->IRCOperatorLabel), "");
}

TEST_F(ResultWindowsTest, WhoWasUsesTheWhoIsWindowInItsOwnColour) {
  Feed(":s 312 me alice irc.example :Example server\r\n");
  Feed(":s 318 me alice :End\r\n");
  TWhoIsReplyForm* whois = Only<TWhoIsReplyForm>();
  ASSERT_NE(whois, nullptr);

  // The open window takes the answer; labels it does not set stay.
  Feed(":s 314 me carol ~c old.example * :Carol C\r\n");
  ASSERT_EQ(Only<TWhoIsReplyForm>(), whois);
  EXPECT_EQ(Text(whois->NickNameLabel), "carol");
  EXPECT_EQ(Text(whois->RealNameLabel), "Carol C");
  EXPECT_EQ(Text(whois->ServerNameLabel), "irc.example Example server");
  EXPECT_EQ(Color(whois->HostNameLabel), QColor(128, 128, 0));
  EXPECT_EQ(Color(whois->ChannelNameLabel), QColor(128, 128, 0));
  whois->close();
  Flush();

  // 314 is ended by 369, not by 318, and only once.
  Feed(":s 314 me carol ~c old.example * :Carol C\r\n");
  Feed(":s 318 me carol :End\r\n");
  whois = Only<TWhoIsReplyForm>();
  ASSERT_NE(whois, nullptr);
  EXPECT_FALSE(whois->isVisible());
  Feed(":s 369 me carol :End of WHOWAS\r\n");
  EXPECT_TRUE(whois->isVisible());
  whois->close();
  Flush();
  Feed(":s 369 me carol :End of WHOWAS\r\n");
  EXPECT_TRUE(Forms<TWhoIsReplyForm>().empty());
}

TEST_F(ResultWindowsTest, IsonAnswersAccumulateWhileTheWindowIsOpen) {
  Feed(":s 303 me :alice bob \r\n");
  TReferenceResultForm* ison = Only<TReferenceResultForm>();
  ASSERT_NE(ison, nullptr);
  EXPECT_TRUE(ison->isVisible());
  Feed(":s 303 me :carol\r\n");
  ASSERT_EQ(Only<TReferenceResultForm>(), ison);
  EXPECT_EQ(ison->Entries(), (Lines{"alice", "bob", "carol"}));

  ison->CloseButton->click();
  EXPECT_EQ(ison->ReferenceListBox->count(), 0);  // emptied now, freed later
  EXPECT_TRUE(Forms<TReferenceResultForm>().empty());

  // Nobody on: the window shows with an empty list.
  Feed(":s 303 me :\r\n");
  ison = Only<TReferenceResultForm>();
  ASSERT_NE(ison, nullptr);
  EXPECT_TRUE(ison->isVisible());
  EXPECT_TRUE(ison->Entries().empty());
}

TEST_F(ResultWindowsTest, TheBanListGoesToTheEditorOfTheWindowThatAskedForIt) {
  TChatForm* first = OpenChannelWindow("#a");
  TChatForm* other = OpenChannelWindow("#b");
  first->BanMask1Click();
  auto* editor = first->findChild<TMemberEditorForm*>();
  ASSERT_NE(editor, nullptr);
  Feed(":s 367 me #a *!*@bad.example op 1136160000\r\n");
  Feed(":s 367 me #a nasty!*@* op 1136160000\r\n");
  Feed(":s 367 me #A upper!*@* op 1\r\n");  // the server folds the case of names
  EXPECT_EQ(first->Channel()->BanMaskList, (Lines{"*!*@bad.example", "nasty!*@*", "upper!*@*"}));
  EXPECT_FALSE(editor->isVisible());
  Feed(":s 368 me #a :End of channel ban list\r\n");
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->Entries(), (Lines{"*!*@bad.example", "nasty!*@*", "upper!*@*"}));

  // A window that did not ask takes no masks and shows no editor.
  Feed(":s 367 me #b x!*@* op 1\r\n");
  Feed(":s 368 me #b :End of channel ban list\r\n");
  EXPECT_TRUE(other->Channel()->BanMaskList.empty());
  EXPECT_EQ(other->findChild<TMemberEditorForm*>(), nullptr);
}

TEST_F(ResultWindowsTest, ServerErrorsShareOneCentredWindowThatKeepsTheEarlierOnes) {
  const std::string nobody = U8(u8"エラーコード：  ") + "401\r\nnobody :No such nick/channel\r\n";
  Feed(":s 401 me nobody :No such nick/channel\r\n");
  TServerErrorForm* error = Only<TServerErrorForm>();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->ErrorText(), nobody);
  EXPECT_TRUE(error->isVisible());
  EXPECT_FALSE(error->EarlierErrors->isVisible());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    EXPECT_EQ(error->pos(), QPoint((area.width() - 374) / 2, (area.height() - 116) / 2));
  }

  // A trailing fourth parameter keeps its colon on a line of its own; the
  // error before moves into the list, on one line.
  Feed(":s 502 me MODE other :Cannot change mode for other users\r\n");
  ASSERT_EQ(Forms<TServerErrorForm>(), (std::vector<TServerErrorForm*>{error}));
  EXPECT_EQ(error->ErrorText(), U8(u8"エラーコード：  ") + "502\r\nMODE other\r\n:Cannot change mode for other users");
  EXPECT_TRUE(error->EarlierErrors->isVisible());
  EXPECT_EQ(error->EarlierErrorTexts(), (Lines{U8(u8"エラーコード：  ") + "401  nobody :No such nick/channel  "}));

  // A flood keeps one window and only the last errors.
  for (int i = 0; i < 2000; ++i) Feed(":s 401 me n" + std::to_string(i) + " :No such nick\r\n");
  ASSERT_EQ(Forms<TServerErrorForm>().size(), 1u);
  const Lines earlier = error->EarlierErrorTexts();
  ASSERT_EQ(earlier.size(), std::size_t{TServerErrorForm::KeptErrors});
  EXPECT_NE(earlier.back().find("n1998 :No such nick"), std::string::npos);
  EXPECT_NE(error->ErrorText().find("n1999 :No such nick"), std::string::npos);

  // Once closed, the next error opens a fresh window.
  error->OKButton->click();
  Flush();
  EXPECT_TRUE(Forms<TServerErrorForm>().empty());
  Feed(":s 401 me nobody :No such nick/channel\r\n");
  ASSERT_EQ(Forms<TServerErrorForm>().size(), 1u);
  EXPECT_TRUE(Only<TServerErrorForm>()->EarlierErrorTexts().empty());
}

TEST_F(ResultWindowsTest, NickInUseOpensTheNickDialogBeforeTheErrorWindow) {
  std::vector<std::size_t> errorsWhenTriggered;
  QObject::connect(form->NickCmd, &QAction::triggered, form.get(),
                   [&] { errorsWhenTriggered.push_back(form->findChildren<TServerErrorForm*>().size()); });
  Feed(":s 433 * tavi :Nickname is already in use\r\n");
  EXPECT_EQ(errorsWhenTriggered, (std::vector<std::size_t>{0}));
  const std::vector<TServerErrorForm*> errors = Forms<TServerErrorForm>();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors.front()->ErrorText(), U8(u8"エラーコード：  ") + "433\r\ntavi :Nickname is already in use\r\n");
}

TEST_F(ResultWindowsTest, WindowsCarryTheirFixedTextsAndSizes) {
  for (const char* line : {":s 351 me v\r\n", ":s 259 me\r\n", ":s 318 me\r\n", ":s 303 me\r\n", ":s 401 me\r\n"})
    Feed(line);
  Feed(":s 311 me\r\n");
  Feed(":s 318 me\r\n");
  const std::vector<std::tuple<QDialog*, const char8_t*, QSize, QAbstractButton*, const char8_t*>> windows = {
      {Only<TVersionReplyForm>(), u8"Version の通知", {182, 140}, Only<TVersionReplyForm>()->CloseButton, u8"閉じる"},
      {Only<TAdminReplyForm>(), u8"サーバー管理者の情報", {230, 224}, Only<TAdminReplyForm>()->OKButton, u8"OK"},
      {Only<TWhoIsReplyForm>(), u8"情報表示", {250, 357}, Only<TWhoIsReplyForm>()->CloseButton, u8"閉じる"},
      {Only<TReferenceResultForm>(), u8"検索結果", {211, 219}, Only<TReferenceResultForm>()->CloseButton, u8"閉じる"},
      {Only<TServerErrorForm>(), u8"サーバーが送信したエラーメッセージ", {374, 116}, Only<TServerErrorForm>()->OKButton,
       u8"ＯＫ"}};
  for (const auto& [window, title, size, button, text] : windows) {
    EXPECT_EQ(StdText(window->windowTitle()), U8(title));
    EXPECT_EQ(window->size(), size) << window->objectName().toStdString();
    EXPECT_EQ(window->font().pixelSize(), 12);
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(StdText(button->text()), U8(text));
  }
  EXPECT_EQ(Text(Only<TVersionReplyForm>()->Label1), U8(u8"サーバーのバージョン："));
  const TWhoIsReplyForm* whois = Only<TWhoIsReplyForm>();
  EXPECT_EQ((Lines{Text(whois->Label1), Text(whois->Label2), Text(whois->Label3), Text(whois->Label4),
                   Text(whois->Label5), Text(whois->Label6), Text(whois->Label7)}),
            (Lines{U8(u8"ニックネーム："), U8(u8"ログイン名："), U8(u8"ホスト名："), U8(u8"本名："), U8(u8"サーバー名："),
                   U8(u8"アイドル時間："), U8(u8"参加しているチャンネル名：")}));
  TListNamesWhoForm* list = form->FindOrCreateForm<TListNamesWhoForm>();
  EXPECT_EQ(list->size(), QSize(536, 348));
  EXPECT_EQ(StdText(list->CloseButton->text()), U8(u8"閉じる"));
  EXPECT_EQ(list->ListMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(list->ListMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(ResultWindowsTest, ResultWindowsCloseWhenTheyLoseActivation) {
  for (const char* line : {":s 351 me v irc :x\r\n", ":s 259 me :x\r\n", ":s 303 me :x\r\n", ":s 323 me :x\r\n"})
    Feed(line);
  QPointer<TVersionReplyForm> version(Only<TVersionReplyForm>());
  QPointer<TAdminReplyForm> admin(Only<TAdminReplyForm>());
  QPointer<TReferenceResultForm> ison(Only<TReferenceResultForm>());
  QPointer<TListNamesWhoForm> list(Only<TListNamesWhoForm>());
  ASSERT_TRUE(version && admin && ison && list);
  version->FormDeactivate();
  admin->FormDeactivate();
  ison->FormDeactivate();
  list->FormDeactivate();
  Flush();
  EXPECT_TRUE(version.isNull() && admin.isNull() && ison.isNull() && list.isNull());

  // The WHOIS window only once it has been active.
  Feed(":s 311 me a b c * :d\r\n");
  Feed(":s 318 me a :End\r\n");
  QPointer<TWhoIsReplyForm> whois(Only<TWhoIsReplyForm>());
  ASSERT_TRUE(whois);
  whois->FormDeactivate();
  ASSERT_FALSE(Forms<TWhoIsReplyForm>().empty());
  EXPECT_TRUE(whois->isVisible());
  whois->FormActivate();
  EXPECT_TRUE(whois->WasActivated);
  whois->FormDeactivate();
  Flush();
  EXPECT_TRUE(whois.isNull());

  // Really losing the activation to another window does the same.
  Feed(":s 351 me v irc :x\r\n");
  version = Only<TVersionReplyForm>();
  ASSERT_TRUE(PumpUntil([&] { return version && version->isActiveWindow(); }, 2000));
  form->show();
  form->activateWindow();
  EXPECT_TRUE(PumpUntil([&] { return version.isNull(); }, 2000));
}

TEST_F(ResultWindowsTest, AReplyAfterTheWindowClosedFillsANewOne) {
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TVersionReplyForm>({":s 351 me v irc :x\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TAdminReplyForm>({":s 259 me :x\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TReferenceResultForm>({":s 303 me :a\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TListNamesWhoForm>({":s 322 me #a 3 :t\r\n", ":s 323 me :x\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TWhoIsReplyForm>({":s 311 me a b c * :d\r\n", ":s 318 me a :End\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TServerErrorForm>({":s 401 me x :No such nick\r\n"}));
}

// An ISON window lists so many entries and counts the rest in a last line.
TEST_F(ResultWindowsTest, TheIsonWindowIsBounded) {
  const int extra = 7;
  std::string nicks;
  for (int i = 0; i < TReferenceResultForm::MaxEntries + extra; ++i) nicks += " n" + std::to_string(i);
  Feed(":s 303 me :" + nicks.substr(1) + "\r\n");
  TReferenceResultForm* ison = Only<TReferenceResultForm>();
  ASSERT_NE(ison, nullptr);
  EXPECT_EQ(ison->Entries().size(), std::size_t(TReferenceResultForm::MaxEntries));
  EXPECT_EQ(ison->LeftOut(), extra);
  EXPECT_EQ(StdText(ison->ReferenceListBox->item(ison->ReferenceListBox->count() - 1)->text()), LeftOutText(extra));
}

TEST_F(ResultWindowsTest, ServerErrorWindowsStayWhenTheyLoseActivation) {
  Feed(":s 401 me nobody :No such nick/channel\r\n");
  QPointer<TServerErrorForm> error(Only<TServerErrorForm>());
  ASSERT_TRUE(error);
  error->FormDeactivate();
  Flush();
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->isVisible());
  EXPECT_FALSE(error->IsClosed());
}

}  // namespace
