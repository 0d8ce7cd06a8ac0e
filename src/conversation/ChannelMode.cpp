#include "conversation/ChannelMode.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <cstdint>

#include "core/Connection.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "core/DecimalText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 286;
constexpr int ClientHeight = 391;

std::string TrimSpaces(const std::string& Text) {
  const auto first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = Text.find_last_not_of(' ');
  return Text.substr(first, last - first + 1);
}

// "+x" or "-x" when the box no longer shows what the channel has.
void AppendChange(std::string& Modes, bool Checked, bool Current, char Letter) {
  if (Checked == Current) return;
  Modes += Checked ? '+' : '-';
  Modes += Letter;
}

}  // namespace

TChannelModeForm::TChannelModeForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("ChannelModeForm"));
  // A later activation must not fill the boxes over the user's changes.
  SetActivateOn(TActivateOn::FirstOnly);
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);
  setWindowTitle(Ui(u8"チャンネルモードの表示と設定"));
  setProperty("helpContext", HelpContext);

  GroupBox1 = new QGroupBox(Ui(u8"チャンネルモード"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, ClientWidth - 16, 338);

  int top = 22;
  auto makeBox = [&](const char* Name, std::u8string_view Caption) {
    auto* box = new QCheckBox(Ui(Caption), GroupBox1);
    box->setObjectName(QLatin1String(Name));
    box->setGeometry(14, top, ClientWidth - 16 - 28, 20);
    top += 30;
    return box;
  };
  auto makeEdit = [&](const char* Name) {
    auto* edit = new QLineEdit(GroupBox1);
    edit->setObjectName(QLatin1String(Name));
    edit->setGeometry(34, top - 8, ClientWidth - 16 - 48, 22);
    edit->setEnabled(false);
    top += 24;
    return edit;
  };
  PrivateCheckBox = makeBox("PrivateCheckBox", u8"プライベートチャンネル属性");
  SecretCheckBox = makeBox("SecretCheckBox", u8"シークレットチャンネル属性");
  InviteCheckBox = makeBox("InviteCheckBox", u8"招待属性");
  TopicCheckBox = makeBox("TopicCheckBox", u8"トピックの変更権をオペレータに設定");
  MessageCheckBox = makeBox("MessageCheckBox", u8"チャンネル外のメッセージの受信");
  ModeratedCheckBox = makeBox("ModeratedCheckBox", u8"司会つきチャンネル属性");
  LimitCheckBox = makeBox("LimitCheckBox", u8"チャンネルに参加する人数を制限");
  LimitEdit = makeEdit("LimitEdit");
  SpeechCheckBox = makeBox("SpeechCheckBox", u8"司会つきチャンネルの発言権");
  KeyWordCheckBox = makeBox("KeyWordCheckBox", u8"チャンネルキーワードの設定");
  KeyWordEdit = makeEdit("KeyWordEdit");

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(48, 356, 80, 27);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(Ui(u8"キャンセル"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(158, 356, 80, 27);

  // toggled, not clicked: filling the boxes runs the same interplay.
  connect(PrivateCheckBox, &QCheckBox::toggled, this, [this] { PrivateCheckBoxClick(); });
  connect(SecretCheckBox, &QCheckBox::toggled, this, [this] { SecretCheckBoxClick(); });
  connect(LimitCheckBox, &QCheckBox::toggled, this, [this] { LimitCheckBoxClick(); });
  connect(KeyWordCheckBox, &QCheckBox::toggled, this, [this] { KeyWordCheckBoxClick(); });
  connect(KeyWordEdit, &QLineEdit::textEdited, this, [this] { keyWordEdited_ = true; });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

TChannelModeForm::~TChannelModeForm() = default;

TChannel* TChannelModeForm::ChannelWindow() const { return connection_.FindChannel(TargetWireName); }

void TChannelModeForm::FormActivate() {
  setWindowTitle(QText(TargetChannel + U8(u8" のモードの表示と設定")));
  TChannel* chat = ChannelWindow();
  if (!chat) return;
  PrivateCheckBox->setChecked(chat->PrivateMode);
  SecretCheckBox->setChecked(chat->SecretMode);
  InviteCheckBox->setChecked(chat->InviteMode);
  TopicCheckBox->setChecked(chat->TopicMode);
  // +n refuses outside messages: the box says whether they are received.
  MessageCheckBox->setChecked(!chat->MessageMode);
  ModeratedCheckBox->setChecked(chat->ModeratedMode);
  LimitCheckBox->setChecked(chat->LimitMode);
  if (LimitCheckBox->isChecked()) {
    LimitEdit->setEnabled(true);
    LimitEdit->setText(chat->LimitNumber > 0 ? QString::number(chat->LimitNumber) : QString());
  } else {
    LimitEdit->clear();
    LimitEdit->setEnabled(false);
  }
  KeyWordCheckBox->setChecked(chat->KeyWordMode);
  if (KeyWordCheckBox->isChecked()) {
    KeyWordEdit->setEnabled(true);
    KeyWordEdit->setText(QText(chat->KeyWord));
  } else {
    KeyWordEdit->clear();
    KeyWordEdit->setEnabled(false);
  }
  keyWordEdited_ = false;
  SpeechCheckBox->setChecked(chat->SpeechMode);
}

void TChannelModeForm::PrivateCheckBoxClick() {
  if (PrivateCheckBox->isChecked()) SecretCheckBox->setChecked(false);
}

void TChannelModeForm::SecretCheckBoxClick() {
  if (SecretCheckBox->isChecked()) PrivateCheckBox->setChecked(false);
}

void TChannelModeForm::LimitCheckBoxClick() { LimitEdit->setEnabled(LimitCheckBox->isChecked()); }

void TChannelModeForm::KeyWordCheckBoxClick() { KeyWordEdit->setEnabled(KeyWordCheckBox->isChecked()); }

void TChannelModeForm::OKButtonClick() {
  TChannel* chat = ChannelWindow();
  if (!chat) return;
  const std::string channel = TargetWireName;
  std::string modes;
  std::string args;

  AppendChange(modes, PrivateCheckBox->isChecked(), chat->PrivateMode, 'p');
  AppendChange(modes, SecretCheckBox->isChecked(), chat->SecretMode, 's');
  AppendChange(modes, InviteCheckBox->isChecked(), chat->InviteMode, 'i');
  AppendChange(modes, TopicCheckBox->isChecked(), chat->TopicMode, 't');
  AppendChange(modes, !MessageCheckBox->isChecked(), chat->MessageMode, 'n');
  AppendChange(modes, ModeratedCheckBox->isChecked(), chat->ModeratedMode, 'm');

  std::int32_t limit = 0;
  const std::string limitText = StdText(LimitEdit->text());
  if (!limitText.empty() && !ParseDecimal(limitText, limit)) {
    limit = 0;
    // The box is modal; losing the activation to it must not close us.
    QPointer<TChannelModeForm> self(this);
    KeepOpenWhile([] {
      Platform().ShowMessage(
          U8(u8"チャンネルに参加する人数の制限値が正しくありません。\r\n正しい数字を入力してください。"));
    });
    if (!self) return;
    // The box ran the event loop: the channel may be gone.
    chat = ChannelWindow();
    if (!chat) return;
  }
  if (LimitCheckBox->isChecked() != chat->LimitMode && limit > 0) {
    if (LimitCheckBox->isChecked()) {
      modes += "+l";
      args = std::to_string(limit);
    } else {
      modes += "-l";
    }
  }

  if (KeyWordCheckBox->isChecked() != chat->KeyWordMode || keyWordEdited_) {
    const std::string key = StdText(KeyWordEdit->text());
    if (KeyWordCheckBox->isChecked() && !key.empty()) {
      if (!chat->KeyWord.empty() && key != chat->KeyWord)
        connection_.SendWire("MODE " + channel + connection_.WireText(" -k " + chat->KeyWord) + "\r\n");
      modes += "+k";
      args += " " + key;
      chat->KeyWord = TrimSpaces(key);
    } else {
      modes += "-k";
      args += " " + chat->KeyWord;
      chat->KeyWord.clear();
    }
  }

  AppendChange(modes, SpeechCheckBox->isChecked(), chat->SpeechMode, 'v');

  if (!modes.empty()) connection_.SendWire("MODE " + channel + connection_.WireText(" " + modes + " " + args) + "\r\n");
  connection_.SendWire("MODE " + channel + "\r\n");
  close();
}

void TChannelModeForm::CancelButtonClick() { close(); }

}  // namespace tavi
