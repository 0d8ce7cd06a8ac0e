#include "conversation/Talk.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QTextCursor>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "conversation/MemberEditor.h"
#include "widgets/InputHistory.h"
#include "widgets/RichLog.h"
#include "widgets/TypedLine.h"
#include "widgets/WritingChoice.h"
#include "core/Connection.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "protocol/Ctcp.h"
#include "widgets/ConversationPanels.h"
#include "widgets/FindBar.h"
#include "widgets/FormFont.h"
#include "widgets/MenuText.h"
#include "widgets/PaneLinks.h"
#include "widgets/WindowHost.h"

namespace tavi {

namespace {

constexpr int FormWidth = 430;
constexpr int FormHeight = 260;
constexpr int EditorHelpContext = 60;

std::vector<std::string> MemoLines(const QPlainTextEdit* Memo) {
  std::vector<std::string> lines;
  const QTextDocument* doc = Memo->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
    lines.push_back(StdText(block.text()));
  return lines;
}

void SetMemoLines(QPlainTextEdit* Memo, const std::vector<std::string>& Lines) {
  QString text;
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    if (i) text += QLatin1Char('\n');
    text += QText(Lines[i]);
  }
  Memo->setPlainText(text);
}

}  // namespace

TTalkForm::TTalkForm(TWindowHost& Host, TConnection& Connection, TQuery& Query, QWidget* Parent)
    : TMdiChildForm(Host, &Connection, Parent), connection_(Connection), query_(&Query) {
  setObjectName(QStringLiteral("TalkForm"));
  ApplyFormFont(this);
  QWidget* content = nullptr;
  QVBoxLayout* column = MakeConversationColumn(this, HelpContext, content);

  QHBoxLayout* top = nullptr;
  QFrame* speedPanel = MakeSpeedButtonPanel(content, top);
  Panel1 = speedPanel;
  CloseFormSpeedButton = AddSpeedButton(speedPanel, top, "CloseFormSpeedButton", u8"このフォームを閉じる", CloseFormIcon());
  column->addWidget(Panel1);

  auto* panes = new QHBoxLayout;
  panes->setContentsMargins(0, 0, 0, 0);
  panes->setSpacing(0);
  RecvMemo = new QPlainTextEdit(content);
  RecvMemo->setObjectName(QStringLiteral("RecvMemo"));
  RecvMemo->setReadOnly(true);
  RecvMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RecvMemo->setFont(FormFont(16));
  OpenLinksOf(RecvMemo, Connection);
  // It takes what the window's size leaves; the member pane keeps its width.
  RecvMemo->setMinimumWidth(0);
  NickNameMemo = new QPlainTextEdit(content);
  NickNameMemo->setObjectName(QStringLiteral("NickNameMemo"));
  NickNameMemo->setReadOnly(true);
  NickNameMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  NickNameMemo->setFixedWidth(126);
  NickNameMemo->setFont(FormFont(16));
  panes->addWidget(RecvMemo, 1);
  panes->addWidget(NickNameMemo, 0);
  column->addLayout(panes, 1);
  FindBar = new TFindBar(RecvMemo, content);
  column->addWidget(FindBar);

  Panel2 = MakeSendPanel(content, Label1, SendEdit);
  column->addWidget(Panel2);

  setWidget(content);
  SendEdit->installEventFilter(this);
  connect(CloseFormSpeedButton, &QToolButton::clicked, this, [this] { Close1Click(); });

  // The window's menus, shown in the frame's menu bar while it is active.
  auto makeMenu = [this](const char* Name, const char8_t* Caption) { return MakeMenu(this, Name, Caption); };
  auto makeItem = [this](QMenu* Menu, const char* Name, const char8_t* Caption) { return MakeMenuItem(this, Menu, Name, Caption); };
  File1 = makeMenu("File1", u8"ファイル");
  Join = makeItem(File1, "Join", u8"チャンネルに入室");
  TalkMenu = makeItem(File1, "TalkMenu", u8"相手を選定して会話");
  File1->addSeparator();
  Close1 = makeItem(File1, "Close1", u8"閉じる");
  Exit1 = makeItem(File1, "Exit1", u8"終了");
  Mode1 = makeMenu("Mode1", u8"モード");
  UserModeMenu = makeItem(Mode1, "UserModeMenu", u8"ユーザーモード");
  Mode1->addSeparator();
  WritingMenu = AddWritingMenu(Mode1, [self = QPointer<TTalkForm>(this)]() -> TWriting* {
    return self && self->query_ ? &self->query_->Writing : nullptr;
  });
  Member1 = makeMenu("Member1", u8"メンバー");
  AddDeleteMember = makeItem(Member1, "AddDeleteMember", u8"メンバーの変更");

  const std::pair<QAction*, TFrameCommand> frameCommands[] = {
      {Join, TFrameCommand::Join}, {TalkMenu, TFrameCommand::Talk}, {Exit1, TFrameCommand::Exit},
      {UserModeMenu, TFrameCommand::UserMode}};
  for (const auto& [item, command] : frameCommands)
    connect(item, &QAction::triggered, this, [this, command = command] { this->Host().RunFrameCommand(command, connection_); });
  connect(Close1, &QAction::triggered, this, [this] { Close1Click(); });
  connect(AddDeleteMember, &QAction::triggered, this, [this] { AddDeleteMemberClick(); });

  // FormCreate.
  KeepSizeAs(QStringLiteral("Talk"), QSize(FormWidth, FormHeight));
  RecvMemo->clear();
  NickNameMemo->clear();
  QueryChanged();
  SendEdit->setFocus();
}

