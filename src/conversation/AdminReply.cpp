#include "conversation/AdminReply.h"

#include <QLabel>
#include <QPushButton>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 230;
constexpr int ClientHeight = 224;

}  // namespace

TAdminReplyForm::TAdminReplyForm(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("AdminReplyForm"));
  ApplyFormFont(this);
  setWindowTitle(QText(U8(u8"サーバー管理者の情報")));
  setFixedSize(ClientWidth, ClientHeight);

  // One under the other, each wide enough for an address or a mail line.
  QLabel** labels[] = {&Label1, &Label2, &Label3, &Label4};
  for (int i = 0; i < 4; ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    label->setGeometry(12, 16 + i * 40, ClientWidth - 24, 32);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);  // server text, never markup
    *labels[i] = label;
  }

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry((ClientWidth - 75) / 2, 184, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &TAdminReplyForm::OKButtonClick);
}

void TAdminReplyForm::OKButtonClick() { close(); }

}  // namespace tavi
