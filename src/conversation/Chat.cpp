#include "conversation/Chat.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <random>

#include "conversation/ChannelMode.h"
#include "conversation/Colors.h"
#include "conversation/MemberEditor.h"
#include "conversation/MemberPaneModel.h"
#include "widgets/InputHistory.h"
#include "widgets/TypedLine.h"
#include "widgets/WritingChoice.h"
#include "dialogs/CommandDialog.h"
#include "dialogs/InviteCmd.h"
#include "dialogs/KickCmd.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "protocol/Ctcp.h"
#include "widgets/ConversationPanels.h"
#include "widgets/FindBar.h"
#include "widgets/FormFont.h"
#include "widgets/MenuText.h"
#include "widgets/PaneLinks.h"
#include "widgets/RichLog.h"
#include "widgets/WindowHost.h"

namespace tavi {

namespace {

constexpr int FormWidth = 430;
constexpr int FormHeight = 260;
constexpr int BanMaskHelpContext = 54;

// The speed buttons' glyphs, 16 x 16: a door with an arrow out, a cross.
QIcon PartIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QColor(0, 0, 128));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(2, 1, 7, 13);
  p.setPen(QPen(QColor(0, 128, 0), 2));
  p.drawLine(7, 8, 14, 8);
  p.drawLine(11, 5, 14, 8);
  p.drawLine(11, 11, 14, 8);
  return QIcon(pixmap);
}

std::string TrimSpaces(const std::string& Text) {
  const auto first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = Text.find_last_not_of(' ');
  return Text.substr(first, last - first + 1);
}

std::uint32_t NextPingToken() {
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<std::uint32_t> range(0, 134217726);
  return range(generator);
}

}  // namespace

