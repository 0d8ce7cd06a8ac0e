#include "dialogs/AwayCmd.h"

#include "kanji/WireText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "kanji/Kanji.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 236;
constexpr int ClientHeight = 184;
constexpr std::size_t NickBytes = 8;

std::string TrimSpaces(const std::string& Text) {
  const auto first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

// Blanks and control characters; no byte at or below the blank can be part
// of a double-byte character, so a byte walk is safe.
std::string TrimBlanksAndControls(const std::string& Text) {
  auto blank = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
  std::size_t first = 0, last = Text.size();
  while (first < last && blank(Text[first])) ++first;
  while (last > first && blank(Text[last - 1])) --last;
  return Text.substr(first, last - first);
}

}  // namespace

std::string NickCut(const std::string& Nick, TWireEncoding Encoding) {
  return Nick.substr(0, FitWireBytes(Nick, Encoding, NickBytes));
}

TAwayCmdForm::TAwayCmdForm(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("AwayCmdForm"));
  setModal(false);
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);
  setWindowTitle(Ui(u8"自動返信の設定"));

  Label1 = new QLabel(Ui(u8"自動で返信するメッセージ："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 16, 204, 16);
  AwayMessageEdit = new QLineEdit(this);
  AwayMessageEdit->setObjectName(QStringLiteral("AwayMessageEdit"));
  AwayMessageEdit->setGeometry(16, 40, 204, 24);
  Label1->setBuddy(AwayMessageEdit);

  auto makeButton = [&](const char* Name, std::u8string_view Caption, int Left) {
    auto* button = new QPushButton(Ui(Caption), this);
    button->setObjectName(QLatin1String(Name));
    button->setAutoDefault(false);
    button->setGeometry(Left, 136, 64, 28);
    return button;
  };
  OKButton = makeButton("OKButton", u8"設定", 12);
  CancelButton = makeButton("CancelButton", u8"解除", 86);
  CloseButton = makeButton("CloseButton", u8"閉じる", 160);

  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
  connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });
}

TAwayCmdForm::~TAwayCmdForm() = default;

void TAwayCmdForm::SetCaption(const std::string& Caption) { setWindowTitle(QText(Caption)); }
void TAwayCmdForm::SetLabel(const std::string& Text) { Label1->setText(QText(Text)); }
std::string TAwayCmdForm::Caption() const { return StdText(windowTitle()); }
std::string TAwayCmdForm::LabelText() const { return StdText(Label1->text()); }
std::string TAwayCmdForm::EditText() const { return StdText(AwayMessageEdit->text()); }
void TAwayCmdForm::SetEditText(const std::string& Text) { AwayMessageEdit->setText(QText(Text)); }

void TAwayCmdForm::FormShow() {
  if (CommandKind == "Away" && Connection) SetEditText(Connection->Own.AwayMessage);
}

void TAwayCmdForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FormShow();
}

void TAwayCmdForm::OKButtonClick() {
  const std::string text = EditText();
  if (CommandKind == "Away") {
    // Blanks alone are a message too: what is typed is sent.
    if (text.empty()) {
      Platform().ShowMessage(U8(u8"メッセージが書き込まれていません。"));
      return;
    }
    if (Connection) {
      Connection->SendLine("AWAY :" + text + "\r\n");
      Connection->Own.AwayMessage = TrimBlanksAndControls(text);
    }
    hide();
  } else if (CommandKind == "Nick") {
    const std::string nick = TrimSpaces(text);
    if (nick.empty()) {
      Platform().ShowMessage(U8(u8"新しいニックネームが書き込まれていません。"));
      return;
    }
    if (Connection) {
      Connection->SendNick(NickCut(nick, Connection->Encoding()));
    }
    hide();
  } else if (CommandKind == "Topic") {
    const std::string topic = TrimSpaces(text);
    if (topic.empty()) {
      Platform().ShowMessage(U8(u8"トピックが書き込まれていません。"));
      return;
    }
    if (Connection) Connection->SendWire("TOPIC " + TopicChannel + Connection->WireText(" :" + topic) + "\r\n");
    hide();
  }
}

void TAwayCmdForm::CancelButtonClick() {
  if (CommandKind == "Away") {
    if (Connection) {
      Connection->SendLine("AWAY \r\n");
      Connection->Own.AwayMessage.clear();
    }
    hide();
  } else if (CommandKind == "Nick") {
    // Before registration is complete a new nick is the only way on.
    if (Connection && (Connection->State() == TConnectionState::Idle ||
                       (Connection->State() == TConnectionState::Registering && !Connection->Reconnecting())))
      Platform().ShowMessage(U8(u8"新しいニックネームが書き込まれていません。"));
  } else if (CommandKind == "Topic") {
    if (Connection) Connection->SendWire("TOPIC " + TopicChannel + " :\r\n");
    hide();
  }
  AwayMessageEdit->clear();
}

void TAwayCmdForm::CloseButtonClick() { hide(); }

}  // namespace tavi
