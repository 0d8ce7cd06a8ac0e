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
#include "handlers/ServerLineHandlers.h"
#include "conversation/ReferenceResult.h"
#include "conversation/ServerErrorUnit.h"
#include "conversation/VersionReply.h"
#include "conversation/WhoIsReply.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

std::string Text(const QLabel* Label) { return ToSjis(Label->text()); }
QColor Color(const QLabel* Label) { return TWhoIsReplyForm::LabelColor(Label); }
// A pane's lines after its date line.
Lines Events(Lines All) {
  if (!All.empty()) All.erase(All.begin());
  return All;
}

class QueryHandlersTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    Globals().CurrentNick = "me";
    // The user asked for lists: their answers are taken (see
    // UnaskedListsAreIgnoredAndAskedOnesBounded for the others).
    Globals().ListRequests = Globals().IsonRequests = 100;
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

TEST_F(QueryHandlersTest, WhoIsRunFillsOneWindowShownByItsEnd) {
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

TEST_F(QueryHandlersTest, WhoWasUsesTheWhoIsWindowInItsOwnColour) {
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

TEST_F(QueryHandlersTest, AdminLinesWaitForTheLastOne) {
  Feed(":s 256 me irc.example :Administrative info\r\n");  // the text is the second parameter
  Feed(":s 257 me :Tokyo, Japan\r\n");
  Feed(":s 258 me :Example Network\r\n");
  EXPECT_TRUE(Forms<TAdminReplyForm>().empty());
  Feed(":s 259 me :admin@example.org\r\n");
  TAdminReplyForm* admin = Only<TAdminReplyForm>();
  ASSERT_NE(admin, nullptr);
  EXPECT_TRUE(admin->isVisible());
  EXPECT_EQ((Lines{Text(admin->Label1), Text(admin->Label2), Text(admin->Label3), Text(admin->Label4)}),
            (Lines{"irc.example", "Tokyo, Japan", "Example Network", "admin@example.org"}));

  // The kept lines were used up; a lone 259 shows empty first labels.
  admin->OKButton->click();
  EXPECT_TRUE(Forms<TAdminReplyForm>().empty());
  Feed(":s 259 me :alone\r\n");
  admin = Only<TAdminReplyForm>();
  ASSERT_NE(admin, nullptr);
  EXPECT_EQ((Lines{Text(admin->Label1), Text(admin->Label2), Text(admin->Label3), Text(admin->Label4)}),
            (Lines{"", "", "", "alone"}));
}

TEST_F(QueryHandlersTest, ChannelListPadsTheUserCountAndLeavesOutLocalChannels) {
  Feed(":s 322 me #five 5 :small talk\r\n");
  Feed(":s 322 me &local 3 :server notices\r\n");
  Feed(":s 322 me #twelve 12 :\r\n");
  Feed(":s 322 me #big 12345678 :a:b\r\n");
  Feed(":s 322 me #huge 123456789 notopic\r\n");
  TListNamesWhoForm* list = Only<TListNamesWhoForm>();
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->isVisible());
  const std::string name = Sj(u8"チャンネル名： ");
  const std::string users = "        " + Sj(u8"人数； ");
  const std::string topic = "        " + Sj(u8"トピック： ");
  EXPECT_EQ(list->Lines(), (Lines{name + "#five", users + "       5", topic + "small talk",  //
                                  name + "#twelve", users + "      12", topic,                //
                                  name + "#big", users + "12345678", topic + "a:b",          //
                                  name + "#huge", users + "123456789", topic + "notopic"}));

  Feed(":s 323 me :End of LIST\r\n");
  ASSERT_EQ(Only<TListNamesWhoForm>(), list);
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(ToSjis(list->windowTitle()), Sj(u8"チャンネル名のリスト"));

  // Closing empties the memo at once and frees the window; asking again
  // starts an empty list.
  list->CloseButton->click();
  EXPECT_TRUE(list->Lines().empty());
  EXPECT_TRUE(Forms<TListNamesWhoForm>().empty());
  Feed(":s 322 me #again 1 :t\r\n");
  Feed(":s 323 me :End of LIST\r\n");
  list = Only<TListNamesWhoForm>();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Lines(), (Lines{name + "#again", users + "       1", topic + "t"}));
}