TChatForm::TChatForm(TWindowHost& Host, TConnection& Connection, TChannel& Channel, QWidget* Parent)
    : TMdiChildForm(Host, &Connection, Parent), connection_(Connection), channel_(&Channel) {
  setObjectName(QStringLiteral("ChatForm"));
  QWidget* content = nullptr;
  QVBoxLayout* column = MakeConversationColumn(this, HelpContext, content);

  QHBoxLayout* top = nullptr;
  QFrame* speedPanel = MakeSpeedButtonPanel(content, top);
  Panel1 = speedPanel;
  PARTSpeedButton = AddSpeedButton(speedPanel, top, "PARTSpeedButton", u8"チャンネルから離脱する", PartIcon());
  CloseFormSpeedButton = AddSpeedButton(speedPanel, top, "CloseFormSpeedButton", u8"このフォームを閉じる", CloseFormIcon());
  column->addWidget(Panel1);

  auto* panes = new QHBoxLayout;
  panes->setContentsMargins(0, 0, 0, 0);
  panes->setSpacing(0);
  RecvRichEdit = new QTextEdit(content);
  RecvRichEdit->setObjectName(QStringLiteral("RecvRichEdit"));
  RecvRichEdit->setReadOnly(true);
  RecvRichEdit->setAcceptRichText(false);
  RecvRichEdit->setUndoRedoEnabled(false);
  recvLog_ = new TRichLog(RecvRichEdit);
  OpenLinksOf(RecvRichEdit, Connection);
  RecvRichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Lines are laid out after a burst and a window behind gets its size
  // later, so the pane follows its end whenever the range changes, until
  // the user scrolls away from it.
  QScrollBar* bar = RecvRichEdit->verticalScrollBar();
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int Maximum) {
    if (followEnd_ && !FindBar->isVisible()) bar->setValue(Maximum);
  });
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int Value) { followEnd_ = Value >= bar->maximum(); });
  RecvRichEdit->setFont(FormFont(16));
  // The event pane takes what the window's size leaves; the member pane
  // keeps its width.
  RecvRichEdit->setMinimumWidth(0);
  NickNameRichEdit = new QListView(content);
  NickNameRichEdit->setObjectName(QStringLiteral("NickNameRichEdit"));
  NickNameRichEdit->setSelectionMode(QAbstractItemView::SingleSelection);
  NickNameRichEdit->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // One font, one line per member: rows need not be measured one by one,
  // which keeps a change in a channel of tens of thousands cheap.
  NickNameRichEdit->setUniformItemSizes(true);
  NickNameRichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  NickNameRichEdit->setContextMenuPolicy(Qt::PreventContextMenu);
  NickNameRichEdit->setFont(FormFont(16));
  NickNameRichEdit->viewport()->setCursor(Qt::ArrowCursor);
  NickNameRichEdit->setFixedWidth(126);
  members_ = new TMemberPaneModel(Connection, this);
  members_->SetMembers(&Channel.Members);
  NickNameRichEdit->setModel(members_);
  MemberCountLabel = new QLabel(content);
  MemberCountLabel->setObjectName(QStringLiteral("MemberCountLabel"));
  MemberCountLabel->setFont(FormFont(12));
  auto* memberColumn = new QVBoxLayout;
  memberColumn->setContentsMargins(0, 0, 0, 0);
  memberColumn->setSpacing(0);
  memberColumn->addWidget(MemberCountLabel);
  memberColumn->addWidget(NickNameRichEdit, 1);
  panes->addWidget(RecvRichEdit, 1);
  panes->addLayout(memberColumn, 0);
  // Counted once a turn of the event loop, however many members a burst moved.
  auto countLater = [this] {
    if (countPending_) return;
    countPending_ = true;
    QTimer::singleShot(0, this, [this] { UpdateMemberCount(); });
  };
  connect(members_, &QAbstractItemModel::rowsInserted, this, countLater);
  connect(members_, &QAbstractItemModel::rowsRemoved, this, countLater);
  connect(members_, &QAbstractItemModel::modelReset, this, countLater);
  connect(members_, &QAbstractItemModel::dataChanged, this, countLater);
  UpdateMemberCount();
  column->addLayout(panes, 1);
  FindBar = new TFindBar(RecvRichEdit, content);
  column->addWidget(FindBar);

  Panel2 = MakeSendPanel(content, Label1, SendEdit);
  column->addWidget(Panel2);

  content->setFocusProxy(SendEdit);
  setWidget(content);

  SendEdit->installEventFilter(this);
  NickNameRichEdit->installEventFilter(this);
  NickNameRichEdit->viewport()->installEventFilter(this);
  connect(PARTSpeedButton, &QToolButton::clicked, this, [this] { PartClick(); });
  connect(CloseFormSpeedButton, &QToolButton::clicked, this, [this] { Close1Click(); });

  // The operator commands follow the user's own entry.
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(members_, signal, this, [this] { UpdateOperatorMenu(); });
  connect(members_, &QAbstractItemModel::dataChanged, this, [this] { UpdateOperatorMenu(); });
  connect(members_, &QAbstractItemModel::modelReset, this, [this] { UpdateOperatorMenu(); });

  // FormCreate.
  KeepSizeAs(QStringLiteral("Channel"), QSize(FormWidth, FormHeight));
  SetCaption(Channel.Name());
  SendEdit->setFocus();
}

TChatForm::~TChatForm() = default;

TChatForm::TMenus& TChatForm::Menus() {
  if (!menus_) {
    menus_ = std::make_unique<TMenus>();
    BuildMenus(*menus_);
    UpdateOperatorMenu();
  }
  return *menus_;
}

