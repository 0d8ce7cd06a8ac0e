#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>

#include "MainFormFixture.h"
#include "conversation/Chat.h"
#include "conversation/UserMode.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

class UserModeTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
    Own().CurrentNick = "me";
  }

  // Opens, clicks the given boxes, presses 変更; the lines sent by that.
  Lines Change(std::initializer_list<QCheckBox* TUserModeForm::*> Boxes) {
    Sent.clear();
    QPointer<TUserModeForm> dialog = new TUserModeForm(form.get(), Connection());
    for (auto box : Boxes) (dialog->*box)->click();
    dialog->ChangeButton->click();
    EXPECT_TRUE(Deleted(dialog));
    return Sent;
  }

  static bool Deleted(QPointer<TUserModeForm>& Dialog) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return Dialog.isNull();
  }

  int OpenDialogs() const {
    int open = 0;
    for (TUserModeForm* d : form->findChildren<TUserModeForm*>(Qt::FindDirectChildrenOnly))
      open += d->IsClosed() ? 0 : 1;
    return open;
  }
};

TEST_F(UserModeTest, FormHasItsSizeCaptionsAndBoxesFromTheModes) {
  Own().Modes.Notice = Own().Modes.IrcOpe = true;
  TUserModeForm dialog(form.get(), Connection());
  EXPECT_EQ(dialog.size(), QSize(231, 199));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(StdText(dialog.windowTitle()), U8(u8"ユーザーモードの表示と設定"));
  EXPECT_EQ(dialog.property("helpContext").toInt(), 52);
  EXPECT_TRUE(dialog.testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_EQ(StdText(dialog.GroupBox1->title()), U8(u8"ユーザーモード"));
  const std::tuple<const char*, std::u8string_view, bool> boxes[] = {
      {"InvisibleCheckBox", u8"不可視属性", false},
      {"NoticeCheckBox", u8"ノーティスメッセージの受信", true},
      {"WallOpsCheckBox", u8"WALLOPSメッセージの受信", false},
      {"IrcOpeCheckBox", u8"IRCオペレーターフラグ", true}};
  int lastTop = -1;
  for (const auto& [name, caption, checked] : boxes) {
    auto* box = dialog.GroupBox1->findChild<QCheckBox*>(QLatin1String(name));
    ASSERT_NE(box, nullptr) << name;
    EXPECT_EQ(StdText(box->text()), U8(caption)) << name;
    EXPECT_EQ(box->isChecked(), checked) << name;
    EXPECT_GT(box->y(), lastTop) << name;
    lastTop = box->y();
  }
  EXPECT_EQ(StdText(dialog.ChangeButton->text()), U8(u8"変更"));
  EXPECT_EQ(StdText(dialog.CloseButton->text()), U8(u8"閉じる"));
  EXPECT_LE(dialog.CloseButton->geometry().bottom(), 199);
  // Filled once: later modes do not show.
  Own().Modes.Invisible = true;
  dialog.show();
  EXPECT_FALSE(dialog.InvisibleCheckBox->isChecked());
}

TEST_F(UserModeTest, ChangeSendsOneLineOfTheDifferences) {
  using F = TUserModeForm;
  Own().Modes.WallOps = true;
  EXPECT_EQ(Change({}), Lines{});
  EXPECT_EQ(Change({&F::InvisibleCheckBox, &F::WallOpsCheckBox}), Lines{"MODE me +i-w\r\n"});
  // The server's answer sets the modes, not the dialog.
  EXPECT_FALSE(Own().Modes.Invisible);
  EXPECT_TRUE(Own().Modes.WallOps);
  EXPECT_EQ(Change({&F::IrcOpeCheckBox}), Lines{"MODE me +o\r\n"});
  EXPECT_FALSE(Own().Modes.IrcOpe);

  Own().Modes.WallOps = false;
  EXPECT_EQ(Change({&F::IrcOpeCheckBox, &F::WallOpsCheckBox, &F::NoticeCheckBox, &F::InvisibleCheckBox}),
            Lines{"MODE me +i+s+w+o\r\n"});
  Own().Modes.Invisible = Own().Modes.Notice = Own().Modes.WallOps = Own().Modes.IrcOpe = true;
  EXPECT_EQ(Change({&F::WallOpsCheckBox, &F::InvisibleCheckBox, &F::IrcOpeCheckBox, &F::NoticeCheckBox}),
            Lines{"MODE me -i-s-w-o\r\n"});
}

TEST_F(UserModeTest, CloseAndDeactivationSendNothing) {
  QPointer<TUserModeForm> closed = new TUserModeForm(form.get(), Connection());
  closed->InvisibleCheckBox->click();
  closed->CloseButton->click();
  QPointer<TUserModeForm> deactivated = new TUserModeForm(form.get(), Connection());
  deactivated->NoticeCheckBox->click();
  deactivated->FormDeactivate();
  EXPECT_TRUE(Deleted(closed));
  EXPECT_TRUE(Deleted(deactivated));
  EXPECT_TRUE(Sent.empty());
}

TEST_F(UserModeTest, EveryMenuClickOpensAnotherDialog) {
  form->UserModeMenu->trigger();
  ASSERT_EQ(OpenDialogs(), 1);
  QPointer<TUserModeForm> first = form->findChild<TUserModeForm*>(QString(), Qt::FindDirectChildrenOnly);
  EXPECT_TRUE(first->isVisible());
  // The channel window's item reaches the same command; the first dialog
  // loses the activation to the new one and closes.
  OpenChannelWindow("#c")->Menus().UserModeMenu->trigger();
  EXPECT_EQ(form->findChildren<TUserModeForm*>(Qt::FindDirectChildrenOnly).size(), 2);
  EXPECT_TRUE(PumpUntil([&] { return first.isNull() || first->IsClosed(); }, 2000));
  EXPECT_EQ(OpenDialogs(), 1);
  EXPECT_TRUE(Sent.empty());
}

}  // namespace
