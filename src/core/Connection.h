// One server connection: its transport (the threads of TChatClient), its
// state from connecting to registered, the reconnect policy, the user's own
// nick, modes, away message and channel keys on that server, and its model
// (channels with members, queries). Received lines go to its event
// processor; what they change is told by signals, which the windows show.
// No widgets: tests drive it with lines in and read the model, the signals
// and the lines sent.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/Capabilities.h"
#include "core/ChatClientUnit.h"
#include "core/ConnectionOptions.h"
#include "core/Model.h"
#include "core/Networks.h"
#include "core/NickKeeper.h"
#include "core/Playback.h"
#include "kanji/WireText.h"
#include "protocol/CaseMapping.h"
#include "platform/Platform.h"
#include "protocol/ChannelState.h"

class QTimer;

namespace tavi {

class TBackgroundConnect;
class TBlockingSocket;
class TEventProcessor;
class TSession;
struct TGrobalArea;
struct TMessage;
struct TConnectError;
struct TTlsCheck;

enum class TConnectionState {
  Idle,                // not connected
  Connecting,          // resolving, connecting, the TLS handshake
  AwaitingTrust,       // the user is asked about the server's certificate
  Registering,         // connected; NICK and USER sent
  Registered,          // the end of the message of the day came
  WaitingToReconnect,  // dropped; the next try waits its turn
  Closing,             // the user's QUIT is going out
};

// How a window shows a line: as talk, as an event of the user's own, or as
// an event of others and a reply (black, green and blue in channel windows).
enum class TLineKind { Talk, Own, Event };

// One line for one window: a channel's, a query's, or the server log's
// when neither is set. Text is stamped, and cut as a window shows it.
struct TShownLine {
  TChannel* Channel = nullptr;
  TQuery* Query = nullptr;
  TLineKind Kind = TLineKind::Talk;
  QString Text;
  // Someone's line that names the user, or a private one to the user.
  bool Highlight = false;
  // Whose line it is; empty for events, the user's own lines and history,
  // which mark no window as unread.
  std::string Sender;
};

// How a new window comes up: activated (the user asked for it), or quietly,
// leaving the keyboard where it is (a server line opened it).
enum class TOpening { Activate, Quietly };

// The fields of the WHOIS window, and the colour of its values: a WHOIS
// answer's or a WHOWAS answer's (the operator line has its own).
enum class TWhoisField { Nick, Login, Host, RealName, Server, Operator, Idle, Channels };
enum class TWhoisColour { Whois, Whowas };

// What the user is on this server.
struct TOwnState {
  std::string CurrentNick;  // the nickname now
  std::string EnteredNick;  // the last nick the user typed in the nick dialog
  // The message of the user's last AWAY; Away while the server has the user
  // marked away (set through TConnection::SetAway).
  std::string AwayMessage;
  bool Away = false;
  TUserModes Modes;
  // The key last used with each channel; never written to the settings.
  std::map<std::string, std::string, TNameLess> ChannelKeys;
  // Answers the user asked for: a NAMES listing, LIST and ISON requests.
  bool NamesRequested = false;
  int ListRequests = 0;
  int IsonRequests = 0;
};

class TConnection : public QObject, private TChatClientEvents {
  Q_OBJECT
 public:
  // Windows a server can make us open: channels, and talk windows in a
  // minute; beyond them lines go elsewhere.
  static constexpr int MaxChannels = 250;
  // The panes keep their last lines; logs and the server log more.
  static constexpr int KeptLines = 256;
  // New windows in one slice of received lines; each costs a layout and a
  // paint after the slice.
  static constexpr int WindowsPerSlice = 4;

  explicit TConnection(TSession& Session, QObject* Parent = nullptr);
  ~TConnection() override;

  TSession& Session() { return session_; }
  TConnectionState State() const { return state_; }
  // --- the network ---
  // Makes this the connection of a further network, with settings of its
  // own; the first network's are the settings file's.
  void UseNetwork(const TNetwork& Network);
  bool FurtherNetwork() const { return furtherArea_ != nullptr; }
  // The server, nick and names this connection registers with.
  const TGrobalArea& Area() const;
  TGrobalArea& Area();
  // The name the user knows the network by.
  std::string NetworkName() const;
  TNetwork Network() const;
  // The server of the connection, or of the try under way.
  const TServerAddress& Server() const { return server_; }
  // The network goes on at Server: connects there at once (the old
  // connection, if any, dropped).
  void MoveToServer(const TServerAddress& Server);
  TOwnState Own;
  // Nicks whose messages are refused on this network, found as the server
  // folds case; in memory only.
  std::vector<std::string> RecieveDenyList;
  bool IsRefused(const std::string& Nick) const;

