// The connection against scripted servers on 127.0.0.1: registration, the
// user's disconnect, reconnecting with growing waits, silent and stalled
// servers, and the question about an untrusted certificate.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <future>

#include "CoreFixture.h"
#include "QtWait.h"
#include "ScriptedServer.h"
#include "TlsIdentity.h"
#include "core/ConnectionOptions.h"
#include "core/DesktopSettings.h"
#include "core/NickKeeper.h"
#include "core/TypedCommands.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const std::string T = "09:05";

class ConnectionTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    Connection().SetLineSink(nullptr);  // the lines go to the server
  }
  void Configure(std::uint16_t Port) {
    session->Grobal() = TGrobalArea{"", "abc", "Taro", "me", "host", "127.0.0.1", {}, std::to_string(Port)};
  }
  TConnectionState State() { return Connection().State(); }
  // Reads the registration and answers it; the client then sends MODE.
  static void Register(TScriptedServer& Server) {
    Server.ReadLine();
    Server.ReadLine();
    Server.Send(":srv 001 abc :Welcome\r\n:srv 376 abc :End of MOTD\r\n");
    Server.ReadLine();
  }
  // Runs the event loop until a line read by the server is there.
  static std::string Await(std::future<std::string>& Line) {
    const auto ready = [&] { return Line.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    PumpUntil(ready, 6000);
    return ready() ? Line.get() : "<none>";
  }
};

TEST_F(ConnectionTest, RegistersBecomesUsableAndDisconnectsWithQuit) {
  TScriptedServer server;
  Configure(server.Port());
  session->Grobal().Password = "pw";
  auto pass = server.ReadLine();
  auto nick = server.ReadLine();
  auto user = server.ReadLine();
  Connection().Connect();
  EXPECT_EQ(Take(), (Lines{"status " + U8(u8"サーバーに接続を試みています。"), "state Connecting"}));
  ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::Registering; }));
  EXPECT_EQ(Await(pass), "PASS pw\r\n");
  EXPECT_EQ(Await(nick), "NICK abc\r\n");
  EXPECT_EQ(Await(user), "USER me host 127.0.0.1 :Taro\r\n");
  EXPECT_EQ(Take(), (Lines{"state Registering", "status " + U8(u8"サーバーへニックネームを送出中です。")}));

  server.Send(":srv 001 abc_ :Welcome\r\n:srv 375 abc_ :- srv MOTD\r\n:srv 372 abc_ :- hello\r\n");
  server.Send(":srv 376 abc_ :End of MOTD\r\nPING :srv\r\n");
  auto mode = server.ReadLine();
  auto pong = server.ReadLine();
  EXPECT_EQ(Await(mode), "MODE abc_\r\n");
  EXPECT_EQ(Await(pong), "PONG srv\r\n");
  EXPECT_EQ(Take(), (Lines{"status " + U8(u8"IRCサーバーとの接続が完了しました。"), "log " + T + " :- srv MOTD",
                           "log " + T + " :- hello", "log " + T + " :End of MOTD", "state Registered"}));

  auto quit = server.ReadLine();
  Connection().Disconnect();
  EXPECT_EQ(Await(quit), "QUIT :Leaving! \r\n");
  ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::Idle && !Connection().SocketActive(); }));
  PumpFor(100);
  EXPECT_EQ(Take(), (Lines{"state Closing", "status ", "state Idle"}));
  EXPECT_EQ(server.Accepted(), 1);
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

TEST_F(ConnectionTest, ConnectNeedsEverySettingAndANumericPort) {
  Connection().Connect();
  EXPECT_EQ(Take(), Lines{"message " + U8(u8"設定を書き込んでください。")});
  EXPECT_EQ(platform.Beeps, 1);
  session->Grobal() = TGrobalArea{"", "nick", "Taro", "me", "host", "srv", {}, "66x7"};
  Connection().Connect();
  EXPECT_EQ(Take(), Lines{"message '66x7" + U8(u8"' は有効な整数値ではありません。")});
  EXPECT_EQ(State(), TConnectionState::Idle);
}

