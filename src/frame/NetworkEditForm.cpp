#include "frame/NetworkEditForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "protocol/CaseMapping.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

QString Joined(const std::vector<std::string>& Values, QChar Separator) {
  QStringList list;
  for (const std::string& value : Values) list.push_back(QText(value));
  return list.join(Separator);
}

std::vector<std::string> Split(const QString& Text, QChar Separator) {
  std::vector<std::string> values;
  for (const QString& value : Text.split(Separator, Qt::SkipEmptyParts))
    if (!value.trimmed().isEmpty()) values.push_back(StdText(value.trimmed()));
  return values;
}

QPlainTextEdit* LinesEdit(QWidget* Owner, const char* Name, std::u8string_view Hint) {
  auto* edit = new QPlainTextEdit(Owner);
  edit->setObjectName(QString::fromLatin1(Name));
  edit->setPlaceholderText(Ui(Hint));
  edit->setTabChangesFocus(true);
  edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 12);
  return edit;
}

}  // namespace

TNetworkEditForm::TNetworkEditForm(QWidget* Owner, const TNetwork& Network, std::vector<std::string> Taken)
    : QDialog(Owner), original_(Network), taken_(std::move(Taken)) {
  setObjectName(QStringLiteral("NetworkEditForm"));
  ApplyFormFont(this);
  setWindowTitle(Ui(u8"ネットワークの設定"));
  setAttribute(Qt::WA_DeleteOnClose);
  BuildControls();
  FormCreate();
}

