#include "dialogs/PassiveInviteCmd.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/WhoIsWasCmd.h"
#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"
#include "widgets/WindowHost.h"

namespace tavi {

TPassiveInviteCmdForm::TPassiveInviteCmdForm(QWidget* Owner, TConnection& Connection, TWindowHost& Host)
    : TCommandDialog(Owner, false), connection_(Connection), host_(Host) {
  setObjectName(QStringLiteral("PassiveInviteCmdForm"));
  setWindowTitle(Ui(u8"招待を受けました。"));
  ApplyFormFont(this);
  setFixedSize(251, 241);

  auto makeLabel = [&](const char* Name, int Top) {
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(Name));
    label->setGeometry(16, Top, 219, 18);
    return label;
  };
  Label1 = makeLabel("Label1", 16);
  Label2 = makeLabel("Label2", 40);
  Label3 = makeLabel("Label3", 64);

  auto makeButton = [&](const char* Name, std::u8string_view Caption, int Top) {
    auto* button = new QPushButton(Ui(Caption), this);
    button->setObjectName(QLatin1String(Name));
    button->setGeometry(64, Top, 123, 28);
    button->setAutoDefault(false);
    return button;
  };
  JoinButton = makeButton("JoinButton", u8"応じる", 104);
  CancelButton = makeButton("CancelButton", u8"無視", 144);
  WhoIsButton = makeButton("WhoIsButton", u8"招待者情報", 184);

  connect(JoinButton, &QPushButton::clicked, this, [this] { JoinButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
  connect(WhoIsButton, &QPushButton::clicked, this, [this] { WhoIsButtonClick(); });
}

void TPassiveInviteCmdForm::FormActivate() {
  Label1->setText(QText(InviterNick + U8(u8" から")));
  Label2->setText(QText(U8(u8"チャンネル ") + InviteChannel + U8(u8" へ")));
  Label3->setText(Ui(u8"招待を受けました。"));
}

void TPassiveInviteCmdForm::JoinButtonClick() {
  // The prompt goes first, so that its going cannot take the activation
  // from the join dialog, which closes when it loses it.
  const std::string channel = InviteChannel;
  TConnection& connection = connection_;
  TWindowHost& host = host_;
  close();
  host.ShowJoinDialog(connection, channel);
}

void TPassiveInviteCmdForm::CancelButtonClick() { close(); }

void TPassiveInviteCmdForm::WhoIsButtonClick() {
  TWhoIsWasCmdForm* whois = OpenWhoIsWasCmdForm(parentWidget(), connection_, "WHOIS ", -1);
  whois->NickNameEdit->setText(QText(InviterNick));
}

TPassiveInviteCmdForm* ShowInvitation(QWidget* Owner, TConnection& Connection, TWindowHost& Host,
                                      const std::string& Inviter, const std::string& Channel) {
  auto* prompt = FindOrCreateOpenForm<TPassiveInviteCmdForm>(Owner, Connection, Host);
  prompt->InviterNick = Inviter;
  prompt->InviteChannel = Channel;
  ShowInFront(prompt);
  // An open prompt that keeps the activation gets no new activation.
  prompt->FormActivate();
  return prompt;
}

}  // namespace tavi
