#include "frame/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "conversation/Chat.h"
#include "core/Connection.h"
#include "core/DesktopSettings.h"
#include "core/Session.h"
#include "dcc/DccDeskWindows.h"
#include "dialogs/AwayCmd.h"
#include "frame/ConnectionView.h"
#include "frame/ServerLogForm.h"
#include "frame/WindowList.h"
#include "widgets/TypedLine.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/FormFont.h"
#include "widgets/MdiChildForm.h"
#include "widgets/MenuText.h"
#include "widgets/PaneLinks.h"

namespace tavi {

std::string StampedLine(const std::string& Text) { return TimeStamp() + " " + Text; }

namespace {

// Small painted glyphs for the tool buttons; the program ships no images.
QIcon ToolIcon(int Kind) {
  QPixmap pixmap(20, 20);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (Kind) {
    case 0:  // connect: a closed plug
      p.setBrush(QColor(0, 128, 0));
      p.drawRoundedRect(3, 6, 9, 8, 2, 2);
      p.drawRect(12, 8, 5, 1);
      p.drawRect(12, 11, 5, 1);
      break;
    case 1:  // disconnect: an open gap
      p.setBrush(QColor(192, 0, 0));
      p.drawRoundedRect(1, 6, 7, 8, 2, 2);
      p.drawRoundedRect(12, 6, 7, 8, 2, 2);
      break;
    case 2:  // join: a door
      p.setBrush(QColor(0, 0, 192));
      p.drawRect(5, 2, 10, 16);
      p.setBrush(Qt::yellow);
      p.drawEllipse(11, 9, 2, 2);
      break;
    default:  // talk: a speech balloon
      p.setBrush(QColor(255, 255, 255));
      p.drawEllipse(2, 3, 16, 11);
      p.drawLine(6, 13, 4, 18);
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

TMainForm::TMainForm(TSession& Session, QWidget* Parent)
    : QMainWindow(Parent), session_(Session), dccDesk_(std::make_unique<TDccWindowsDesk>(*this)) {
  setObjectName(QStringLiteral("MainForm"));
  setProperty("helpContext", HelpContext);
  ApplyFormFont(this);
  setGeometry(192, 107, 544, 375);
  caption_ = U8(u8"タヴィをしませんか？");
  setWindowTitle(QText(caption_));

  BuildLayout();
  BuildMenus();
  ConnectMenus();

  // Creation: the settings, the caption, an empty refusal list.
  const std::string problem = session_.LoadSettings();
  if (!problem.empty()) Platform().ShowMessage(problem);
  UpdateServerCaption();
  for (const auto& connection : session_.Connections()) connection->RecieveDenyList.clear();

  Connection().ReloadOptions();
  session_.SetDccDesk(dccDesk_.get());
  view_ = std::make_unique<TConnectionView>(*this, session_.Connection());
  connect(&session_, &TSession::ConnectionAdded, this, &TMainForm::FurtherNetworkAdded);
  connect(&session_, &TSession::ConnectionRemoving, this, &TMainForm::FurtherNetworkRemoving);
  UpdateControls();
}

void TMainForm::FurtherNetworkAdded(TConnection* Connection) {
  auto* log = new TServerLogForm(*this, *Connection);
  furtherViews_.push_back(std::make_unique<TConnectionView>(*this, *Connection, log));
  AddChildWindow(log, true);
  UpdateNetworkNotes(session_.Connections().size());
  // Closing the network's server window ends the network: once the close
  // is over, not inside it.
  connect(log, &TServerLogForm::Closed, this, [this, Connection] {
    if (closing_) return;
    QTimer::singleShot(0, this, [this, Connection] {
      for (const auto& connection : session_.Connections())
        if (connection.get() == Connection) {
          Connection->Close();
          session_.RemoveConnection(Connection);
          return;
        }
    });
  });
}

void TMainForm::FurtherNetworkRemoving(TConnection* Connection) {
  // Its windows go first: they point at it.
  for (TMdiChildForm* child : ChildWindows())
    if (child->Connection() == Connection) delete child;
  std::erase_if(furtherViews_, [Connection](const auto& View) { return &View->Connection() == Connection; });
  UpdateNetworkNotes(session_.Connections().size() - 1);
}

void TMainForm::ShowNetworkNames() { UpdateNetworkNotes(session_.Connections().size()); }

void TMainForm::UpdateNetworkNotes(std::size_t Networks) {
  for (TMdiChildForm* child : ChildWindows())
    if (child->Connection() && !qobject_cast<TServerLogForm*>(child))
      child->SetNetworkNote(Networks > 1 ? child->Connection()->DisplayName() : std::string());
}

TMainForm::~TMainForm() {
  // Children going away with the window must not rebuild its menu bar.
  if (MdiArea) disconnect(MdiArea, nullptr, this, nullptr);
  if (session_.DccDesk() == dccDesk_.get()) session_.SetDccDesk(nullptr);
  disconnect(&session_, nullptr, this, nullptr);
  furtherViews_.clear();
  view_.reset();
}

TConnection& TMainForm::Connection() {
  // Commands act on the network of the window in front.
  if (MdiArea)
    if (auto* child = qobject_cast<TMdiChildForm*>(MdiArea->activeSubWindow()); child && child->Connection())
      return *child->Connection();
  return session_.Connection();
}

void TMainForm::BuildLayout() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel1 = new QFrame(central);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(32);
  auto* row = new QHBoxLayout(Panel1);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(2);
  auto makeButton = [&](const char* name, const char8_t* hint, int icon) {
    auto* button = new QToolButton(Panel1);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QText(U8(hint)));
    button->setIcon(ToolIcon(icon));
    button->setAutoRaise(true);
    button->setFixedSize(28, 28);
    row->addWidget(button);
    return button;
  };
  ConnectSpeedButton = makeButton("ConnectSpeedButton", u8"サーバーに接続する", 0);
  DisConnectSpeedButton = makeButton("DisConnectSpeedButton", u8"サーバーから切断する", 1);
  JOINSpeedButton = makeButton("JOINSpeedButton", u8"チャンネルに参加する", 2);
  TalkSpeedButton = makeButton("TalkSpeedButton", u8"送信相手を限定する", 3);
  row->addStretch(1);
  DisConnectSpeedButton->setEnabled(false);
  JOINSpeedButton->setEnabled(false);
  TalkSpeedButton->setEnabled(false);
  column->addWidget(Panel1);

  ServerMemo = new QPlainTextEdit(central);
  ServerMemo->setObjectName(QStringLiteral("ServerMemo"));
  ServerMemo->setReadOnly(true);
  ServerMemo->setMaximumBlockCount(LogLines);
  ServerMemo->setFixedHeight(72);
  ServerMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  OpenLinksOf(ServerMemo, session_.Connection());
  column->addWidget(ServerMemo);
  // The server window's own input line: commands only, a leading "/" or not.
  ServerSendEdit = new QLineEdit(central);
  ServerSendEdit->setObjectName(QStringLiteral("ServerSendEdit"));
  ServerSendEdit->setPlaceholderText(Ui(u8"サーバーへのコマンド（例： /join #チャンネル、/whois ニックネーム）"));
  ServerSendEdit->installEventFilter(this);
  column->addWidget(ServerSendEdit);

  MdiArea = new QMdiArea(central);
  MdiArea->setObjectName(QStringLiteral("MdiArea"));
  // A smaller main window leaves its children reachable.
  MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  WindowList = new TWindowList(MdiArea, central);
  column->addWidget(WindowList);
  column->addWidget(MdiArea, 1);
  setCentralWidget(central);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  setStatusBar(StatusBar1);
  AwayLabel = new QLabel(StatusBar1);
  AwayLabel->setObjectName(QStringLiteral("AwayLabel"));
  StatusBar1->addPermanentWidget(AwayLabel);
  AwayLabel->hide();

  connect(MdiArea, &QMdiArea::subWindowActivated, this, [this] {
    MergeChildMenus();
    // The buttons and the away mark are the front window's network's.
    UpdateControls();
    UpdateAwayMark();
  });

  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setContext(Qt::ApplicationShortcut);
  connect(help, &QShortcut::activated, this, [this] { ShowHelpForActiveWindow(); });
}

void TMainForm::BuildMenus() {
  menuBar()->setObjectName(QStringLiteral("MainMenu1"));
  auto makeMenu = [this](const char* name, const char8_t* caption) { return MakeMenu(this, name, caption); };
  auto makeItem = [this](QMenu* menu, const char* name, const char8_t* caption) { return MakeMenuItem(this, menu, name, caption); };

  File1 = makeMenu("File1", u8"ファイル");
  ServerConnect = makeItem(File1, "ServerConnect", u8"サーバーに接続");
  ServerConnect->setProperty("helpContext", 3);
  ServerDisConnect = makeItem(File1, "ServerDisConnect", u8"サーバーから切断");
  ServerDisConnect->setToolTip(QText(U8(u8"サーバーとの接続を切断する")));
  ServerDisConnect->setStatusTip(ServerDisConnect->toolTip());
  ServerDisConnect->setEnabled(false);
  File1->addSeparator();
  Join = makeItem(File1, "Join", u8"チャンネルに入室");
  Join->setEnabled(false);
  TalkMenu = makeItem(File1, "TalkMenu", u8"相手を選定して会話");
  TalkMenu->setEnabled(false);
  File1->addSeparator();
  Exit1 = makeItem(File1, "Exit1", u8"終了");

  Command1 = makeMenu("Command1", u8"コマンド");
  VersionCmd = makeItem(Command1, "VersionCmd", u8"バージョン( Version )");
  AdminCmd = makeItem(Command1, "AdminCmd", u8"管理者情報( Admin )");
  Command1->addSeparator();
  WhoIsCmd = makeItem(Command1, "WhoIsCmd", u8"参加者情報( Who is )");
  WhoWasCmd = makeItem(Command1, "WhoWasCmd", u8"過去の参加者( Who was )");
  Command1->addSeparator();
  AwayCmd = makeItem(Command1, "AwayCmd", u8"自動不在通知( Away )");
  IsonCmd = makeItem(Command1, "IsonCmd", u8"参加確認( Ison )");
  Command1->addSeparator();
  NamesCmd = makeItem(Command1, "NamesCmd", u8"参加者一覧( Names )");
  ListCmd = makeItem(Command1, "ListCmd", u8"チャンネル名一覧( List )");
  Command1->addSeparator();
  NickCmd = makeItem(Command1, "NickCmd", u8"ニックネーム変更( Nick )");
  Command1->setEnabled(false);

  Mode1 = makeMenu("Mode1", u8"モード");
  UserModeMenu = makeItem(Mode1, "UserModeMenu", u8"ユーザーモード");
  Mode1->setEnabled(false);

  N4 = makeMenu("N4", u8"設定");
  NetworkList1 = makeItem(N4, "NetworkList1", u8"ネットワーク一覧");
  GrobalSection = makeItem(N4, "GrobalSection", u8"サーバーとの設定");
  N4->addSeparator();
  RecieveDenyMenu = makeItem(N4, "RecieveDenyMenu", u8"着信拒否の設定");

  Window1 = makeMenu("Window1", u8"ウィンドウ");
  ArrangeIcons1 = makeItem(Window1, "ArrangeIcons1", u8"整列させて表示");
  Cascade1 = makeItem(Window1, "Cascade1", u8"重ねて表示");
  Tile1 = makeItem(Window1, "Tile1", u8"並べて表示");
  Window1->addSeparator();
  // Keys that reach the windows from anywhere in the frame: the actions
  // belong to the frame itself, so that they work while the menu is off.
  auto keyItem = [&](const char* Name, const char8_t* Caption, const QKeySequence& Keys) {
    QAction* item = makeItem(Window1, Name, Caption);
    item->setShortcut(Keys);
    item->setShortcutContext(Qt::WindowShortcut);
    addAction(item);
    return item;
  };
  NextWindow1 = keyItem("NextWindow1", u8"次のウィンドウ", QKeySequence(Qt::CTRL | Qt::Key_PageDown));
  PreviousWindow1 = keyItem("PreviousWindow1", u8"前のウィンドウ", QKeySequence(Qt::CTRL | Qt::Key_PageUp));
  NextActiveWindow1 = keyItem("NextActiveWindow1", u8"未読・強調のある次のウィンドウ", QKeySequence(Qt::ALT | Qt::Key_A));
  ShowWindowList1 = makeItem(Window1, "ShowWindowList1", u8"ウィンドウ一覧を表示");
  ShowWindowList1->setCheckable(true);
  ShowWindowList1->setChecked(true);
  for (int i = 0; i < 9; ++i) {
    auto* action = new QAction(this);
    action->setShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_1 + i)));
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    connect(action, &QAction::triggered, this, [this, i] { WindowList->ActivateAt(i); });
  }
  Window1->setEnabled(false);

  Help1 = makeMenu("Help1", u8"ヘルプ");
  About1 = makeItem(Help1, "About1", u8"バージョン情報");
  Help1->addSeparator();
  Help2 = makeItem(Help1, "Help2", u8"トピックの検索");

  frameMenus_ = {{0, File1}, {1, Command1}, {2, Mode1}, {4, N4}, {5, Window1}, {6, Help1}};
  MergeChildMenus();
}