TEST_F(QueryHandlersTest, IsonAnswersAccumulateWhileTheWindowIsOpen) {
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

TEST_F(QueryHandlersTest, BanListGoesToTheFirstWindowOfThatExactChannel) {
  TChatForm* first = form->OpenChannelWindow("#a");
  TChatForm* second = form->OpenChannelWindow("#a");
  TChatForm* other = form->OpenChannelWindow("#b");
  first->BanMask1Click();
  TMemberEditorForm* editor = TChatForm::PendingBanMaskEditor.data();
  ASSERT_NE(editor, nullptr);
  Feed(":s 367 me #a *!*@bad.example op 1136160000\r\n");
  Feed(":s 367 me #a nasty!*@* op 1136160000\r\n");
  Feed(":s 367 me #A upper!*@* op 1\r\n");
  EXPECT_EQ(first->BanMaskList, (Lines{"*!*@bad.example", "nasty!*@*"}));
  EXPECT_TRUE(second->BanMaskList.empty());
  EXPECT_FALSE(editor->isVisible());
  Feed(":s 368 me #a :End of channel ban list\r\n");
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->Entries(), (Lines{"*!*@bad.example", "nasty!*@*"}));

  // A window that did not ask takes no masks and shows no editor.
  Feed(":s 367 me #b x!*@* op 1\r\n");
  Feed(":s 368 me #b :End of channel ban list\r\n");
  EXPECT_TRUE(other->BanMaskList.empty());
  EXPECT_EQ(editor->Entries(), (Lines{"*!*@bad.example", "nasty!*@*"}));

  // No window for the channel: nothing changes anywhere.
  Feed(":s 367 me #none y!*@* op 1\r\n");
  Feed(":s 368 me #none :End\r\n");
  EXPECT_EQ(first->BanMaskList.size() + second->BanMaskList.size() + other->BanMaskList.size(), 2u);
}

TEST_F(QueryHandlersTest, ServerErrorsShareOneCentredWindowThatKeepsTheEarlierOnes) {
  const std::string nobody = Sj(u8"エラーコード：  ") + "401\r\nnobody :No such nick/channel\r\n";
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
  EXPECT_EQ(error->ErrorText(), Sj(u8"エラーコード：  ") + "502\r\nMODE other\r\n:Cannot change mode for other users");
  EXPECT_TRUE(error->EarlierErrors->isVisible());
  EXPECT_EQ(error->EarlierErrorTexts(), (Lines{Sj(u8"エラーコード：  ") + "401  nobody :No such nick/channel  "}));

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

TEST_F(QueryHandlersTest, NickInUseOpensTheNickDialogBeforeTheErrorWindow) {
  std::vector<std::size_t> errorsWhenTriggered;
  QObject::connect(form->NickCmd, &QAction::triggered, form.get(),
                   [&] { errorsWhenTriggered.push_back(form->findChildren<TServerErrorForm*>().size()); });
  Feed(":s 433 * tavi :Nickname is already in use\r\n");
  EXPECT_EQ(errorsWhenTriggered, (std::vector<std::size_t>{0}));
  const std::vector<TServerErrorForm*> errors = Forms<TServerErrorForm>();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors.front()->ErrorText(), Sj(u8"エラーコード：  ") + "433\r\ntavi :Nickname is already in use\r\n");
}

TEST_F(QueryHandlersTest, InvitationVersionAndUserModeReplies) {
  Feed(":s 341 me bob #chan\r\n");
  // A notice, which waits for nobody, never a box.
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(platform.Notices, (Lines{Sj(u8"me が bob へ \r\n     チャンネル： #chan への招待状を送付しました。")}));

  Feed(":s 351 me <b>ngircd-26.1.</b> irc.example :+CHLMSX\r\n");
  TVersionReplyForm* version = Only<TVersionReplyForm>();
  ASSERT_NE(version, nullptr);
  EXPECT_TRUE(version->isVisible());
  EXPECT_EQ(Text(version->VersionLabel), "<b>ngircd-26.1.</b>");
  EXPECT_EQ(version->VersionLabel->textFormat(), Qt::PlainText);  // shown as sent, not as markup

  TGlobals& g = Globals();
  Feed(":s 221 me +iw\r\n");
  EXPECT_EQ((std::vector<bool>{g.InvisibleMode, g.NoticeMode, g.WallOpsMode, g.IrcOpeMode}),
            (std::vector<bool>{true, false, true, false}));
  Feed(":s 221 me :+so\r\n");
  EXPECT_EQ((std::vector<bool>{g.InvisibleMode, g.NoticeMode, g.WallOpsMode, g.IrcOpeMode}),
            (std::vector<bool>{false, true, false, true}));
  Feed(":s 221 me -i\r\n");
  EXPECT_FALSE(g.InvisibleMode || g.NoticeMode || g.WallOpsMode || g.IrcOpeMode);
  EXPECT_EQ(Forms<QDialog>().size(), 1u);  // the version window only
}