TEST_F(ConnectionTest, ADropAfterRegistrationReconnectsAndRejoinsWithTheKey) {
  TScriptedServer server;
  Configure(server.Port());
  Connection().SetReconnectLimits({1, 4});
  Register(server);
  // #chan has a key by its mode, #keyed by the join dialog's memory; a
  // channel left before the drop is kept but not joined again.
  server.Send(":abc!u@h JOIN :#chan\r\n:srv MODE #chan +k secret\r\n:abc!u@h JOIN :#keyed\r\n");
  server.Send(":abc!u@h JOIN :#left\r\n:abc!u@h PART #left\r\n");
  for (int i = 0; i < 2; ++i) server.ReadLine();  // MODE of each, but the last
  auto left = server.ReadLine();                   // MODE #left
  server.CloseClient();
  server.AcceptNext();
  auto nick = server.ReadLine();
  server.ReadLine();  // USER
  server.Send(":srv 001 abc :Welcome\r\n:srv 376 abc :End of MOTD\r\n");
  auto join = server.ReadLine();
  auto joinKeyed = server.ReadLine();
  auto mode = server.ReadLine();
  Connection().Join("#keyed", "pw");
  // Joins and lists the server never answered end with the connection.
  TOwnState& own = Connection().Own;
  Connection().NoteJoinRequest("#pending");
  own.ListRequests = own.IsonRequests = 1;
  own.NamesRequested = true;
  Connection().Connect();

  EXPECT_EQ(Await(left), "MODE #left\r\n");
  EXPECT_EQ(Await(nick), "NICK abc\r\n");
  EXPECT_EQ(Await(join), "JOIN #chan secret\r\n");
  EXPECT_EQ(Await(joinKeyed), "JOIN #keyed pw\r\n");
  EXPECT_EQ(Await(mode), "MODE abc\r\n");
  ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::Registered && !Connection().Reconnecting(); }));
  EXPECT_EQ(server.Accepted(), 2);
  EXPECT_EQ(own.ListRequests + own.IsonRequests + own.NamesRequested, 0);
  const Lines events = Take();
  const std::string lost = T + " " + U8(u8"サーバーとの接続が切れました。");
  EXPECT_EQ(Of(events, "#chan own"),
            (Lines{"#chan own " + T + U8(u8" チャンネルへ入室しました。"), "#chan own " + lost,
                   "#chan own " + T + " " + U8(u8"サーバーに再接続しました。チャンネルに入り直します。")}));
  EXPECT_EQ(Of(events, "#left own").back(), "#left own " + lost);
  EXPECT_EQ(Of(events, "log "), (Lines{"log " + T + " :End of MOTD", "log " + lost + U8(u8"サーバーからＥＯＦを読み込みました。"),
                                       "log " + T + " 1" + U8(u8" 秒後にサーバーへ再接続します。"),
                                       "log " + T + " :End of MOTD"}));
  EXPECT_EQ(Of(events, "state "), (Lines{"state Connecting", "state Registering", "state Registered",
                                         "state WaitingToReconnect", "state Connecting", "state Registering",
                                         "state Registered"}));
  TChannel* chat = Connection().FindChannel("#chan");
  ASSERT_NE(chat, nullptr);
  EXPECT_EQ(Members("#chan"), "");  // until the server's JOIN and names
  server.Send(":abc!u@h JOIN :#chan\r\n:abc!u@h JOIN :#pending\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Connection().FindChannel("#pending"); }));
  EXPECT_TRUE(chat->Joined);
  EXPECT_EQ(Of(Take(), "channel+"), Lines{"channel+ #pending quietly"});

  // A disconnect the user asks for never reconnects; the windows stay,
  // marked, each with one line, and a connect by hand joins them again.
  for (int i = 0; i < 2; ++i) server.ReadLine();  // MODE of #chan and #pending
  auto quit = server.ReadLine();
  Connection().Disconnect();
  EXPECT_EQ(Await(quit), "QUIT :Leaving! \r\n");
  server.CloseClient();
  ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::Idle; }));
  PumpFor(100);
  EXPECT_FALSE(Connection().Reconnecting());
  EXPECT_EQ(server.Accepted(), 2);
  const Lines kept = Take();
  EXPECT_TRUE(Of(kept, "channel-").empty());
  EXPECT_EQ(Of(kept, "#chan own"), Lines{"#chan own " + lost});
  EXPECT_TRUE(chat->Offline && !chat->Joined && chat->Members.Count() == 0);
  server.AcceptNext();
  auto again = server.ReadLine();
  server.ReadLine();  // USER
  server.Send(":srv 001 abc :Welcome\r\n:srv 376 abc :End of MOTD\r\n");
  auto rejoinChan = server.ReadLine();
  auto rejoinPending = server.ReadLine();
  Connection().Connect();
  EXPECT_EQ(Await(again), "NICK abc\r\n");
  EXPECT_EQ(Await(rejoinChan), "JOIN #chan secret\r\n");
  EXPECT_EQ(Await(rejoinPending), "JOIN #pending\r\n");
  EXPECT_FALSE(chat->Offline);
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