void TMainForm::MergeChildMenus() {
  std::vector<std::pair<int, QMenu*>> childMenus;
  if (auto* child = qobject_cast<TMdiChildForm*>(MdiArea ? MdiArea->activeSubWindow() : nullptr))
    childMenus = child->MergedMenus();

  std::vector<int> groups;
  for (const auto& [group, menu] : frameMenus_) groups.push_back(group);
  for (const auto& [group, menu] : childMenus) groups.push_back(group);
  std::sort(groups.begin(), groups.end());
  groups.erase(std::unique(groups.begin(), groups.end()), groups.end());

  QMenuBar* bar = menuBar();
  bar->clear();
  for (int group : groups) {
    bool fromChild = false;
    for (const auto& [g, menu] : childMenus)
      if (g == group) {
        bar->addMenu(menu);
        fromChild = true;
      }
    if (fromChild) continue;
    for (const auto& [g, menu] : frameMenus_)
      if (g == group) bar->addMenu(menu);
  }
}

// --- the connection's state ---

void TMainForm::UpdateControls() {
  const TConnectionState state = Connection().State();
  const bool registered = state == TConnectionState::Registered;
  const bool canConnect = state == TConnectionState::Idle || state == TConnectionState::Connecting ||
                          state == TConnectionState::AwaitingTrust || state == TConnectionState::WaitingToReconnect;
  // Disconnect waits for the end of registration, unless a reconnect may be
  // given up.
  const bool canDisconnect = state != TConnectionState::Idle && state != TConnectionState::Closing &&
                             (state != TConnectionState::Registering || Connection().Reconnecting());
  ConnectSpeedButton->setEnabled(canConnect);
  ServerConnect->setEnabled(canConnect);
  DisConnectSpeedButton->setEnabled(canDisconnect);
  ServerDisConnect->setEnabled(canDisconnect);
  for (QToolButton* button : {JOINSpeedButton, TalkSpeedButton}) button->setEnabled(registered);
  for (QAction* item : {Join, TalkMenu}) item->setEnabled(registered);
  Command1->setEnabled(registered);
  Mode1->setEnabled(registered);
  Window1->setEnabled(registered || !ChildWindows().empty());
}

