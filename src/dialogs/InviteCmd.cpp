#include "dialogs/InviteCmd.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"

namespace tavi {

TInviteCmdForm::TInviteCmdForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("InviteCmdForm"));
  setWindowTitle(Ui(u8"招待"));
  setProperty("helpContext", HelpContext);
  ApplyFormFont(this);
  setFixedSize(261, 192);

  Label1 = new QLabel(Ui(u8"招待する人のニックネーム："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 16, 229, 16);
  NickNameEdit = new QLineEdit(this);
  NickNameEdit->setObjectName(QStringLiteral("NickNameEdit"));
  NickNameEdit->setGeometry(16, 36, 229, 24);
  Label1->setBuddy(NickNameEdit);
  Label2 = new QLabel(Ui(u8"招待するチャンネル名："), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(16, 72, 229, 16);
  ChannelNameEdit = new QLineEdit(this);
  ChannelNameEdit->setObjectName(QStringLiteral("ChannelNameEdit"));
  ChannelNameEdit->setGeometry(16, 92, 229, 24);
  Label2->setBuddy(ChannelNameEdit);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(40, 144, 80, 28);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(Ui(u8"キャンセル"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(140, 144, 80, 28);
  CancelButton->setAutoDefault(false);

  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

void TInviteCmdForm::FormActivate() { ChannelNameEdit->setText(QText(ActiveChildCaption(this))); }

void TInviteCmdForm::OKButtonClick() {
  const std::string nick = StdText(NickNameEdit->text());
  const std::string channel = StdText(ChannelNameEdit->text());
  if (!nick.empty() && !channel.empty()) {
    connection_.SendLine("INVITE " + nick + " " + channel + "\r\n");
  } else {
    Platform().Beep();
    ShowMessage(U8(u8"ニックネームとチャンネル名を記入してください。"));
  }
  if (!IsClosed()) close();
}

void TInviteCmdForm::CancelButtonClick() { close(); }

}  // namespace tavi
