#include "conversation/Channel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <map>

#include "kanji/SjisCase.h"
#include "kanji/SjisText.h"
#include "widgets/FormFont.h"
#include "session/Globals.h"
#include "frame/MainForm.h"

namespace tavi {

namespace {

std::string TrimSpaces(const std::string& Text) {
  const auto first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = Text.find_last_not_of(' ');
  return Text.substr(first, last - first + 1);
}

bool Listed(const std::string& Channel) {
  const std::vector<std::string>& names = LocalArea().ChannelNames;
  return std::any_of(names.begin(), names.end(), [&](const std::string& N) { return SjisSameText(N, Channel); });
}

}  // namespace

// The plain dialog frame, not the fixed one of the other command dialogs.
TChannelForm::TChannelForm(QWidget* Owner) : TCommandDialog(Owner, true, Qt::Dialog) {
  setObjectName(QStringLiteral("ChannelForm"));
  setWindowTitle(FromSjis(Sj(u8"チャンネルを選んでください。")));
  setProperty("helpContext", HelpContext);
  ApplyFormFont(this);
  setFixedSize(275, 169);

  Label1 = new QLabel(FromSjis(Sj(u8"チャンネル名：")), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 12, 240, 16);
  ChannelComboBox = new QComboBox(this);
  ChannelComboBox->setObjectName(QStringLiteral("ChannelComboBox"));
  ChannelComboBox->setEditable(true);
  // Only a join puts a name into the list, not Enter in the edit.
  ChannelComboBox->setInsertPolicy(QComboBox::NoInsert);
  ChannelComboBox->setGeometry(16, 30, 241, 24);
  Label1->setBuddy(ChannelComboBox);
  Label2 = new QLabel(FromSjis(Sj(u8"キーワード：")), this);
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
  CancelButton = new QPushButton(FromSjis(Sj(u8"キャンセル")), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(148, 128, 80, 28);

  // FormCreate.
  for (const std::string& name : LocalArea().ChannelNames) ChannelComboBox->addItem(FromSjis(name));
  ChannelComboBox->setEditText(FromSjis(LocalArea().ChannelName));
  ChannelKeyEdit->setText(FromSjis(LocalArea().ChannelKey));

  connect(ChannelComboBox, &QComboBox::editTextChanged, this, [this] { ChannelComboBoxChange(); });
  // Choosing the entry that is already shown changes no text but counts.
  connect(ChannelComboBox, &QComboBox::activated, this, [this] { ChannelComboBoxChange(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

TChannelForm::~TChannelForm() = default;

std::string TChannelForm::RememberedKey(const std::string& Channel) {
  if (!Listed(Channel)) return {};
  const auto& memory = Globals().ChannelKeys;
  const auto it = memory.find(Channel);
  return it == memory.end() ? std::string() : it->second;
}

void TChannelForm::ChannelComboBoxChange() {
  const std::string channel = ToSjis(ChannelComboBox->currentText());
  if (!Listed(channel)) return;
  ChannelKeyEdit->setText(FromSjis(RememberedKey(channel)));
}

void TChannelForm::OKButtonClick() {
  const std::string channel = TrimSpaces(ToSjis(ChannelComboBox->currentText()));
  const std::string key = TrimSpaces(ToSjis(ChannelKeyEdit->text()));
  if (!channel.empty()) {
    std::vector<std::string>& names = LocalArea().ChannelNames;
    std::erase_if(names, [&](const std::string& N) { return SjisSameText(N, channel); });
    names.insert(names.begin(), channel);
    // The entry's key goes with it: #Foo replacing #foo replaces its key too.
    Globals().ChannelKeys.erase(channel);
    Globals().ChannelKeys.emplace(channel, key);
    LocalArea().ChannelKey = key;
    LocalArea().ChannelName = channel;
    if (MainForm) {
      MainForm->NoteJoinRequest(channel);
      MainForm->SendLine("JOIN " + channel + " " + key + "\r\n");
    }
  }
  close();
}

void TChannelForm::CancelButtonClick() { close(); }


}  // namespace tavi