TEST_F(ConnectionTest, FailedTriesWaitLongerEachTimeUpToTheBound) {
  auto server = std::make_unique<TScriptedServer>();
  Configure(server->Port());
  Connection().SetReconnectLimits({1, 8});
  Register(*server);
  server->Send(":abc!u@h JOIN :#chan\r\n");
  Connection().Connect();
  ASSERT_TRUE(PumpUntil([&] { return Connection().FindChannel("#chan") != nullptr; }));
  server.reset();  // the drop, and nobody listens any more

  std::vector<int> waits;
  ASSERT_TRUE(PumpUntil([&] {
    if (Connection().ReconnectAttempts() > static_cast<int>(waits.size())) waits.push_back(Connection().ReconnectWaitMs());
    return waits.size() >= 6;
  }));
  EXPECT_EQ(waits, (std::vector<int>{1, 2, 4, 8, 8, 8}));
  EXPECT_NE(Connection().FindChannel("#chan"), nullptr);  // kept for the rejoin
  const Lines events = Take();
  EXPECT_TRUE(Of(events, "message").empty());  // nothing for a user who may be away
  const Lines logs = Of(events, "log ");
  EXPECT_NE(std::find(logs.begin(), logs.end(),
                      "log " + T + " " + U8(u8"再接続できませんでした。") + "1" + U8(u8" 秒後にサーバーへ再接続します。")),
            logs.end());

  // New settings give the reconnecting up; the kept windows stay.
  Connection().SettingsChanged();
  EXPECT_FALSE(Connection().Reconnecting());
  PumpFor(50);
  ASSERT_NE(Connection().FindChannel("#chan"), nullptr);
  EXPECT_TRUE(Connection().FindChannel("#chan")->Offline);
  EXPECT_EQ(Connection().StatusText(), U8(u8"設定が変わったため、再接続を中止しました。"));
  EXPECT_EQ(State(), TConnectionState::Idle);
}

