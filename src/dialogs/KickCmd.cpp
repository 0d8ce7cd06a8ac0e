#include "dialogs/KickCmd.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"

namespace tavi {

TKickCmdForm::TKickCmdForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("KickCmdForm"));
  setWindowTitle(Ui(u8"追放しますか？"));
  setProperty("helpContext", HelpContext);
  ApplyFormFont(this);
  setFixedSize(228, 262);

  int top = 16;
  auto addRow = [&](QLabel*& Label, QLineEdit*& Edit, const char* LabelName, const char* EditName,
                    std::u8string_view Caption) {
    Label = new QLabel(Ui(Caption), this);
    Label->setObjectName(QLatin1String(LabelName));
    Label->setGeometry(16, top, 196, 16);
    Edit = new QLineEdit(this);
    Edit->setObjectName(QLatin1String(EditName));
    Edit->setGeometry(16, top + 20, 196, 24);
    Label->setBuddy(Edit);
    top += 60;
  };
  addRow(Label1, ChannelNameEdit, "Label1", "ChannelNameEdit", u8"チャンネル名：");
  addRow(Label2, UserNameEdit, "Label2", "UserNameEdit", u8"ユーザー名：");
  addRow(Label3, CommentEdit, "Label3", "CommentEdit", u8"理由：");

  KickButton = new QPushButton(Ui(u8"追放"), this);
  KickButton->setObjectName(QStringLiteral("KickButton"));
  KickButton->setGeometry(24, 214, 80, 28);
  KickButton->setAutoDefault(false);
  CloseButton = new QPushButton(Ui(u8"閉じる"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry(124, 214, 80, 28);
  CloseButton->setAutoDefault(false);

  connect(KickButton, &QPushButton::clicked, this, [this] { KickButtonClick(); });
  connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });
}

void TKickCmdForm::FormActivate() { ChannelNameEdit->setText(QText(ActiveChildCaption(this))); }

void TKickCmdForm::KickButtonClick() {
  const std::string channel = StdText(ChannelNameEdit->text());
  const std::string user = StdText(UserNameEdit->text());
  if (channel.empty() || user.empty()) {
    // The box takes the activation, and that closes the dialog.
    ShowMessage(U8(u8"項目に記入漏れがあります。"));
    return;
  }
  // The reason goes as typed, after a plain blank.
  const std::string reason = StdText(CommentEdit->text());
  connection_.SendLine("KICK " + channel + " " + user + " " + reason + "\r\n");
  close();
}

void TKickCmdForm::CloseButtonClick() { close(); }

}  // namespace tavi
