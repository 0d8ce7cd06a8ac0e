// The command dialogs and the query result windows against a real IRC server
// (ngircd), with a second client written in the test. The client talks to
// the server through a relay that keeps what the client sends, so that the
// lines the dialogs make can be checked as they went out.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

#include "MainFormFixture.h"
#include "NgircdServer.h"
#include "QtWait.h"
#include "RawIrcPeer.h"
#include "conversation/Channel.h"
#include "conversation/ChannelMode.h"
#include "conversation/Chat.h"
#include "conversation/Colors.h"
#include "conversation/Talk.h"
#include "dialogs/AwayCmd.h"
#include "dialogs/PassiveInviteCmd.h"
#include "dialogs/WhoIsWasCmd.h"
#include "conversation/ListNamesWho.h"
#include "conversation/ServerErrorUnit.h"
#include "conversation/WhoIsReply.h"

using namespace tavi;
using namespace tavi::test;

namespace {

using Lines = std::vector<std::string>;

// Passes one connection through to the server on 127.0.0.1 and keeps every
// byte the client sent.
class TRecordingRelay {
 public:
  TRecordingRelay() = default;
  TRecordingRelay(const TRecordingRelay&) = delete;
  TRecordingRelay& operator=(const TRecordingRelay&) = delete;
  ~TRecordingRelay() { Stop(); }