void TMainForm::UpdateServerCaption() {
  const TGrobalArea& area = session_.Grobal();
  if (!area.ServerName.empty() && !area.PortNumber.empty()) {
    caption_ = U8(u8"タヴィしませんか？   （ サーバーは　") + area.ServerName + " : " + area.PortNumber + U8(u8" ）");
    setWindowTitle(QText(caption_));
  }
}

void TMainForm::AddServerMemoLine(const QString& Text) { AppendLinkedLine(ServerMemo, Text); }

void TMainForm::SetStatusText(const std::string& Text) {
  statusText_ = Text;
  StatusBar1->showMessage(QText(Text));
}

void TMainForm::UpdateAwayMark() {
  const TOwnState& own = Connection().Own;
  const QString text = QText(own.AwayMessage.empty() ? U8(u8"（不在）") : U8(u8"（不在： ") + own.AwayMessage + U8(u8"）"));
  // A long message leaves room for the status text; the hint has it whole.
  AwayLabel->setText(AwayLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, AwayMarkWidth));
  AwayLabel->setToolTip(text);
  AwayLabel->setVisible(own.Away);
}

// --- windows ---

std::vector<TMdiChildForm*> TMainForm::ChildWindows() const {
  std::vector<TMdiChildForm*> result;
  for (QMdiSubWindow* w : MdiArea->subWindowList(QMdiArea::CreationOrder))
    if (auto* form = qobject_cast<TMdiChildForm*>(w)) result.push_back(form);
  return result;
}