  // --- connecting ---
  // The user's connect: starts afresh off the GUI thread and returns at
  // once; an open connection or a try in progress is dropped first.
  void Connect();
  // Cancels a try in progress, or sends QUIT and ends the connection.
  void Disconnect(const std::string& Reason = "Leaving! ");
  // As Disconnect, and waits for the QUIT to go out (bounded) and closes at
  // once: the program is ending.
  void Close();
  // The user's verdict on an untrusted certificate (TrustQuestion): 0 this
  // time, 1 always, anything else refuses.
  void AnswerTrust(int Choice);
  bool Connecting() const { return connecting_ != nullptr; }
  bool SocketActive() const;
  // The port of the connection; a different one is refused while it is open.
  int SocketPort() const { return socketPort_; }
  bool SetSocketPort(int Port);
  const std::string& RemoteHost() const { return remoteHost_; }
  // The server name the connection's logs are filed under, fixed when it
  // was made.
  const std::string& LogServer() const { return logServer_; }
  // The local address of the connection, "a.b.c.d"; empty when none.
  std::string LocalAddress() const;
  // This host's IPv4 address for DCC offers, as an address number.
  std::string LocalAddressNumber() const;
  TChatClient* ChatClient() const { return chatClient_.get(); }

  // --- options and bounds ---
  const TConnectionOptions& Options() const { return options_; }
  // Reads the options of the desktop settings again (the logs follow).
  void ReloadOptions();
  // The settings changed: the options are read again, and a reconnect
  // waiting for its turn is given up.
  void SettingsChanged();
  void SetConnectionLimits(const TChatClientLimits& Limits) { connectionLimits_ = Limits; }
  // How long a connect and a TLS handshake may take.
  struct TConnectLimits {
    int ConnectMs = TChatClient::TimeoutMs;
    // A TLS server answers at once; a plain IRC port never does, and its
    // server drops the silent client only after 20 s or more.
    int TlsHandshakeMs = 10000;
  };
  void SetConnectLimits(const TConnectLimits& Limits) { connectLimits_ = Limits; }
  struct TReconnectLimits {
    int FirstDelayMs = 5000;
    int MaxDelayMs = 300000;
    // The waits start again from the first only once a connection has
    // lasted this long: a server that drops us after each registration is
    // tried less and less often.
    int StableMs = 60000;
    // How often a nick the server gave to someone else is asked after.
    int RegainNickMs = 60000;
  };
  void SetReconnectLimits(const TReconnectLimits& Limits) { reconnectLimits_ = Limits; }
  static int ReconnectDelayMs(int Attempt, const TReconnectLimits& Limits);
  bool Reconnecting() const { return reconnecting_; }
  int ReconnectAttempts() const { return reconnectAttempt_; }
  int ReconnectWaitMs() const { return reconnectWaitMs_; }
  const std::string& StatusText() const { return statusText_; }

  // --- capabilities ---
  // What was negotiated with the server (empty before, and with a server
  // that knows no CAP).
  const TCapabilities& Caps() const { return caps_; }

  // --- text on the wire ---
  // The encoding chosen for the network in the settings.
  TWireEncoding Encoding() const;
  // Text as the network's encoding writes it.
  std::string WireText(const std::string& Text) const { return EncodeWire(Text, Encoding()); }
  // How the server folds the case of names (its CASEMAPPING).
  TCaseMapping CaseMapping() const { return caseMapping_; }
  void SetCaseMapping(TCaseMapping Mapping);
  // What the server's ISUPPORT says besides: the marks channel names begin
  // with (CHANTYPES), the kinds of its channel modes (CHANMODES), and the
  // name the network goes by (NETWORK; empty until said).
  bool IsChannelName(std::string_view Name) const;
  const TChannelModeKinds& ChannelModeKinds() const { return channelModeKinds_; }
  const std::string& AnnouncedNetwork() const { return announcedNetwork_; }
  // The name captions show: the user's name for the network, else the one
  // the server announces, else the server's.
  std::string DisplayName() const;
  // The member ranks the server announces (its PREFIX).
  const TRankPrefixes& RankPrefixes() const { return rankPrefixes_; }
  void SetRankPrefixes(const TRankPrefixes& Prefixes);
  // Slot (1 to 15) of the line being handled as the server wrote it, in
  // the form of the handlers' slots (the trailing one with its ":");
  // Decoded (the slot's text) when no line is being handled.
  std::string WireParam(std::size_t Slot, const std::string& Decoded) const;