// A server that registers the client and drops it at once, again and again,
// is tried less and less often; a connection that lasts starts the waits
// again from the first.
TEST_F(ConnectionTest, RegisteringAgainKeepsTheWaitsGrowingUntilTheConnectionLasts) {
  TScriptedServer server;
  Configure(server.Port());
  Connection().SetReconnectLimits({1, 8, 300});
  std::vector<int> waits;
  QObject::connect(&Connection(), &TConnection::StateChanged, recorder.get(), [&](TConnectionState State) {
    if (State == TConnectionState::WaitingToReconnect) waits.push_back(Connection().ReconnectWaitMs());
  });
  for (int i = 0; i < 5; ++i) {
    Register(server);
    server.CloseClient();
    server.AcceptNext();
  }
  Register(server);
  Connection().Connect();
  ASSERT_TRUE(PumpUntil([&] { return waits.size() >= 5 && State() == TConnectionState::Registered; }, 10000));
  EXPECT_EQ(waits, (std::vector<int>{1, 2, 4, 8, 8}));
  // This one lasts: the next drop waits the first wait again.
  PumpFor(400);
  server.CloseClient();
  server.AcceptNext();
  Register(server);
  ASSERT_TRUE(PumpUntil([&] { return waits.size() >= 6; }));
  EXPECT_EQ(waits.back(), 1);
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

TEST_F(ConnectionTest, ASilentServerIsPingedThenDropped) {
  TScriptedServer server;
  Configure(server.Port());
  Connection().SetReconnectLimits({60000, 60000});
  TChatClientLimits limits;
  limits.IdlePingMs = 300;
  limits.PingAnswerMs = 100;
  Connection().SetConnectionLimits(limits);
  Register(server);
  auto ping = server.ReadLine();
  Connection().Connect();
  EXPECT_EQ(Await(ping), "PING :127.0.0.1\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Connection().Reconnecting(); }));
  EXPECT_EQ(Of(Take(), "log "),
            (Lines{"log " + T + " :End of MOTD",
                   "log " + T + " " + U8(u8"サーバーとの接続が切れました。サーバーからの応答がないため、接続を切断しました。"),
                   "log " + T + " 60" + U8(u8" 秒後にサーバーへ再接続します。")}));
  EXPECT_EQ(Connection().StatusText(), "60" + U8(u8" 秒後にサーバーへ再接続します。"));
  EXPECT_EQ(State(), TConnectionState::WaitingToReconnect);

  // Disconnect while waiting gives it up.
  Connection().Disconnect();
  EXPECT_FALSE(Connection().Reconnecting());
  EXPECT_EQ(State(), TConnectionState::Idle);
}

// A server that never reads: sending never waits, and the connection is
// dropped once a write stalls or too much waits to be sent.
TEST_F(ConnectionTest, AStalledServerIsDroppedWithTheReason) {
  const std::pair<TChatClientLimits, const char8_t*> cases[] = {
      {{.StallMs = 300, .MaxQueuedBytes = std::size_t(1) << 30}, u8"エラーが発生しました。　サーバーがデータを受け取らないため"},
      {{.MaxQueuedBytes = 256 * 1024}, u8"エラーが発生しました。　送信待ちのデータが多すぎるため"}};
  for (const auto& [limits, status] : cases) {
    TScriptedServer server;  // accepts, never reads
    Connection().SetConnectionLimits(limits);
    Configure(server.Port());
    Connection().Connect();
    ASSERT_TRUE(PumpUntil([&] { return Connection().SocketActive(); }));
    // Far more than the kernel buffers of a loopback connection hold.
    const std::string line = "PRIVMSG #a :" + std::string(1000, 'x') + "\r\n";
    for (int i = 0; i < 32 * 1024; ++i) Connection().SendLine(line);
    ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::Idle; }, 20000));
    EXPECT_EQ(Connection().StatusText().rfind(U8(status), 0), 0u) << Connection().StatusText();
    EXPECT_TRUE(Of(Take(), "message").empty());
  }
}

// An untrusted certificate is put to the user without holding the session;
// each answer does what it says.
TEST_F(ConnectionTest, UntrustedCertificateAsksAndEachAnswerDoesWhatItSays) {
  const TTlsIdentity identity = MakeSelfSignedIdentity();
  struct TCase {
    int Answer;
    bool Connects, Pinned;
  };
  for (const TCase& c : {TCase{0, true, false}, TCase{1, true, true}, TCase{2, false, false}}) {
    SCOPED_TRACE(c.Answer);
    OpenDesktopSettings()->clear();
    TConnectionOptions options;
    options.Tls = true;
    options.Reconnect = false;
    SaveConnectionOptions(options);
    Connection().SettingsChanged();
    TScriptedServer server;
    server.StartTls(identity);
    auto nick = server.ReadLine();
    Configure(server.Port());
    Take();
    Connection().Connect();
    ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::AwaitingTrust; }));
    EXPECT_EQ(Of(Take(), "trust?"),
              Lines{"trust? " + U8(u8"今回だけ許可") + "/" + U8(u8"常に許可") + "/" + U8(u8"拒否")});
    EXPECT_NE(recorder->TrustText.find(identity.Fingerprint), std::string::npos);
    EXPECT_NE(recorder->TrustText.find(U8(u8"信頼できるものか確認できませんでした。")), std::string::npos);
    Connection().AnswerTrust(c.Answer);
    EXPECT_EQ(PinnedFingerprint("127.0.0.1", server.Port()), c.Pinned ? identity.Fingerprint : "");
    if (!c.Connects) {
      EXPECT_EQ(State(), TConnectionState::Idle);
      EXPECT_NE(Connection().StatusText().find(U8(u8"証明書を拒否")), std::string::npos);
      continue;
    }
    EXPECT_EQ(Await(nick), "NICK abc\r\n");
    // Once accepted, the same certificate is not asked about again.
    server.AcceptNext();
    server.StartTls(identity);
    Connection().Connect();
    ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::Registering; }));
    EXPECT_TRUE(Of(Take(), "trust?").empty());
    EXPECT_TRUE(server.Error().empty()) << server.Error();
  }
}

