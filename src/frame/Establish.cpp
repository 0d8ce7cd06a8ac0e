#include "frame/Establish.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CaseMapping.h"
#include "kanji/QtText.h"
#include "kanji/WireText.h"
#include "platform/Platform.h"
#include "core/ConnectionOptions.h"
#include "core/DecimalText.h"
#include "widgets/FormFont.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 640;
constexpr int ClientHeight = 404;
constexpr int LabelLeft = 24;
constexpr int EditLeft = 200;
constexpr int EditWidth = 176;
constexpr int RowTop = 16;
constexpr int RowStep = 36;
constexpr int RowHeight = 22;
constexpr int PanelHeight = 48;

}  // namespace

bool ConnectSettingsMissing(const TGrobalArea& Area) {
  for (const std::string* value : {&Area.ServerName, &Area.PortNumber, &Area.NickName1, &Area.TrueName,
                                   &Area.LoginName, &Area.HostName})
    if (value->empty()) return true;
  return false;
}

TEstablishForm::TEstablishForm(QWidget* Owner, TConnection& Connection)
    : TCommandDialog(Owner, true), connection_(Connection) {
  setObjectName(QStringLiteral("EstablishForm"));
  ApplyFormFont(this);
  setWindowTitle(Ui(u8"サーバーとの設定"));
  setFixedSize(ClientWidth, ClientHeight);
  BuildControls();
  FormCreate();
}

void TEstablishForm::BuildControls() {
  int row = 0;
  auto addEdit = [&](const char* Name, std::u8string_view Label, std::u8string_view Initial) {
    const int top = RowTop + RowStep * row++;
    auto* label = new QLabel(Ui(Label), this);
    label->setGeometry(LabelLeft, top + 3, EditLeft - LabelLeft - 4, RowHeight - 4);
    auto* edit = new QLineEdit(Ui(Initial), this);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setGeometry(EditLeft, top, EditWidth, RowHeight);
    label->setBuddy(edit);
    return edit;
  };

  PassWordEdit = addEdit("PassWordEdit", u8"パスワード：", u8"");
  PassWordEdit->setEchoMode(QLineEdit::Password);
  NickNameEdit = addEdit("NickNameEdit", u8"ニックネーム（必須項目）：", u8"MyNick");
  NickNameEdit->setMaxLength(9);
  TrueNameEdit = addEdit("TrueNameEdit", u8"本名（必須項目）：", u8"私の本名");
  LoginNameEdit = addEdit("LoginNameEdit", u8"ログイン名（必須項目）：", u8"LoginName");
  HostNameEdit = addEdit("HostNameEdit", u8"ホスト名（必須項目）：", u8"LocalHost");

  {
    const int top = RowTop + RowStep * row++;
    auto* label = new QLabel(Ui(u8"接続先のサーバー名："), this);
    label->setGeometry(LabelLeft, top + 3, EditLeft - LabelLeft - 4, RowHeight - 4);
    ServerNameComboBox = new QComboBox(this);
    ServerNameComboBox->setObjectName(QStringLiteral("ServerNameComboBox"));
    ServerNameComboBox->setEditable(true);
    // The list changes only through OK; typing keeps its letter case.
    ServerNameComboBox->setInsertPolicy(QComboBox::NoInsert);
    if (QCompleter* completer = ServerNameComboBox->completer()) completer->setCaseSensitivity(Qt::CaseSensitive);
    ServerNameComboBox->setGeometry(EditLeft, top, EditWidth, RowHeight);
    label->setBuddy(ServerNameComboBox);
  }

  PortEdit = addEdit("PortEdit", u8"接続ポート：", u8"6667");
  AlternateNickEdit = addEdit("AlternateNickEdit", u8"予備のニックネーム：", u8"");
  AlternateNickEdit->setToolTip(Ui(u8"ニックネームが使用中のときに使うニックネーム（空白で区切る）"));

  KanjiCodeGroupBox = new QGroupBox(Ui(u8"送信する漢字コード"), this);
  KanjiCodeGroupBox->setObjectName(QStringLiteral("KanjiCodeGroupBox"));
  KanjiCodeGroupBox->setGeometry(EditLeft + EditWidth + 24, RowTop, ClientWidth - (EditLeft + EditWidth + 24) - 16, 116);
  JISRadioButton = new QRadioButton(Ui(u8"JIS コード"), KanjiCodeGroupBox);
  JISRadioButton->setObjectName(QStringLiteral("JISRadioButton"));
  JISRadioButton->setGeometry(16, 28, 100, 20);
  JISRadioButton->setChecked(true);
  SJISRadioButton = new QRadioButton(Ui(u8"SJIS コード"), KanjiCodeGroupBox);
  SJISRadioButton->setObjectName(QStringLiteral("SJISRadioButton"));
  SJISRadioButton->setGeometry(16, 56, 100, 20);
  UTF8RadioButton = new QRadioButton(Ui(u8"UTF-8"), KanjiCodeGroupBox);
  UTF8RadioButton->setObjectName(QStringLiteral("UTF8RadioButton"));
  UTF8RadioButton->setGeometry(16, 84, 100, 20);

  BuildConnectionChoices();

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(0, ClientHeight - PanelHeight, ClientWidth, PanelHeight);
  // The button box gives the platform's captions and order.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Panel1);
  buttons->setGeometry(ClientWidth - 16 - 200, 10, 200, PanelHeight - 20);
  OKButton = buttons->button(QDialogButtonBox::Ok);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  OKButton->setDefault(true);
  CancelButton = buttons->button(QDialogButtonBox::Cancel);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  connect(OKButton, &QPushButton::clicked, this, &TEstablishForm::OKButtonClick);
  connect(CancelButton, &QPushButton::clicked, this, &TEstablishForm::CancelButtonClick);

  WideNoteLabel = new QLabel(Ui(u8"Shift-JIS で書けない文字を含む項目は、設定ファイルのほかにも保存します。"), Panel1);
  WideNoteLabel->setObjectName(QStringLiteral("WideNoteLabel"));
  WideNoteLabel->setWordWrap(true);
  WideNoteLabel->setGeometry(12, 4, ClientWidth - 16 - 200 - 20, PanelHeight - 8);
  WideNoteLabel->hide();
  for (QLineEdit* edit : {PassWordEdit, NickNameEdit, TrueNameEdit, LoginNameEdit, HostNameEdit})
    connect(edit, &QLineEdit::textChanged, this, &TEstablishForm::UpdateWideNote);
  connect(ServerNameComboBox, &QComboBox::currentTextChanged, this, &TEstablishForm::UpdateWideNote);
}

