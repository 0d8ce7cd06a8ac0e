#include "frame/NetworkListForm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/Session.h"
#include "frame/Establish.h"
#include "frame/MainForm.h"
#include "frame/NetworkEditForm.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/FormFont.h"

namespace tavi {

TNetworkListForm::TNetworkListForm(QWidget* Owner, TSession& Session)
    : QDialog(Owner), session_(Session), list_(Session) {
  setObjectName(QStringLiteral("NetworkListForm"));
  ApplyFormFont(this);
  setWindowTitle(Ui(u8"ネットワーク一覧"));
  setAttribute(Qt::WA_DeleteOnClose);
  BuildControls();
  connect(&session_, &TSession::ConnectionAdded, this, [this] { Refresh(); });
  // The connection is still listed while it goes: look once it has gone.
  connect(&session_, &TSession::ConnectionRemoving, this, [this] { QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection); });
  Refresh();
  SelectRow(0);
}

void TNetworkListForm::BuildControls() {
  NoteLabel = new QLabel(this);
  NoteLabel->setObjectName(QStringLiteral("NoteLabel"));
  NoteLabel->setWordWrap(true);
  NoteLabel->hide();

  NetworkListView = new QTreeWidget(this);
  NetworkListView->setObjectName(QStringLiteral("NetworkListView"));
  NetworkListView->setRootIsDecorated(false);
  NetworkListView->setAllColumnsShowFocus(true);
  NetworkListView->setHeaderLabels({Ui(u8"ネットワーク"), Ui(u8"サーバー"), Ui(u8"状態"), Ui(u8"起動時")});
  NetworkListView->header()->setStretchLastSection(false);
  NetworkListView->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  NetworkListView->setColumnWidth(0, 150);
  connect(NetworkListView, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  connect(NetworkListView, &QTreeWidget::itemDoubleClicked, this, [this] { EditButtonClick(); });

  auto* buttons = new QVBoxLayout;
  auto addButton = [&](const char* Name, std::u8string_view Caption, void (TNetworkListForm::*Click)()) {
    auto* button = new QPushButton(Ui(Caption), this);
    button->setObjectName(QString::fromLatin1(Name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, Click);
    buttons->addWidget(button);
    return button;
  };
  ConnectButton = addButton("ConnectButton", u8"接続(&C)", &TNetworkListForm::ConnectButtonClick);
  DisconnectButton = addButton("DisconnectButton", u8"切断(&X)", &TNetworkListForm::DisconnectButtonClick);
  buttons->addSpacing(12);
  AddButton = addButton("AddButton", u8"追加(&A)...", &TNetworkListForm::AddButtonClick);
  EditButton = addButton("EditButton", u8"編集(&E)...", &TNetworkListForm::EditButtonClick);
  RemoveButton = addButton("RemoveButton", u8"削除(&D)", &TNetworkListForm::RemoveButtonClick);
  buttons->addSpacing(12);
  UpButton = addButton("UpButton", u8"上へ(&U)", &TNetworkListForm::UpButtonClick);
  DownButton = addButton("DownButton", u8"下へ(&W)", &TNetworkListForm::DownButtonClick);
  buttons->addStretch();
  CloseButton = new QPushButton(Ui(u8"閉じる"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(CloseButton);

  auto* row = new QHBoxLayout;
  row->addWidget(NetworkListView, 1);
  row->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(NoteLabel);
  layout->addLayout(row);
  resize(620, 320);
}

void TNetworkListForm::ShowFirstStartNote() {
  NoteLabel->setText(Ui(u8"接続先がまだありません。「編集」で最初のネットワークのサーバーとニックネームを書き込むか、"
                        u8"「追加」でネットワークを加えて、「接続」を押してください。"));
  NoteLabel->show();
}

void TNetworkListForm::WatchConnections() {
  for (const auto& connection : session_.Connections())
    connect(connection.get(), &TConnection::StateChanged, this, &TNetworkListForm::Refresh, Qt::UniqueConnection);
}

void TNetworkListForm::Refresh() {
  WatchConnections();
  const int selected = SelectedRow();
  const std::vector<TNetwork> networks = list_.Networks();
  NetworkListView->clear();
  for (std::size_t i = 0; i < networks.size(); ++i) {
    const TNetwork& network = networks[i];
    const TConnection* connection = list_.ConnectionOf(i, network);
    QString server;
    QString name = QText(network.Name);
    if (network.Servers.empty() || network.Servers.front().Host.empty())
      name = Ui(u8"（未設定）");
    else
      server = QText(ServerAddressText(network.Servers.front()));
    if (network.Servers.size() > 1) server += Ui(u8" ほか ") + QString::number(network.Servers.size() - 1) + Ui(u8" 台");
    const std::string state = NetworkStateText(connection ? connection->State() : TConnectionState::Idle);
    new QTreeWidgetItem(NetworkListView, {name, server, QText(state),
                                          network.ConnectAtStart ? Ui(u8"接続") : QString()});
  }
  SelectRow(selected);
  UpdateButtons();
  // The first start's word is done with once there is something to connect to.
  if (!ConnectSettingsMissing(session_.Grobal()) || networks.size() > 1) NoteLabel->hide();
}

int TNetworkListForm::SelectedRow() const {
  const QList<QTreeWidgetItem*> items = NetworkListView->selectedItems();
  return items.isEmpty() ? -1 : NetworkListView->indexOfTopLevelItem(items.front());
}

void TNetworkListForm::SelectRow(int Row) {
  if (QTreeWidgetItem* item = NetworkListView->topLevelItem(Row)) NetworkListView->setCurrentItem(item);
}

void TNetworkListForm::UpdateButtons() {
  const int row = SelectedRow();
  const int count = NetworkListView->topLevelItemCount();
  const TConnection* connection = row < 0 ? nullptr : list_.ConnectionOf(static_cast<std::size_t>(row));
  const bool open = connection && connection->State() != TConnectionState::Idle;
  EditButton->setEnabled(row >= 0);
  // The settings file's network stays, and stays first.
  RemoveButton->setEnabled(row > 0);
  UpButton->setEnabled(row > 1);
  DownButton->setEnabled(row > 0 && row + 1 < count);
  ConnectButton->setEnabled(row >= 0);
  DisconnectButton->setEnabled(open);
}

void TNetworkListForm::OpenEditor(const TNetwork& Network, int Row) {
  if (Editor()) {
    editor_->activateWindow();
    return;
  }
  const std::size_t index = Row < 0 ? list_.Networks().size() : static_cast<std::size_t>(Row);
  editor_ = new TNetworkEditForm(this, Network, list_.NamesBesides(index));
  editor_->Accepted = [this, Row](const TNetwork& Edited) {
    if (Row < 0) {
      list_.Add(Edited);
      Refresh();
      SelectRow(NetworkListView->topLevelItemCount() - 1);
      return true;
    }
    const std::string problem = list_.Replace(static_cast<std::size_t>(Row), Edited);
    if (!problem.empty()) {
      Platform().ShowMessage(problem);
      return false;
    }
    Refresh();
    // A new name shows in the windows' titles.
    if (auto* frame = qobject_cast<TMainForm*>(parentWidget())) frame->ShowNetworkNames();
    return true;
  };
  editor_->open();
}

void TNetworkListForm::AddButtonClick() { OpenEditor(NewNetwork(list_.Networks().front()), -1); }

TNetwork TNetworkListForm::NetworkToEdit(std::size_t Row) const {
  TNetwork network = list_.Networks()[Row];
  // A settings file that names no encoding yet: new settings start in JIS.
  const TGrobalArea& area = session_.Grobal();
  if (Row == 0 && !area.JISChoice && !area.SJISChoice && !area.UTF8Choice) network.Encoding = TWireEncoding::Jis;
  return network;
}

void TNetworkListForm::EditButtonClick() {
  const int row = SelectedRow();
  if (row >= 0) OpenEditor(NetworkToEdit(static_cast<std::size_t>(row)), row);
}

void TNetworkListForm::RemoveButtonClick() {
  const int row = SelectedRow();
  if (row <= 0) return;
  const std::string name = list_.Networks()[static_cast<std::size_t>(row)].Name;
  if (!Platform().AskYesNo(U8(u8"ネットワーク ") + name + U8(u8" を一覧から削除しますか？接続中なら切断します。"))) return;
  list_.Remove(static_cast<std::size_t>(row));
  Refresh();
  SelectRow(row - 1);
}

void TNetworkListForm::UpButtonClick() {
  const int row = SelectedRow();
  if (!list_.Move(static_cast<std::size_t>(row), -1)) return;
  Refresh();
  SelectRow(row - 1);
}

void TNetworkListForm::DownButtonClick() {
  const int row = SelectedRow();
  if (row < 0 || !list_.Move(static_cast<std::size_t>(row), 1)) return;
  Refresh();
  SelectRow(row + 1);
}

void TNetworkListForm::ConnectButtonClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  // Nothing to connect to yet: the settings first, then the connect.
  if (row == 0 && ConnectSettingsMissing(session_.Grobal())) {
    if (Editor()) {
      editor_->activateWindow();
      return;
    }
    OpenEditor(NetworkToEdit(0), 0);
    auto accepted = editor_->Accepted;
    editor_->Accepted = [this, accepted](const TNetwork& Edited) {
      if (!accepted(Edited)) return false;
      list_.Connect(0);
      return true;
    };
    return;
  }
  list_.Connect(static_cast<std::size_t>(row));
  Refresh();
}

void TNetworkListForm::DisconnectButtonClick() {
  const int row = SelectedRow();
  if (row >= 0) list_.Disconnect(static_cast<std::size_t>(row));
  Refresh();
}

}  // namespace tavi