TMdiChildForm* TMainForm::FindChildWindow(const std::string& Caption) const {
  for (TMdiChildForm* form : ChildWindows())
    if (form->Caption() == Caption) return form;
  return nullptr;
}

TChatForm* TMainForm::FindChannelWindow(const std::string& Channel) const {
  for (TMdiChildForm* child : ChildWindows())
    if (auto* chat = qobject_cast<TChatForm*>(child); chat && chat->Caption() == Channel) return chat;
  return nullptr;
}

void TMainForm::AddChildWindow(TMdiChildForm* Child, bool Activate) {
  // The area hands the keyboard to a new window's focus widget, which
  // makes it active: a quiet window has none until it is brought up, so
  // that what the user is typing keeps going where it went.
  if (!Activate)
    if (QWidget* focus = Child->focusWidget()) focus->clearFocus();
  MdiArea->addSubWindow(Child);
  if (Child->Connection() && session_.Connections().size() > 1 && !qobject_cast<TServerLogForm*>(Child))
    Child->SetNetworkNote(Child->Connection()->DisplayName());
  if (MdiArea->subWindowList().size() == 1 && !windowSeparator_) windowSeparator_ = Window1->addSeparator();
  auto* item = new QAction(MenuText(Child->Caption()), this);
  // Grouped by network, as in the window list: after the last entry of the
  // same network's windows.
  QAction* before = nullptr;
  if (Child->Connection()) {
    const QList<QAction*> actions = Window1->actions();
    qsizetype last = -1;
    for (TMdiChildForm* other : ChildWindows())
      if (other != Child && other->Connection() == Child->Connection() && other->WindowMenuItem)
        last = std::max(last, actions.indexOf(other->WindowMenuItem));
    if (last >= 0 && last + 1 < actions.size()) before = actions[last + 1];
  }
  Window1->insertAction(before, item);
  Child->WindowMenuItem = item;
  WindowList->Add(Child);
  connect(item, &QAction::triggered, Child, &TMdiChildForm::MenuClick);
  connect(Child, &QObject::destroyed, this, [this] {
    // The separator goes with the last window entry, so it never doubles.
    QTimer::singleShot(0, this, [this] {
      if (windowSeparator_ && MdiArea->subWindowList().isEmpty()) {
        delete windowSeparator_;
        windowSeparator_ = nullptr;
      }
      if (!closing_) UpdateControls();
    });
  });
  if (Activate) Child->show();
  else Child->ShowWithoutActivating();
  Window1->setEnabled(true);
  // Never larger than the area, so that its input line is in sight.
  if (MdiArea->isVisible()) {
    const QRect fit = FitIntoArea(Child->pos(), Child->size(), MdiArea->viewport()->size());
    // A window of fixed size gives way; it can be enlarged again up to it.
    Child->setMinimumSize(Child->minimumSize().boundedTo(fit.size()));
    Child->setGeometry(fit);
  }
  // The desktop marks the program instead.
  if (!Activate) QApplication::alert(this);
}

