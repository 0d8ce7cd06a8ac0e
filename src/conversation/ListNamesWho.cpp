#include "conversation/ListNamesWho.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 536;
constexpr int ClientHeight = 348;

}  // namespace

TListNamesWhoForm::TListNamesWhoForm(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("ListNamesWhoForm"));
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  CloseButton = new QToolButton(ToolBar1);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setText(QText(U8(u8"閉じる")));
  CloseButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
  ToolBar1->addWidget(CloseButton);
  connect(CloseButton, &QToolButton::clicked, this, &TListNamesWhoForm::CloseButtonClick);
  layout->addWidget(ToolBar1);

  // The listing's columns are made of spaces: no wrapping, both scroll bars.
  ListMemo = new QPlainTextEdit(this);
  ListMemo->setObjectName(QStringLiteral("ListMemo"));
  ListMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ListMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ListMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ListMemo->setReadOnly(true);
  layout->addWidget(ListMemo);
}

void TListNamesWhoForm::AddLine(const std::string& Line) { ListMemo->appendPlainText(QText(Line)); }

std::vector<std::string> TListNamesWhoForm::Lines() const {
  std::vector<std::string> lines;
  const QTextDocument* doc = ListMemo->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) lines.push_back(StdText(block.text()));
  return lines;
}

void TListNamesWhoForm::SetCaption(const std::string& Caption) {
  caption_ = Caption;
  setWindowTitle(QText(Caption));
}

void TListNamesWhoForm::ShowListing(const std::string& Caption) {
  SetCaption(Caption);
  show();
}

void TListNamesWhoForm::CloseButtonClick() {
  ListMemo->clear();
  close();
}

}  // namespace tavi