void TChatForm::BuildMenus(TMenus& M) {
  auto makeMenu = [this](const char* Name, const char8_t* Caption) { return MakeMenu(this, Name, Caption); };
  auto makeItem = [this](QMenu* Menu, const char* Name, const char8_t* Caption) { return MakeMenuItem(this, Menu, Name, Caption); };

  // The member pop-up menu.
  M.PopupMenu = makeMenu("PopupMenu", u8"");
  M.Whois = makeItem(M.PopupMenu, "Whois", u8"参加者情報 ( Who is )");
  M.PopupMenu->addSeparator();
  M.CTCP1 = makeMenu("CTCP1", u8"CTCP");
  M.PopupMenu->addMenu(M.CTCP1);
  M.PING1 = makeItem(M.CTCP1, "PING1", u8"PING");
  M.VERSION1 = makeItem(M.CTCP1, "VERSION1", u8"VERSION");
  M.TIME1 = makeItem(M.CTCP1, "TIME1", u8"TIME");
  M.FINGER1 = makeItem(M.CTCP1, "FINGER1", u8"FINGER");
  M.USERINFO1 = makeItem(M.CTCP1, "USERINFO1", u8"USERINFO");
  M.CLIENTINFO1 = makeItem(M.CTCP1, "CLIENTINFO1", u8"CLIENTINFO");
  M.PopupMenu->addSeparator();
  M.DCC1 = makeMenu("DCC1", u8"DCC");
  M.PopupMenu->addMenu(M.DCC1);
  M.CHAT1 = makeItem(M.DCC1, "CHAT1", u8"CHAT");
  M.SEND1 = makeItem(M.DCC1, "SEND1", u8"SEND");
  M.PopupMenu->addSeparator();
  M.ChannelOperator1 = makeMenu("ChannelOperator1", u8"Channel Operator");
  M.PopupMenu->addMenu(M.ChannelOperator1);
  M.OPGive = makeItem(M.ChannelOperator1, "OPGive", u8"与える");
  M.OPTake = makeItem(M.ChannelOperator1, "OPTake", u8"取り上げる");
  M.ChannelOperator1->setEnabled(false);

  connect(M.Whois, &QAction::triggered, this, [this] { WhoisClick(); });
  connect(M.PING1, &QAction::triggered, this, [this] { CtcpClick("PING"); });
  connect(M.VERSION1, &QAction::triggered, this, [this] { CtcpClick("VERSION"); });
  connect(M.TIME1, &QAction::triggered, this, [this] { CtcpClick("TIME"); });
  connect(M.FINGER1, &QAction::triggered, this, [this] { CtcpClick("FINGER"); });
  connect(M.USERINFO1, &QAction::triggered, this, [this] { CtcpClick("USERINFO"); });
  connect(M.CLIENTINFO1, &QAction::triggered, this, [this] { CtcpClick("CLIENTINFO"); });
  connect(M.CHAT1, &QAction::triggered, this, [this] { CHAT1Click(); });
  connect(M.SEND1, &QAction::triggered, this, [this] { SEND1Click(); });
  connect(M.OPGive, &QAction::triggered, this, [this] { OPGiveClick(); });
  connect(M.OPTake, &QAction::triggered, this, [this] { OPTakeClick(); });

  // The window's own menus.
  M.File1 = makeMenu("File1", u8"ファイル");
  M.Join = makeItem(M.File1, "Join", u8"チャンネルに入室");
  M.TalkMenu = makeItem(M.File1, "TalkMenu", u8"相手を選定して会話");
  M.Part = makeItem(M.File1, "Part", u8"チャンネルから退室");
  M.File1->addSeparator();
  M.Close1 = makeItem(M.File1, "Close1", u8"閉じる");
  M.Exit1 = makeItem(M.File1, "Exit1", u8"終了");

  M.Command1 = makeMenu("Command1", u8"コマンド");
  M.Version2 = makeItem(M.Command1, "Version2", u8"バージョン( Version )");
  M.Admin1 = makeItem(M.Command1, "Admin1", u8"管理者情報( Admin )");
  M.Command1->addSeparator();
  M.Whois1 = makeItem(M.Command1, "Whois1", u8"参加者情報( Who is )");
  M.Whowas1 = makeItem(M.Command1, "Whowas1", u8"過去の参加者( Who was )");
  M.Command1->addSeparator();
  M.Away1 = makeItem(M.Command1, "Away1", u8"自動不在通知( Away )");
  M.Command1->addSeparator();
  M.Ison1 = makeItem(M.Command1, "Ison1", u8"参加確認( Ison )");
  M.Names1 = makeItem(M.Command1, "Names1", u8"参加者一覧( Names )");
  M.List1 = makeItem(M.Command1, "List1", u8"チャンネル名一覧( List )");
  M.Command1->addSeparator();
  M.Nick1 = makeItem(M.Command1, "Nick1", u8"ニックネーム変更( Nick )");
  M.Command1->addSeparator();
  M.Topic1 = makeItem(M.Command1, "Topic1", u8"チャンネルトピック( Topic )");
  M.Invite1 = makeItem(M.Command1, "Invite1", u8"チャンネルへ招待( Invite )");
  M.Kick1 = makeItem(M.Command1, "Kick1", u8"チャンネルから追放( Kick )");
  M.BanMask1 = makeItem(M.Command1, "BanMask1", u8"参加拒否( Ban Mask )");

  M.Mode1 = makeMenu("Mode1", u8"モード");
  M.UserModeMenu = makeItem(M.Mode1, "UserModeMenu", u8"ユーザーモード");
  M.Mode1->addSeparator();
  M.ChannelModeMenu = makeItem(M.Mode1, "ChannelModeMenu", u8"チャンネルモード");
  M.Mode1->addSeparator();
  M.WritingMenu = AddWritingMenu(M.Mode1, [self = QPointer<TChatForm>(this)]() -> TWriting* {
    return self && self->channel_ ? &self->channel_->Writing : nullptr;
  });

  connect(M.Part, &QAction::triggered, this, [this] { PartClick(); });
  connect(M.Close1, &QAction::triggered, this, [this] { Close1Click(); });
  // The same commands as the main window's items of these names.
  const std::pair<QAction*, TFrameCommand> frameCommands[] = {
      {M.Join, TFrameCommand::Join},       {M.TalkMenu, TFrameCommand::Talk},   {M.Exit1, TFrameCommand::Exit},
      {M.Version2, TFrameCommand::Version}, {M.Admin1, TFrameCommand::Admin},   {M.Whois1, TFrameCommand::WhoIs},
      {M.Whowas1, TFrameCommand::WhoWas},   {M.Away1, TFrameCommand::Away},     {M.Ison1, TFrameCommand::Ison},
      {M.Names1, TFrameCommand::Names},     {M.List1, TFrameCommand::List},     {M.Nick1, TFrameCommand::Nick},
      {M.UserModeMenu, TFrameCommand::UserMode}};
  // Copied by name: clang 14 (the fuzz build) cannot capture a structured binding.
  for (const auto& [item, command] : frameCommands)
    connect(item, &QAction::triggered, this, [this, command = command] { this->Host().RunFrameCommand(command, connection_); });
  connect(M.BanMask1, &QAction::triggered, this, [this] { BanMask1Click(); });
  connect(M.Topic1, &QAction::triggered, this, [this] { Topic1Click(); });
  connect(M.Invite1, &QAction::triggered, this, [this] { Invite1Click(); });
  connect(M.Kick1, &QAction::triggered, this, [this] { Kick1Click(); });
  connect(M.ChannelModeMenu, &QAction::triggered, this, [this] { ChannelModeMenuClick(); });
}

