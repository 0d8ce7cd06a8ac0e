// The main window's commands: its menu items and tool buttons, and what the
// windows ask of the frame. Its other members are in MainForm.cpp.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolButton>

#include "conversation/Channel.h"
#include "conversation/MemberEditor.h"
#include "conversation/UserMode.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "dcc/DCC.h"
#include "dcc/DccTransFile.h"
#include "dialogs/AwayCmd.h"
#include "dialogs/CommandDialog.h"
#include "dialogs/WhoIsWasCmd.h"
#include "frame/About.h"
#include "frame/Establish.h"
#include "frame/NetworkListForm.h"
#include "frame/MainForm.h"
#include "frame/WindowList.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"

namespace tavi {

void TMainForm::ConnectMenus() {
  connect(ConnectSpeedButton, &QToolButton::clicked, this, [this] { ServerConnectClick(); });
  connect(DisConnectSpeedButton, &QToolButton::clicked, this, [this] { Connection().Disconnect(); });
  connect(ServerConnect, &QAction::triggered, this, [this] { ServerConnectClick(); });
  connect(ServerDisConnect, &QAction::triggered, this, [this] { Connection().Disconnect(); });
  const std::pair<QAction*, TFrameCommand> frameCommands[] = {
      {Exit1, TFrameCommand::Exit},        {VersionCmd, TFrameCommand::Version}, {AdminCmd, TFrameCommand::Admin},
      {NamesCmd, TFrameCommand::Names},    {ListCmd, TFrameCommand::List},       {Join, TFrameCommand::Join},
      {TalkMenu, TFrameCommand::Talk},     {IsonCmd, TFrameCommand::Ison},       {UserModeMenu, TFrameCommand::UserMode},
      {WhoIsCmd, TFrameCommand::WhoIs},    {WhoWasCmd, TFrameCommand::WhoWas},   {AwayCmd, TFrameCommand::Away},
      {NickCmd, TFrameCommand::Nick}};
  // Copied by name: clang 14 (the fuzz build) cannot capture a structured binding.
  for (const auto& [item, command] : frameCommands)
    connect(item, &QAction::triggered, this, [this, command = command] { RunFrameCommand(command, Connection()); });
  connect(JOINSpeedButton, &QToolButton::clicked, this, [this] { JoinClick(); });
  connect(TalkSpeedButton, &QToolButton::clicked, this, [this] { TalkMenuClick(); });
  connect(RecieveDenyMenu, &QAction::triggered, this, [this] { RecieveDenyMenuClick(); });
  connect(NetworkList1, &QAction::triggered, this, [this] { NetworkListClick(); });
  connect(GrobalSection, &QAction::triggered, this,
          [this] { FindOrCreateForm<TEstablishForm>(Connection())->show(); });
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
  connect(NextWindow1, &QAction::triggered, MdiArea, &QMdiArea::activateNextSubWindow);
  connect(PreviousWindow1, &QAction::triggered, MdiArea, &QMdiArea::activatePreviousSubWindow);
  connect(NextActiveWindow1, &QAction::triggered, this, [this] { WindowList->ActivateNextActive(); });
  connect(ShowWindowList1, &QAction::toggled, WindowList, &QWidget::setVisible);
  connect(About1, &QAction::triggered, this, [this] { FindOrCreateForm<TAboutBox>()->show(); });
  connect(Help2, &QAction::triggered, this, [] { Platform().ShowHelp(HelpFile, HelpContext); });
}

void TMainForm::RunFrameCommand(TFrameCommand Command, TConnection& Connection) {
  // One connection for now: the window's is the frame's.
  (void)Connection;
  switch (Command) {
    case TFrameCommand::Join: JoinClick(); break;
    case TFrameCommand::Talk: TalkMenuClick(); break;
    case TFrameCommand::Exit: close(); break;
    case TFrameCommand::Version: this->Connection().SendLine("VERSION \r\n"); break;
    case TFrameCommand::Admin: this->Connection().SendLine("ADMIN \r\n"); break;
    case TFrameCommand::WhoIs: WhoIsCmdClick(); break;
    case TFrameCommand::WhoWas: WhoWasCmdClick(); break;
    case TFrameCommand::Away: AwayCmdClick(); break;
    case TFrameCommand::Ison: IsonCmdClick(); break;
    case TFrameCommand::Names: NamesCmdClick(); break;
    case TFrameCommand::List: ListCmdClick(); break;
    case TFrameCommand::Nick: NickCmdClick(); break;
    case TFrameCommand::UserMode: UserModeMenuClick(); break;
  }
}

void TMainForm::ServerConnectClick() {
  // A first start has nothing to connect to: ask for the settings rather
  // than only say they are missing.
  if (ConnectSettingsMissing(session_.Grobal())) {
    TEstablishForm* dialog = FindOrCreateForm<TEstablishForm>(Connection());
    dialog->ConnectOnOK = true;
    ShowInFront(dialog);
    return;
  }
  Connection().Connect();
}

void TMainForm::NetworkListClick() {
  auto* list = findChild<TNetworkListForm*>();
  if (!list) list = new TNetworkListForm(this, session_);
  ShowInFront(list);
}

void TMainForm::StartNetworks() {
  if (ConnectSettingsMissing(session_.Grobal()) && LoadFurtherNetworks().empty()) {
    NetworkListClick();
    findChild<TNetworkListForm*>()->ShowFirstStartNote();
    return;
  }
  ConnectNetworksAtStart(session_);
}

void TMainForm::NamesCmdClick() {
  Connection().Own.NamesRequested = true;
  Connection().SendLine("NAMES \r\n");
}

void TMainForm::ListCmdClick() {
  ++Connection().Own.ListRequests;
  Connection().SendLine("LIST \r\n");
}

void TMainForm::JoinClick() {
  TChannelForm* dialog = FindOrCreateForm<TChannelForm>(Connection());
  dialog->ProposeChannel(session_.Local().ChannelName);
  dialog->ChannelKeyEdit->setText(QText(session_.Local().ChannelKey));
  ShowInFront(dialog);
}

void TMainForm::ShowJoinDialog(TConnection& Connection, const std::string& Channel) {
  TChannelForm* dialog = FindOrCreateForm<TChannelForm>(Connection);
  dialog->ProposeChannel(Channel);
  ShowInFront(dialog);
}

void TMainForm::TalkMenuClick() {
  TMemberEditorForm* editor = FindOrCreateForm<TMemberEditorForm>(Connection());
  editor->Setup(U8(u8"会話相手を選定"), U8(u8"会話相手："), U8(u8"会話相手のリスト："), "TalkMember", nullptr, 60);
  ShowInFront(editor);
}

void TMainForm::IsonCmdClick() {
  TMemberEditorForm* editor = FindOrCreateForm<TMemberEditorForm>(Connection());
  editor->Setup(U8(u8"ニックネームがチャットしているか検索"), U8(u8"検索ニックネーム："),
                U8(u8"検索ニックネームのリスト："), "ISON", nullptr, 50);
  ShowInFront(editor);
}

void TMainForm::RecieveDenyMenuClick() {
  TMemberEditorForm* editor = FindOrCreateForm<TMemberEditorForm>(Connection());
  editor->Setup(U8(u8"着信拒否相手を設定"), U8(u8"拒否相手："), U8(u8"拒否相手のリスト："), "RecieveDeny", nullptr, 16);
  editor->SetEntries(Connection().RecieveDenyList);
  ShowInFront(editor);
}

void TMainForm::WhoIsCmdClick() { OpenWhoIsWasCmdForm(this, Connection(), "WHOIS ", 47); }
void TMainForm::WhoWasCmdClick() { OpenWhoIsWasCmdForm(this, Connection(), "WHOWAS ", 48); }

TAwayCmdForm* TMainForm::AwayDialog() {
  // Lives as long as the main window; hidden, never freed, when closed.
  if (!awayDialog_) awayDialog_ = new TAwayCmdForm(this);
  return awayDialog_;
}

void TMainForm::AwayCmdClick() {
  TAwayCmdForm* form = AwayDialog();
  form->Connection = &Connection();
  form->CommandKind = "Away";
  form->SetCaption(U8(u8"自動返信の設定"));
  form->SetLabel(U8(u8"自動で返信するメッセージ："));
  form->setProperty("helpContext", 49);
  // Showing fills the message; a dialog already up in another kind gets it
  // now.
  if (form->isVisible()) form->FormShow();
  ShowInFront(form);
}

void TMainForm::NickCmdClick() {
  TAwayCmdForm* form = AwayDialog();
  form->Connection = &Connection();
  form->CommandKind = "Nick";
  form->SetCaption(U8(u8"ニックネームの変更"));
  form->SetLabel(U8(u8"現在のニックネーム：") + Connection().Own.CurrentNick);
  form->AwayMessageEdit->clear();
  form->setProperty("helpContext", 85);
  ShowInFront(form);
}

void TMainForm::ShowTopicDialog(TConnection& Connection, const std::string& Channel, const std::string& Topic) {
  TAwayCmdForm* form = AwayDialog();
  form->Connection = &Connection;
  form->CommandKind = "Topic";
  form->TopicChannel = Channel;
  form->SetCaption(U8(u8"チャンネルトピックの設定、変更"));
  form->SetLabel(U8(u8"チャンネルトピック："));
  form->SetEditText(Topic);
  ShowInFront(form);
}

// Every click opens another dialog.
void TMainForm::UserModeMenuClick() { ShowInFront(new TUserModeForm(this, Connection())); }

void TMainForm::OfferDccChat(TConnection& Connection, const std::string& Nick) {
  // The listening side takes its own port and the offer's address from the
  // connection.
  OpenDccChat(*this, Connection, Nick, "", "", "SERVER");
}

void TMainForm::OfferDccFile(TConnection& Connection, const std::string& Nick) { SendDccFile(this, Connection, Nick); }

}  // namespace tavi