  bool Start(std::uint16_t UpstreamPort) {
    upstream_ = UpstreamPort;
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0 || ::pipe2(stop_, O_CLOEXEC) != 0) return false;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listen_, 1) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return false;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
    return true;
  }

  void Stop() {
    if (thread_.joinable()) {
      const char wake = 0;
      if (::write(stop_[1], &wake, 1) < 0) {
        // The thread ends with the test process then.
      }
      thread_.join();
    }
    for (int* fd : {&listen_, &stop_[0], &stop_[1]})
      if (*fd >= 0) {
        ::close(*fd);
        *fd = -1;
      }
  }

  std::uint16_t Port() const { return port_; }

  // The whole lines the client sent so far, each with its CR LF.
  Lines SentLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Lines lines;
    for (std::size_t from = 0, at; (at = sent_.find("\r\n", from)) != std::string::npos; from = at + 2)
      lines.push_back(sent_.substr(from, at + 2 - from));
    return lines;
  }

 private:
  static sockaddr_in Loopback(std::uint16_t Port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(Port);
    return address;
  }

  static bool WriteAll(int Fd, const char* Data, std::size_t Size) {
    while (Size > 0) {
      const ssize_t n = ::send(Fd, Data, Size, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      Data += n;
      Size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  void Run() {
    pollfd waiting[2] = {{listen_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (::poll(waiting, 2, 30000) <= 0 || waiting[1].revents) return;
    const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(upstream_);
    if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(client);
      if (server >= 0) ::close(server);
      return;
    }
    pollfd ends[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    char buffer[4096];
    for (bool open = true; open;) {
      if (::poll(ends, 3, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (ends[2].revents) break;
      for (int side = 0; side < 2 && open; ++side) {
        if (!(ends[side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::read(ends[side].fd, buffer, sizeof buffer);
        if (n <= 0) {
          open = false;
          break;
        }
        if (side == 0) {
          std::lock_guard<std::mutex> lock(mutex_);
          sent_.append(buffer, static_cast<std::size_t>(n));
        }
        open = WriteAll(ends[1 - side].fd, buffer, static_cast<std::size_t>(n));
      }
    }
    ::close(client);
    ::close(server);
  }

  std::uint16_t upstream_ = 0;
  std::uint16_t port_ = 0;
  int listen_ = -1;
  int stop_[2] = {-1, -1};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string sent_;
};

// The first visible window of class T in the main window's tree.
template <class T>
T* Visible(QObject* Root) {
  for (T* window : Root->findChildren<T*>())
    if (window->isVisible()) return window;
  return nullptr;
}

std::string Text(const QLabel* Label) { return StdText(Label->text()); }

// As typed by the user, so that the edit's textEdited fires too.
void Type(QLineEdit* Edit, const QString& Text) {
  Edit->selectAll();
  Edit->del();
  Edit->insert(Text);
}

// The whitespace-separated fields of a protocol line, the CR LF dropped.
Lines Fields(std::string Line) {
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.pop_back();
  Lines fields;
  for (std::size_t from = 0; from < Line.size();) {
    const std::size_t end = std::min(Line.find(' ', from), Line.size());
    if (end > from) fields.push_back(Line.substr(from, end - from));
    from = end + 1;
  }
  return fields;
}

// What follows the first " :" of a protocol line, without its CR LF.
std::string Trailing(const std::string& Line) {
  const std::size_t at = Line.find(" :");
  if (at == std::string::npos) return {};
  std::string text = Line.substr(at + 2);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

class DialogsEndToEndTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    ASSERT_TRUE(relay.Start(server.Port()));
  }

  // Connects the client as "tavi" through the relay.
  void Connect() {
    TMainForm& f = MakeForm(false);
    Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {},
                               std::to_string(relay.Port())};
    ASSERT_TRUE(ConnectAndWait(f));
  }
  void ConnectAndRegister() {
    Connect();
    ASSERT_TRUE(PumpUntil([&] { return form->ServerDisConnect->isEnabled(); }, 10000)) << form->StatusText();
  }

  void StartPeer(const std::string& Nick = "peer") {
    ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
    ASSERT_TRUE(peer.Register(Nick));
  }

  // A line the peer receives while the client's window runs.
  std::string PeerWaits(const std::string& Needle, int TimeoutMs = 8000) {
    std::string line;
    PumpUntil([&] { return !(line = peer.WaitFor(Needle, 20)).empty(); }, TimeoutMs);
    return line;
  }

  // Waits until the client has sent Count lines after the first From.
  Lines SentAfter(std::size_t From, std::size_t Count) {
    PumpUntil([&] { return relay.SentLines().size() >= From + Count; }, 8000);
    const Lines all = relay.SentLines();
    return Lines(all.begin() + static_cast<long>(std::min(From, all.size())), all.end());
  }

  TChatForm* Channel(const std::string& Name) { return qobject_cast<TChatForm*>(form->FindChildWindow(Name)); }

  // Joins through the join dialog and waits for the server's names.
  TChatForm* JoinThroughDialog(const std::string& Name) {
    form->JoinClick();
    auto* join = Visible<TChannelForm>(form.get());
    if (!join) return nullptr;
    join->ChannelComboBox->setCurrentText(QText(Name));
    join->OKButtonClick();
    if (!PumpUntil([&] { return Channel(Name) && Channel(Name)->Channel()->Joined && Channel(Name)->FindNick("@tavi") >= 0; }))
      return nullptr;
    return Channel(Name);
  }

  TNgircdServer server;
  TRecordingRelay relay;  // declared after the server: it goes first
  TRawIrcPeer peer;
};

}  // namespace

TEST_F(DialogsEndToEndTest, WhoisThroughTheDialogShowsThePeer) {
  ConnectAndRegister();
  StartPeer();
  peer.Send("JOIN #whois\r\n");
  ASSERT_FALSE(peer.WaitFor(" 366 ").empty());
  // What the server says of the peer, as the peer itself hears it.
  peer.Send("WHOIS peer\r\n");
  const Lines user = Fields(peer.WaitFor(" 311 "));
  const std::string serverLine = peer.WaitFor(" 312 ");
  ASSERT_GE(user.size(), 6u);
  ASSERT_FALSE(serverLine.empty());

  form->WhoIsCmd->trigger();
  auto* dialog = Visible<TWhoIsWasCmdForm>(form.get());
  ASSERT_NE(dialog, nullptr);
  QPointer<TWhoIsWasCmdForm> kept = dialog;
  const std::size_t mark = relay.SentLines().size();
  dialog->NickNameEdit->setText(QStringLiteral("peer"));
  dialog->OKButton->click();
  EXPECT_TRUE(kept.isNull() || kept->IsClosed());
  EXPECT_EQ(SentAfter(mark, 1), Lines{"WHOIS peer\r\n"});

  TWhoIsReplyForm* reply = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (reply = Visible<TWhoIsReplyForm>(form.get())) != nullptr; }));
  EXPECT_EQ(Text(reply->NickNameLabel), "peer");
  EXPECT_EQ(Text(reply->LoginNameLabel), user[4]);
  EXPECT_EQ(Text(reply->HostNameLabel), user[5]);
  EXPECT_EQ(Text(reply->RealNameLabel), "Raw Peer");
  EXPECT_EQ(Text(reply->ServerNameLabel), std::string(TNgircdServer::ServerName()) + " " + Trailing(serverLine));
  EXPECT_EQ(Text(reply->ChannelNameLabel), "@#whois");
  EXPECT_FALSE(Text(reply->IdleTimeLabel).empty());
  EXPECT_TRUE(Text(reply->IRCOperatorLabel).empty());
  EXPECT_EQ(TWhoIsReplyForm::LabelColor(reply->NickNameLabel), clBlue);
  EXPECT_EQ(Visible<TServerErrorForm>(form.get()), nullptr);
}

TEST_F(DialogsEndToEndTest, WhoisOfAnUnknownNickOpensAServerErrorWindow) {
  ConnectAndRegister();
  form->WhoIsCmdClick();
  auto* dialog = Visible<TWhoIsWasCmdForm>(form.get());
  ASSERT_NE(dialog, nullptr);
  dialog->NickNameEdit->setText(QStringLiteral("nobody"));
  dialog->OKButton->click();

  TServerErrorForm* error = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (error = Visible<TServerErrorForm>(form.get())) != nullptr; }));
  EXPECT_EQ(error->ErrorText(), U8(u8"エラーコード：  ") + "401\r\nnobody :No such nick or channel name\r\n");
  // The 318 that follows has nothing to show.
  PumpFor(300);
  EXPECT_EQ(Visible<TWhoIsReplyForm>(form.get()), nullptr);
  EXPECT_EQ(form->findChildren<TServerErrorForm*>().size(), 1u);
  error->OKButton->click();
  EXPECT_FALSE(error->isVisible());
}