void TChatForm::UpdateMemberCount() {
  countPending_ = false;
  const int count = channel_ ? channel_->Members.Count() : 0;
  const int operators = channel_ ? channel_->Members.OperatorCount() : 0;
  MemberCountLabel->setText(QString::fromUtf8(u8"%1 人（オペレーター %2 人）").arg(count).arg(operators));
}

void TChatForm::Detach() {
  channel_ = nullptr;
  members_->SetMembers(nullptr);
}

void TChatForm::SendToServer(const std::string& Line) { connection_.SendLine(Line); }

void TChatForm::SendChannelCommand(const std::string& Command, const std::string& Rest) {
  // The channel goes by the bytes the server knows it by.
  const std::string channel = channel_ ? channel_->WireName() : connection_.WireText(Caption());
  connection_.SendWire(Command + " " + channel + connection_.WireText(Rest) + "\r\n");
}

void TChatForm::UpdateOperatorMenu() {
  if (!menus_) return;  // set when the menus are built
  const int own = channel_ ? channel_->Members.Find(connection_.Own.CurrentNick) : -1;
  menus_->ChannelOperator1->setEnabled(own >= 0 && channel_->Members.IsOperator(channel_->Members.At(own)));
}

// --- the event pane ---

void TChatForm::ShowUnreadMarker() { recvLog_->AppendMarker(UnreadMarkerText(), clGray); }

