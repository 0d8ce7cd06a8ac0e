#include "frame/MainForm.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "kanji/Kanji.h"
#include "kanji/SjisCase.h"
#include "dcc/DccProtocol.h"
#include "kanji/SjisText.h"
#include "platform/BackgroundConnect.h"
#include "platform/BlockingSocket.h"
#include "platform/Platform.h"
#include "conversation/Chat.h"
#include "conversation/Talk.h"
#include "handlers/ServerLineHandlers.h"
#include "conversation/Channel.h"
#include "conversation/Colors.h"
#include "frame/About.h"
#include "core/ChatLog.h"
#include "frame/Establish.h"
#include "core/DecimalText.h"
#include "core/DesktopSettings.h"
#include "widgets/FormFont.h"
#include "core/GetVerInfoUnit.h"
#include "session/Globals.h"
#include "widgets/MdiChildForm.h"
#include "widgets/MenuText.h"
#include "widgets/RichLog.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsPlace.h"

namespace tavi {

TMainForm*& MainForm = Globals().MainForm;

std::string StampedLine(const std::string& Text) { return TimeStamp() + " " + Text; }

namespace {

void TrimToLastLines(QTextDocument* Doc) {
  const int excess = Doc->blockCount() - TMainForm::KeptLines;
  if (excess <= 0) return;
  QTextCursor cursor(Doc);
  cursor.movePosition(QTextCursor::Start);
  cursor.setPosition(Doc->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

QString LocalPathText(const std::string& Path) { return QString::fromLocal8Bit(Path.data(), static_cast<qsizetype>(Path.size())); }
std::string PathForMessage(const std::string& Path) { return ToSjis(LocalPathText(Path)); }

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

TMainForm::TMainForm(QWidget* Parent)
    : QMainWindow(Parent), handlers_(std::make_unique<TServerLineHandlers>(*this)) {
  MainForm = this;
  setObjectName(QStringLiteral("MainForm"));
  setProperty("helpContext", HelpContext);
  ApplyFormFont(this);
  setGeometry(192, 107, 544, 375);
  caption_ = Sj(u8"タヴィをしませんか？");
  setWindowTitle(FromSjis(caption_));

  BuildLayout();
  BuildMenus();

  // Creation: version text, settings, caption, refusal list.
  TGlobals& g = Globals();
  g.IniFileName = IniFileName(Platform().ProgramFilePath());
  g.VersionText = BuildVersionText(Platform().ProgramFilePath());
  LoadSettingsFile();
  UpdateServerCaption();
  g.RecieveDenyList.clear();

  options_ = LoadConnectionOptions();
  reconnectTimer_ = new QTimer(this);
  reconnectTimer_->setSingleShot(true);
  connect(reconnectTimer_, &QTimer::timeout, this, &TMainForm::Reconnect);
  stableTimer_ = new QTimer(this);
  stableTimer_->setSingleShot(true);
  connect(stableTimer_, &QTimer::timeout, this, [this] {
    if (SocketActive()) reconnectAttempt_ = 0;
  });
  ApplyLogChoice();
}

TMainForm::~TMainForm() {
  // Children going away with the window must not rebuild its menu bar.
  if (MdiArea) disconnect(MdiArea, nullptr, this, nullptr);
  // No hand-off may reach this window once it is going.
  CancelConnect();
  chatClient_.reset();
  if (socket_) socket_->Close();
  // Hiding the children on the way out activates MDI windows; the menu bar
  // must not be rebuilt in a half-destroyed window.
  if (MdiArea) disconnect(MdiArea, nullptr, this, nullptr);
  if (MainForm == this) MainForm = nullptr;
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
    button->setToolTip(FromSjis(Sj(hint)));
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
  column->addWidget(ServerMemo);

  MdiArea = new QMdiArea(central);
  MdiArea->setObjectName(QStringLiteral("MdiArea"));
  // A smaller main window leaves its children reachable.
  MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  column->addWidget(MdiArea, 1);
  setCentralWidget(central);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  setStatusBar(StatusBar1);

  connect(ConnectSpeedButton, &QToolButton::clicked, this, [this] { ConnectCommand(); });
  connect(DisConnectSpeedButton, &QToolButton::clicked, this, [this] { DisconnectCommand(); });
  connect(MdiArea, &QMdiArea::subWindowActivated, this, [this] { MergeChildMenus(); });

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
  ServerDisConnect->setToolTip(FromSjis(Sj(u8"サーバーとの接続を切断する")));
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
  GrobalSection = makeItem(N4, "GrobalSection", u8"サーバーとの設定");
  N4->addSeparator();
  RecieveDenyMenu = makeItem(N4, "RecieveDenyMenu", u8"着信拒否の設定");

  Window1 = makeMenu("Window1", u8"ウィンドウ");
  ArrangeIcons1 = makeItem(Window1, "ArrangeIcons1", u8"整列させて表示");
  Cascade1 = makeItem(Window1, "Cascade1", u8"重ねて表示");
  Tile1 = makeItem(Window1, "Tile1", u8"並べて表示");
  Window1->setEnabled(false);

  Help1 = makeMenu("Help1", u8"ヘルプ");
  About1 = makeItem(Help1, "About1", u8"バージョン情報");
  Help1->addSeparator();
  Help2 = makeItem(Help1, "Help2", u8"トピックの検索");

  frameMenus_ = {{0, File1}, {1, Command1}, {2, Mode1}, {4, N4}, {5, Window1}, {6, Help1}};
  MergeChildMenus();

  connect(ServerConnect, &QAction::triggered, this, [this] { ConnectCommand(); });
  connect(ServerDisConnect, &QAction::triggered, this, [this] { DisconnectCommand(); });
  connect(Exit1, &QAction::triggered, this, [this] { close(); });
  connect(VersionCmd, &QAction::triggered, this, [this] { SendLine("VERSION \r\n"); });
  connect(AdminCmd, &QAction::triggered, this, [this] { SendLine("ADMIN \r\n"); });
  connect(NamesCmd, &QAction::triggered, this, [this] {
    Globals().NamesRequested = true;
    SendLine("NAMES \r\n");
  });
  connect(ListCmd, &QAction::triggered, this, [this] {
    ++Globals().ListRequests;
    SendLine("LIST \r\n");
  });
  connect(Join, &QAction::triggered, this, [this] { JoinClick(); });
  connect(JOINSpeedButton, &QToolButton::clicked, this, [this] { JoinClick(); });
  connect(TalkMenu, &QAction::triggered, this, [this] { TalkMenuClick(); });
  connect(TalkSpeedButton, &QToolButton::clicked, this, [this] { TalkMenuClick(); });
  connect(IsonCmd, &QAction::triggered, this, [this] { IsonCmdClick(); });
  connect(RecieveDenyMenu, &QAction::triggered, this, [this] { RecieveDenyMenuClick(); });
  connect(UserModeMenu, &QAction::triggered, this, [this] { UserModeMenuClick(); });
  connect(WhoIsCmd, &QAction::triggered, this, [this] { WhoIsCmdClick(); });
  connect(WhoWasCmd, &QAction::triggered, this, [this] { WhoWasCmdClick(); });
  connect(AwayCmd, &QAction::triggered, this, [this] { AwayCmdClick(); });
  connect(NickCmd, &QAction::triggered, this, [this] { NickCmdClick(); });
  connect(GrobalSection, &QAction::triggered, this, [this] { FindOrCreateForm<TEstablishForm>()->show(); });
  connect(ArrangeIcons1, &QAction::triggered, this, [this] {
    // Minimised windows line up along the bottom edge.
    int x = 0;
    for (QMdiSubWindow* w : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
      if (!w->isMinimized()) continue;
      w->move(x, MdiArea->viewport()->height() - w->height());
      x += w->width();
    }
  });
  connect(Cascade1, &QAction::triggered, MdiArea, &QMdiArea::cascadeSubWindows);
  connect(Tile1, &QAction::triggered, MdiArea, &QMdiArea::tileSubWindows);
  connect(About1, &QAction::triggered, this, [this] { FindOrCreateForm<TAboutBox>()->show(); });
  connect(Help2, &QAction::triggered, this, [] { Platform().ShowHelp(HelpFile, HelpContext); });
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

// --- settings ---

void TMainForm::LoadSettingsFile() {
  TGlobals& g = Globals();
  const std::string beside = g.IniFileName;
  const QString name = QFileInfo(LocalPathText(beside)).fileName();
  const QString configDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const std::string inConfig = QDir(configDir).filePath(name).toLocal8Bit().toStdString();

  // An installed program cannot write beside itself: the user's
  // configuration folder then holds the file.
  const std::string folder = QFileInfo(LocalPathText(beside)).absolutePath().toLocal8Bit().toStdString();
  const bool besideWritable = ::access(folder.c_str(), W_OK) == 0;
  const TSettingsPlace place = ChooseSettingsPlace(beside, inConfig, besideWritable,
                                                   QFileInfo::exists(LocalPathText(beside)),
                                                   QFileInfo::exists(LocalPathText(inConfig)));
  if (!place.SeedFrom.empty()) {
    // A copy that cannot be made (an unreadable file) starts from defaults.
    QDir().mkpath(QFileInfo(LocalPathText(place.Path)).absolutePath());
    QFile::copy(LocalPathText(place.SeedFrom), LocalPathText(place.Path));
  }
  settingsLoadPath_ = place.Path;
  settingsSavePath_ = place.Path;

  if (!g.SettingsModule) g.SettingsModule = std::make_unique<TSettingsModule>();
  const TSettingsLoadResult result = ::tavi::LoadSettings(settingsLoadPath_, *g.SettingsModule);
  g.GrobalArea = &g.SettingsModule->GrobalArea();
  g.LocalArea = &g.SettingsModule->LocalArea();
  // A damaged file that could not be moved aside must not be saved over.
  saveAllowed_ = result.Ok || !result.KeptAsidePath.empty() || !result.Existed;
  if (!result.Ok) {
    std::string text = Sj(u8"設定ファイル ") + PathForMessage(settingsLoadPath_) + Sj(u8" を読み込めませんでした。") +
                       "\r\n" + result.Reason;
    if (!result.KeptAsidePath.empty())
      text += "\r\n" + Sj(u8"元のファイルは ") + PathForMessage(result.KeptAsidePath) + Sj(u8" として残しました。");
    text += "\r\n" + Sj(u8"読み込めなかった設定は初期値で始めます。");
    Platform().ShowMessage(text);
  }
}

void TMainForm::SaveSettingsFile() {
  TGlobals& g = Globals();
  if (!g.SettingsModule || !saveAllowed_) return;
  if (settingsSavePath_ != g.IniFileName) QDir().mkpath(QFileInfo(LocalPathText(settingsSavePath_)).absolutePath());
  const TSettingsSaveResult result = ::tavi::SaveSettings(settingsSavePath_, *g.SettingsModule);
  if (!result.Ok)
    Platform().ShowMessage(Sj(u8"設定ファイル ") + PathForMessage(settingsSavePath_) + Sj(u8" を保存できませんでした。") +
                           "\r\n" + result.Reason);
}

void TMainForm::UpdateServerCaption() {
  const TGrobalArea& area = GrobalArea();
  if (!area.ServerName.empty() && !area.PortNumber.empty()) {
    caption_ = Sj(u8"タヴィしませんか？   （ サーバーは　") + area.ServerName + " : " + area.PortNumber + Sj(u8" ）");
    setWindowTitle(FromSjis(caption_));
  }
}

// --- the connection ---

bool TMainForm::SocketActive() const { return socket_ && socket_->Connected(); }

bool TMainForm::SetSocketPort(int Port) {
  if (SocketActive() && Port != socketPort_) return false;
  socketPort_ = Port;
  return true;
}

void TMainForm::SetLineSink(std::function<void(const std::string&)> Sink) { lineSink_ = std::move(Sink); }

void TMainForm::SendLine(const std::string& Line) {
  const std::string bytes = OutgoingBytes(GrobalArea(), Line);
  if (lineSink_) {
    lineSink_(bytes);
    return;
  }
  if (!SocketActive() || !chatClient_) return;
  // Written by the connection's send thread; a server that stops taking
  // data drops the connection there, reported through SendFailed.
  chatClient_->Send(bytes);
}

void TMainForm::SendRegistration() {
  TGlobals& g = Globals();
  const TGrobalArea& area = GrobalArea();
  g.CurrentNick = area.NickName1;
  if (!area.Password.empty()) SendLine("PASS " + area.Password + "\r\n");
  SendLine("NICK " + g.CurrentNick + "\r\n");
  SendLine("USER " + area.LoginName + " " + area.HostName + " " + area.ServerName + " :" + area.TrueName + "\r\n");
}

void TMainForm::ConnectCommand() {
  // The user's own connect starts afresh: no reconnect waits behind it.
  StopReconnecting();
  userDisconnect_ = false;
  registered_ = false;
  CancelConnect();
  if (SocketActive() || chatClient_) Deactivate();
  StartConnect(false);
}

void TMainForm::StartConnect(bool Automatic) {
  Globals().CurrentNick.clear();

  const TGrobalArea& area = GrobalArea();
  if (area.ServerName.empty() || area.NickName1.empty() || area.TrueName.empty() || area.LoginName.empty() ||
      area.HostName.empty()) {
    if (Automatic) {
      StopReconnecting();
      DisconnectedHandling();
    }
    Platform().Beep();
    Platform().ShowMessage(Sj(u8"設定を書き込んでください。"));
    return;
  }
  int port = 0;
  if (!ParseDecimal(area.PortNumber, port)) {
    Platform().ShowMessage("'" + area.PortNumber + Sj(u8"' は有効な整数値ではありません。"));
    return;
  }
  socketPort_ = port;
  remoteHost_ = area.ServerName;
  connectPortText_ = area.PortNumber;
  const unsigned generation = ++connectGeneration_;
  if (port < 1 || port > 65535) {
    ConnectFinished(generation, false, EINVAL, "invalid port number", nullptr);
    return;
  }

  // Resolving and connecting may take a minute: the window stays usable,
  // and Disconnect, a new Connect or closing the window cancels.
  SetStatusText(Sj(u8"サーバーに接続を試みています。"));
  DisConnectSpeedButton->setEnabled(true);
  ServerDisConnect->setEnabled(true);
  const bool tls = options_.Tls;
  connecting_ = TBackgroundConnect::Start(this, [this, host = remoteHost_, port, generation, tls](TBlockingSocket& Socket) {
    bool ok = Socket.Connect(host, static_cast<std::uint16_t>(port), TChatClient::TimeoutMs);
    // The handshake runs here too, off the GUI thread; what the certificate
    // means is decided there.
    std::shared_ptr<TTlsCheck> check;
    if (ok && tls) {
      check = std::make_shared<TTlsCheck>(Socket.StartTls(host, TChatClient::TimeoutMs));
      ok = check->Verdict != TTlsCheck::TVerdict::Failed;
    }
    const int code = ok ? 0 : Socket.ErrorCode();
    std::string reason = ok ? std::string() : Socket.ErrorText();
    return std::function<void()>(
        [this, generation, ok, code, reason, check] { ConnectFinished(generation, ok, code, reason, check); });
  });
}

void TMainForm::CancelConnect() {
  if (!connecting_) return;
  connecting_->Cancel();
  connecting_.reset();
  ++connectGeneration_;
}

void TMainForm::ConnectFinished(unsigned Generation, bool Ok, int Code, const std::string& Reason,
                                const std::shared_ptr<TTlsCheck>& Tls) {
  if (Generation != connectGeneration_) return;
  const std::shared_ptr<TBackgroundConnect> attempt = std::move(connecting_);
  if (Ok && attempt && Tls && Tls->Verdict == TTlsCheck::TVerdict::Untrusted) {
    const bool accepted = AcceptCertificate(*Tls, socketPort_);
    // The question ran the event loop: a newer connect or a disconnect
    // replaces this one.
    if (Generation != connectGeneration_) {
      attempt->Socket()->Close();
      return;
    }
    if (!accepted) {
      attempt->Socket()->Close();
      StopReconnecting();
      DisconnectedHandling();
      SetStatusText(Sj(u8"サーバーの証明書を拒否したため、接続を中止しました。　サーバー名：") + remoteHost_);
      return;
    }
  }
  if (Ok && attempt) {
    socket_ = attempt->Socket();
    ConnectedEvent();
    return;
  }
  if (attempt) attempt->Socket()->Close();
  const bool handshake = Tls && Tls->Verdict == TTlsCheck::TVerdict::Failed;
  if (reconnecting_) {
    ScheduleReconnect(Sj(u8"再接続できませんでした。") + (handshake ? Sj(u8"（SSL/TLS の接続に失敗）") : ""));
    return;
  }
  DisconnectedHandling();
  if (handshake) {
    TlsFailed(*Tls);
    return;
  }
  SocketErrorEvent(Code);
  Platform().ShowMessage(Sj(u8"サーバーに接続できませんでした。") + "\r\n" + remoteHost_ + " : " + connectPortText_ +
                         "\r\n" + Reason);
}

bool TMainForm::AcceptCertificate(const TTlsCheck& Check, int Port) {
  const std::string server = remoteHost_ + ":" + std::to_string(Port);
  const std::string pinned = PinnedFingerprint(remoteHost_, Port);
  if (!pinned.empty() && pinned == Check.Fingerprint) return true;
  for (const auto& [name, fingerprint] : acceptedOnce_)
    if (name == server && fingerprint == Check.Fingerprint) return true;

  std::string text = pinned.empty()
                         ? Sj(u8"サーバー ") + remoteHost_ + " : " + std::to_string(Port) +
                               Sj(u8" の証明書は、信頼できるものか確認できませんでした。")
                         : Sj(u8"サーバー ") + remoteHost_ + " : " + std::to_string(Port) +
                               Sj(u8" の証明書が、前回「常に許可」したものから変わっています。");
  text += "\r\n" + Sj(u8"理由：") + Check.Reason;
  text += "\r\n\r\n" + Sj(u8"SHA-256 フィンガープリント：") + "\r\n" + Check.Fingerprint;
  if (!pinned.empty()) text += "\r\n" + Sj(u8"以前のフィンガープリント：") + "\r\n" + pinned;
  text += "\r\n\r\n" + Sj(u8"このサーバーに接続しますか？");
  const int answer = Platform().AskChoice(
      text, {Sj(u8"今回だけ許可"), Sj(u8"常に許可"), Sj(u8"拒否")});
  if (answer == 0) {
    acceptedOnce_.emplace_back(server, Check.Fingerprint);
    return true;
  }
  if (answer == 1) {
    PinFingerprint(remoteHost_, Port, Check.Fingerprint);
    return true;
  }
  return false;
}

void TMainForm::TlsFailed(const TTlsCheck& Check) {
  std::string why;
  switch (Check.Failure) {
    case TTlsCheck::TFailure::NotTls:
      why = Sj(u8"サーバーが SSL/TLS で応答しませんでした。ポート番号を確かめてください。");
      break;
    case TTlsCheck::TFailure::Closed:
      why = Sj(u8"SSL/TLS の開始中にサーバーが接続を切りました。");
      break;
    case TTlsCheck::TFailure::Timeout:
      why = Sj(u8"SSL/TLS の開始中にサーバーの応答がなくなりました。");
      break;
    default:
      why = Sj(u8"SSL/TLS の接続を確立できませんでした。");
      break;
  }
  SetStatusText(Sj(u8"SSL/TLS の接続に失敗しました。　サーバー名：") + remoteHost_ + "   " + why);
  Platform().ShowMessage(Sj(u8"サーバーとの SSL/TLS の接続に失敗しました。") + "\r\n" + remoteHost_ + " : " +
                         connectPortText_ + "\r\n" + why + "\r\n" + Check.Reason);
}

void TMainForm::ConnectedEvent() {
  ServerConnect->setEnabled(false);
  ConnectSpeedButton->setEnabled(false);
  // Disconnect waits again for the end of registration.
  DisConnectSpeedButton->setEnabled(false);
  ServerDisConnect->setEnabled(false);
  if (reconnecting_) {
    // The wait for registration can be given up as the wait before it.
    DisConnectSpeedButton->setEnabled(true);
    ServerDisConnect->setEnabled(true);
  }
  dropReason_.clear();
  lostReason_.clear();
  chatClient_ = std::make_unique<TChatClient>(socket_, *this, this, connectionLimits_);
  SetStatusText(Sj(u8"サーバーへニックネームを送出中です。"));
  SendRegistration();
}

void TMainForm::DisconnectCommand() {
  userDisconnect_ = true;
  const bool wasReconnecting = reconnecting_;
  StopReconnecting();
  if (connecting_) {
    CancelConnect();
    DisconnectedHandling();
    return;
  }
  if (!SocketActive()) {
    // Waiting for the next try: the kept windows close now.
    if (wasReconnecting) DisconnectedHandling();
    return;
  }
  SendLine("QUIT :Leaving! \r\n");
  Globals().AwayMessage.clear();
  if (chatClient_) chatClient_->Terminate();
}

void TMainForm::Deactivate() {
  chatClient_.reset();  // stops the thread; its hand-offs no longer run
  if (socket_) socket_->Close();
  socket_.reset();
  DisconnectedHandling();
}

void TMainForm::DisconnectedHandling() {
  rejoin_.clear();
  const std::vector<TMdiChildForm*> children = ChildWindows();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!(*it)->ClosesWithConnection()) continue;
    (*it)->ConnectionLost();
    (*it)->close();
  }
  SetStatusText("");
  ConnectSpeedButton->setEnabled(true);
  ServerConnect->setEnabled(true);
  DisConnectSpeedButton->setEnabled(false);
  JOINSpeedButton->setEnabled(false);
  TalkSpeedButton->setEnabled(false);
  ServerDisConnect->setEnabled(false);
  Join->setEnabled(false);
  TalkMenu->setEnabled(false);
  Command1->setEnabled(false);
  Mode1->setEnabled(false);
  Window1->setEnabled(!children.empty());
}

std::string TMainForm::ConnectionLocalAddress() const {
  return SocketActive() ? socket_->LocalAddress() : std::string();
}

std::string TMainForm::LocalAddressNumber() const {
  // The host's own name often resolves to loopback only (127.0.1.1 on
  // Debian), which no peer can reach; the server connection's own address
  // is the one the outside sees then.
  const std::string address = ChooseLocalAddress(Platform().LocalIPv4Addresses(), ConnectionLocalAddress());
  return AddressNumberFromDotted(address);
}

std::string TMainForm::SocketErrorText(int Code) const {
  return Sj(u8"エラーが発生しました。　サーバー名：") + remoteHost_ + Sj(u8"   エラーコード：") + std::to_string(Code);
}

void TMainForm::SocketErrorEvent(int Code) { SetStatusText(SocketErrorText(Code)); }

void TMainForm::EnableSessionControls() {
  registered_ = true;
  if (reconnecting_) {
    // The waiting ends; the tries made are forgotten only once this
    // connection has lasted.
    reconnecting_ = false;
    reconnectTimer_->stop();
    stableTimer_->start(reconnectLimits_.StableMs);
    RejoinChannels();
  }
  DisConnectSpeedButton->setEnabled(true);
  JOINSpeedButton->setEnabled(true);
  TalkSpeedButton->setEnabled(true);
  ServerDisConnect->setEnabled(true);
  Join->setEnabled(true);
  TalkMenu->setEnabled(true);
  Command1->setEnabled(true);
  Mode1->setEnabled(true);
  Window1->setEnabled(true);
}

// --- receive thread events ---

void TMainForm::ReceivedLine(const std::string& Line) {
  try {
    DispatchServerLine(Line, *handlers_);
  } catch (const std::exception&) {
    // A line that breaks a handler ends the session as a failed read does.
    ReceiveFailed();
    if (chatClient_) chatClient_->Terminate();
  }
}

void TMainForm::EndOfStream() {
  lostReason_ = Sj(u8"サーバーからＥＯＦを読み込みました。");
  SetStatusText(Sj(u8"サーバーからＥＯＦを読み込みました。（たぶん、サーバーがシャットダウンしたと思います。）"));
}

void TMainForm::ServerSilent() {
  lostReason_ = Sj(u8"サーバーからの応答がないため、接続を切断しました。");
  SetStatusText(lostReason_ + Sj(u8"　サーバー名：") + remoteHost_);
}

void TMainForm::ReceiveFailed() {
  if (WillReconnect()) {
    // The reconnect reports it; a box would wait for a user who may be away.
    lostReason_ = Sj(u8"ソケットでエラーが発生しました。");
    return;
  }
  // Reported after the hand-off: the receive thread must not wait on a box.
  QMetaObject::invokeMethod(
      this, [] { Platform().ShowMessage(Sj(u8"ソケットでエラーが発生しました。")); }, Qt::QueuedConnection);
}

void TMainForm::SendFailed(TSendFailure Why, int Code) {
  switch (Why) {
    case TSendFailure::Stalled:
      dropReason_ = Sj(u8"エラーが発生しました。　サーバーがデータを受け取らないため、接続を切断しました。　サーバー名：") +
                    remoteHost_;
      break;
    case TSendFailure::Overflow:
      dropReason_ = Sj(u8"エラーが発生しました。　送信待ちのデータが多すぎるため、接続を切断しました。　サーバー名：") +
                    remoteHost_;
      break;
    case TSendFailure::WriteError:
      dropReason_ = SocketErrorText(Code);
      break;
  }
}

void TMainForm::ConnectionClosed() {
  socket_.reset();
  stableTimer_->stop();
  // Joins and lists the server never answered end with the connection.
  requestedJoins_.clear();
  Globals().ListRequests = 0;
  Globals().IsonRequests = 0;
  Globals().NamesRequested = false;
  if (WillReconnect()) {
    ConnectionLostForReconnect(!dropReason_.empty() ? dropReason_ : lostReason_);
  } else {
    StopReconnecting();
    DisconnectedHandling();
    // The reason outlasts the reset of the status bar.
    if (!dropReason_.empty()) SetStatusText(dropReason_);
  }
  dropReason_.clear();
  lostReason_.clear();
  // The thread ends right after this hand-off; join it once it has.
  TChatClient* finished = chatClient_.get();
  QTimer::singleShot(0, this, [this, finished] {
    if (chatClient_.get() == finished) chatClient_.reset();
  });
}

// --- reconnecting ---

int TMainForm::ReconnectDelayMs(int Attempt, const TReconnectLimits& Limits) {
  long long delay = std::max(1, Limits.FirstDelayMs);
  for (int i = 0; i < Attempt && delay < Limits.MaxDelayMs; ++i) delay *= 2;
  return static_cast<int>(std::min<long long>(delay, std::max(1, Limits.MaxDelayMs)));
}

bool TMainForm::WillReconnect() const {
  return !userDisconnect_ && !closing_ && options_.Reconnect && (registered_ || reconnecting_);
}

void TMainForm::ConnectionLostForReconnect(const std::string& Why) {
  // The channel and talk windows stay, so that the channels can be joined
  // again and their lines go on; the channels are left for now.
  for (TMdiChildForm* child : ChildWindows()) {
    if (auto* chat = qobject_cast<TChatForm*>(child)) {
      // Only the channels we were in: not one the user left or was kicked
      // from, whose window stays open.
      if (chat->Joined) rejoin_.emplace_back(chat);
      chat->ConnectionLost();
      chat->NamesReplyOpen = false;
      chat->ClearNicks();
      chat->AddRecvColorLine(StampedLine(Sj(u8"サーバーとの接続が切れました。")), clGreen);
    }
  }
  AddServerMemoLine(StampedLine(Sj(u8"サーバーとの接続が切れました。") + Why));
  ScheduleReconnect("");
}

void TMainForm::ScheduleReconnect(const std::string& Why) {
  reconnecting_ = true;
  reconnectWaitMs_ = ReconnectDelayMs(reconnectAttempt_, reconnectLimits_);
  ++reconnectAttempt_;
  const std::string text =
      Why + std::to_string((reconnectWaitMs_ + 999) / 1000) + Sj(u8" 秒後にサーバーへ再接続します。");
  AddServerMemoLine(StampedLine(text));
  ConnectSpeedButton->setEnabled(true);
  ServerConnect->setEnabled(true);
  // Disconnect gives the reconnecting up.
  DisConnectSpeedButton->setEnabled(true);
  ServerDisConnect->setEnabled(true);
  JOINSpeedButton->setEnabled(false);
  TalkSpeedButton->setEnabled(false);
  Join->setEnabled(false);
  TalkMenu->setEnabled(false);
  Command1->setEnabled(false);
  Mode1->setEnabled(false);
  SetStatusText(text);
  reconnectTimer_->start(reconnectWaitMs_);
}

void TMainForm::StopReconnecting() {
  reconnecting_ = false;
  reconnectAttempt_ = 0;
  reconnectWaitMs_ = 0;
  if (reconnectTimer_) reconnectTimer_->stop();
  if (stableTimer_) stableTimer_->stop();
}

void TMainForm::Reconnect() {
  if (!reconnecting_ || connecting_ || SocketActive()) return;
  StartConnect(true);
}

void TMainForm::RejoinChannels() {
  const std::vector<QPointer<TChatForm>> channels = std::move(rejoin_);
  rejoin_.clear();
  for (TChatForm* chat : channels) {
    if (!chat) continue;  // closed meanwhile
    const std::string key = chat->KeyWordMode ? chat->KeyWord : TChannelForm::RememberedKey(chat->Caption());
    chat->AddRecvColorLine(StampedLine(Sj(u8"サーバーに再接続しました。チャンネルに入り直します。")), clGreen);
    SendLine("JOIN " + chat->Caption() + (key.empty() ? "" : " " + key) + "\r\n");
  }
}

void TMainForm::ConnectionSettingsChanged() {
  options_ = LoadConnectionOptions();
  ApplyLogChoice();
  if (!reconnecting_) return;
  // New settings are the user's word: the old server is not tried again.
  StopReconnecting();
  if (connecting_) CancelConnect();
  if (!SocketActive()) {
    DisconnectedHandling();
    SetStatusText(Sj(u8"設定が変わったため、再接続を中止しました。"));
  }
}

void TMainForm::ApplyLogChoice() {
  if (options_.Logs && !chatLog_) {
    chatLog_ = std::make_unique<TChatLog>(TChatLog::DefaultFolder());
    TChatLog::SetActive(chatLog_.get());
  } else if (!options_.Logs && chatLog_) {
    chatLog_.reset();
  }
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

void TMainForm::AddChildWindow(TMdiChildForm* Child, TOpening Opening) {
  QMdiSubWindow* previous = MdiArea->activeSubWindow();
  QPointer<QWidget> focus = QApplication::focusWidget();
  MdiArea->addSubWindow(Child);
  ++windowsOpenedInSlice_;
  if (MdiArea->subWindowList().size() == 1 && !windowSeparator_) windowSeparator_ = Window1->addSeparator();
  auto* item = new QAction(MenuText(Child->Caption()), this);
  Window1->addAction(item);
  Child->WindowMenuItem = item;
  connect(item, &QAction::triggered, Child, &TMdiChildForm::MenuClick);
  connect(Child, &QObject::destroyed, this, [this] {
    // The separator goes with the last window entry, so it never doubles.
    QTimer::singleShot(0, this, [this] {
      if (windowSeparator_ && MdiArea->subWindowList().isEmpty()) {
        delete windowSeparator_;
        windowSeparator_ = nullptr;
      }
    });
  });
  if (Opening == TOpening::Quietly) Child->setAttribute(Qt::WA_ShowWithoutActivating);
  Child->show();
  // Never larger than the area, so that its input line is in sight.
  if (MdiArea->isVisible()) {
    const QRect fit = FitIntoArea(Child->pos(), Child->size(), MdiArea->viewport()->size());
    // A window of fixed size gives way; it can be enlarged again up to it.
    Child->setMinimumSize(Child->minimumSize().boundedTo(fit.size()));
    Child->setGeometry(fit);
  }
  if (Opening == TOpening::Quietly) {
    // What the user is typing keeps going where it went; the desktop marks
    // the program instead.
    if (previous) {
      MdiArea->setActiveSubWindow(previous);
      if (focus) focus->setFocus(Qt::OtherFocusReason);
    }
    QApplication::alert(this);
  }
}

void TMainForm::NoteJoinRequest(const std::string& Channels) {
  std::size_t start = 0;
  while (start <= Channels.size()) {
    const std::size_t end = std::min(Channels.find(',', start), Channels.size());
    if (end > start) requestedJoins_.insert(SjisUpperCase(Channels.substr(start, end - start)));
    start = end + 1;
  }
}

bool TMainForm::TakeJoinRequest(const std::string& Channel) {
  return requestedJoins_.erase(SjisUpperCase(Channel)) > 0;
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

TChatForm* TMainForm::OpenChannelWindow(const std::string& Channel, TOpening Opening) {
  auto* form = new TChatForm;
  form->SetCaption(Channel);
  AddChildWindow(form, Opening);
  return form;
}

TTalkForm* TMainForm::OpenTalkWindow(const std::string& Members, TOpening Opening) {
  auto* form = new TTalkForm;
  form->SetCaption(Members);
  AddChildWindow(form, Opening);
  return form;
}

void TMainForm::KeepLastLines(QTextEdit* Control) {
  if (TRichLog* log = TRichLog::Of(Control)) {
    log->KeepLast(KeptLines);
    return;
  }
  TrimToLastLines(Control->document());
}

void TMainForm::KeepLastLines(QPlainTextEdit* Control) { TrimToLastLines(Control->document()); }

void TMainForm::ReceivedLinesBegin() {
  windowsOpenedInSlice_ = 0;
  TRichLog::BeginBurst();
}
bool TMainForm::SliceFull() const { return windowsOpenedInSlice_ >= WindowsPerSlice; }
void TMainForm::ReceivedLinesEnd(bool MoreFollow) { TRichLog::EndBurst(MoreFollow); }

void TMainForm::AddServerMemoLine(const std::string& Text) {
  ServerMemo->appendPlainText(DisplayLineText(Text));
}

void TMainForm::SetStatusText(const std::string& Text) {
  statusText_ = Text;
  StatusBar1->showMessage(FromSjis(Text));
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

void TMainForm::closeEvent(QCloseEvent* Event) {
  if (!closing_) {
    for (TMdiChildForm* child : ChildWindows()) {
      if (!child->CloseQuery()) {
        Event->ignore();
        return;
      }
    }
  }
  closing_ = true;
  SavePlacement();
  FormClose();
  Event->accept();
}

void TMainForm::FormClose() {
  DisconnectCommand();
  chatClient_.reset();
  if (socket_) socket_->Close();
  socket_.reset();
  SaveSettingsFile();
  TGlobals& g = Globals();
  g.RecieveDenyList.clear();
}

}  // namespace tavi