TEST_F(DialogsEndToEndTest, ListAndNamesShowThePeersChannel) {
  ConnectAndRegister();
  StartPeer();
  peer.Send("JOIN #listed\r\nTOPIC #listed :the peer's room\r\n");
  ASSERT_FALSE(peer.WaitFor(" TOPIC #listed").empty());

  form->ListCmd->trigger();
  TListNamesWhoForm* list = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (list = Visible<TListNamesWhoForm>(form.get())) != nullptr; }));
  EXPECT_EQ(list->Caption(), U8(u8"チャンネル名のリスト"));
  const Lines listed = list->Lines();
  const auto entry = std::find(listed.begin(), listed.end(), U8(u8"チャンネル名： ") + "#listed");
  ASSERT_NE(entry, listed.end());
  ASSERT_GE(listed.end() - entry, 3);
  EXPECT_EQ(entry[1], "        " + U8(u8"人数； ") + "       1");
  EXPECT_EQ(entry[2], "        " + U8(u8"トピック： ") + "the peer's room");
  // ngircd's own &SERVER channel is left out.
  for (const std::string& line : listed) EXPECT_EQ(line.find("&SERVER"), std::string::npos) << line;
  list->CloseButtonClick();
  EXPECT_FALSE(list->isVisible());

  form->NamesCmd->trigger();
  TListNamesWhoForm* names = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (names = Visible<TListNamesWhoForm>(form.get())) != nullptr; }));
  EXPECT_EQ(names->Caption(), U8(u8"ニックネームのリスト"));
  const Lines members = names->Lines();
  const auto heading = std::find(members.begin(), members.end(), U8(u8"チャンネル名： ") + "#listed");
  ASSERT_NE(heading, members.end());
  ASSERT_GE(members.end() - heading, 2);
  EXPECT_EQ(heading[1], "        @peer");
  // Nothing of the channel list is left in the window.
  for (const std::string& line : members) EXPECT_EQ(line.find(U8(u8"トピック")), std::string::npos) << line;
  EXPECT_FALSE(Own().NamesRequested);
}

TEST_F(DialogsEndToEndTest, TopicDialogChangesAndClearsTheTopic) {
  ConnectAndRegister();
  TChatForm* chat = JoinThroughDialog("#topic");
  ASSERT_NE(chat, nullptr);
  StartPeer();
  peer.Send("JOIN #topic\r\n");
  ASSERT_TRUE(PumpUntil([&] { return chat->FindNick("peer") >= 0; }));

  chat->Topic1Click();
  TAwayCmdForm* dialog = form->AwayDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->EditText(), "");
  std::size_t mark = relay.SentLines().size();
  dialog->AwayMessageEdit->setText(QStringLiteral("  Tea at five  "));
  dialog->OKButton->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(SentAfter(mark, 1), Lines{"TOPIC #topic :Tea at five\r\n"});
  EXPECT_NE(PeerWaits(" TOPIC #topic :").find(" TOPIC #topic :Tea at five"), std::string::npos);
  // The window takes the topic from the server's echo.
  ASSERT_TRUE(PumpUntil([&] { return chat->Channel()->Topic == "Tea at five"; }));

  // A topic set by the peer is what the dialog proposes next.
  peer.Send("TOPIC #topic :Peer's choice\r\n");
  ASSERT_TRUE(PumpUntil([&] { return chat->Channel()->Topic == "Peer's choice"; }));
  chat->Topic1Click();
  EXPECT_EQ(dialog->EditText(), "Peer's choice");
  mark = relay.SentLines().size();
  dialog->CancelButton->click();
  EXPECT_EQ(SentAfter(mark, 1), Lines{"TOPIC #topic :\r\n"});
  ASSERT_TRUE(PumpUntil([&] { return chat->Channel()->Topic.empty(); }));
  peer.Send("TOPIC #topic\r\n");
  EXPECT_FALSE(PeerWaits(" 331 peer #topic").empty());
}