TEST_F(QueryHandlersTest, AwayNoticeGoesToEveryWindowWithTheMember) {
  TChatForm* plain = form->OpenChannelWindow("#a");
  plain->AddNickLine("Alice");  // members are found without regard to case
  TChatForm* op = form->OpenChannelWindow("#b");
  op->AddNickLine("@alice");
  TChatForm* without = form->OpenChannelWindow("#c");
  without->AddNickLine("alicia");
  TTalkForm* talk = form->OpenTalkWindow("bob,alice");
  TTalkForm* elsewhere = form->OpenTalkWindow("carol");
  // A full pane is not trimmed by the notice.
  for (int i = 1; i < TMainForm::KeptLines; ++i) plain->AddRecvLine("line");

  Feed(":s 301 me alice :gone fishing\r\n");
  const std::string first = "09:05 alice" + Sj(u8" は不在です。");
  const std::string second = "< gone fishing >";
  const Lines lines = plain->RecvLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(TMainForm::KeptLines) + 2);
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{first, second}));
  EXPECT_EQ(plain->RecvLineColor(TMainForm::KeptLines), clBlue);
  EXPECT_EQ(plain->RecvLineColor(TMainForm::KeptLines + 1), clBlue);
  EXPECT_EQ(Events(op->RecvLines()), (Lines{first, second}));
  EXPECT_EQ(op->RecvLineColor(2), clBlue);
  EXPECT_EQ(Events(talk->RecvLines()), (Lines{first, second}));
  EXPECT_TRUE(Events(without->RecvLines()).empty());
  EXPECT_TRUE(Events(elsewhere->RecvLines()).empty());
}

TEST_F(QueryHandlersTest, RepliesWithMissingParametersShowEmptyTexts) {
  TChatForm* chat = form->OpenChannelWindow("#a");
  chat->AddNickLine("alice");
  TTalkForm* talk = form->OpenTalkWindow("alice");
  for (const char* line : {":s 311 me\r\n", ":s 312 me\r\n", ":s 313 me\r\n", ":s 317 me\r\n", ":s 319 me\r\n",
                           ":s 318 me\r\n", ":s 314 me\r\n", ":s 369 me\r\n", ":s 256 me\r\n", ":s 259 me\r\n",
                           ":s 303 me\r\n", ":s 301 me\r\n", ":s 322 me\r\n", ":s 323 me\r\n", ":s 341 me\r\n",
                           ":s 351 me\r\n", ":s 367 me\r\n", ":s 368 me\r\n", ":s 221 me\r\n", ":s 401 me\r\n",
                           ":s 433 me\r\n"})
    Feed(line);

  TWhoIsReplyForm* whois = Only<TWhoIsReplyForm>();
  ASSERT_NE(whois, nullptr);
  EXPECT_TRUE(whois->isVisible());
  EXPECT_EQ(Text(whois->NickNameLabel), "");
  EXPECT_EQ(Text(whois->RealNameLabel), "");
  EXPECT_EQ(Text(whois->ServerNameLabel), " ");
  EXPECT_EQ(Text(whois->IRCOperatorLabel), " ");
  EXPECT_EQ(Text(Only<TAdminReplyForm>()->Label1), "");
  EXPECT_TRUE(Only<TReferenceResultForm>()->Entries().empty());
  EXPECT_EQ(Only<TListNamesWhoForm>()->Lines(),
            (Lines{Sj(u8"チャンネル名： "), "        " + Sj(u8"人数； ") + "        ", "        " + Sj(u8"トピック： ")}));
  EXPECT_EQ(Text(Only<TVersionReplyForm>()->VersionLabel), "");
  EXPECT_EQ(platform.Notices, (Lines{Sj(u8"me が  へ \r\n     チャンネル：  への招待状を送付しました。")}));
  TServerErrorForm* errors = Only<TServerErrorForm>();
  ASSERT_NE(errors, nullptr);
  EXPECT_EQ(errors->EarlierErrorTexts(), (Lines{Sj(u8"エラーコード：  ") + "401     "}));
  EXPECT_EQ(errors->ErrorText(), Sj(u8"エラーコード：  ") + "433\r\n \r\n");
  // An away notice without a name reaches no window.
  EXPECT_TRUE(Events(chat->RecvLines()).empty());
  EXPECT_TRUE(Events(talk->RecvLines()).empty());
  EXPECT_TRUE(chat->BanMaskList.empty());
}