TEST(StandInNicks, AppendWithinTheServersLength) {
  struct TCase {
    std::string Wanted;
    std::size_t NickLen;
    Lines FirstThree;
  };
  for (const TCase& c : {TCase{"abc", 0, {"abc_", "abc__", "abc1"}},
                         TCase{"longnick9", 9, {"longnick_", "longnic__", "longnick1"}},
                         // Unknown length: as long as the nick the server found in use.
                         TCase{"abcdefghijkl", 0, {"abcdefghijk_", "abcdefghij__", "abcdefghijk1"}},
                         TCase{"abcdefghijkl", 30, {"abcdefghijkl_", "abcdefghijkl__", "abcdefghijkl1"}},
                         // Cut between characters, never inside one.
                         TCase{U8(u8"あいう"), 9, {U8(u8"あい_"), U8(u8"あい__"), U8(u8"あい1")}}}) {
    SCOPED_TRACE(c.Wanted);
    const Lines nicks = StandInNicks(c.Wanted, c.NickLen);
    ASSERT_GE(nicks.size(), 3u);
    EXPECT_EQ(Lines(nicks.begin(), nicks.begin() + 3), c.FirstThree);
    for (const std::string& nick : nicks) EXPECT_LE(nick.size(), c.NickLen ? c.NickLen : std::max<std::size_t>(9, c.Wanted.size()));
  }
  EXPECT_EQ(NickLenValue("30"), 30u);
  for (const char* bad : {"", "x", "0", "-1", "99999999999999999999", "12abc"}) EXPECT_EQ(NickLenValue(bad), 0u) << bad;
}