void TChatForm::ShowLine(TLineKind Kind, const QString& Text, bool Highlight) {
  recvLog_->Append(Text, Highlight ? clHighlight : LineColor(Kind));
  recvLog_->KeepLast(TConnection::KeptLines);
  // A new line brings the pane to its end, except while the user finds in
  // it; the end is reached when the range grows, as the lines are laid out.
  if (!followEnd_ && !FindBar->isVisible()) {
    followEnd_ = true;
    QScrollBar* bar = RecvRichEdit->verticalScrollBar();
    bar->setValue(bar->maximum());
  }
}

std::vector<std::string> TChatForm::RecvLines() const {
  recvLog_->Flush();
  std::vector<std::string> lines;
  const QTextDocument* doc = RecvRichEdit->document();
  if (doc->isEmpty()) return lines;
  lines.reserve(static_cast<std::size_t>(doc->blockCount()));
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) lines.push_back(StdText(block.text()));
  return lines;
}

QColor TChatForm::RecvLineColor(int Index) const {
  recvLog_->Flush();
  const QTextBlock block = RecvRichEdit->document()->findBlockByNumber(Index);
  if (!block.isValid()) return {};
  const QTextBlock::iterator first = block.begin();
  if (!first.atEnd()) return first.fragment().charFormat().foreground().color();
  return block.charFormat().foreground().color();
}

// --- the member pane ---

int TChatForm::NickCount() const { return members_->rowCount(); }

std::string TChatForm::NickAt(int Index) const {
  return members_->index(Index, 0).data(TMemberList::EntryBytesRole).toByteArray().toStdString();
}

QColor TChatForm::NickColorAt(int Index) const {
  return members_->index(Index, 0).data(Qt::ForegroundRole).value<QColor>();
}

int TChatForm::FindNick(const std::string& Entry) const {
  if (!channel_) return -1;
  const TMember wanted = channel_->Members.FromEntry(Entry);
  const int row = channel_->Members.Find(wanted.Nick);
  auto highest = [](const TMember& Member) { return Member.Ranks.empty() ? '\0' : Member.Ranks.front(); };
  return row >= 0 && highest(channel_->Members.At(row)) == highest(wanted) ? row : -1;
}

std::string TChatForm::SelectedNick() const {
  const QModelIndexList selected = NickNameRichEdit->selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return {};
  return selected.front().data(TMemberList::EntryBytesRole).toByteArray().toStdString();
}

TMember TChatForm::SelectedMember() const {
  const QModelIndexList selected = NickNameRichEdit->selectionModel()->selectedIndexes();
  if (selected.isEmpty() || !channel_) return {};
  return channel_->Members.FromEntry(selected.front().data(TMemberList::EntryBytesRole).toByteArray().toStdString());
}

void TChatForm::NickNameRichEditMouseDown(const QPoint& Position) {
  const int count = NickCount();
  if (count == 0) return;
  // The entry nearest the pointer: past the last line is the last line.
  QModelIndex item = NickNameRichEdit->indexAt(Position);
  if (!item.isValid()) {
    const QModelIndex first = members_->index(0, 0);
    const QModelIndex last = members_->index(count - 1, 0);
    item = Position.y() < NickNameRichEdit->visualRect(first).top() ? first : last;
  }
  NickNameRichEdit->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
}

// --- typing ---