void TEstablishForm::UpdateWideNote() {
  bool wide = false;
  for (const QString& text : {PassWordEdit->text(), NickNameEdit->text(), TrueNameEdit->text(), LoginNameEdit->text(),
                              HostNameEdit->text(), ServerNameComboBox->currentText()})
    wide = wide || !UnencodableCharacters(StdText(text), TWireEncoding::Sjis).empty();
  WideNoteLabel->setVisible(wide);
}

void TEstablishForm::BuildConnectionChoices() {
  const int left = EditLeft + EditWidth + 24;
  ConnectionGroupBox = new QGroupBox(Ui(u8"接続と記録"), this);
  ConnectionGroupBox->setObjectName(QStringLiteral("ConnectionGroupBox"));
  ConnectionGroupBox->setGeometry(left, RowTop + 132, ClientWidth - left - 16, 168);
  auto addCheck = [&](const char* Name, std::u8string_view Caption, std::u8string_view Hint, int Top) {
    auto* box = new QCheckBox(Ui(Caption), ConnectionGroupBox);
    box->setObjectName(QString::fromLatin1(Name));
    box->setToolTip(Ui(Hint));
    box->setGeometry(16, Top, ClientWidth - left - 16 - 24, 20);
    return box;
  };
  TlsCheckBox = addCheck("TlsCheckBox", u8"SSL/TLS", u8"サーバーとの通信を SSL/TLS で暗号化する", 26);
  ReconnectCheckBox =
      addCheck("ReconnectCheckBox", u8"自動で再接続", u8"接続が切れたら、自動でサーバーに接続し直す", 54);
  LogCheckBox = addCheck("LogCheckBox", u8"ログを保存", u8"チャンネルと会話の発言をファイルに保存する", 82);
  NotifyCheckBox = addCheck("NotifyCheckBox", u8"デスクトップに通知", u8"自分あての発言をデスクトップの通知で知らせる", 110);
  auto* label = new QLabel(Ui(u8"強調する語"), ConnectionGroupBox);
  label->setGeometry(16, 138, 64, 20);
  HighlightEdit = new QLineEdit(ConnectionGroupBox);
  HighlightEdit->setObjectName(QStringLiteral("HighlightEdit"));
  HighlightEdit->setToolTip(Ui(u8"ニックネームのほかに、自分あてとみなす語（空白で区切る）"));
  HighlightEdit->setGeometry(84, 136, ClientWidth - left - 16 - 84 - 12, 22);
  connect(TlsCheckBox, &QCheckBox::clicked, this, &TEstablishForm::TlsCheckBoxClick);
}

void TEstablishForm::TlsCheckBoxClick(bool Checked) {
  const QString from = QLatin1String(Checked ? PlainIrcPort : TlsIrcPort);
  if (PortEdit->text() == from) PortEdit->setText(QLatin1String(Checked ? TlsIrcPort : PlainIrcPort));
}