TTalkForm::~TTalkForm() = default;

void TTalkForm::QueryChanged() {
  if (!query_) return;
  SetCaption(query_->Caption);
  SetMemoLines(NickNameMemo, query_->Speakers());
}

void TTalkForm::ShowUnreadMarker() {
  RemoveLastLine(RecvMemo->document(), UnreadMarkerText());
  RecvMemo->appendPlainText(UnreadMarkerText());
}

void TTalkForm::ShowLine(const QString& Text) {
  AppendLinkedLine(RecvMemo, Text);
  if (RecvMemo->document()->blockCount() > TConnection::KeptLines) {
    QTextCursor cursor(RecvMemo->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.setPosition(RecvMemo->document()->findBlockByNumber(RecvMemo->document()->blockCount() - TConnection::KeptLines).position(),
                       QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
}

std::vector<std::string> TTalkForm::RecvLines() const { return MemoLines(RecvMemo); }

std::vector<std::string> TTalkForm::NickNames() const { return MemoLines(NickNameMemo); }

void TTalkForm::SendEditKeyDown(int Key) {
  if (Key != EnterKey && Key != Qt::Key_Return && Key != Qt::Key_Enter) return;
  if (SendEdit->text().isEmpty() || !query_) return;
  const std::string text = StdText(SendEdit->text());
  history_.Add(SendEdit->text());
  std::string reply;
  if (ApplyCharsetCommand(text, query_->Writing, connection_.Encoding(), reply)) {
    connection_.Show(*query_, reply);
    SendEdit->clear();
    return;
  }
  QPointer<TTalkForm> self(this);
  const std::optional<std::string> said =
      RunTypedInWindow(Host(), connection_, text, nullptr, query_, [this] { RecvMemo->clear(); });
  // A command may end the connection, and the window with it.
  if (!self) return;
  if (!said || !query_) {
    SendEdit->clear();
    return;
  }
  TWireEncoding as;
  // The question runs the event loop: the window or its query may go.
  if (!ChooseSending(*said, connection_.WritingEncoding(*query_), as) || !self || !query_) return;
  connection_.Say(*query_, *said, as);
  SendEdit->clear();
}

void TTalkForm::Close1Click() { close(); }

void TTalkForm::closeEvent(QCloseEvent* Event) {
  TMdiChildForm::closeEvent(Event);
  if (!Event->isAccepted()) return;
  delete WindowMenuItem;
  WindowMenuItem = nullptr;
  // The connection forgets the query, which lets this window go.
  if (query_) connection_.CloseQuery(query_);
}

void TTalkForm::AddDeleteMemberClick() {
  if (!query_) return;
  auto* editor = new TMemberEditorForm(this, connection_);
  editor->Setup(U8(u8"会話相手を選定"), U8(u8"会話相手："), U8(u8"会話相手のリスト："), "TalkMember", this,
                EditorHelpContext);
  editor->SetEntries(query_->MemberList);
  editor->show();
}

std::vector<std::pair<int, QMenu*>> TTalkForm::MergedMenus() { return {{0, File1}, {2, Mode1}, {3, Member1}}; }

bool TTalkForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == SendEdit && Event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(Event)->key();
    QStringList nicks;
    if (key == Qt::Key_Tab && query_) {
      for (const std::string& nick : query_->Speakers()) nicks.push_back(QText(nick));
      for (const std::string& nick : query_->MemberList) nicks.push_back(QText(nick));
    }
    if (CompleteOnTab(SendEdit, completion_, key, connection_, nicks)) return true;
    if (WalkHistory(SendEdit, history_, key)) return true;
    SendEditKeyDown(key);
  }
  return TMdiChildForm::eventFilter(Watched, Event);
}

}  // namespace tavi
