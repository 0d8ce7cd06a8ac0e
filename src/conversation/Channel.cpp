#include "conversation/Channel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <map>

#include "protocol/CaseMapping.h"
#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"
#include "core/Session.h"

namespace tavi {

namespace {

std::string TrimSpaces(const std::string& Text) {
  const auto first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = Text.find_last_not_of(' ');
  return Text.substr(first, last - first + 1);
}

}  // namespace

// The plain dialog frame, not the fixed one of the other command dialogs.
TChannelForm::TChannelForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true, Qt::Dialog), connection_(Connection) {
  setObjectName(QStringLiteral("ChannelForm"));
  setWindowTitle(QText(U8(u8"チャンネルを選んでください。")));
  setProperty("helpContext", HelpContext);
  ApplyFormFont(this);
  setFixedSize(275, 169);

  Label1 = new QLabel(QText(U8(u8"チャンネル名：")), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 12, 240, 16);
  ChannelComboBox = new QComboBox(this);
  ChannelComboBox->setObjectName(QStringLiteral("ChannelComboBox"));
  ChannelComboBox->setEditable(true);
  // Only a join puts a name into the list, not Enter in the edit.
  ChannelComboBox->setInsertPolicy(QComboBox::NoInsert);
  ChannelComboBox->setGeometry(16, 30, 241, 24);
  Label1->setBuddy(ChannelComboBox);
  Label2 = new QLabel(QText(U8(u8"キーワード：")), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(16, 64, 240, 16);
  ChannelKeyEdit = new QLineEdit(this);
  ChannelKeyEdit->setObjectName(QStringLiteral("ChannelKeyEdit"));
  ChannelKeyEdit->setGeometry(16, 82, 241, 24);
  Label2->setBuddy(ChannelKeyEdit);
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(48, 128, 80, 28);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(QText(U8(u8"キャンセル")), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(148, 128, 80, 28);

  // FormCreate.
  const TLocalArea& local = Connection.Session().Local();
  for (const std::string& name : local.ChannelNames) ChannelComboBox->addItem(QText(name));
  ProposeChannel(local.ChannelName);
  ChannelKeyEdit->setText(QText(local.ChannelKey));

  connect(ChannelComboBox, &QComboBox::editTextChanged, this, [this] { ChannelComboBoxChange(); });
  // Choosing the entry that is already shown changes no text but counts.
  connect(ChannelComboBox, &QComboBox::activated, this, [this] { ChannelComboBoxChange(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

TChannelForm::~TChannelForm() = default;

void TChannelForm::ProposeChannel(const std::string& Channel) {
  ChannelComboBox->setEditText(QText(Channel));
  ChannelComboBox->lineEdit()->selectAll();
  ChannelComboBox->setFocus();
}

void TChannelForm::ChannelComboBoxChange() {
  const std::string channel = StdText(ChannelComboBox->currentText());
  const std::vector<std::string>& names = connection_.Session().Local().ChannelNames;
  if (std::none_of(names.begin(), names.end(), [&](const std::string& N) { return SameName(N, channel); })) return;
  ChannelKeyEdit->setText(QText(connection_.RememberedKey(channel)));
}

void TChannelForm::OKButtonClick() {
  const std::string channel = TrimSpaces(StdText(ChannelComboBox->currentText()));
  const std::string key = TrimSpaces(StdText(ChannelKeyEdit->text()));
  if (!channel.empty()) connection_.Join(channel, key);
  close();
}

void TChannelForm::CancelButtonClick() { close(); }

}  // namespace tavi