TEST_F(DialogsEndToEndTest, ChannelModeDialogSetsAndRemovesModes) {
  ConnectAndRegister();
  TChatForm* chat = JoinThroughDialog("#modes");
  ASSERT_NE(chat, nullptr);
  StartPeer();
  peer.Send("JOIN #modes\r\n");
  ASSERT_TRUE(PumpUntil([&] { return chat->FindNick("peer") >= 0; }));

  chat->ChannelModeMenuClick();
  auto* dialog = Visible<TChannelModeForm>(form.get());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->TargetChannel, "#modes");
  EXPECT_FALSE(dialog->TopicCheckBox->isChecked());
  std::size_t mark = relay.SentLines().size();
  dialog->TopicCheckBox->click();
  dialog->LimitCheckBox->click();
  Type(dialog->LimitEdit, QStringLiteral("10"));
  dialog->KeyWordCheckBox->click();
  Type(dialog->KeyWordEdit, QStringLiteral("secret"));
  dialog->OKButton->click();
  EXPECT_EQ(SentAfter(mark, 2), (Lines{"MODE #modes +t+l+k 10 secret\r\n", "MODE #modes\r\n"}));

  // The server's echo reaches the peer and sets the window's state.
  const std::string echo = PeerWaits(" MODE #modes ");
  EXPECT_NE(echo.find(" MODE #modes +tlk 10 secret"), std::string::npos) << echo;
  ASSERT_TRUE(PumpUntil([&] { return chat->Channel()->TopicMode && chat->Channel()->LimitMode && chat->Channel()->KeyWordMode; }));
  EXPECT_EQ(chat->Channel()->LimitNumber, 10);
  EXPECT_EQ(chat->Channel()->KeyWord, "secret");
  EXPECT_FALSE(chat->Channel()->InviteMode);
  EXPECT_TRUE(platform.Messages.empty());

  // A new dialog shows what the server set; removing the limit and key.
  chat->ChannelModeMenuClick();
  dialog = Visible<TChannelModeForm>(form.get());
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->TopicCheckBox->isChecked());
  EXPECT_TRUE(dialog->LimitCheckBox->isChecked());
  EXPECT_EQ(dialog->LimitEdit->text(), QStringLiteral("10"));
  EXPECT_TRUE(dialog->KeyWordCheckBox->isChecked());
  EXPECT_EQ(dialog->KeyWordEdit->text(), QStringLiteral("secret"));
  mark = relay.SentLines().size();
  dialog->LimitCheckBox->click();
  dialog->KeyWordCheckBox->click();
  dialog->OKButton->click();
  EXPECT_EQ(SentAfter(mark, 2), (Lines{"MODE #modes -l-k  secret\r\n", "MODE #modes\r\n"}));
  EXPECT_FALSE(PeerWaits(" MODE #modes -lk").empty());
  ASSERT_TRUE(PumpUntil([&] { return !chat->Channel()->LimitMode && !chat->Channel()->KeyWordMode; }));
  EXPECT_EQ(chat->Channel()->LimitNumber, 0);
  EXPECT_EQ(chat->Channel()->KeyWord, "");
  EXPECT_TRUE(chat->Channel()->TopicMode);

  // The server's own view agrees.
  peer.Send("MODE #modes\r\n");
  const Lines modes = Fields(PeerWaits(" 324 peer #modes"));
  ASSERT_GE(modes.size(), 5u);
  EXPECT_EQ(modes[4], "+t");
}

