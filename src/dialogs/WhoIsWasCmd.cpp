#include "dialogs/WhoIsWasCmd.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"

namespace tavi {

TWhoIsWasCmdForm::TWhoIsWasCmdForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("WhoIsWasCmdForm"));
  setWindowTitle(Ui(u8"ニックネームの情報検索"));
  ApplyFormFont(this);
  setFixedSize(232, 158);

  Label1 = new QLabel(Ui(u8"情報を検索するニックネーム："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 16, 200, 16);
  NickNameEdit = new QLineEdit(this);
  NickNameEdit->setObjectName(QStringLiteral("NickNameEdit"));
  NickNameEdit->setGeometry(16, 38, 200, 24);
  Label1->setBuddy(NickNameEdit);

  OKButton = new QPushButton(Ui(u8"検索"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(24, 108, 80, 28);
  OKButton->setAutoDefault(false);
  CancelButton = new QPushButton(Ui(u8"中止"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(128, 108, 80, 28);
  CancelButton->setAutoDefault(false);

  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

void TWhoIsWasCmdForm::FormActivate() { NickNameEdit->setFocus(); }

void TWhoIsWasCmdForm::OKButtonClick() {
  // No test of the nick: the server answers an empty one itself.
  connection_.SendLine(QueryCommand + StdText(NickNameEdit->text()) + "\r\n");
  NickNameEdit->clear();
  close();
}

void TWhoIsWasCmdForm::CancelButtonClick() {
  NickNameEdit->clear();
  close();
}

TWhoIsWasCmdForm* OpenWhoIsWasCmdForm(QWidget* Owner, TConnection& Connection, const std::string& QueryCommand,
                                      int HelpContext) {
  auto* form = FindOrCreateOpenForm<TWhoIsWasCmdForm>(Owner, Connection);
  form->QueryCommand = QueryCommand;
  if (HelpContext >= 0) form->setProperty("helpContext", HelpContext);
  ShowInFront(form);
  return form;
}

}  // namespace tavi
