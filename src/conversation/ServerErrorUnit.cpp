#include "conversation/ServerErrorUnit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "kanji/SjisText.h"
#include "session/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 374;
constexpr int ClientHeight = 116;

}  // namespace

TServerErrorForm::TServerErrorForm(QWidget* Owner) : TCommandDialog(Owner, false) {
  setObjectName(QStringLiteral("ServerErrorForm"));
  ApplyFormFont(this);
  setWindowTitle(FromSjis(Sj(u8"サーバーが送信したエラーメッセージ")));
  setFixedSize(ClientWidth, ClientHeight);

  ErrorLabel = new QLabel(this);
  ErrorLabel->setObjectName(QStringLiteral("ErrorLabel"));
  ErrorLabel->setGeometry(16, 10, ClientWidth - 32, 60);
  ErrorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ErrorLabel->setTextFormat(Qt::PlainText);

  OKButton = new QPushButton(FromSjis(Sj(u8"ＯＫ")), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry((ClientWidth - 75) / 2, 80, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &TServerErrorForm::OKButtonClick);

  FormCreate();
}

void TServerErrorForm::FormCreate() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

void TServerErrorForm::SetErrorText(const std::string& Text) { ErrorLabel->setText(FromSjis(Text)); }

std::string TServerErrorForm::ErrorText() const { return ToSjis(ErrorLabel->text()); }

void TServerErrorForm::OKButtonClick() { close(); }

}  // namespace tavi
