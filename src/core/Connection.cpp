#include "core/Connection.h"
#include "core/Highlight.h"

#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/ConnectErrors.h"
#include "core/DecimalText.h"
#include "core/EventProcessor.h"
#include "core/Session.h"
#include "dcc/DccProtocol.h"
#include "kanji/SjisCase.h"
#include "kanji/QtText.h"
#include "platform/BackgroundConnect.h"
#include "platform/BlockingSocket.h"
#include "protocol/CommandLex.h"
#include "protocol/Message.h"

namespace tavi {

TConnection::TConnection(TSession& Session, QObject* Parent)
    : QObject(Parent), session_(Session), events_(std::make_unique<TEventProcessor>(*this)) {
  ReloadOptions();
  reconnectTimer_ = new QTimer(this);
  reconnectTimer_->setSingleShot(true);
  connect(reconnectTimer_, &QTimer::timeout, this, &TConnection::Reconnect);
  regainTimer_ = new QTimer(this);
  connect(regainTimer_, &QTimer::timeout, this, &TConnection::AskAfterWantedNick);
  stableTimer_ = new QTimer(this);
  stableTimer_->setSingleShot(true);
  connect(stableTimer_, &QTimer::timeout, this, [this] {
    if (SocketActive()) reconnectAttempt_ = 0;
  });
}

TConnection::~TConnection() {
  // No hand-off may reach this object once it is going.
  CancelConnect();
  chatClient_.reset();
  if (socket_) socket_->Close();
}

void TConnection::SetState(TConnectionState State) {
  if (state_ == State) return;
  state_ = State;
  // The away mark lasts while the connection does.
  if (State != TConnectionState::Registering && State != TConnectionState::Registered) SetAway(false);
  if (State != TConnectionState::Registered) regainTimer_->stop();
  emit StateChanged(State);
}

void TConnection::SetAway(bool Away) {
  // Each 306 is told: it may follow an AWAY with a new message.
  if (!Away && !Own.Away) return;
  Own.Away = Away;
  emit AwayChanged(Away);
}

void TConnection::SetStatusText(const std::string& Text) {
  statusText_ = Text;
  emit StatusTextChanged(Text);
}

// --- sending ---

TWireEncoding TConnection::Encoding() const {
  const TGrobalArea& area = Area();
  if (area.JISChoice) return TWireEncoding::Jis;
  return area.UTF8Choice ? TWireEncoding::Utf8 : TWireEncoding::Sjis;
}

bool TConnection::IsRefused(const std::string& Nick) const {
  return std::any_of(RecieveDenyList.begin(), RecieveDenyList.end(),
                     [&](const std::string& Denied) { return SameName(Denied, Nick, caseMapping_); });
}

void TConnection::SetCaseMapping(TCaseMapping Mapping) {
  caseMapping_ = Mapping;
  for (const auto& channel : channels_) channel->Members.SetCaseMapping(Mapping);
}

void TConnection::SetRankPrefixes(const TRankPrefixes& Prefixes) {
  rankPrefixes_ = Prefixes;
  for (const auto& channel : channels_) channel->Members.SetPrefixes(Prefixes);
}

std::string TConnection::WireParam(std::size_t Slot, const std::string& Decoded) const {
  if (!current_ || Slot < 1) return Decoded;
  // In the form of the handlers' slots: the trailing one with its ":".
  const bool trailing = current_->Trailing && Slot == current_->Params.size();
  return (trailing ? ":" : "") + current_->WireParam(Slot - 1);
}

void TConnection::SendLine(const std::string& Line) { SendWire(WireText(Line)); }

void TConnection::SendWire(const std::string& bytes) {
  if (lineSink_) {
    lineSink_(bytes);
    return;
  }
  if (!SocketActive() || !chatClient_) return;
  // Written by the connection's send thread; a server that stops taking
  // data drops the connection there, reported through SendFailed.
  chatClient_->Send(bytes);
}

void TConnection::SendRegistration() {
  const TGrobalArea& area = Area();
  Own.CurrentNick = area.NickName1;
  nicks_.BeginRegistration(area.NickName1, options_.AlternateNicks, nickLen_);
  // Registration waits for CAP END; a server that knows no CAP registers
  // at once all the same.
  caps_.Start(network_.Sasl, [this](const std::string& Line) { SendLine(Line); },
              [this](TSaslOutcome Outcome, const std::string& Text) { SaslFinished(Outcome, Text); });
  if (!server_.Password.empty()) SendLine("PASS " + server_.Password + "\r\n");
  SendLine("NICK " + Own.CurrentNick + "\r\n");
  SendLine("USER " + area.LoginName + " " + area.HostName + " " + server_.Host + " :" + area.TrueName + "\r\n");
}

std::string TConnection::SendMessage(const std::string& Target, const std::string& Text, TWireEncoding Encoding,
                                     bool Action, const std::string& Command) {
  const std::string head = Command + " " + Target + " :" + (Action ? "\x01" "ACTION " : "");
  const std::string tail = std::string(Action ? "\x01" : "") + "\r\n";
  // The server relays the line with our nick, login and host in front; all
  // of it must fit in its 510 bytes.
  const std::size_t relayed = 1 + Own.CurrentNick.size() + 1 + Area().LoginName.size() + 1 + 63 + 1;
  const std::size_t used = head.size() + tail.size() - 2 + relayed;
  const std::size_t room = used < 510 - 32 ? 510 - used : 32;
  std::string_view rest = Text;
  std::string sent;
  do {
    std::size_t take = FitWireBytes(rest, Encoding, room);
    if (take == 0) take = std::min<std::size_t>(rest.size(), 1);
    const std::string_view piece = rest.substr(0, take);
    SendWire(head + EncodeWire(piece, Encoding) + tail);
    sent += DecodeWire(EncodeWire(piece, Encoding));
    rest.remove_prefix(take);
  } while (!rest.empty());
  return sent;
}

void TConnection::SendText(const std::string& Command, const std::string& WireTarget, const std::string& Text) {
  const TChannel* channel = FindChannel(WireTarget);
  SendMessage(WireTarget, Text, channel ? WritingEncoding(*channel) : Encoding(), false, Command);
}

void TConnection::Say(TChannel& Channel, const std::string& Text, TWireEncoding As) {
  if (Text.empty()) return;
  const TWireEncoding encoding = As != TWireEncoding::Ascii ? As : WritingEncoding(Channel);
  std::string action;
  // An echoing server shows the line when it comes back, with its time.
  if (TypedAction(Text, action)) {
    action = SendMessage(Channel.WireName(), action, encoding, true);
    if (!EchoesOwnLines()) Show(Channel, TLineKind::Event, ActionDisplayLine(TimeStamp(), Own.CurrentNick, action));
  } else {
    const std::string sent = SendMessage(Channel.WireName(), Text, encoding, false);
    if (!EchoesOwnLines()) Show(Channel, TLineKind::Talk, TimeStamp() + " [" + Own.CurrentNick + "] " + sent);
  }
}

void TConnection::Say(TQuery& Query, const std::string& Text, TWireEncoding As) {
  if (Text.empty()) return;
  const TWireEncoding encoding = As != TWireEncoding::Ascii ? As : WritingEncoding(Query);
  const std::string target = EncodeWire(Query.Caption, encoding);
  std::string action;
  if (TypedAction(Text, action)) {
    action = SendMessage(target, action, encoding, true);
    if (!EchoesOwnLines()) Show(Query, ActionDisplayLine(TimeStamp(), Own.CurrentNick, action));
  } else {
    const std::string sent = SendMessage(target, Text, encoding, false);
    if (!EchoesOwnLines()) Show(Query, TimeStamp() + " [" + Own.CurrentNick + "] " + sent);
  }
}

void TConnection::NoteJoinRequest(const std::string& Channels) {
  std::size_t start = 0;
  while (start <= Channels.size()) {
    const std::size_t end = std::min(Channels.find(',', start), Channels.size());
    if (end > start) requestedJoins_.insert(NameKey(Channels.substr(start, end - start)));
    start = end + 1;
  }
}

bool TConnection::TakeJoinRequest(const std::string& Channel) { return requestedJoins_.erase(NameKey(Channel)) > 0; }

// --- what windows show ---

std::string TConnection::Stamp() const {
  if (!current_ || current_->ServerTimeMs < 0) return TimeStamp();
  const TDateTime when = Platform().LocalTime(current_->ServerTimeMs);
  const TDateTime now = Platform().Now();
  if (when.Year == now.Year && when.Month == now.Month && when.Day == now.Day) return TimeStamp(when);
  // A bouncer's history from another day says which.
  char date[8];
  std::snprintf(date, sizeof date, "%02d/%02d ", when.Month, when.Day);
  return date + TimeStamp(when);
}

void TConnection::LogLine(const QString& Window, const QString& Text) {
  TChatLog* log = session_.ChatLog();
  // The log is kept while the first network's choice says; a further
  // network's lines go in as its own choice says.
  if (!log || !options_.Logs) return;
  const TDateTime when =
      current_ && current_->ServerTimeMs >= 0 ? Platform().LocalTime(current_->ServerTimeMs) : Platform().Now();
  // A connection is filed under the server it was made to; one not made
  // yet under the server of the settings.
  log->Append(logServer_.empty() ? QText(NetworkName()) : logServerText_, Window, when, Text);
}

namespace {

// Talk heard in a conversation tells the encoding its members write in.
bool IsTalk(const TMessage* Line) { return Line && (Line->Command == "PRIVMSG" || Line->Command == "NOTICE"); }

}  // namespace

void TConnection::Show(TChannel& Channel, TLineKind Kind, const std::string& Text) {
  ShowSaid(Channel, Kind, {}, {}, Text);
}

void TConnection::ShowSaid(TChannel& Channel, TLineKind Kind, const std::string& Nick, const std::string& Said,
                           const std::string& Text) {
  if (IsTalk(current_)) Channel.Writing.Hear(current_->Encoding);
  TShownLine line;
  line.Channel = &Channel;
  line.Kind = Kind;
  line.Text = DisplayLineText(Text);
  line.Sender = Nick;
  line.Highlight = !Nick.empty() && Nick != Own.CurrentNick && NamesUser(Said);
  Present(line, &Channel, Channel.Title());
}

void TConnection::Show(TQuery& Query, const std::string& Text) { ShowSaid(Query, {}, Text); }

void TConnection::ShowSaid(TQuery& Query, const std::string& Nick, const std::string& Text) {
  if (IsTalk(current_)) Query.Writing.Hear(current_->Encoding);
  TShownLine line;
  line.Query = &Query;
  line.Text = DisplayLineText(Text);
  line.Sender = Nick;
  line.Highlight = !Nick.empty() && Nick != Own.CurrentNick;
  Present(line, &Query, QText(Query.Caption));
}

bool TConnection::NamesUser(const std::string& Said) const {
  QStringList words{QText(Own.CurrentNick)};
  for (const std::string& word : options_.HighlightWords) words.push_back(QText(word));
  return NamesAnyWord(QText(Said), words);
}

void TConnection::ShowInServerLog(const std::string& Text) {
  TShownLine line;
  line.Text = DisplayLineText(Text);
  emit LineShown(line);
}

// --- the model ---

TChannel* TConnection::FindChannel(const std::string& WireName) const {
  for (const auto& channel : channels_)
    if (SameName(channel->WireName(), WireName, caseMapping_)) return channel.get();
  return nullptr;
}

TChannel* TConnection::OpenChannel(const std::string& WireName, TOpening Opening, const std::string& Name) {
  channels_.push_back(std::make_unique<TChannel>(WireName, Name.empty() ? DecodeWire(WireName) : Name));
  TChannel* channel = channels_.back().get();
  channel->Members.SetCaseMapping(caseMapping_);
  channel->Members.SetPrefixes(rankPrefixes_);
  ++windowsOpenedInSlice_;
  emit ChannelAdded(channel, Opening);
  // The date of today, never history.
  TShownLine date;
  date.Channel = channel;
  date.Text = DisplayLineText(U8(u8"日付： ") + Platform().ShortDateText(Platform().Now()));
  Present(date, channel, channel->Title(), false);
  return channel;
}

TQuery* TConnection::OpenQuery(const std::string& Caption, const std::vector<std::string>& Members, TOpening Opening) {
  queries_.push_back(std::make_unique<TQuery>());
  TQuery* query = queries_.back().get();
  query->Caption = Caption;
  query->MemberList = Members;
  ++windowsOpenedInSlice_;
  emit QueryAdded(query, Opening);
  TShownLine date;
  date.Query = query;
  date.Text = DisplayLineText(U8(u8"日付： ") + Platform().ShortDateText(Platform().Now()));
  Present(date, query, QText(Caption), false);
  return query;
}

void TConnection::SetQueryMembers(TQuery& Query, const std::vector<std::string>& Members) {
  Query.MemberList = Members;
  std::string caption;
  for (const std::string& member : Members) caption += (caption.empty() ? "" : ",") + member;
  Query.Caption = caption;
  emit QueryChanged(&Query);
}

void TConnection::RemoveChannel(std::size_t Index) {
  std::unique_ptr<TChannel> channel = std::move(channels_[Index]);
  channels_.erase(channels_.begin() + static_cast<std::ptrdiff_t>(Index));
  std::erase(rejoin_, channel.get());
  playback_.Close(channel.get());
  emit ChannelRemoved(channel.get());
}

void TConnection::RemoveQuery(std::size_t Index) {
  std::unique_ptr<TQuery> query = std::move(queries_[Index]);
  queries_.erase(queries_.begin() + static_cast<std::ptrdiff_t>(Index));
  playback_.Close(query.get());
  emit QueryRemoved(query.get());
}

void TConnection::CloseChannel(TChannel* Channel) {
  for (std::size_t i = 0; i < channels_.size(); ++i)
    if (channels_[i].get() == Channel) return RemoveChannel(i);
}

void TConnection::CloseQuery(TQuery* Query) {
  for (std::size_t i = 0; i < queries_.size(); ++i)
    if (queries_[i].get() == Query) return RemoveQuery(i);
}

// --- received lines ---

void TConnection::ReceiveLine(const std::string& Line) {
  TMessage message;
  if (!ParseMessage(Line, message)) return;
  heardIrc_ = true;
  if (caps_.Take(message)) return;
  if (message.Command == "001") caps_.Registered();
  if (message.Command == "005") TakeIsupport(message);
  current_ = &message;
  try {
    DispatchMessage(message, *events_);
  } catch (const std::exception&) {
    current_ = nullptr;
    // A line that breaks a handler ends the session as a failed read does.
    ReceiveFailed();
    if (chatClient_) chatClient_->Terminate();
    return;
  }
  current_ = nullptr;
}

void TConnection::BeginLines() {
  windowsOpenedInSlice_ = 0;
  emit LinesBegin();
}

void TConnection::EndLines(bool MoreFollow) { emit LinesEnd(MoreFollow); }

// --- connecting ---

bool TConnection::SocketActive() const { return socket_ && socket_->Connected(); }

bool TConnection::SetSocketPort(int Port) {
  if (SocketActive() && Port != socketPort_) return false;
  socketPort_ = Port;
  return true;
}

std::string TConnection::LocalAddress() const { return SocketActive() ? socket_->LocalAddress() : std::string(); }

std::string TConnection::LocalAddressNumber() const {
  // The host's own name often resolves to loopback only (127.0.1.1 on
  // Debian), which no peer can reach; the server connection's own address
  // is the one the outside sees then.
  return AddressNumberFromDotted(ChooseLocalAddress(Platform().LocalIPv4Addresses(), LocalAddress()));
}

void TConnection::Connect() {
  // The user's own connect starts afresh: no reconnect waits behind it.
  StopReconnecting();
  userDisconnect_ = false;
  registered_ = false;
  // The server may be another one.
  nickLen_ = 0;
  serverIndex_ = 0;
  CancelConnect();
  if (SocketActive() || chatClient_) Drop();
  StartConnect(false);
}

void TConnection::StartConnect(bool Automatic) {
  Own.CurrentNick.clear();
  const TGrobalArea& area = Area();
  if (area.ServerName.empty() || area.NickName1.empty() || area.TrueName.empty() || area.LoginName.empty() ||
      area.HostName.empty()) {
    if (Automatic) {
      StopReconnecting();
      Disconnected();
    }
    Platform().Beep();
    emit MessageForUser(U8(u8"設定を書き込んでください。"));
    return;
  }
  server_ = ServerToTry();
  const std::string portText = serverIndex_ == 0 ? area.PortNumber : std::to_string(server_.Port);
  int port = 0;
  if (!ParseDecimal(portText, port)) {
    emit MessageForUser("'" + portText + U8(u8"' は有効な整数値ではありません。"));
    return;
  }
  socketPort_ = port;
  remoteHost_ = server_.Host;
  // The logs of this connection go under the name it was made with.
  logServer_ = NetworkName();
  logServerText_ = QText(logServer_);
  connectPortText_ = portText;
  const unsigned generation = ++connectGeneration_;
  if (port < 1 || port > 65535) {
    ConnectFinished(generation, false, EINVAL, "invalid port number", nullptr);
    return;
  }

  // Resolving and connecting may take a minute: the windows stay usable,
  // and Disconnect, a new Connect or closing the program cancels.
  SetStatusText(U8(u8"サーバーに接続を試みています。"));
  SetState(TConnectionState::Connecting);
  const bool tls = server_.Tls;
  const TConnectLimits limits = connectLimits_;
  const TClientIdentity identity{network_.ClientCertFile, network_.ClientKeyFile};
  connecting_ = TBackgroundConnect::Start(this, [this, host = remoteHost_, port, generation, tls, limits,
                                                 identity](TBlockingSocket& Socket) {
    bool ok = Socket.Connect(host, static_cast<std::uint16_t>(port), limits.ConnectMs);
    // The handshake runs here too, off the GUI thread; what the certificate
    // means is decided there.
    std::shared_ptr<TTlsCheck> check;
    if (ok && tls) {
      check = std::make_shared<TTlsCheck>(Socket.StartTls(host, limits.TlsHandshakeMs, identity));
      ok = check->Verdict != TTlsCheck::TVerdict::Failed;
    }
    const int code = ok ? 0 : Socket.ErrorCode();
    std::string reason = ok ? std::string() : Socket.ErrorText();
    return std::function<void()>(
        [this, generation, ok, code, reason, check] { ConnectFinished(generation, ok, code, reason, check); });
  });
}

void TConnection::CancelConnect() {
  if (untrusted_) {
    untrusted_->Socket()->Close();
    untrusted_.reset();
    untrustedCheck_.reset();
  }
  if (!connecting_) return;
  connecting_->Cancel();
  connecting_.reset();
  ++connectGeneration_;
}

void TConnection::ConnectFinished(unsigned Generation, bool Ok, int Code, const std::string& Reason,
                                  const std::shared_ptr<TTlsCheck>& Tls) {
  if (Generation != connectGeneration_) return;
  std::shared_ptr<TBackgroundConnect> attempt = std::move(connecting_);
  if (Ok && attempt && Tls && Tls->Verdict == TTlsCheck::TVerdict::Untrusted) {
    const std::string server = remoteHost_ + ":" + std::to_string(socketPort_);
    const std::string pinned = PinnedFingerprint(remoteHost_, socketPort_);
    const bool known = (!pinned.empty() && pinned == Tls->Fingerprint) || session_.AcceptedOnce(server, Tls->Fingerprint);
    if (!known) {
      // The user decides, without holding the session: the answer comes to
      // AnswerTrust.
      untrusted_ = std::move(attempt);
      untrustedCheck_ = Tls;
      SetState(TConnectionState::AwaitingTrust);
      emit TrustQuestion(CertificateQuestion(ServerText(remoteHost_, connectPortText_), *Tls, pinned));
      return;
    }
  }
  if (Ok && attempt) {
    socket_ = attempt->Socket();
    Connected();
    return;
  }
  if (attempt) attempt->Socket()->Close();
  const bool handshake = Tls && Tls->Verdict == TTlsCheck::TVerdict::Failed;
  const TConnectError error = handshake ? TlsHandshakeError(*Tls, connectLimits_.TlsHandshakeMs)
                                        : SocketConnectError(remoteHost_, Code, Reason, connectLimits_.ConnectMs);
  if (TryNextServer(error)) return;
  if (reconnecting_) {
    ScheduleReconnect(U8(u8"再接続できませんでした。") + (handshake ? U8(u8"（SSL/TLS の接続に失敗）") : ""));
    return;
  }
  Disconnected();
  ReportConnectError(error);
}

void TConnection::ReportConnectError(const TConnectError& Error) {
  const std::string server = ServerText(remoteHost_, connectPortText_);
  SetStatusText(ConnectErrorStatus(server, Error));
  emit MessageForUser(ConnectErrorMessage(server, Error));
}

void TConnection::AnswerTrust(int Choice) {
  if (!untrusted_) return;
  const std::shared_ptr<TBackgroundConnect> attempt = std::move(untrusted_);
  const std::shared_ptr<TTlsCheck> check = std::move(untrustedCheck_);
  if (Choice == 0) {
    session_.AcceptOnce(remoteHost_ + ":" + std::to_string(socketPort_), check->Fingerprint);
  } else if (Choice == 1) {
    PinFingerprint(remoteHost_, socketPort_, check->Fingerprint);
  } else {
    attempt->Socket()->Close();
    StopReconnecting();
    Disconnected();
    SetStatusText(U8(u8"サーバーの証明書を拒否したため、接続を中止しました。　サーバー名：") + remoteHost_);
    return;
  }
  if (attempt->Socket()->PeerClosed()) {
    // The server gave up waiting while the user decided. The certificate is
    // known now: a new connection asks nothing.
    attempt->Socket()->Close();
    ShowInServerLog(TimeStamp() + " " + U8(u8"サーバー ") + ServerText(remoteHost_, connectPortText_) +
                    U8(u8" は、証明書の確認を待つ間に接続を切りました。許可した証明書で接続し直します。"));
    StartConnect(false);
    return;
  }
  socket_ = attempt->Socket();
  Connected();
}

void TConnection::Connected() {
  dropReason_.clear();
  lostReason_.clear();
  heardIrc_ = false;
  TChatClientEvents& events = *this;
  chatClient_ = std::make_unique<TChatClient>(socket_, events, this, connectionLimits_);
  SetState(TConnectionState::Registering);
  SetStatusText(U8(u8"サーバーへニックネームを送出中です。"));
  SendRegistration();
}

void TConnection::Registered() {
  registered_ = true;
  playback_.Registered(Platform().Now());
  if (reconnecting_) {
    // The waiting ends; the tries made are forgotten only once this
    // connection has lasted.
    reconnecting_ = false;
    reconnectTimer_->stop();
    stableTimer_->start(reconnectLimits_.StableMs);
  }
  for (const auto& channel : channels_) channel->Offline = false;
  for (const auto& query : queries_) query->Offline = false;
  // A connect by hand reuses the kept windows as a reconnect does.
  RejoinChannels();
  // The user's commands first: an identification goes before the joins.
  RunConnectCommands();
  JoinNetworkChannels();
  SetState(TConnectionState::Registered);
  if (nicks_.Missing(Own.CurrentNick, caseMapping_)) regainTimer_->start(reconnectLimits_.RegainNickMs);
}

void TConnection::Disconnect(const std::string& Reason) {
  userDisconnect_ = true;
  const bool wasReconnecting = reconnecting_;
  StopReconnecting();
  if (connecting_ || untrusted_) {
    CancelConnect();
    Disconnected();
    return;
  }
  if (!SocketActive()) {
    // Waiting for the next try: the waiting ends, the windows stay.
    if (wasReconnecting) Disconnected();
    return;
  }
  SendLine("QUIT :" + Reason + "\r\n");
  Own.AwayMessage.clear();
  if (chatClient_) chatClient_->Terminate();
  SetState(TConnectionState::Closing);
}

void TConnection::Close() {
  Disconnect();
  // The client's end flushes what is queued before its threads stop.
  if (chatClient_ || socket_) Drop();
}

void TConnection::Drop() {
  chatClient_.reset();  // stops the thread; its hand-offs no longer run
  if (socket_) socket_->Close();
  socket_.reset();
  Disconnected();
}

void TConnection::Disconnected() {
  KeepWindowsOffline();
  events_->Reset();
  SetStatusText("");
  SetState(TConnectionState::Idle);
}

std::string TConnection::SocketErrorText(int Code) const {
  return U8(u8"エラーが発生しました。　サーバー名：") + remoteHost_ + U8(u8"   エラーコード：") + std::to_string(Code);
}

void TConnection::ReloadOptions() {
  options_ = LoadConnectionOptions();
  // A further network's own choices are its own.
  if (furtherArea_) {
    TGrobalArea unused;
    NetworkToSettings(network_, unused, options_);
  } else {
    network_ = LoadFirstNetworkExtras();
  }
  // One log holds every network's lines: it is kept while any wants it.
  bool logs = options_.Logs;
  for (const auto& other : session_.Connections())
    if (other.get() != this && other->Options().Logs) logs = true;
  session_.ApplyLogChoice(logs);
}

void TConnection::SettingsChanged() {
  ReloadOptions();
  if (!reconnecting_) return;
  // New settings are the user's word: the old server is not tried again.
  StopReconnecting();
  if (connecting_ || untrusted_) CancelConnect();
  if (!SocketActive()) {
    Disconnected();
    SetStatusText(U8(u8"設定が変わったため、再接続を中止しました。"));
  }
}

// --- channel keys ---

std::string TConnection::RememberedKey(const std::string& Channel) const {
  const std::vector<std::string>& names = session_.Local().ChannelNames;
  if (std::none_of(names.begin(), names.end(), [&](const std::string& N) { return SameName(N, Channel); }))
    return {};
  const auto it = Own.ChannelKeys.find(Channel);
  return it == Own.ChannelKeys.end() ? std::string() : it->second;
}

void TConnection::Join(const std::string& Channel, const std::string& Key) {
  std::vector<std::string>& names = session_.Local().ChannelNames;
  std::erase_if(names, [&](const std::string& N) { return SameName(N, Channel); });
  names.insert(names.begin(), Channel);
  // The entry's key goes with it: #Foo replacing #foo replaces its key too.
  Own.ChannelKeys.erase(Channel);
  Own.ChannelKeys.emplace(Channel, Key);
  session_.Local().ChannelKey = Key;
  session_.Local().ChannelName = Channel;
  NoteJoinRequest(Channel);
  SendLine("JOIN " + Channel + " " + Key + "\r\n");
}

}  // namespace tavi