  // --- sending ---
  // One whole protocol line (UTF-8) with its CR LF, in the network's
  // encoding.
  void SendLine(const std::string& Line);
  // A line already in the bytes it goes out as.
  void SendWire(const std::string& Bytes);
  // Tests take the sent lines here instead of the socket.
  void SetLineSink(std::function<void(const std::string&)> Sink) { lineSink_ = std::move(Sink); }
  // What the user typed into a channel's or a query's window: a "/me"
  // action or a message, sent and shown; in the window's encoding, or in
  // As. A line longer than the server takes goes as several, each cut
  // between characters. What the encoding cannot hold goes as the geta mark:
  // ask the user first (Unencodable).
  void Say(TChannel& Channel, const std::string& Text, TWireEncoding As = TWireEncoding::Ascii);
  void Say(TQuery& Query, const std::string& Text, TWireEncoding As = TWireEncoding::Ascii);
  // "PRIVMSG" or "NOTICE" of Text to WireTarget, cut to what the server
  // takes; in the encoding of the target's window when one is open.
  void SendText(const std::string& Command, const std::string& WireTarget, const std::string& Text);
  TWireEncoding WritingEncoding(const TChannel& Channel) const { return Channel.Writing.For(Encoding()); }
  TWireEncoding WritingEncoding(const TQuery& Query) const { return Query.Writing.For(Encoding()); }
  // Channels (comma-separated) the user asked to join: their windows take
  // the keyboard when the server's JOIN opens them.
  void NoteJoinRequest(const std::string& Channels);
  bool TakeJoinRequest(const std::string& Channel);
  // The user joins Channel with Key (the join dialog): both are remembered
  // for the dialog and for rejoining.
  void Join(const std::string& Channel, const std::string& Key);
  // The key last used with Channel in this run, while the channel is in the
  // join dialog's list; empty otherwise.
  std::string RememberedKey(const std::string& Channel) const;

  // --- the model ---
  const std::vector<std::unique_ptr<TChannel>>& Channels() const { return channels_; }
  const std::vector<std::unique_ptr<TQuery>>& Queries() const { return queries_; }
  // The channel the server knows by WireName (its bytes, in any case as
  // the server folds it), or nullptr.
  TChannel* FindChannel(const std::string& WireName) const;
  // Name is the name's text; empty: WireName read as text.
  TChannel* OpenChannel(const std::string& WireName, TOpening Opening = TOpening::Activate,
                        const std::string& Name = {});
  TQuery* OpenQuery(const std::string& Caption, const std::vector<std::string>& Members,
                    TOpening Opening = TOpening::Activate);
  // The window of Channel or Query closed: they are forgotten.
  void CloseChannel(TChannel* Channel);
  void CloseQuery(TQuery* Query);
  // A query's members or caption changed (the member editor).
  void SetQueryMembers(TQuery& Query, const std::vector<std::string>& Members);

  // --- what the event processor and the commands use ---
  // Shows a line in a channel's or query's window (and logs it), or in the
  // server log.
  void Show(TChannel& Channel, TLineKind Kind, const std::string& Text);
  void Show(TQuery& Query, const std::string& Text);
  // What Nick said (Said) as Text: a highlight in a channel when it names the
  // user, always in a query; never the user's own.
  void ShowSaid(TChannel& Channel, TLineKind Kind, const std::string& Nick, const std::string& Said,
                const std::string& Text);
  void ShowSaid(TQuery& Query, const std::string& Nick, const std::string& Text);
  bool NamesUser(const std::string& Said) const;
  void ShowInServerLog(const std::string& Text);
  void SetStatusText(const std::string& Text);
  // The server marks the user away (306) or back (305).
  void SetAway(bool Away);
  // "hh:nn" of the line being handled (the server's time when it says),
  // else of now; "mm/dd hh:nn" for a line said on another day.
  std::string Stamp() const;
  // The bouncer's playback and the open batches.
  TPlayback& Playback() { return playback_; }
  // The line being handled is history in the window of WireTarget (a
  // channel, or the user's own nick for private lines).
  bool Replayed(const std::string& WireTarget);
  // The history blocks from Source end (all of them: Source empty).
  void EndHistory(const std::string& Source = {});
  // The server echoes the user's own messages: they are shown as it does.
  bool EchoesOwnLines() const { return caps_.Enabled("echo-message"); }
  // The end of the message of the day: the session is usable.
  void Registered();
  // --- the own nick ---
  // The user asks for Nick (the nick dialog, "/nick"): it is theirs to
  // keep, and its refusal is theirs to answer.
  void SendNick(const std::string& Nick);
  // The server refused Nick (433 in use, 432 not allowed). True when the
  // connection answered it itself: a stand-in while registering, or a
  // failed try to take the wanted nick back.
  bool TakeNickRefusal(const std::string& Nick, bool InUse);
  // Nick was seen to leave or to change: the wanted nick may be free.
  void NickFreed(const std::string& Nick);
  // An ISON answer: true when it answered the connection's own question.
  bool TakeIsonAnswer(const std::vector<std::string>& Nicks);
  const TNickKeeper& Nicks() const { return nicks_; }
  TNickKeeper& Nicks() { return nicks_; }
  TEventProcessor& Events() { return *events_; }

