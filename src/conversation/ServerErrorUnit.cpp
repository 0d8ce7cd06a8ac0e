#include "conversation/ServerErrorUnit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 374;
constexpr int ClientHeight = 116;
constexpr int ListHeight = 120;

// One error reply on one line of the list.
std::string OneLine(const std::string& Text) {
  std::string line;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text.compare(i, 2, "\r\n") == 0) {
      line += "  ";
      ++i;
    } else {
      line += Text[i];
    }
  }
  return line;
}

}  // namespace

TServerErrorForm::TServerErrorForm(QWidget* Owner) : TCommandDialog(Owner, false) {
  setObjectName(QStringLiteral("ServerErrorForm"));
  ApplyFormFont(this);
  setWindowTitle(QText(U8(u8"サーバーが送信したエラーメッセージ")));
  setFixedSize(ClientWidth, ClientHeight);

  ErrorLabel = new QLabel(this);
  ErrorLabel->setObjectName(QStringLiteral("ErrorLabel"));
  ErrorLabel->setGeometry(16, 10, ClientWidth - 32, 60);
  ErrorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ErrorLabel->setTextFormat(Qt::PlainText);

  EarlierErrors = new QPlainTextEdit(this);
  EarlierErrors->setObjectName(QStringLiteral("EarlierErrors"));
  EarlierErrors->setReadOnly(true);
  EarlierErrors->setLineWrapMode(QPlainTextEdit::NoWrap);
  EarlierErrors->setMaximumBlockCount(KeptErrors);
  EarlierErrors->setGeometry(16, ClientHeight - 40, ClientWidth - 32, ListHeight - 8);
  EarlierErrors->hide();

  OKButton = new QPushButton(QText(U8(u8"ＯＫ")), this);
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

void TServerErrorForm::SetErrorText(const std::string& Text) { ErrorLabel->setText(QText(Text)); }

std::string TServerErrorForm::ErrorText() const { return StdText(ErrorLabel->text()); }

void TServerErrorForm::AddErrorText(const std::string& Text) {
  if (!ErrorLabel->text().isEmpty()) {
    if (EarlierErrors->isHidden()) {
      EarlierErrors->show();
      setFixedSize(ClientWidth, ClientHeight + ListHeight);
      OKButton->move(OKButton->x(), ClientHeight + ListHeight - 36);
    }
    EarlierErrors->appendPlainText(QText(OneLine(ErrorText())));
  }
  SetErrorText(Text);
}

std::vector<std::string> TServerErrorForm::EarlierErrorTexts() const {
  std::vector<std::string> texts;
  for (const QString& line : EarlierErrors->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    texts.push_back(StdText(line));
  return texts;
}

void TServerErrorForm::OKButtonClick() { close(); }

}  // namespace tavi