TEST_F(QueryHandlersTest, WindowsCarryTheirFixedTextsAndSizes) {
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
    EXPECT_EQ(ToSjis(window->windowTitle()), Sj(title));
    EXPECT_EQ(window->size(), size) << window->objectName().toStdString();
    EXPECT_EQ(window->font().pixelSize(), 12);
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(ToSjis(button->text()), Sj(text));
  }
  EXPECT_EQ(Text(Only<TVersionReplyForm>()->Label1), Sj(u8"サーバーのバージョン："));
  const TWhoIsReplyForm* whois = Only<TWhoIsReplyForm>();
  EXPECT_EQ((Lines{Text(whois->Label1), Text(whois->Label2), Text(whois->Label3), Text(whois->Label4),
                   Text(whois->Label5), Text(whois->Label6), Text(whois->Label7)}),
            (Lines{Sj(u8"ニックネーム："), Sj(u8"ログイン名："), Sj(u8"ホスト名："), Sj(u8"本名："), Sj(u8"サーバー名："),
                   Sj(u8"アイドル時間："), Sj(u8"参加しているチャンネル名：")}));
  TListNamesWhoForm* list = form->FindOrCreateForm<TListNamesWhoForm>();
  EXPECT_EQ(list->size(), QSize(536, 348));
  EXPECT_EQ(ToSjis(list->CloseButton->text()), Sj(u8"閉じる"));
  EXPECT_EQ(list->ListMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(list->ListMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(QueryHandlersTest, ResultWindowsCloseWhenTheyLoseActivation) {
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

TEST_F(QueryHandlersTest, AReplyAfterTheWindowClosedFillsANewOne) {
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TVersionReplyForm>({":s 351 me v irc :x\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TAdminReplyForm>({":s 259 me :x\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TReferenceResultForm>({":s 303 me :a\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TListNamesWhoForm>({":s 322 me #a 3 :t\r\n", ":s 323 me :x\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TWhoIsReplyForm>({":s 311 me a b c * :d\r\n", ":s 318 me a :End\r\n"}));
  EXPECT_TRUE(RepeatedReplyShowsAWindow<TServerErrorForm>({":s 401 me x :No such nick\r\n"}));
}

// Lists nobody asked for (a server may send them without end) are not taken;
// one the user asked for keeps its first entries and counts the rest.
TEST_F(QueryHandlersTest, UnaskedListsAreIgnoredAndAskedOnesBounded) {
  TGlobals& g = Globals();
  g.ListRequests = g.IsonRequests = 0;
  TChatForm* chat = form->OpenChannelWindow("#c");
  Feed(":s 322 me #x 3 :t\r\n");
  Feed(":s 323 me :End\r\n");
  Feed(":s 303 me :alice\r\n");
  Feed(":s 367 me #c x!*@* op 1\r\n");
  Feed(":s 368 me #c :End\r\n");
  EXPECT_TRUE(Forms<TListNamesWhoForm>().empty());
  EXPECT_TRUE(Forms<TReferenceResultForm>().empty());
  EXPECT_TRUE(chat->BanMaskList.empty());

  const int bound = TListCap::MaxEntries, extra = 7;
  const std::string leftOut = LeftOutText(extra);
  form->ListCmd->trigger();
  for (int i = 0; i < bound + extra; ++i) Feed(":s 322 me #c" + std::to_string(i) + " 1 :t\r\n");
  Feed(":s 323 me :End\r\n");
  const Lines list = Only<TListNamesWhoForm>()->Lines();
  EXPECT_EQ(list.size(), 3u * bound + 1);
  EXPECT_EQ(list.back(), leftOut);
  EXPECT_EQ(g.ListRequests, 0);

  g.IsonRequests = 1;
  std::string nicks;
  for (int i = 0; i < TReferenceResultForm::MaxEntries + extra; ++i) nicks += " n" + std::to_string(i);
  Feed(":s 303 me :" + nicks.substr(1) + "\r\n");
  TReferenceResultForm* ison = Only<TReferenceResultForm>();
  ASSERT_NE(ison, nullptr);
  EXPECT_EQ(ison->Entries().size(), std::size_t(TReferenceResultForm::MaxEntries));
  EXPECT_EQ(ison->LeftOut(), extra);
  EXPECT_EQ(ToSjis(ison->ReferenceListBox->item(ison->ReferenceListBox->count() - 1)->text()), leftOut);
  Feed(":s 303 me :late\r\n");  // the one ISON was answered
  EXPECT_EQ(ison->LeftOut(), extra);

  chat->BanMask1Click();
  for (int i = 0; i < bound + extra; ++i) Feed(":s 367 me #c m" + std::to_string(i) + "!*@* op 1\r\n");
  Feed(":s 368 me #c :End\r\n");
  EXPECT_EQ(chat->BanMaskList.size(), std::size_t(bound));
  EXPECT_NE(chat->RecvLines().back().find(leftOut), std::string::npos);
}

TEST_F(QueryHandlersTest, ServerErrorWindowsStayWhenTheyLoseActivation) {
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