void TChatForm::SendEditKeyDown(int Key) {
  if (Key != Qt::Key_Return && Key != Qt::Key_Enter) return;
  if (SendEdit->text().isEmpty() || !channel_) return;
  const std::string text = StdText(SendEdit->text());
  history_.Add(SendEdit->text());
  std::string reply;
  if (ApplyCharsetCommand(text, channel_->Writing, connection_.Encoding(), reply)) {
    connection_.Show(*channel_, TLineKind::Own, reply);
    SendEdit->clear();
    return;
  }
  QPointer<TChatForm> self(this);
  const std::optional<std::string> said =
      RunTypedInWindow(Host(), connection_, text, channel_, nullptr, [this] { RecvRichEdit->clear(); });
  // A command may end the connection, and the window with it.
  if (!self) return;
  if (!said || !channel_) {
    SendEdit->clear();
    return;
  }
  TWireEncoding as;
  // The question runs the event loop: the window or its channel may go.
  if (!ChooseSending(*said, connection_.WritingEncoding(*channel_), as) || !self || !channel_) return;
  connection_.Say(*channel_, *said, as);
  SendEdit->clear();
}

bool TChatForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == SendEdit && Event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(Event)->key();
    QStringList nicks;
    if (key == Qt::Key_Tab && channel_)
      for (const std::string& nick : channel_->NicksByActivity()) nicks.push_back(QText(nick));
    if (CompleteOnTab(SendEdit, completion_, key, connection_, nicks)) return true;
    if (WalkHistory(SendEdit, history_, key)) return true;
    SendEditKeyDown(key);
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  } else if (NickNameRichEdit && Watched == NickNameRichEdit->viewport()) {
    if (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonDblClick) {
      auto* mouse = static_cast<QMouseEvent*>(Event);
      NickNameRichEditMouseDown(mouse->position().toPoint());
      if (mouse->button() == Qt::RightButton && Event->type() == QEvent::MouseButtonPress)
        Menus().PopupMenu->popup(mouse->globalPosition().toPoint());
      return true;  // the pane's own selection handling would undo ours
    }
    if (Event->type() == QEvent::MouseMove) return true;  // no drag selection
  }
  if (NickNameRichEdit && (Watched == NickNameRichEdit || Watched == NickNameRichEdit->viewport()) &&
      Event->type() == QEvent::ContextMenu) {
    // The mouse already opened it on the press; the menu key opens it here.
    auto* request = static_cast<QContextMenuEvent*>(Event);
    if (request->reason() != QContextMenuEvent::Mouse) {
      const QModelIndex current = NickNameRichEdit->currentIndex();
      const QPoint at = current.isValid() ? NickNameRichEdit->visualRect(current).center() : QPoint(0, 0);
      Menus().PopupMenu->popup(NickNameRichEdit->viewport()->mapToGlobal(at));
    }
    return true;
  }
  return TMdiChildForm::eventFilter(Watched, Event);
}

// --- the pop-up commands ---

void TChatForm::WhoisClick() {
  const std::string selected = TrimSpaces(SelectedMember().Nick);
  if (selected.empty()) return;
  SendToServer("WHOIS " + selected + "\r\n");
}

void TChatForm::CtcpClick(const char* Query) {
  const std::string selected = TrimSpaces(SelectedMember().Nick);
  if (selected.empty() || !Query) return;
  const std::string query = Query;
  std::string request = query;
  if (query == "PING" && channel_) {
    channel_->PingToken = std::to_string(NextPingToken());
    request += " " + channel_->PingToken;
    channel_->PingSentTime = Platform().TickCount();
  }
  SendToServer("PRIVMSG " + selected + " :" + SOH + request + SOH + "\r\n");
}

void TChatForm::OPGiveClick() {
  const TMember selected = SelectedMember();
  const std::string nick = TrimSpaces(selected.Nick);
  if (nick.empty()) return;
  if (channel_->Members.Prefixes().Holds(selected.Ranks, 'o')) {
    Platform().ShowMessage(TrimSpaces(selected.Entry()) + U8(u8" は、すでにチャンネルオペレーターです。"));
    return;
  }
  SendChannelCommand("MODE", " +o " + nick);
}

