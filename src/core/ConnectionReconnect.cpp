// How a connection ends and comes back: the receive thread's reports of a
// drop, then reconnecting with growing waits, the windows kept offline and
// their channels joined again once registered.
#include <QMetaObject>
#include <QTimer>
#include <algorithm>

#include "core/Connection.h"
#include "core/ConnectErrors.h"
#include "core/EventProcessor.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"

namespace tavi {

// --- the receive thread's reports ---

bool TConnection::EndedBeforeIrc() const {
  return state_ == TConnectionState::Registering && !heardIrc_ && socket_ && !socket_->Tls();
}

void TConnection::ReportNotIrc(const std::string& Why) {
  const TConnectError error = NotIrcError(chatClient_ ? chatClient_->FirstBytes() : std::string(), Why);
  if (WillReconnect()) {
    lostReason_ = error.What;
    return;
  }
  const std::string server = ServerText(remoteHost_, connectPortText_);
  // The reason outlasts the reset of the status bar; the box comes after
  // the hand-off, which must not wait on it.
  dropReason_ = ConnectErrorStatus(server, error);
  QMetaObject::invokeMethod(
      this, [this, text = ConnectErrorMessage(server, error)] { emit MessageForUser(text); }, Qt::QueuedConnection);
}

void TConnection::EndOfStream() {
  if (EndedBeforeIrc()) return ReportNotIrc({});
  lostReason_ = U8(u8"サーバーからＥＯＦを読み込みました。");
  SetStatusText(U8(u8"サーバーからＥＯＦを読み込みました。（たぶん、サーバーがシャットダウンしたと思います。）"));
}

void TConnection::ServerSilent() {
  lostReason_ = U8(u8"サーバーからの応答がないため、接続を切断しました。");
  SetStatusText(lostReason_ + U8(u8"　サーバー名：") + remoteHost_);
}

void TConnection::ReceiveFailed() {
  if (EndedBeforeIrc()) return ReportNotIrc(socket_->ErrorText());
  if (WillReconnect()) {
    // The reconnect reports it; a box would wait for a user who may be away.
    lostReason_ = U8(u8"ソケットでエラーが発生しました。");
    return;
  }
  // Reported after the hand-off: the receive thread must not wait on a box.
  QMetaObject::invokeMethod(
      this, [this] { emit MessageForUser(U8(u8"ソケットでエラーが発生しました。")); }, Qt::QueuedConnection);
}

void TConnection::SendFailed(TSendFailure Why, int Code) {
  if (Why == TSendFailure::WriteError && EndedBeforeIrc()) return ReportNotIrc(socket_->ErrorText());
  switch (Why) {
    case TSendFailure::Stalled:
      dropReason_ = U8(u8"エラーが発生しました。　サーバーがデータを受け取らないため、接続を切断しました。　サーバー名：") +
                    remoteHost_;
      break;
    case TSendFailure::Overflow:
      dropReason_ = U8(u8"エラーが発生しました。　送信待ちのデータが多すぎるため、接続を切断しました。　サーバー名：") +
                    remoteHost_;
      break;
    case TSendFailure::WriteError:
      dropReason_ = SocketErrorText(Code);
      break;
  }
}

void TConnection::ConnectionClosed() {
  socket_.reset();
  stableTimer_->stop();
  // Joins and lists the server never answered end with the connection.
  requestedJoins_.clear();
  Own.ListRequests = Own.IsonRequests = 0;
  Own.NamesRequested = false;
  if (WillReconnect()) {
    LostForReconnect(!dropReason_.empty() ? dropReason_ : lostReason_);
  } else {
    StopReconnecting();
    Disconnected();
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

int TConnection::ReconnectDelayMs(int Attempt, const TReconnectLimits& Limits) {
  long long delay = std::max(1, Limits.FirstDelayMs);
  for (int i = 0; i < Attempt && delay < Limits.MaxDelayMs; ++i) delay *= 2;
  return static_cast<int>(std::min<long long>(delay, std::max(1, Limits.MaxDelayMs)));
}

bool TConnection::WillReconnect() const {
  return !userDisconnect_ && options_.Reconnect && (registered_ || reconnecting_);
}

void TConnection::KeepWindowsOffline() {
  const std::string line = TimeStamp() + " " + U8(u8"サーバーとの接続が切れました。");
  for (const auto& channel : channels_) {
    // Only the channels we were in: not one the user left or was kicked
    // from, whose window stays open.
    if (channel->Joined && std::find(rejoin_.begin(), rejoin_.end(), channel.get()) == rejoin_.end())
      rejoin_.push_back(channel.get());
    channel->Joined = false;
    channel->NamesReplyOpen = false;
    channel->Members.Clear();
    if (!channel->Offline) Show(*channel, TLineKind::Own, line);
    channel->Offline = true;
  }
  for (const auto& query : queries_) {
    if (!query->Offline) Show(*query, line);
    query->Offline = true;
  }
}

void TConnection::LostForReconnect(const std::string& Why) {
  // The windows stay, so that the channels can be joined again and their
  // lines go on; the channels are left for now.
  KeepWindowsOffline();
  events_->Reset();
  ShowInServerLog(TimeStamp() + " " + U8(u8"サーバーとの接続が切れました。") + Why);
  ScheduleReconnect("");
}

void TConnection::ScheduleReconnect(const std::string& Why) {
  reconnecting_ = true;
  reconnectWaitMs_ = ReconnectDelayMs(reconnectAttempt_, reconnectLimits_);
  ++reconnectAttempt_;
  const std::string text =
      Why + std::to_string((reconnectWaitMs_ + 999) / 1000) + U8(u8" 秒後にサーバーへ再接続します。");
  ShowInServerLog(TimeStamp() + " " + text);
  SetState(TConnectionState::WaitingToReconnect);
  SetStatusText(text);
  reconnectTimer_->start(reconnectWaitMs_);
}

void TConnection::StopReconnecting() {
  reconnecting_ = false;
  reconnectAttempt_ = 0;
  reconnectWaitMs_ = 0;
  reconnectTimer_->stop();
  stableTimer_->stop();
}

void TConnection::Reconnect() {
  if (!reconnecting_ || connecting_ || SocketActive()) return;
  StartConnect(true);
}

void TConnection::RejoinChannels() {
  const std::vector<TChannel*> channels = std::move(rejoin_);
  rejoin_.clear();
  for (TChannel* channel : channels) {
    const std::string key = channel->KeyWordMode ? channel->KeyWord : RememberedKey(channel->Name());
    Show(*channel, TLineKind::Own, TimeStamp() + " " + U8(u8"サーバーに再接続しました。チャンネルに入り直します。"));
    std::string line = "JOIN " + channel->WireName();
    if (!key.empty()) line.append(" ").append(WireText(key));
    SendWire(line + "\r\n");
  }
}

}  // namespace tavi