  // A received line (with its CR LF), as the receive thread hands it over.
  void ReceiveLine(const std::string& Line);
  // Around the lines of one slice, as the receive thread hands them over.
  void BeginLines();
  void EndLines(bool MoreFollow);
  // The line being handled, while one is.
  const TMessage* CurrentMessage() const { return current_; }

 signals:
  void StateChanged(TConnectionState State);
  // The server announced the network's name (DisplayName may differ now).
  void NetworkAnnounced();
  void StatusTextChanged(const std::string& Text);
  // Own.Away changed, or a new away message was taken.
  void AwayChanged(bool Away);
  void LineShown(const TShownLine& Line);
  void ChannelAdded(TChannel* Channel, TOpening Opening);
  // Before the channel goes: its window lets it go.
  void ChannelRemoved(TChannel* Channel);
  void QueryAdded(TQuery* Query, TOpening Opening);
  void QueryChanged(TQuery* Query);  // caption or speakers
  void QueryRemoved(TQuery* Query);
  // Received lines come in slices; windows lay out once per slice.
  void LinesBegin();
  void LinesEnd(bool MoreFollow);
  // The server's certificate is not trusted: ask, and call AnswerTrust.
  void TrustQuestion(const TQuestion& Question);
  // A message the user must see (a connect that failed); shown after the
  // line or event that caused it.
  void MessageForUser(const std::string& Text);

  // Replies for the result windows.
  // A WHOIS or WHOWAS answer fills the window's fields; its end shows it.
  void WhoisColoured(TWhoisColour Colour);
  void WhoisValue(TWhoisField Field, const std::string& Text);
  void WhoisEnded();
  void VersionReplied(const std::string& Version);
  void AdminReplied(const std::vector<std::string>& Lines);
  void ListingLine(const std::string& Line);
  void ListingEnded(const std::string& Caption);
  void IsonReplied(const std::vector<std::string>& Nicks);
  void ServerErrorReplied(const std::string& Text);
  // Someone invites the user to Channel.
  void Invited(const std::string& Inviter, const std::string& Channel);
  // The ban list the user asked for has come.
  void BanListEnded(TChannel* Channel);
  // The server refused the nick (433): the user chooses another.
  void NickRejected();
  // Someone (or the user) is known by another nick now: windows outside
  // the model (DCC chats) follow.
  void NickChanged(const std::string& Old, const std::string& New);

 private:
  friend class TEventProcessor;

  // The receive thread's reports (GUI thread).
  void ReceivedLine(const std::string& Line) override { ReceiveLine(Line); }
  void ReceivedLinesBegin() override { BeginLines(); }
  void ReceivedLinesEnd(bool MoreFollow) override { EndLines(MoreFollow); }
  bool SliceFull() const override { return windowsOpenedInSlice_ >= WindowsPerSlice; }
  void EndOfStream() override;
  void ReceiveFailed() override;
  void SendFailed(TSendFailure Why, int Code) override;
  void ServerSilent() override;
  void ConnectionClosed() override;

