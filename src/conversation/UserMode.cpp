#include "conversation/UserMode.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <string>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 231;
constexpr int ClientHeight = 199;

void AppendChange(std::string& Modes, bool Checked, bool Current, char Letter) {
  if (Checked == Current) return;
  Modes += Checked ? '+' : '-';
  Modes += Letter;
}

}  // namespace

TUserModeForm::TUserModeForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("UserModeForm"));
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);
  setWindowTitle(Ui(u8"ユーザーモードの表示と設定"));
  setProperty("helpContext", HelpContext);

  GroupBox1 = new QGroupBox(Ui(u8"ユーザーモード"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, ClientWidth - 16, 146);
  int top = 22;
  auto makeBox = [&](const char* Name, std::u8string_view Caption) {
    auto* box = new QCheckBox(Ui(Caption), GroupBox1);
    box->setObjectName(QLatin1String(Name));
    box->setGeometry(14, top, ClientWidth - 16 - 28, 20);
    top += 30;
    return box;
  };
  InvisibleCheckBox = makeBox("InvisibleCheckBox", u8"不可視属性");
  NoticeCheckBox = makeBox("NoticeCheckBox", u8"ノーティスメッセージの受信");
  WallOpsCheckBox = makeBox("WallOpsCheckBox", u8"WALLOPSメッセージの受信");
  IrcOpeCheckBox = makeBox("IrcOpeCheckBox", u8"IRCオペレーターフラグ");

  ChangeButton = new QPushButton(Ui(u8"変更"), this);
  ChangeButton->setObjectName(QStringLiteral("ChangeButton"));
  ChangeButton->setGeometry(28, 164, 80, 27);
  CloseButton = new QPushButton(Ui(u8"閉じる"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry(123, 164, 80, 27);
  connect(ChangeButton, &QPushButton::clicked, this, [this] { ChangeButtonClick(); });
  connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });

  // FormCreate.
  const TUserModes& modes = connection_.Own.Modes;
  InvisibleCheckBox->setChecked(modes.Invisible);
  NoticeCheckBox->setChecked(modes.Notice);
  WallOpsCheckBox->setChecked(modes.WallOps);
  IrcOpeCheckBox->setChecked(modes.IrcOpe);
}

TUserModeForm::~TUserModeForm() = default;

void TUserModeForm::ChangeButtonClick() {
  const TUserModes& own = connection_.Own.Modes;
  std::string modes;
  AppendChange(modes, InvisibleCheckBox->isChecked(), own.Invisible, 'i');
  AppendChange(modes, NoticeCheckBox->isChecked(), own.Notice, 's');
  AppendChange(modes, WallOpsCheckBox->isChecked(), own.WallOps, 'w');
  AppendChange(modes, IrcOpeCheckBox->isChecked(), own.IrcOpe, 'o');
  if (!modes.empty()) connection_.SendLine("MODE " + connection_.Own.CurrentNick + " " + modes + "\r\n");
  close();
}

void TUserModeForm::CloseButtonClick() { close(); }

}  // namespace tavi