// A ghost of the old session holds the nick: registration goes on under the
// alternate, then a stand-in, without a dialog, and the nick is taken back
// once it is free; the user's own /nick is the user's to answer.
TEST_F(ConnectionTest, ATakenNickFallsBackWhileRegisteringAndIsTakenBack) {
  TConnectionOptions options;
  options.Reconnect = false;
  options.AlternateNicks = {"alt", "abc"};
  SaveConnectionOptions(options);
  Connection().SettingsChanged();
  TConnection::TReconnectLimits limits;
  limits.RegainNickMs = 20;
  Connection().SetReconnectLimits(limits);
  TScriptedServer server;
  Configure(server.Port());
  auto nick = server.ReadLine();
  server.ReadLine();
  server.Send(":srv 433 * abc :Nickname is already in use\r\n");
  auto alt = server.ReadLine();
  server.Send(":srv 433 * alt :Nickname is already in use\r\n");
  auto standIn = server.ReadLine();
  Connection().Connect();
  EXPECT_EQ(Await(nick), "NICK abc\r\n");
  EXPECT_EQ(Await(alt), "NICK alt\r\n");
  EXPECT_EQ(Await(standIn), "NICK abc_\r\n");
  server.Send(":srv 001 abc_ :Welcome\r\n:srv 376 abc_ :End of MOTD\r\n");
  auto mode = server.ReadLine();
  auto ison = server.ReadLine();
  EXPECT_EQ(Await(mode), "MODE abc_\r\n");
  EXPECT_EQ(Await(ison), "ISON abc\r\n");
  const Lines events = Take();
  EXPECT_TRUE(Of(events, "nick rejected").empty());
  EXPECT_TRUE(Of(events, "error").empty());
  EXPECT_EQ(Of(events, "log " + T + U8(u8" ニックネーム")),
            (Lines{"log " + T + U8(u8" ニックネーム abc は使用中です。alt で接続します。"),
                   "log " + T + U8(u8" ニックネーム alt は使用中です。abc_ で接続します。")}));
  EXPECT_EQ(session->Grobal().NickName1, "abc");

  // Still held: asked again. Gone: taken back; a refusal of that is not shown.
  server.Send(":srv 303 abc_ :abc\r\n");
  auto again = server.ReadLine();
  EXPECT_EQ(Await(again), "ISON abc\r\n");
  server.Send(":srv 303 abc_ :\r\n");
  auto take = server.ReadLine();
  EXPECT_EQ(Await(take), "NICK abc\r\n");
  server.Send(":srv 433 abc_ abc :Nickname is already in use\r\n");
  // Left unanswered, this one holds back the next.
  auto third = server.ReadLine();
  EXPECT_EQ(Await(third), "ISON abc\r\n");
  // The holder is seen leaving: taken back at once.
  server.Send(":abc!g@h QUIT :Ping timeout\r\n");
  auto onQuit = server.ReadLine();
  EXPECT_EQ(Await(onQuit), "NICK abc\r\n");
  server.Send(":abc_!me@h NICK :abc\r\n:srv 303 abc :\r\n");
  ASSERT_TRUE(PumpUntil([&] { return Connection().Own.CurrentNick == "abc"; }));
  PumpFor(100);
  EXPECT_TRUE(Of(Take(), "nick rejected").empty());

  // The user's own nick, refused, opens the dialog; nothing is taken back.
  RunTypedLine(Connection(), "/nick bob", nullptr, nullptr);
  auto bob = server.ReadLine();
  EXPECT_EQ(Await(bob), "NICK bob\r\n");
  server.Send(":srv 433 abc bob :Nickname is already in use\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !Of(Take(), "nick rejected").empty(); }));
  EXPECT_TRUE(server.Error().empty()) << server.Error();
}

// The server drops the connection while the user decides about its
// certificate: the answer holds, and a new connection is made with it at
// once, saying why.
TEST_F(ConnectionTest, ATrustAnswerAfterTheServerLeftConnectsAgainWithThePin) {
  const TTlsIdentity identity = MakeSelfSignedIdentity();
  SaveConnectionOptions(TConnectionOptions::With(true, false, false));
  Connection().SettingsChanged();
  TScriptedServer server;
  server.StartTls(identity);
  server.CloseClient();
  Configure(server.Port());
  Connection().Connect();
  ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::AwaitingTrust; }));
  ASSERT_TRUE(server.WaitIdle());
  PumpFor(50);
  server.AcceptNext();
  server.StartTls(identity);
  auto nick = server.ReadLine();
  Take();
  Connection().AnswerTrust(1);
  EXPECT_EQ(Await(nick), "NICK abc\r\n");
  EXPECT_EQ(PinnedFingerprint("127.0.0.1", server.Port()), identity.Fingerprint);
  const Lines events = Take();
  EXPECT_EQ(Of(events, "log "), Lines{"log " + T + U8(u8" サーバー 127.0.0.1 : ") + std::to_string(server.Port()) +
                                      U8(u8" は、証明書の確認を待つ間に接続を切りました。許可した証明書で接続し直します。")});
  EXPECT_TRUE(Of(events, "trust?").empty());
  EXPECT_EQ(State(), TConnectionState::Registering);
  EXPECT_EQ(server.Accepted(), 2);
}

// A listener whose queue is full: the kernel drops further connects, which
// then wait until their time-out.
class TFullListener {
 public:
  TFullListener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listen_, 0);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&address), length);
  }
  ~TFullListener() {
    ::close(filler_);
    ::close(listen_);
  }
  std::uint16_t Port() const { return port_; }

 private:
  int listen_ = -1, filler_ = -1;
  std::uint16_t port_ = 0;
};