  void SetState(TConnectionState State);
  void SendRegistration();
  void SaslFinished(TSaslOutcome Outcome, const std::string& Text);
  void StartConnect(bool Automatic);
  void ConnectFinished(unsigned Generation, bool Ok, int Code, const std::string& Reason,
                       const std::shared_ptr<TTlsCheck>& Tls);
  void CancelConnect();
  void Connected();
  // Says why the connect failed, in a box and in the status bar.
  void ReportConnectError(const TConnectError& Error);
  // A connection without TLS ended before the server said a word of IRC
  // (a TLS port, most likely); Why: the read error, if any.
  bool EndedBeforeIrc() const;
  void ReportNotIrc(const std::string& Why);
  bool WillReconnect() const;
  void LostForReconnect(const std::string& Why);
  // The channel and talk windows stay when the connection ends, marked as
  // not connected; the channels joined are joined again on registering.
  void KeepWindowsOffline();
  void ScheduleReconnect(const std::string& Why);
  void StopReconnecting();
  void Reconnect();
  void RejoinChannels();
  // The network's servers are tried in turn: the next, after Error with
  // this one; false when none is left.
  TServerAddress ServerToTry() const;
  bool TryNextServer(const TConnectError& Error);
  // Once registered: the network's commands, and its channels not open yet.
  void RunConnectCommands();
  void JoinNetworkChannels();
  void AskAfterWantedNick();
  void TakeWantedNick();
  // The connection is over for good: the windows close.
  void Disconnected();
  // Closes the connection without QUIT.
  void Drop();
  std::string SocketErrorText(int Code) const;
  void RemoveChannel(std::size_t Index);
  void RemoveQuery(std::size_t Index);
  void LogLine(const QString& Window, const QString& Text);
  // The key of the window Target's lines go to in the playback: a
  // channel's folded name, "" for the private lines.
  std::string PlaybackKey(const std::string& WireTarget) const;
  // Logs and shows Line in Window; history (FromServer: the line being
  // handled is looked at) begins and ends the window's block of it.
  void Present(TShownLine& Line, const void* Window, const QString& LogWindow, bool FromServer = true);
  void ShowBlockMark(const void* Window, bool Begins);
  // Sends "PRIVMSG Target :" lines of Text (an action when Action), cut to
  // what the server takes; returns the text as it went.
  std::string SendMessage(const std::string& Target, const std::string& Text, TWireEncoding Encoding, bool Action,
                          const std::string& Command = "PRIVMSG");

  TSession& session_;
  std::unique_ptr<TEventProcessor> events_;
  TConnectionState state_ = TConnectionState::Idle;

  std::shared_ptr<TBlockingSocket> socket_;
  std::unique_ptr<TChatClient> chatClient_;
  std::shared_ptr<TBackgroundConnect> connecting_;
  unsigned connectGeneration_ = 0;
  // The connect waiting for the user's word on its certificate.
  std::shared_ptr<TBackgroundConnect> untrusted_;
  std::shared_ptr<TTlsCheck> untrustedCheck_;
  int socketPort_ = 0;
  std::string connectPortText_;
  std::string remoteHost_;
  std::string logServer_;
  QString logServerText_;
  std::string statusText_;
  std::function<void(const std::string&)> lineSink_;
  TChatClientLimits connectionLimits_;
  TConnectLimits connectLimits_;
  // A line of IRC came on this connection.
  bool heardIrc_ = false;
  TConnectionOptions options_;

  // Why the connection was dropped (shown once it is closed), and why it
  // ended (for the server log when reconnecting).
  std::string dropReason_;
  std::string lostReason_;
  TReconnectLimits reconnectLimits_;
  QTimer* reconnectTimer_ = nullptr;
  QTimer* stableTimer_ = nullptr;
  bool reconnecting_ = false;
  int reconnectAttempt_ = 0;
  int reconnectWaitMs_ = 0;
  // The channels to join again once a reconnect has registered.
  std::vector<TChannel*> rejoin_;
  bool registered_ = false;
  bool userDisconnect_ = false;
  TNickKeeper nicks_;
  // A further network's settings; none for the first network.
  std::unique_ptr<TGrobalArea> furtherArea_;
  // A further network; the first's fields beside the settings file.
  TNetwork network_;
  std::size_t serverIndex_ = 0;
  TServerAddress server_;
  // The server's NICKLEN, kept for the reconnects to it; 0: not known.
  std::size_t nickLen_ = 0;
  QTimer* regainTimer_ = nullptr;

  std::vector<std::unique_ptr<TChannel>> channels_;
  std::vector<std::unique_ptr<TQuery>> queries_;
  std::set<std::string> requestedJoins_;
  int windowsOpenedInSlice_ = 0;
  const TMessage* current_ = nullptr;
  TCaseMapping caseMapping_ = TCaseMapping::Rfc1459;
  TRankPrefixes rankPrefixes_;
  TChannelModeKinds channelModeKinds_;
  std::string channelTypes_ = "#&+!";
  std::string announcedNetwork_;
  // Reads the ISUPPORT tokens of a 005 line.
  void TakeIsupport(const TMessage& Message);
  TCapabilities caps_;
  TPlayback playback_;
};

}  // namespace tavi