void TNetworkEditForm::BuildControls() {
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  auto addEdit = [&](const char* Name, std::u8string_view Label) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(Name));
    form->addRow(Ui(Label), edit);
    return edit;
  };
  NameEdit = addEdit("NameEdit", u8"ネットワーク名：");
  ServersEdit = LinesEdit(this, "ServersEdit", u8"irc.example.jp 6667\nirc2.example.jp 6697 -tls");
  ServersEdit->setToolTip(Ui(u8"1 行に 1 台：ホスト名 ポート（SSL/TLS なら -tls）。つながらなければ次の行を試します。"));
  form->addRow(Ui(u8"サーバー（上から順に）："), ServersEdit);
  PassWordEdit = addEdit("PassWordEdit", u8"サーバーのパスワード：");
  PassWordEdit->setEchoMode(QLineEdit::Password);
  NickNameEdit = addEdit("NickNameEdit", u8"ニックネーム：");
  AlternateNickEdit = addEdit("AlternateNickEdit", u8"予備のニックネーム：");
  AlternateNickEdit->setToolTip(Ui(u8"ニックネームが使用中のときに使うニックネーム（空白で区切る）"));
  LoginNameEdit = addEdit("LoginNameEdit", u8"ログイン名：");
  TrueNameEdit = addEdit("TrueNameEdit", u8"本名：");
  HostNameEdit = addEdit("HostNameEdit", u8"ホスト名：");
  EncodingComboBox = new QComboBox(this);
  EncodingComboBox->setObjectName(QStringLiteral("EncodingComboBox"));
  EncodingComboBox->addItem(Ui(u8"JIS コード"), static_cast<int>(TWireEncoding::Jis));
  EncodingComboBox->addItem(Ui(u8"SJIS コード"), static_cast<int>(TWireEncoding::Sjis));
  EncodingComboBox->addItem(Ui(u8"UTF-8"), static_cast<int>(TWireEncoding::Utf8));
  form->addRow(Ui(u8"送信する漢字コード："), EncodingComboBox);

  SaslComboBox = new QComboBox(this);
  SaslComboBox->setObjectName(QStringLiteral("SaslComboBox"));
  SaslComboBox->addItem(Ui(u8"しない"), static_cast<int>(TSaslMechanism::None));
  SaslComboBox->addItem(Ui(u8"アカウントとパスワード（SASL PLAIN）"), static_cast<int>(TSaslMechanism::Plain));
  SaslComboBox->addItem(Ui(u8"クライアント証明書（SASL EXTERNAL）"), static_cast<int>(TSaslMechanism::External));
  form->addRow(Ui(u8"接続時のログイン："), SaslComboBox);
  SaslAccountEdit = addEdit("SaslAccountEdit", u8"アカウント名：");
  SaslPassWordEdit = addEdit("SaslPassWordEdit", u8"アカウントのパスワード：");
  SaslPassWordEdit->setEchoMode(QLineEdit::Password);
  SaslRequiredCheckBox = new QCheckBox(Ui(u8"ログインできなければ接続を終える"), this);
  SaslRequiredCheckBox->setObjectName(QStringLiteral("SaslRequiredCheckBox"));
  form->addRow(QString(), SaslRequiredCheckBox);
  ClientCertEdit = addEdit("ClientCertEdit", u8"クライアント証明書（PEM）：");
  ClientCertEdit->setToolTip(Ui(u8"SSL/TLS のサーバーに示す証明書のファイル"));
  ClientKeyEdit = addEdit("ClientKeyEdit", u8"証明書の秘密鍵（PEM）：");
  ClientKeyEdit->setPlaceholderText(Ui(u8"証明書のファイルにあるときは空のまま"));
  connect(SaslComboBox, &QComboBox::currentIndexChanged, this, &TNetworkEditForm::SaslComboBoxChange);

  auto* choices = new QHBoxLayout;
  ReconnectCheckBox = new QCheckBox(Ui(u8"切れたら再接続する"), this);
  ReconnectCheckBox->setObjectName(QStringLiteral("ReconnectCheckBox"));
  LogCheckBox = new QCheckBox(Ui(u8"ログを残す"), this);
  LogCheckBox->setObjectName(QStringLiteral("LogCheckBox"));
  ConnectAtStartCheckBox = new QCheckBox(Ui(u8"起動時に接続する"), this);
  ConnectAtStartCheckBox->setObjectName(QStringLiteral("ConnectAtStartCheckBox"));
  for (QCheckBox* box : {ReconnectCheckBox, LogCheckBox, ConnectAtStartCheckBox}) choices->addWidget(box);
  choices->addStretch();
  form->addRow(QString(), choices);

  AutoJoinEdit = LinesEdit(this, "AutoJoinEdit", u8"#チャンネル\n#鍵のあるチャンネル キー");
  AutoJoinEdit->setToolTip(Ui(u8"1 行に 1 チャンネル。キーは空白の後に。"));
  form->addRow(Ui(u8"接続したら入るチャンネル："), AutoJoinEdit);
  ConnectCommandsEdit = LinesEdit(this, "ConnectCommandsEdit", u8"/msg NickServ IDENTIFY パスワード");
  ConnectCommandsEdit->setToolTip(Ui(u8"1 行に 1 コマンド。チャンネルに入る前に実行します。"));
  form->addRow(Ui(u8"接続したら実行するコマンド："), ConnectCommandsEdit);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  OKButton = buttons->button(QDialogButtonBox::Ok);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  buttons->button(QDialogButtonBox::Cancel)->setText(Ui(u8"キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &TNetworkEditForm::OKButtonClick);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(560, sizeHint().height());
}

void TNetworkEditForm::FormCreate() {
  const TNetwork& n = original_;
  NameEdit->setText(QText(n.Name));
  QStringList servers;
  for (const TServerAddress& server : n.Servers)
    if (!server.Host.empty()) servers.push_back(QText(ServerAddressText(server)));
  ServersEdit->setPlainText(servers.join(QLatin1Char('\n')));
  if (!n.Servers.empty()) PassWordEdit->setText(QText(n.Servers.front().Password));
  NickNameEdit->setText(QText(n.Nick));
  AlternateNickEdit->setText(Joined(n.AlternateNicks, QLatin1Char(' ')));
  LoginNameEdit->setText(QText(n.LoginName));
  TrueNameEdit->setText(QText(n.RealName));
  HostNameEdit->setText(QText(n.HostName));
  EncodingComboBox->setCurrentIndex(EncodingComboBox->findData(static_cast<int>(n.Encoding)));
  ReconnectCheckBox->setChecked(n.Reconnect);
  LogCheckBox->setChecked(n.Logs);
  ConnectAtStartCheckBox->setChecked(n.ConnectAtStart);
  QStringList joins;
  for (const TAutoJoin& join : n.AutoJoin) joins.push_back(QText(join.Channel + (join.Key.empty() ? "" : " " + join.Key)));
  AutoJoinEdit->setPlainText(joins.join(QLatin1Char('\n')));
  ConnectCommandsEdit->setPlainText(Joined(n.ConnectCommands, QLatin1Char('\n')));
  SaslComboBox->setCurrentIndex(SaslComboBox->findData(static_cast<int>(n.Sasl.Mechanism)));
  SaslAccountEdit->setText(QText(n.Sasl.Account));
  SaslPassWordEdit->setText(QText(n.Sasl.Password));
  SaslRequiredCheckBox->setChecked(n.Sasl.Required);
  ClientCertEdit->setText(QText(n.ClientCertFile));
  ClientKeyEdit->setText(QText(n.ClientKeyFile));
  SaslComboBoxChange();
}

void TNetworkEditForm::SaslComboBoxChange() {
  const auto mechanism = static_cast<TSaslMechanism>(SaslComboBox->currentData().toInt());
  SaslAccountEdit->setEnabled(mechanism == TSaslMechanism::Plain);
  SaslPassWordEdit->setEnabled(mechanism == TSaslMechanism::Plain);
  SaslRequiredCheckBox->setEnabled(mechanism != TSaslMechanism::None);
}

std::string TNetworkEditForm::ReadNetwork(TNetwork& Network) const {
  Network = original_;
  Network.Name = StdText(NameEdit->text().trimmed());

  const std::string password = StdText(PassWordEdit->text());
  const bool passwordKept = original_.Servers.empty() || password == original_.Servers.front().Password;
  Network.Servers.clear();
  for (const std::string& line : Split(ServersEdit->toPlainText(), QLatin1Char('\n'))) {
    TServerAddress server;
    if (!ReadServerAddress(line, server))
      return U8(u8"サーバーの行「") + line + U8(u8"」を読めません。「ホスト名 ポート」の形で、SSL/TLS なら -tls を付けて書いてください。");
    // Servers that had passwords of their own keep them while the field is untouched.
    server.Password = password;
    for (const TServerAddress& old : original_.Servers)
      if (passwordKept && old.Host == server.Host && old.Port == server.Port) server.Password = old.Password;
    Network.Servers.push_back(server);
  }
  if (Network.Servers.empty()) return U8(u8"サーバーを 1 台以上書き込んでください。");
  // Unnamed, a network goes by its first server.
  if (Network.Name.empty()) Network.Name = Network.Servers.front().Host;
  if (std::any_of(taken_.begin(), taken_.end(),
                  [&](const std::string& Name) { return SameName(Name, Network.Name, TCaseMapping::Ascii); }))
    return U8(u8"ネットワーク名 ") + Network.Name + U8(u8" は、ほかのネットワークが使っています。");

  Network.Nick = StdText(NickNameEdit->text().trimmed());
  Network.LoginName = StdText(LoginNameEdit->text().trimmed());
  Network.RealName = StdText(TrueNameEdit->text().trimmed());
  Network.HostName = StdText(HostNameEdit->text().trimmed());
  if (Network.Nick.empty() || Network.LoginName.empty() || Network.RealName.empty())
    return U8(u8"ニックネーム、ログイン名、本名を書き込んでください。");
  // Servers ignore it; it only has to be there.
  if (Network.HostName.empty()) Network.HostName = "localhost";
  Network.AlternateNicks = Split(AlternateNickEdit->text(), QLatin1Char(' '));
  Network.Encoding = static_cast<TWireEncoding>(EncodingComboBox->currentData().toInt());
  Network.Reconnect = ReconnectCheckBox->isChecked();
  Network.Logs = LogCheckBox->isChecked();
  Network.ConnectAtStart = ConnectAtStartCheckBox->isChecked();
  Network.AutoJoin.clear();
  for (const std::string& line : Split(AutoJoinEdit->toPlainText(), QLatin1Char('\n'))) {
    const std::size_t blank = line.find(' ');
    TAutoJoin join{line.substr(0, blank), blank == std::string::npos ? "" : StdText(QText(line.substr(blank)).trimmed())};
    // A channel written without its mark is a "#" channel.
    if (std::string("#&+!").find(join.Channel.front()) == std::string::npos) join.Channel.insert(0, "#");
    Network.AutoJoin.push_back(join);
  }
  Network.ConnectCommands = Split(ConnectCommandsEdit->toPlainText(), QLatin1Char('\n'));

  Network.Sasl.Mechanism = static_cast<TSaslMechanism>(SaslComboBox->currentData().toInt());
  Network.Sasl.Account = StdText(SaslAccountEdit->text().trimmed());
  Network.Sasl.Password = StdText(SaslPassWordEdit->text());
  Network.Sasl.Required = SaslRequiredCheckBox->isChecked();
  Network.ClientCertFile = StdText(ClientCertEdit->text().trimmed());
  Network.ClientKeyFile = StdText(ClientKeyEdit->text().trimmed());
  if (Network.Sasl.Mechanism == TSaslMechanism::Plain &&
      (Network.Sasl.Account.empty() || Network.Sasl.Password.empty()))
    return U8(u8"ログインするアカウント名とパスワードを書き込んでください。");
  if (Network.Sasl.Mechanism == TSaslMechanism::External) {
    if (Network.ClientCertFile.empty()) return U8(u8"クライアント証明書のファイルを書き込んでください。");
    if (std::any_of(Network.Servers.begin(), Network.Servers.end(), [](const TServerAddress& S) { return !S.Tls; }))
      return U8(u8"クライアント証明書でのログインは SSL/TLS のサーバー（-tls）でだけできます。");
  }
  for (const std::string& file : {Network.ClientCertFile, Network.ClientKeyFile})
    if (!file.empty() && !QFileInfo(QString::fromStdString(file)).isReadable())
      return U8(u8"ファイル ") + file + U8(u8" を読めません。");
  if (Network.Sasl.Mechanism != TSaslMechanism::Plain) {
    // A password no login uses is not kept.
    Network.Sasl.Account.clear();
    Network.Sasl.Password.clear();
  }
  return {};
}

void TNetworkEditForm::OKButtonClick() {
  TNetwork network;
  const std::string problem = ReadNetwork(network);
  if (!problem.empty()) {
    Platform().ShowMessage(problem);
    return;
  }
  if (Accepted && !Accepted(network)) return;
  accept();
}

}  // namespace tavi