// Every way a connect fails is told in Japanese, naming the server, with a
// hint where one helps: in a box and in the status bar, or, for a
// certificate, in the question.
TEST_F(ConnectionTest, EachWayAConnectFailsSaysWhatHappenedNamingTheServer) {
  const std::uint16_t refused = [] {
    TScriptedServer gone;
    return gone.Port();
  }();
  TFullListener full;
  const TTlsIdentity selfSigned = MakeSelfSignedIdentity();
  const TTlsIdentity otherName = MakeSelfSignedIdentity("other.example");
  const TTlsIdentity expired = MakeSelfSignedIdentity("127.0.0.1", true);
  const std::string tlsPort = U8(u8"このポートは SSL/TLS 用かもしれません（IRC では普通、SSL/TLS は 6697、SSL/TLS なしは 6667 です）。");
  const std::string plainPort = U8(u8"このポートは SSL/TLS 用ではないかもしれません（IRC では普通");
  enum TServer { None, Refused, Full, Silent, ClosesTls, AlertTls, Handshakes };
  struct TCase {
    const char* Name;
    TServer Server;
    bool Tls;
    std::string What, Hint;
    const TTlsIdentity* Identity = nullptr;
    bool Trusted = false;  // the identity is in the trusted store
    std::string Host = "127.0.0.1";
  };
  const TCase cases[] = {
      {"refused", Refused, false, U8(u8"サーバーが接続を拒否しました。"), U8(u8"ポート番号が正しいか")},
      {"unknown host", None, false, U8(u8"ホスト名 nohost.invalid が見つかりませんでした。"), U8(u8"つづり"),
       nullptr, false, "nohost.invalid"},
      {"time-out", Full, false, U8(u8"1 秒待ちましたが、サーバーから応答がありませんでした。"), U8(u8"ネットワーク")},
      {"plain to a TLS port that closes", ClosesTls, false, U8(u8"サーバーが何も答えずに接続を切りました。"), tlsPort},
      {"plain to a TLS port that alerts", AlertTls, false,
       U8(u8"サーバーが IRC ではなく SSL/TLS で応答し、接続を切りました。"), tlsPort},
      {"TLS to a silent plain port", Silent, true,
       U8(u8"1 秒待ちましたが、サーバーが SSL/TLS の開始に応答しませんでした。"), plainPort},
      {"self-signed", Handshakes, true, U8(u8"自己署名の証明書です (self-signed certificate)"), "", &selfSigned},
      {"other name", Handshakes, true, U8(u8"証明書のホスト名がサーバー名と一致しません (hostname mismatch)"), "",
       &otherName, true, "localhost"},
      {"expired", Handshakes, true, U8(u8"証明書の有効期限が切れています (certificate has expired)"), "", &expired,
       true},
  };
  Connection().SetConnectLimits({.ConnectMs = 300, .TlsHandshakeMs = 300});
  QTemporaryDir store;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SaveConnectionOptions(TConnectionOptions::With(c.Tls, false, false));
    Connection().SettingsChanged();
    TScriptedServer server;
    if (c.Server == ClosesTls) {
      server.StartTls(selfSigned);
      server.CloseClient();
    } else if (c.Server == AlertTls) {
      server.ReadLine();  // a TLS server answers what it takes for a record
      server.Send(std::string("\x15\x03\x03\x00\x02\x02\x46", 7));
      server.ResetClient();
    } else if (c.Server == Handshakes) {
      server.StartTls(*c.Identity);
    }
    const std::uint16_t port = c.Server == Refused ? refused : c.Server == Full ? full.Port() : server.Port();
    // OpenSSL reads where the trusted certificates are at each connect.
    const QString trusted = store.filePath(QStringLiteral("trusted.pem"));
    if (c.Trusted) {
      WriteIdentityFiles(*c.Identity, store.path().toStdString());
      QFile::remove(trusted);
      QFile::rename(store.filePath(QStringLiteral("cert.pem")), trusted);
      qputenv("SSL_CERT_FILE", trusted.toLocal8Bit());
    }
    Configure(port);
    session->Grobal().ServerName = c.Host;
    Take();
    Connection().Connect();
    const std::string server_ = c.Host + " : " + std::to_string(port);
    if (c.Server == Handshakes) {
      ASSERT_TRUE(PumpUntil([&] { return State() == TConnectionState::AwaitingTrust; }));
      qunsetenv("SSL_CERT_FILE");
      EXPECT_NE(recorder->TrustText.find(server_), std::string::npos) << recorder->TrustText;
      EXPECT_NE(recorder->TrustText.find(U8(u8"理由：") + c.What), std::string::npos) << recorder->TrustText;
      Connection().AnswerTrust(2);
      continue;
    }
    ASSERT_TRUE(PumpUntil([&] { return !Of(recorder->Events, "message").empty() && State() == TConnectionState::Idle; }))
        << testing::PrintToString(recorder->Events);
    const Lines messages = Of(Take(), "message");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("message " + U8(u8"サーバー ") + server_ + U8(u8" に接続できませんでした。") + "\r\n" +
                                    c.What + "\r\n",
                                0),
              0u)
        << messages[0];
    EXPECT_NE(messages[0].find(c.Hint), std::string::npos) << messages[0];
    EXPECT_EQ(Connection().StatusText(), U8(u8"接続できませんでした：") + c.What + U8(u8"　サーバー名：") + server_);
  }
}

}  // namespace

