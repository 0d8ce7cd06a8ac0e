#include "conversation/VersionReply.h"

#include <QLabel>
#include <QPushButton>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 182;
constexpr int ClientHeight = 140;

}  // namespace

TVersionReplyForm::TVersionReplyForm(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("VersionReplyForm"));
  ApplyFormFont(this);
  setWindowTitle(Ui(u8"Version の通知"));
  setFixedSize(ClientWidth, ClientHeight);

  Label1 = new QLabel(Ui(u8"サーバーのバージョン："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 16, 150, 16);

  VersionLabel = new QLabel(this);
  VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
  VersionLabel->setGeometry(16, 48, 158, 32);
  VersionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Server text is shown as it is, never read as markup.
  VersionLabel->setTextFormat(Qt::PlainText);

  CloseButton = new QPushButton(Ui(u8"閉じる"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry((ClientWidth - 75) / 2, 100, 75, 25);
  CloseButton->setDefault(true);
  connect(CloseButton, &QPushButton::clicked, this, &TVersionReplyForm::CloseButtonClick);
}

void TVersionReplyForm::CloseButtonClick() { close(); }

}  // namespace tavi
