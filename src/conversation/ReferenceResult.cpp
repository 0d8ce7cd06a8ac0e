#include "conversation/ReferenceResult.h"

#include <QListWidget>
#include <QPushButton>

#include "kanji/SjisText.h"
#include "session/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 211;
constexpr int ClientHeight = 219;

}  // namespace

TReferenceResultForm::TReferenceResultForm(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("ReferenceResultForm"));
  ApplyFormFont(this);
  setWindowTitle(FromSjis(Sj(u8"検索結果")));
  setFixedSize(ClientWidth, ClientHeight);

  ReferenceListBox = new QListWidget(this);
  ReferenceListBox->setObjectName(QStringLiteral("ReferenceListBox"));
  ReferenceListBox->setGeometry(8, 8, ClientWidth - 16, 168);

  CloseButton = new QPushButton(FromSjis(Sj(u8"閉じる")), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry((ClientWidth - 75) / 2, 186, 75, 25);
  CloseButton->setDefault(true);
  connect(CloseButton, &QPushButton::clicked, this, &TReferenceResultForm::CloseButtonClick);
}

void TReferenceResultForm::AddEntry(const std::string& Entry) { ReferenceListBox->addItem(FromSjis(Entry)); }

std::vector<std::string> TReferenceResultForm::Entries() const {
  std::vector<std::string> entries;
  for (int i = 0; i < ReferenceListBox->count(); ++i) entries.push_back(ToSjis(ReferenceListBox->item(i)->text()));
  return entries;
}

void TReferenceResultForm::CloseButtonClick() {
  ReferenceListBox->clear();
  close();
}

}  // namespace tavi