namespace {

TEST_F(ConnectionTest, ANetworkTriesItsServersInTurnThenRunsItsCommandsAndJoinsItsChannels) {
  const std::uint16_t refused = [] {
    TScriptedServer gone;
    return gone.Port();
  }();
  TScriptedServer server;
  TNetwork network{"net", {{"127.0.0.1", refused, false, "one"}, {"127.0.0.1", server.Port(), false, "two"}},
                   "abc", {}, "me", "Taro", "host", TWireEncoding::Jis, false, false, false, {}, {}, {}, {}, {}};
  network.ConnectCommands = {"/msg NickServ IDENTIFY pw", "mode abc +i", "/me waves"};
  network.AutoJoin = {{"#open", ""}, {"#鍵", "k"}, {"#kept", ""}};
  // Enough channels that one JOIN line would pass the server's limit.
  for (int i = 0; i < 40; ++i) network.AutoJoin.push_back({"#channel-number-" + std::to_string(i), ""});
  TConnection& further = session->AddConnection(network);
  further.SetConnectLimits({.ConnectMs = 1000, .TlsHandshakeMs = 1000});
  TEventRecorder events(further);
  further.OpenChannel("#kept", TOpening::Quietly);  // a window kept open is not joined twice

  auto pass = server.ReadLine();
  server.ReadLine();
  server.ReadLine();
  server.Send(":srv 001 abc :Welcome\r\n:srv 376 abc :End of MOTD\r\n");
  std::vector<std::future<std::string>> sent;
  for (int i = 0; i < 5; ++i) sent.push_back(server.ReadLine());
  further.Connect();
  EXPECT_EQ(Await(pass), "PASS two\r\n");
  std::vector<std::string> lines;
  for (auto& line : sent) lines.push_back(Await(line));
  EXPECT_EQ(lines[0], "PRIVMSG NickServ :IDENTIFY pw\r\n");
  EXPECT_EQ(lines[1], "MODE abc +i\r\n");
  // The keyed channel leads the first JOIN, in the network's encoding.
  EXPECT_TRUE(lines[2].starts_with("JOIN " + EncodeWire("#鍵", TWireEncoding::Jis) + ",#open,#channel-number-0,"))
      << lines[2];
  EXPECT_TRUE(lines[2].ends_with(" k\r\n")) << lines[2];
  EXPECT_TRUE(lines[3].starts_with("JOIN #channel-number-")) << lines[3];
  std::string joined = lines[2] + lines[3];
  EXPECT_EQ(joined.find("#kept"), std::string::npos);
  for (const std::string& line : {lines[2], lines[3]}) EXPECT_LE(line.size(), 512u);
  EXPECT_NE(joined.find("#channel-number-39\r\n"), std::string::npos);
  // Said once in the server log: which server failed, and which comes next.
  const Lines log = Of(events.Events, "log");
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.front().find(U8(u8"次のサーバー 127.0.0.1 : ") + std::to_string(server.Port())), std::string::npos)
      << log.front();
  // "/me" needs a channel: the server log says the command did not run.
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& L) { return L.find("/me waves") != std::string::npos; }),
            1);
}

}  // namespace