void TMainForm::RestorePlacement() {
  placementKept_ = true;
  const std::unique_ptr<QSettings> settings = OpenDesktopSettings();
  if (restoreGeometry(settings->value(QStringLiteral("MainWindow/Geometry")).toByteArray())) return;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(FirstStartGeometry(screen->availableGeometry()));
}

void TMainForm::SavePlacement() const {
  if (!placementKept_) return;
  OpenDesktopSettings()->setValue(QStringLiteral("MainWindow/Geometry"), saveGeometry());
}

void TMainForm::ShowHelpForActiveWindow() {
  // The innermost widget with a help context, from the focus outwards.
  int context = HelpContext;
  QWidget* w = QApplication::focusWidget();
  if (!w) w = QApplication::activeWindow();
  if (w == this || (w && w->window() == this)) {
    if (QMdiSubWindow* sub = MdiArea->activeSubWindow()) w = sub;
  }
  for (; w; w = w->parentWidget()) {
    const QVariant v = w->property("helpContext");
    if (v.isValid()) {
      context = v.toInt();
      break;
    }
  }
  Platform().ShowHelp(HelpFile, context);
}

// --- closing ---

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == ServerSendEdit && Event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(Event)->key();
    if (CompleteOnTab(ServerSendEdit, serverCompletion_, key, session_.Connection(), {})) return true;
    if (WalkHistory(ServerSendEdit, serverHistory_, key)) return true;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ServerSendEditEnter();
      return true;
    }
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::ServerSendEditEnter() {
  const QString typed = ServerSendEdit->text().trimmed();
  if (typed.isEmpty()) return;
  serverHistory_.Add(typed);
  ServerSendEdit->clear();
  std::string line = StdText(typed);
  if (!line.starts_with("/") && !line.starts_with("／")) line.insert(0, "/");
  const std::optional<std::string> said =
      RunTypedInWindow(*this, session_.Connection(), line, nullptr, nullptr, [this] { ServerMemo->clear(); });
  // Nothing here to say a line to: it goes nowhere, and the user is told.
  if (said) AddServerMemoLine(QText(StampedLine(U8(u8"このウィンドウでは発言できません。チャンネルか会話のウィンドウで発言してください。"))));
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  if (!closing_) {
    // QUIT parts every channel at once: one question for all of them, and
    // no channel window's own two-step close.
    bool inChannels = false;
    for (const auto& connection : session_.Connections())
      for (const auto& channel : connection->Channels()) inChannels = inChannels || channel->Joined;
    if (inChannels && !Platform().AskYesNo(U8(u8"チャンネルに入室しています。IRC を終了しますか？"))) {
      Event->ignore();
      return;
    }
    for (TMdiChildForm* child : ChildWindows()) {
      if (qobject_cast<TChatForm*>(child)) continue;
      if (!child->CloseQuery()) {
        Event->ignore();
        return;
      }
    }
  }
  closing_ = true;
  SavePlacement();
  for (const auto& connection : session_.Connections()) connection->Close();
  const std::string problem = session_.SaveSettings();
  if (!problem.empty()) Platform().ShowMessage(problem);
  for (const auto& connection : session_.Connections()) connection->RecieveDenyList.clear();
  Event->accept();
}

}  // namespace tavi
