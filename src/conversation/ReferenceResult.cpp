#include "conversation/ReferenceResult.h"

#include <QListWidget>
#include <QPushButton>

#include "core/EventProcessor.h"
#include "kanji/QtText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 211;
constexpr int ClientHeight = 219;

}  // namespace

TReferenceResultForm::TReferenceResultForm(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("ReferenceResultForm"));
  ApplyFormFont(this);
  setWindowTitle(QText(U8(u8"検索結果")));
  setFixedSize(ClientWidth, ClientHeight);

  ReferenceListBox = new QListWidget(this);
  ReferenceListBox->setObjectName(QStringLiteral("ReferenceListBox"));
  ReferenceListBox->setGeometry(8, 8, ClientWidth - 16, 168);
  // One height for every row: a new entry costs no measuring of the rest.
  ReferenceListBox->setUniformItemSizes(true);

  CloseButton = new QPushButton(QText(U8(u8"閉じる")), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry((ClientWidth - 75) / 2, 186, 75, 25);
  CloseButton->setDefault(true);
  connect(CloseButton, &QPushButton::clicked, this, &TReferenceResultForm::CloseButtonClick);
}

void TReferenceResultForm::AddEntries(const std::vector<std::string>& Entries) {
  QStringList added;
  for (const std::string& entry : Entries) {
    if (listed_ >= MaxEntries) {
      ++leftOut_;
      continue;
    }
    ++listed_;
    added << QText(entry);
  }
  if (!added.isEmpty()) ReferenceListBox->insertItems(listed_ - static_cast<int>(added.size()), added);
  if (leftOut_ == 0) return;
  if (!leftOutItem_) {
    leftOutItem_ = new QListWidgetItem;
    leftOutItem_->setFlags(Qt::NoItemFlags);
    ReferenceListBox->addItem(leftOutItem_);
  }
  leftOutItem_->setText(QText(LeftOutText(leftOut_)));
}

std::vector<std::string> TReferenceResultForm::Entries() const {
  std::vector<std::string> entries;
  for (int i = 0; i < listed_; ++i) entries.push_back(StdText(ReferenceListBox->item(i)->text()));
  return entries;
}

void TReferenceResultForm::CloseButtonClick() {
  ReferenceListBox->clear();
  listed_ = leftOut_ = 0;
  leftOutItem_ = nullptr;
  close();
}

}  // namespace tavi