void TEstablishForm::FormCreate() {
  const TGrobalArea& area = connection_.Session().Grobal();
  auto copyNonEmpty = [](QLineEdit* Edit, const std::string& Value) {
    if (!Value.empty()) Edit->setText(QText(Value));
  };
  copyNonEmpty(PassWordEdit, area.Password);
  copyNonEmpty(NickNameEdit, area.NickName1);
  copyNonEmpty(TrueNameEdit, area.TrueName);
  copyNonEmpty(LoginNameEdit, area.LoginName);
  copyNonEmpty(HostNameEdit, area.HostName);

  // Filling the list would show its first entry; the text is the server alone.
  if (!area.ServerNameList.empty()) {
    QStringList items;
    for (const std::string& name : area.ServerNameList) items << QText(name);
    ServerNameComboBox->addItems(items);
  }
  ServerNameComboBox->setEditText(QText(area.ServerName));

  copyNonEmpty(PortEdit, area.PortNumber);
  if (area.JISChoice) JISRadioButton->setChecked(true);
  if (area.SJISChoice) SJISRadioButton->setChecked(true);
  if (area.UTF8Choice) UTF8RadioButton->setChecked(true);

  const TConnectionOptions options = LoadConnectionOptions();
  TlsCheckBox->setChecked(options.Tls);
  ReconnectCheckBox->setChecked(options.Reconnect);
  LogCheckBox->setChecked(options.Logs);
  NotifyCheckBox->setChecked(options.Notifications);
  QStringList words;
  for (const std::string& word : options.HighlightWords) words.push_back(QText(word));
  HighlightEdit->setText(words.join(QLatin1Char(' ')));
  QStringList nicks;
  for (const std::string& nick : options.AlternateNicks) nicks.push_back(QText(nick));
  AlternateNickEdit->setText(nicks.join(QLatin1Char(' ')));
}

void TEstablishForm::OKButtonClick() {
  TGrobalArea& area = connection_.Session().Grobal();
  area.Password = StdText(PassWordEdit->text());
  area.NickName1 = StdText(NickNameEdit->text());
  area.TrueName = StdText(TrueNameEdit->text());
  area.LoginName = StdText(LoginNameEdit->text());
  area.HostName = StdText(HostNameEdit->text());

  area.ServerName = StdText(ServerNameComboBox->currentText());

  std::vector<std::string> list;
  for (int i = 0; i < ServerNameComboBox->count(); ++i) list.push_back(StdText(ServerNameComboBox->itemText(i)));
  const auto old = std::find_if(list.begin(), list.end(),
                               [&](const std::string& Name) { return SameName(Name, area.ServerName, TCaseMapping::Ascii); });
  if (old != list.end()) list.erase(old);
  list.insert(list.begin(), area.ServerName);
  area.ServerNameList = std::move(list);

  const std::string portText = StdText(PortEdit->text());
  int port = 0;
  if (!ParseDecimal(portText, port)) {
    ShowRefusal("'" + portText + U8(u8"' は有効な整数値ではありません。"));
    return;
  }
  if (!connection_.SetSocketPort(port)) {
    ShowRefusal(U8(u8"使用中のソケットは値を変更できません"));
    return;
  }

  area.PortNumber = portText;
  area.JISChoice = JISRadioButton->isChecked();
  area.SJISChoice = SJISRadioButton->isChecked();
  area.UTF8Choice = UTF8RadioButton->isChecked();
  TConnectionOptions options;
  options.Tls = TlsCheckBox->isChecked();
  options.Reconnect = ReconnectCheckBox->isChecked();
  options.Logs = LogCheckBox->isChecked();
  options.Notifications = NotifyCheckBox->isChecked();
  for (const QString& word : HighlightEdit->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
    options.HighlightWords.push_back(StdText(word));
  for (const QString& nick : AlternateNickEdit->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
    options.AlternateNicks.push_back(StdText(nick));
  SaveConnectionOptions(options);
  connection_.SettingsChanged();
  // The dialog is freed later, but the connect must not depend on it.
  TConnection& connection = connection_;
  const bool connect = ConnectOnOK && !ConnectSettingsMissing(area);
  close();
  if (connect) connection.Connect();
}

void TEstablishForm::CancelButtonClick() { close(); }

void TEstablishForm::ShowRefusal(const std::string& Text) {
  KeepOpenWhile([&] { Platform().ShowMessage(Text); });
}

void TEstablishForm::closeEvent(QCloseEvent* Event) {
  const bool first = !IsClosed();
  TCommandDialog::closeEvent(Event);
  if (first) FormClose();
}

void TEstablishForm::FormClose() {
  if (auto* frame = qobject_cast<TMainForm*>(parentWidget())) frame->UpdateServerCaption();
}

}  // namespace tavi