void TChatForm::OPTakeClick() {
  const TMember selected = SelectedMember();
  const std::string nick = TrimSpaces(selected.Nick);
  if (nick.empty()) return;
  if (!channel_->Members.Prefixes().Holds(selected.Ranks, 'o')) {
    Platform().ShowMessage(TrimSpaces(selected.Entry()) + U8(u8" はチャンネルオペレーターではありません。"));
    return;
  }
  SendChannelCommand("MODE", " -o " + nick);
}

void TChatForm::CHAT1Click() {
  // The DCC items take the selection as it stands, spaces and all.
  const std::string selected = SelectedMember().Nick;
  if (selected.empty()) return;
  Host().OfferDccChat(connection_, selected);
}

void TChatForm::SEND1Click() {
  const std::string selected = SelectedMember().Nick;
  if (selected.empty()) return;
  Host().OfferDccFile(connection_, selected);
}

// --- leaving and closing ---

void TChatForm::PartClick() {
  if (channel_ && channel_->Joined) SendChannelCommand("PART", "");
}

void TChatForm::Close1Click() { close(); }

bool TChatForm::CloseQuery() {
  if (!channel_ || !channel_->Joined) return true;
  PartClick();
  Platform().ShowMessage(U8(u8"まだ退室を完了していないため、\r\nもう１度”閉じる”操作をしなおしてください。"));
  return false;
}

void TChatForm::closeEvent(QCloseEvent* Event) {
  if (!CloseQuery()) {
    Event->ignore();
    return;
  }
  TMdiChildForm::closeEvent(Event);
  if (!Event->isAccepted()) return;
  // The window menu entry goes at once, not when the deferred delete runs.
  delete WindowMenuItem;
  WindowMenuItem = nullptr;
  // The connection forgets the channel, which lets this window go.
  if (channel_) connection_.CloseChannel(channel_);
}

// --- ban masks ---

void TChatForm::BanMask1Click() {
  if (!channel_) return;
  channel_->BanMaskArgs.clear();
  channel_->BanMaskModes.clear();
  channel_->BanMaskList.clear();
  channel_->BanMaskPending = true;
  SendChannelCommand("MODE", " +b");

  // An editor that still waits unseen is replaced, not left behind hidden.
  if (banMaskEditor_ && !banMaskEditor_->isVisible()) banMaskEditor_->deleteLater();
  auto* editor = new TMemberEditorForm(this, connection_);
  editor->Setup(U8(u8"クライアントの侵入を防ぐBANMASKの設定"), U8(u8"拒否相手："), U8(u8"拒否相手のリスト："), "BanMask",
                this, BanMaskHelpContext);
  banMaskEditor_ = editor;
}

void TChatForm::ShowBanMaskEditor() {
  if (!channel_ || !channel_->BanMaskPending || !banMaskEditor_) return;
  banMaskEditor_->SetEntries(channel_->BanMaskList);
  channel_->BanMaskPending = false;
  banMaskEditor_->show();
}

std::vector<std::pair<int, QMenu*>> TChatForm::MergedMenus() {
  TMenus& menus = Menus();
  return {{0, menus.File1}, {1, menus.Command1}, {2, menus.Mode1}};
}

// --- the commands that open dialogs for this channel ---

void TChatForm::Topic1Click() {
  Host().ShowTopicDialog(connection_, channel_ ? channel_->WireName() : connection_.WireText(Caption()),
                         channel_ ? channel_->Topic : "");
}

void TChatForm::Invite1Click() { ShowInFront(new TInviteCmdForm(this, connection_)); }
void TChatForm::Kick1Click() { ShowInFront(new TKickCmdForm(this, connection_)); }

void TChatForm::ChannelModeMenuClick() {
  auto* dialog = new TChannelModeForm(this, connection_);
  dialog->TargetChannel = Caption();
  dialog->TargetWireName = channel_ ? channel_->WireName() : connection_.WireText(Caption());
  ShowInFront(dialog);
}

}  // namespace tavi
