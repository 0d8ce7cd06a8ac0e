#include "conversation/MemberEditor.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "conversation/Chat.h"
#include "conversation/Talk.h"
#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "widgets/MdiChildForm.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 303;
constexpr int ClientHeight = 208;
constexpr int DefaultHelpContext = 60;

std::string Joined(const std::vector<std::string>& Entries, const std::string& Separator) {
  std::string text;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (i) text += Separator;
    text += Entries[i];
  }
  return text;
}

// BanMaskArgs takes its masks separated by single blanks.
void AppendMask(std::string& Args, const std::string& Mask) {
  if (!Args.empty()) Args += ' ';
  Args += Mask;
}

}  // namespace

TMemberEditorForm::TMemberEditorForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("MemberEditorForm"));
  ApplyFormFont(this);
  setFixedSize(ClientWidth, ClientHeight);
  setWindowTitle(Ui(u8"会話相手を選定"));
  setProperty("helpContext", DefaultHelpContext);

  Label1 = new QLabel(Ui(u8"会話相手："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(8, 8, 196, 16);
  MemberEdit = new QLineEdit(this);
  MemberEdit->setObjectName(QStringLiteral("MemberEdit"));
  MemberEdit->setGeometry(8, 26, 196, 22);
  Label1->setBuddy(MemberEdit);
  Label2 = new QLabel(Ui(u8"会話相手のリスト："), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(8, 56, 196, 16);
  MemberListBox = new QListWidget(this);
  MemberListBox->setObjectName(QStringLiteral("MemberListBox"));
  MemberListBox->setSelectionMode(QAbstractItemView::SingleSelection);
  MemberListBox->setGeometry(8, 74, 196, 126);
  Label2->setBuddy(MemberListBox);

  auto makeButton = [&](const char* Name, std::u8string_view Caption, int Top) {
    auto* button = new QPushButton(Ui(Caption), this);
    button->setObjectName(QLatin1String(Name));
    button->setGeometry(214, Top, 81, 25);
    return button;
  };
  AddButton = makeButton("AddButton", u8"追加", 24);
  DeleteButton = makeButton("DeleteButton", u8"削除", 74);
  ChangeButton = makeButton("ChangeButton", u8"変更", 142);
  CloseButton = makeButton("CloseButton", u8"閉じる", 175);
  connect(AddButton, &QPushButton::clicked, this, &TMemberEditorForm::AddButtonClick);
  connect(DeleteButton, &QPushButton::clicked, this, &TMemberEditorForm::DeleteButtonClick);
  connect(ChangeButton, &QPushButton::clicked, this, &TMemberEditorForm::ChangeButtonClick);
  connect(CloseButton, &QPushButton::clicked, this, &TMemberEditorForm::CloseButtonClick);

  // FormCreate.
  TargetForm = nullptr;
}

TMemberEditorForm::~TMemberEditorForm() = default;

TChannel* TMemberEditorForm::TargetChannel() const {
  auto* chat = qobject_cast<TChatForm*>(TargetForm.data());
  return chat ? chat->Channel() : nullptr;
}

void TMemberEditorForm::Setup(const std::string& Caption, const std::string& Label1Text,
                              const std::string& Label2Text, const std::string& Mode, TMdiChildForm* Target,
                              int HelpContext) {
  setWindowTitle(QText(Caption));
  Label1->setText(QText(Label1Text));
  Label2->setText(QText(Label2Text));
  EditMode = Mode;
  TargetForm = Target;
  setProperty("helpContext", HelpContext);
  // An editor already on screen shows the new mode's button at once.
  if (isVisible()) FormActivate();
}

// Entries keep their bytes beside the shown text: a ban mask that is not
// valid UTF-8 must go out as it came, or it could never be removed.
constexpr int EntryBytesRole = Qt::UserRole;

void TMemberEditorForm::AddEntry(const std::string& Entry) {
  auto* item = new QListWidgetItem(QText(Entry), MemberListBox);
  item->setData(EntryBytesRole, QByteArray(Entry.data(), static_cast<qsizetype>(Entry.size())));
}

std::string TMemberEditorForm::EntryBytes(const QListWidgetItem* Item) {
  return Item->data(EntryBytesRole).toByteArray().toStdString();
}

std::vector<std::string> TMemberEditorForm::Entries() const {
  std::vector<std::string> entries;
  for (int i = 0; i < MemberListBox->count(); ++i) entries.push_back(EntryBytes(MemberListBox->item(i)));
  return entries;
}

void TMemberEditorForm::SetEntries(const std::vector<std::string>& Entries) {
  MemberListBox->clear();
  for (const std::string& entry : Entries) AddEntry(entry);
}

void TMemberEditorForm::FormActivate() {
  MemberEdit->setFocus();
  ChangeButton->setText(EditMode == "ISON" ? Ui(u8"検索") : Ui(u8"変更"));
}

void TMemberEditorForm::AddButtonClick() {
  if (!MemberEdit->text().isEmpty()) {
    const std::string text = StdText(MemberEdit->text());
    AddEntry(text);
    if (EditMode == "BanMask") {
      if (TChannel* channel = TargetChannel()) {
        AppendMask(channel->BanMaskArgs, text);
        channel->BanMaskModes += "+b";
      }
    }
    MemberEdit->clear();
  }
  MemberEdit->setFocus();
}

void TMemberEditorForm::DeleteButtonClick() {
  if (MemberListBox->count() > 0) {
    for (int i = 0; i < MemberListBox->count(); ++i) {
      QListWidgetItem* item = MemberListBox->item(i);
      if (!item->isSelected()) continue;
      if (EditMode == "BanMask") {
        if (TChannel* channel = TargetChannel()) {
          AppendMask(channel->BanMaskArgs, EntryBytes(item));
          channel->BanMaskModes += "-b";
        }
      }
      delete MemberListBox->takeItem(i);
      break;
    }
  }
  MemberEdit->setFocus();
}

void TMemberEditorForm::ChangeButtonClick() {
  // Windows opened while applying take the activation.
  KeepOpenWhile([this] { Apply(); });
  MemberEdit->clear();
  MemberListBox->clear();
  close();
}

void TMemberEditorForm::Apply() {
  const std::vector<std::string> entries = Entries();
  if (!entries.empty()) {
    if (EditMode == "TalkMember") {
      if (TargetForm) {
        auto* talk = qobject_cast<TTalkForm*>(TargetForm.data());
        // Renames the window and its menu entry too.
        if (talk && talk->Query()) connection_.SetQueryMembers(*talk->Query(), entries);
      } else {
        connection_.OpenQuery(Joined(entries, ","), entries);
      }
    } else if (EditMode == "ISON") {
      ++connection_.Own.IsonRequests;
      connection_.SendLine("ISON " + Joined(entries, " ") + "\r\n");
    }
  }
  if (EditMode == "RecieveDeny") {
    connection_.RecieveDenyList = entries;
  } else if (EditMode == "BanMask") {
    if (TChannel* channel = TargetChannel())
      connection_.SendWire("MODE " + channel->WireName() +
                           connection_.WireText(" " + channel->BanMaskModes + " " + channel->BanMaskArgs) + "\r\n");
  }
}

void TMemberEditorForm::CloseButtonClick() {
  MemberEdit->clear();
  MemberListBox->clear();
  close();
}

void TMemberEditorForm::reject() { CloseButtonClick(); }

}  // namespace tavi
