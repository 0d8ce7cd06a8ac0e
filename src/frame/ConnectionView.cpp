#include "frame/ConnectionView.h"

#include <QLabel>
#include <QMdiArea>
#include <QMetaObject>

#include "conversation/AdminReply.h"
#include "conversation/Chat.h"
#include "conversation/ListNamesWho.h"
#include "conversation/ReferenceResult.h"
#include "conversation/ServerErrorUnit.h"
#include "conversation/Talk.h"
#include "conversation/VersionReply.h"
#include "conversation/WhoIsReply.h"
#include "dcc/DCC.h"
#include "dialogs/PassiveInviteCmd.h"
#include "frame/MainForm.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"
#include "frame/ServerLogForm.h"
#include "widgets/RichLog.h"

namespace tavi {

namespace {

// The value labels of a WHOWAS answer.
const QColor WhoWasColor(128, 128, 0);

void SetText(QLabel* Label, const std::string& Text) { Label->setText(QText(Text)); }

// Result windows never wait for the user.
void Show(QWidget* Form) { Form->show(); }

}  // namespace

TConnectionView::TConnectionView(TMainForm& Frame, TConnection& Connection, TServerLogForm* ServerLog)
    : frame_(Frame), connection_(Connection), serverLog_(ServerLog) {
  TConnection* c = &Connection;
  connect(c, &TConnection::LineShown, this, &TConnectionView::ShowLine);
  connect(c, &TConnection::ChannelAdded, this, &TConnectionView::ChannelAdded);
  connect(c, &TConnection::ChannelRemoved, this, &TConnectionView::ChannelRemoved);
  connect(c, &TConnection::QueryAdded, this, &TConnectionView::QueryAdded);
  connect(c, &TConnection::QueryRemoved, this, &TConnectionView::QueryRemoved);
  connect(c, &TConnection::QueryChanged, this, [this](TQuery* Query) {
    if (TTalkForm* talk = WindowOf(Query)) talk->QueryChanged();
  });
  connect(c, &TConnection::LinesBegin, this, [] { TRichLog::BeginBurst(); });
  connect(c, &TConnection::LinesEnd, this, [](bool MoreFollow) { TRichLog::EndBurst(MoreFollow); });
  connect(c, &TConnection::StateChanged, this, [this] {
    frame_.UpdateControls();
    MarkOffline();
  });
  connect(c, &TConnection::StatusTextChanged, this, [this](const std::string& Text) { frame_.SetStatusText(Text); });
  connect(c, &TConnection::AwayChanged, this, [this] { frame_.UpdateAwayMark(); });
  connect(c, &TConnection::NetworkAnnounced, this, [this] { frame_.ShowNetworkNames(); });
  connect(c, &TConnection::MessageForUser, this, [](const std::string& Text) { Platform().ShowMessage(Text); });
  connect(c, &TConnection::TrustQuestion, this, &TConnectionView::AskTrust);
  connect(c, &TConnection::NickChanged, this, [this](const std::string& Old, const std::string& New) {
    // DCC chats are captioned by their peer and outside the model.
    for (TMdiChildForm* child : frame_.ChildWindows())
      if (auto* dcc = qobject_cast<TDCCForm*>(child); dcc && dcc->Connection() == &connection_)
        dcc->SetCaption(ReplaceListMember(dcc->Caption(), Old, New));
  });
  ConnectReplies();
}

TConnectionView::~TConnectionView() {
  // The windows stay with the frame; they no longer hear from here.
  disconnect(&connection_, nullptr, this, nullptr);
}

TChatForm* TConnectionView::WindowOf(const TChannel* Channel) const {
  const auto it = channels_.find(Channel);
  return it == channels_.end() ? nullptr : it->second.data();
}

TTalkForm* TConnectionView::WindowOf(const TQuery* Query) const {
  const auto it = queries_.find(Query);
  return it == queries_.end() ? nullptr : it->second.data();
}

void TConnectionView::ShowLine(const TShownLine& Line) {
  TMdiChildForm* window = nullptr;
  if (Line.Channel) {
    TChatForm* chat = WindowOf(Line.Channel);
    if (!chat) return;
    NoteUnseen(chat, Line);
    chat->ShowLine(Line.Kind, Line.Text, Line.Highlight);
    window = chat;
  } else if (Line.Query) {
    TTalkForm* talk = WindowOf(Line.Query);
    if (!talk) return;
    NoteUnseen(talk, Line);
    talk->ShowLine(Line.Text);
    window = talk;
  } else {
    if (serverLog_)
      serverLog_->AddLine(Line.Text);
    else if (!connection_.FurtherNetwork())
      frame_.AddServerMemoLine(Line.Text);
    return;
  }
  if (Line.Highlight) NotifyHighlight(window, Line);
}

bool TConnectionView::Seen(const TMdiChildForm* Window) const {
  return frame_.MdiArea->activeSubWindow() == Window;
}

void TConnectionView::NoteUnseen(TMdiChildForm* Window, const TShownLine& Line) {
  // Someone's line counts; joins, parts and the like do not.
  if (Seen(Window) || Line.Sender.empty()) return;
  if (Window->Activity() == TMdiChildForm::TActivity::None) Window->ShowUnreadMarker();
  Window->NoteActivity(Line.Highlight ? TMdiChildForm::TActivity::Highlight : TMdiChildForm::TActivity::Unread);
}

void TConnectionView::NotifyHighlight(TMdiChildForm* Window, const TShownLine& Line) {
  if (!connection_.Options().Notifications) return;
  if (Seen(Window) && frame_.isActiveWindow()) return;
  // A flood of highlights is one notification a second, not hundreds.
  const std::uint32_t now = Platform().TickCount();
  if (notified_ && now - lastNotified_ < NotifyIntervalMs) return;
  notified_ = true;
  lastNotified_ = now;
  Platform().Notify(Window->Caption() + " : " + Line.Sender, StdText(Line.Text));
}

void TConnectionView::ChannelAdded(TChannel* Channel, TOpening Opening) {
  auto* chat = new TChatForm(frame_, connection_, *Channel);
  channels_[Channel] = chat;
  frame_.AddChildWindow(chat, Opening == TOpening::Activate);
}

void TConnectionView::MarkOffline() {
  const std::string note = U8(u8" （未接続）");
  for (const auto& [channel, chat] : channels_)
    if (chat) chat->SetTitleNote(channel->Offline ? note : std::string());
  for (const auto& [query, talk] : queries_)
    if (talk) talk->SetTitleNote(query->Offline ? note : std::string());
}

void TConnectionView::ChannelRemoved(TChannel* Channel) {
  const QPointer<TChatForm> chat = WindowOf(Channel);
  channels_.erase(Channel);
  if (!chat) return;
  // A window closing by itself has let go already; one the connection
  // closes (the connection ended) lets go now and closes.
  const bool closing = !chat->Channel();
  chat->Detach();
  if (!closing) chat->close();
}

void TConnectionView::QueryAdded(TQuery* Query, TOpening Opening) {
  auto* talk = new TTalkForm(frame_, connection_, *Query);
  queries_[Query] = talk;
  frame_.AddChildWindow(talk, Opening == TOpening::Activate);
}

void TConnectionView::QueryRemoved(TQuery* Query) {
  const QPointer<TTalkForm> talk = WindowOf(Query);
  queries_.erase(Query);
  if (!talk) return;
  const bool closing = !talk->Query();
  talk->Detach();
  if (!closing) talk->close();
}

void TConnectionView::AskTrust(const TQuestion& Question) {
  QPointer<TConnection> connection(&connection_);
  QMetaObject::invokeMethod(
      this,
      [connection, Question] {
        const int answer = Platform().AskQuestion(Question);
        if (connection) connection->AnswerTrust(answer);
      },
      Qt::QueuedConnection);
}

void TConnectionView::ConnectReplies() {
  TConnection* c = &connection_;
  TMainForm* f = &frame_;
  connect(c, &TConnection::WhoisColoured, this, [f](TWhoisColour Colour) {
    f->FindOrCreateForm<TWhoIsReplyForm>()->SetValueColor(Colour == TWhoisColour::Whowas ? WhoWasColor : QColor(0, 0, 255));
  });
  connect(c, &TConnection::WhoisValue, this, [f](TWhoisField Field, const std::string& Text) {
    auto* form = f->FindOrCreateForm<TWhoIsReplyForm>();
    QLabel* const labels[] = {form->NickNameLabel, form->LoginNameLabel, form->HostNameLabel,   form->RealNameLabel,
                              form->ServerNameLabel, form->IRCOperatorLabel, form->IdleTimeLabel, form->ChannelNameLabel};
    QLabel* label = labels[static_cast<int>(Field)];
    if (Field == TWhoisField::Operator) TWhoIsReplyForm::SetLabelColor(label, QColor(255, 0, 0));
    SetText(label, Text);
  });
  connect(c, &TConnection::WhoisEnded, this, [f] { Show(f->FindOrCreateForm<TWhoIsReplyForm>()); });
  connect(c, &TConnection::VersionReplied, this, [f](const std::string& Version) {
    auto* form = f->FindOrCreateForm<TVersionReplyForm>();
    SetText(form->VersionLabel, Version);
    Show(form);
  });
  connect(c, &TConnection::AdminReplied, this, [f](const std::vector<std::string>& Lines) {
    auto* form = f->FindOrCreateForm<TAdminReplyForm>();
    QLabel* const labels[] = {form->Label1, form->Label2, form->Label3, form->Label4};
    for (std::size_t i = 0; i < 4 && i < Lines.size(); ++i) SetText(labels[i], Lines[i]);
    Show(form);
  });
  connect(c, &TConnection::ListingLine, this,
          [f](const std::string& Line) { f->FindOrCreateForm<TListNamesWhoForm>()->AddLine(Line); });
  connect(c, &TConnection::ListingEnded, this,
          [f](const std::string& Caption) { f->FindOrCreateForm<TListNamesWhoForm>()->ShowListing(Caption); });
  connect(c, &TConnection::IsonReplied, this, [f](const std::vector<std::string>& Nicks) {
    auto* form = f->FindOrCreateForm<TReferenceResultForm>();
    form->AddEntries(Nicks);
    Show(form);
  });
  connect(c, &TConnection::ServerErrorReplied, this, [f](const std::string& Text) {
    auto* form = f->FindOrCreateForm<TServerErrorForm>();
    form->AddErrorText(Text);
    Show(form);
  });
  connect(c, &TConnection::Invited, this, [this](const std::string& Inviter, const std::string& Channel) {
    ShowInvitation(&frame_, connection_, frame_, Inviter, Channel);
  });
  connect(c, &TConnection::BanListEnded, this, [this](TChannel* Channel) {
    if (TChatForm* chat = WindowOf(Channel)) chat->ShowBanMaskEditor();
  });
  connect(c, &TConnection::NickRejected, this, [this] { frame_.NickCmd->trigger(); });
}

}  // namespace tavi