TEST_F(DialogsEndToEndTest, InvitationPromptJoinsTheChannel) {
  ConnectAndRegister();
  StartPeer();
  peer.Send("JOIN #invited\r\nMODE #invited +i\r\n");
  ASSERT_FALSE(peer.WaitFor(" MODE #invited +i").empty());
  peer.Send("INVITE tavi #invited\r\n");
  ASSERT_FALSE(peer.WaitFor(" 341 ").empty());

  TPassiveInviteCmdForm* prompt = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (prompt = Visible<TPassiveInviteCmdForm>(form.get())) != nullptr; }));
  EXPECT_EQ(prompt->InviterNick, "peer");
  EXPECT_EQ(prompt->InviteChannel, "#invited");
  EXPECT_EQ(Text(prompt->Label1), "peer" + U8(u8" から"));
  EXPECT_EQ(Text(prompt->Label2), U8(u8"チャンネル ") + "#invited" + U8(u8" へ"));
  EXPECT_EQ(Text(prompt->Label3), U8(u8"招待を受けました。"));
  EXPECT_EQ(form->FindChildWindow("#invited"), nullptr);

  QPointer<TPassiveInviteCmdForm> kept = prompt;
  prompt->JoinButton->click();
  EXPECT_TRUE(kept.isNull() || kept->IsClosed());
  auto* join = Visible<TChannelForm>(form.get());
  ASSERT_NE(join, nullptr);
  EXPECT_EQ(StdText(join->ChannelComboBox->currentText()), "#invited");
  const std::size_t mark = relay.SentLines().size();
  join->OKButton->click();
  const Lines sent = SentAfter(mark, 1);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front(), "JOIN #invited \r\n");

  // The invitation lets us past +i: the peer sees the JOIN and the window
  // lists both members.
  const std::string joined = PeerWaits(" JOIN ");
  EXPECT_EQ(joined.rfind(":tavi!", 0), 0u) << joined;
  EXPECT_NE(joined.find("#invited"), std::string::npos) << joined;
  ASSERT_TRUE(PumpUntil([&] { return Channel("#invited") && Channel("#invited")->Channel()->Joined; }));
  TChatForm* chat = Channel("#invited");
  ASSERT_TRUE(PumpUntil([&] { return chat->FindNick("@peer") >= 0 && chat->FindNick("tavi") >= 0; }));
  EXPECT_EQ(Visible<TServerErrorForm>(form.get()), nullptr);
}

// Registering, a taken nick is followed by a stand-in without a word; the
// nick the user asks for later is the user's to answer in the nick dialog.
TEST_F(DialogsEndToEndTest, ATakenNickRegistersAsAStandInAndTheUsersRefusedNickOpensTheDialog) {
  StartPeer("tavi");
  Connect();
  ASSERT_TRUE(PumpUntil([&] { return form->ServerDisConnect->isEnabled(); }, 10000)) << form->StatusText();
  EXPECT_EQ(Own().CurrentNick, "tavi_");
  EXPECT_FALSE(form->AwayDialog()->isVisible());
  EXPECT_EQ(Visible<TServerErrorForm>(form.get()), nullptr);

  form->NickCmd->trigger();
  TAwayCmdForm* dialog = form->AwayDialog();
  dialog->AwayMessageEdit->setText(QStringLiteral("tavi"));
  dialog->OKButton->click();
  TServerErrorForm* error = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (error = Visible<TServerErrorForm>(form.get())) != nullptr; }));
  EXPECT_EQ(error->ErrorText(), U8(u8"エラーコード：  ") + "433\r\ntavi :Nickname already in use\r\n");
  ASSERT_TRUE(PumpUntil([&] { return dialog->isVisible(); }));
  EXPECT_EQ(dialog->CommandKind, "Nick");
  EXPECT_EQ(dialog->LabelText(), U8(u8"現在のニックネーム：") + "tavi_");

  const std::size_t mark = relay.SentLines().size();
  dialog->AwayMessageEdit->setText(QStringLiteral(" taviTaro99 "));
  dialog->OKButton->click();
  EXPECT_FALSE(dialog->isVisible());
  const Lines sent = SentAfter(mark, 1);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front(), "NICK taviTaro\r\n");  // cut to eight bytes
  ASSERT_TRUE(PumpUntil([&] { return Own().CurrentNick == "taviTaro"; }, 10000));
  EXPECT_EQ(Grobal().NickName1, "taviTaro");

  // The server knows the new nick: the peer can look it up and talk to it.
  peer.Send("WHOIS taviTaro\r\n");
  const std::string user = PeerWaits(" 311 tavi taviTaro ");
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(Trailing(user), "Taro");  // the real name the client registered with
  peer.Send("PRIVMSG taviTaro :welcome aboard\r\n");
  ASSERT_TRUE(PumpUntil([&] { return form->FindChildWindow("tavi") != nullptr; }));
  auto* talk = qobject_cast<TTalkForm*>(form->FindChildWindow("tavi"));
  ASSERT_NE(talk, nullptr);
  ASSERT_TRUE(PumpUntil([&] {
    const Lines recv = talk->RecvLines();
    return std::find(recv.begin(), recv.end(), "09:05 [tavi] welcome aboard") != recv.end();
  }));
}
