// DCC through a real IRC server (ngircd): a second client written in the test
// offers a chat and a file to ours and takes the ones ours offers. The offers
// go through the server; the chats and files go over direct connections.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <algorithm>
#include <future>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "MainFormFixture.h"
#include "NgircdServer.h"
#include "QtWait.h"
#include "RawIrcPeer.h"
#include "dcc/DCC.h"
#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "platform/BlockingSocket.h"

using namespace tavi;
using namespace tavi::test;

namespace {

const std::string Loopback = "2130706433";  // 127.0.0.1

// A listening socket of the peer on 127.0.0.1 that accepts one connection
// into a blocking socket.
class TListener {
 public:
  TListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    port_ = ntohs(address.sin_port);
  }
  ~TListener() {
    if (fd_ >= 0) ::close(fd_);
  }
  std::uint16_t Port() const { return port_; }

  // The accepted connection, or nullptr after TimeoutMs.
  std::unique_ptr<TBlockingSocket> Accept(int TimeoutMs) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, TimeoutMs) != 1) return nullptr;
    const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer < 0 ? nullptr : std::make_unique<TBlockingSocket>(peer);
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

std::string RandomBytes(std::size_t Size) {
  std::mt19937 random(static_cast<unsigned>(Size));
  std::string bytes(Size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

bool WriteFile(const std::string& Path, std::string_view Bytes) {
  QFile file(QString::fromStdString(Path));
  return file.open(QIODevice::WriteOnly) && file.write(Bytes.data(), static_cast<qint64>(Bytes.size())) ==
                                                static_cast<qint64>(Bytes.size());
}

// The peer's side of a file it sends from From on: 1024-byte blocks, each
// waited for until the receiver's acknowledgements reach it. True when all
// went over.
bool SendFileAsPeer(TBlockingSocket& Socket, const std::string& Bytes, std::size_t From = 0) {
  std::size_t sent = From;
  std::string acks;
  while (sent < Bytes.size()) {
    const std::size_t block = std::min<std::size_t>(1024, Bytes.size() - sent);
    if (!Socket.WriteAll(std::string_view(Bytes).substr(sent, block))) return false;
    sent += block;
    std::uint32_t ack = 0;
    while (ack != sent) {
      while (acks.size() < 4) {
        if (Socket.WaitForData(5000) != TBlockingSocket::TWait::Data) return false;
        char buffer[64];
        const long n = Socket.Read(buffer, sizeof buffer);
        if (n <= 0) return false;
        acks.append(buffer, static_cast<std::size_t>(n));
      }
      unsigned char four[4];
      std::copy_n(acks.begin(), 4, four);
      acks.erase(0, 4);
      ack = DecodeAck(four);
      if (ack > sent) return false;
    }
  }
  return true;
}

// The peer's side of a file it receives from From on: reads to Size,
// acknowledging each read with the position, as other clients do.
std::string ReceiveFileAsPeer(TBlockingSocket& Socket, std::size_t Size, std::size_t From = 0) {
  std::string got;
  while (From + got.size() < Size) {
    if (Socket.WaitForData(5000) != TBlockingSocket::TWait::Data) break;
    char buffer[4096];
    const long n = Socket.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
    if (!Socket.WriteAll(EncodeAck(static_cast<std::uint32_t>(From + got.size())))) break;
  }
  return got;
}

// The words of a CTCP DCC offer line as the peer received it.
std::vector<std::string> OfferWords(const std::string& Line) {
  const std::size_t from = Line.find("\x01" "DCC ");
  const std::size_t to = Line.rfind('\x01');
  std::vector<std::string> words;
  if (from == std::string::npos || to <= from) return words;
  std::string rest = Line.substr(from + 1, to - from - 1);
  for (std::size_t at; (at = rest.find(' ')) != std::string::npos; rest.erase(0, at + 1)) words.push_back(rest.substr(0, at));
  words.push_back(rest);
  return words;
}

// What the client sends to the peer, waited for while its windows run.
std::string Answer(TRawIrcPeer& Peer, const std::string& Needle) {
  std::string line;
  PumpUntil([&] { return !(line = Peer.WaitFor(Needle, 20)).empty(); }, 8000);
  return line;
}

bool HasLineEndingWith(const std::vector<std::string>& Lines, const std::string& End) {
  return std::any_of(Lines.begin(), Lines.end(), [&](const std::string& L) {
    return L.size() >= End.size() && L.compare(L.size() - End.size(), End.size(), End) == 0;
  });
}

// What the peer reads up to a CR LF; the client's sockets write only while
// its event loop runs.
std::string HeardLine(TBlockingSocket& Link) {
  std::string heard;
  PumpUntil([&] {
    if (Link.WaitForData(0) == TBlockingSocket::TWait::Data) {
      char buffer[256];
      const long n = Link.Read(buffer, sizeof buffer);
      if (n > 0) heard.append(buffer, static_cast<std::size_t>(n));
    }
    return heard.find("\r\n") != std::string::npos;
  });
  return heard;
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class DccEndToEndTest : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    ASSERT_TRUE(files.isValid());
    // The host's own lookup gives only loopback, as on Debian: the offers
    // must carry the server connection's address instead.
    platform.Addresses = {"127.0.1.1"};
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TMainForm& f = MakeForm(false);
    Grobal() = TGrobalArea{"", "tavi", "Taro", "me", "host", TNgircdServer::Host(), {},
                               std::to_string(server.Port())};
    ASSERT_TRUE(ConnectAndWait(f));
    ASSERT_TRUE(PumpUntil([&] { return f.ServerDisConnect->isEnabled(); }, 10000)) << f.StatusText();
    ASSERT_TRUE(peer.Connect(TNgircdServer::Host(), server.Port()));
    ASSERT_TRUE(peer.Register("peer"));
  }
  void TearDown() override {
    form.reset();
    DeleteClosed();
    MainFormFixture::TearDown();
  }

  TDCCForm* Chat() { return qobject_cast<TDCCForm*>(form->FindChildWindow("peer")); }
  std::string FilePath(const char* Name) const { return files.filePath(QString::fromLatin1(Name)).toStdString(); }

  QTemporaryDir files;
  TNgircdServer server;
  TRawIrcPeer peer;
};

}  // namespace

TEST_F(DccEndToEndTest, ChatsBothWays) {
  // The peer offers; the user agrees; the chat connects and talks.
  {
    TListener listener;
    ASSERT_NE(listener.Port(), 0);
    platform.YesNoAnswers = {true};
    peer.Send("PRIVMSG tavi :\x01" "DCC CHAT chat " + Loopback + " " + std::to_string(listener.Port()) + "\x01\r\n");
    ASSERT_TRUE(PumpUntil([&] { return Chat() != nullptr; }));
    TDCCForm* chat = Chat();
    ASSERT_EQ(platform.Questions.size(), 1u);
    auto accepted = std::async(std::launch::async, [&] { return listener.Accept(5000); });
    ASSERT_TRUE(PumpUntil([&] { return accepted.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    std::unique_ptr<TBlockingSocket> link = accepted.get();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return HasLineEndingWith(chat->RecvLines(), U8(u8"]  に接続しました。")); }));

    link->WriteAll("\x1B$B$3$s$K$A$O\x1B(B\r\n");  // JIS, as most clients send
    ASSERT_TRUE(PumpUntil([&] { return HasLineEndingWith(chat->RecvLines(), "[peer] " + U8(u8"こんにちは")); }));
    chat->SendEdit->setText(QStringLiteral("hi back"));
    chat->SendEditKeyDown(TDCCForm::EnterKey);
    EXPECT_EQ(HeardLine(*link), "hi back\r\n");
    link->Close();
    ASSERT_TRUE(PumpUntil([&] { return HasLineEndingWith(chat->RecvLines(), U8(u8"] からの接続が切断されました。")); }));
    chat->close();
    DeleteClosed();
  }

  // Ours offers; the offer names an address the peer can reach.
  OpenDccChat(*form, Connection(), "peer", "", "7000", "SERVER");
  const std::vector<std::string> offer = OfferWords(Answer(peer, "DCC CHAT"));
  ASSERT_EQ(offer.size(), 5u);
  EXPECT_EQ(offer[2], "chat");
  EXPECT_EQ(offer[3], Loopback);
  const std::optional<std::string> host = AddressNumberToText(offer[3]);
  ASSERT_TRUE(host.has_value());
  TBlockingSocket link;
  ASSERT_TRUE(link.Connect(*host, static_cast<std::uint16_t>(std::stoi(offer[4])), 5000));
  TDCCForm* chat = Chat();
  ASSERT_NE(chat, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !chat->ServerConnections.empty(); }));
  link.WriteAll("from the peer\r\n");
  ASSERT_TRUE(PumpUntil([&] { return HasLineEndingWith(chat->RecvLines(), "[peer] from the peer"); }));
  EXPECT_TRUE(chat->SendChatText("to the peer\r\n"));
  EXPECT_EQ(HeardLine(link), "to the peer\r\n");
}

TEST_F(DccEndToEndTest, TheClientReceivesAFileThePeerOffers) {
  const std::string data = RandomBytes(300 * 1024 + 5);
  TListener listener;
  ASSERT_NE(listener.Port(), 0);
  auto sender = std::async(std::launch::async, [&] {
    std::unique_ptr<TBlockingSocket> link = listener.Accept(8000);
    return link && SendFileAsPeer(*link, data);
  });
  const std::string saved = FilePath("saved.bin");
  platform.YesNoAnswers = {true};
  platform.SaveFileAnswers = {saved};
  peer.Send("PRIVMSG tavi :\x01" "DCC SEND photo.bin " + Loopback + " " + std::to_string(listener.Port()) + " " +
            std::to_string(data.size()) + "\x01\r\n");
  ASSERT_TRUE(PumpUntil([&] { return !platform.Messages.empty(); }, 15000));
  EXPECT_TRUE(sender.get());
  ASSERT_EQ(platform.Questions.size(), 1u);
  EXPECT_NE(platform.Questions[0].find("photo.bin"), std::string::npos);
  ASSERT_EQ(platform.SaveProposals, std::vector<std::string>{"photo.bin"});
  EXPECT_NE(platform.Messages[0].find(U8(u8"を保存しました。")), std::string::npos) << platform.Messages[0];
  QFile file(QString::fromStdString(saved));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().toStdString() == data);
}

TEST_F(DccEndToEndTest, ThePeerReceivesAFileTheClientOffers) {
  const std::string data = RandomBytes(200 * 1024 + 77);
  const std::string path = FilePath("offered.dat");
  ASSERT_TRUE(WriteFile(path, data));
  platform.OpenFileAnswers = {path};
  SendDccFile(form.get(), Connection(), "peer");
  const std::vector<std::string> offer = OfferWords(Answer(peer, "DCC SEND"));
  ASSERT_EQ(offer.size(), 6u);
  EXPECT_EQ(offer[2], "offered.dat");
  EXPECT_EQ(offer[3], Loopback);
  EXPECT_EQ(offer[5], std::to_string(data.size()));
  TDccTransFileForm* transfer = TDccTransFileForm::OwnedBy(form.get());
  ASSERT_NE(transfer, nullptr);

  auto receiver = std::async(std::launch::async, [&] {
    TBlockingSocket link;
    if (!link.Connect(*AddressNumberToText(offer[3]), static_cast<std::uint16_t>(std::stoi(offer[4])), 5000))
      return std::string("<no connection>");
    return ReceiveFileAsPeer(link, data.size());
  });
  const std::string done = U8(u8"ファイルの転送が完了しました。");
  ASSERT_TRUE(PumpUntil([&] { return transfer->Caption() == done; }, 15000)) << transfer->Caption();
  EXPECT_TRUE(receiver.get() == data);
  EXPECT_EQ(transfer->ProgressBar->value(), static_cast<int>(data.size()));
}

// A file half received before is resumed both ways: the peer goes on from
// our part file, and ours goes on from where the peer's copy ends.
TEST_F(DccEndToEndTest, HalfSentFilesAreResumedBothWays) {
  const std::string data = RandomBytes(256 * 1024 + 9);
  const std::size_t half = 100 * 1024 + 3;
  {
    const std::string saved = FilePath("resumed.bin");
    ASSERT_TRUE(WriteFile(saved + ".part", std::string_view(data).substr(0, half)));
    TListener listener;
    const std::string port = std::to_string(listener.Port());
    platform.YesNoAnswers = {true, true};  // take it, and go on from the part
    platform.SaveFileAnswers = {saved};
    peer.Send("PRIVMSG tavi :\x01" "DCC SEND resumed.bin " + Loopback + " " + port + " " +
              std::to_string(data.size()) + "\x01\r\n");
    const std::vector<std::string> resume = OfferWords(Answer(peer, "DCC RESUME"));
    ASSERT_EQ(resume, (std::vector<std::string>{"DCC", "RESUME", "resumed.bin", port, std::to_string(half)}));
    auto sender = std::async(std::launch::async, [&] {
      std::unique_ptr<TBlockingSocket> link = listener.Accept(8000);
      return link && SendFileAsPeer(*link, data, half);
    });
    peer.Send("PRIVMSG tavi :\x01" "DCC ACCEPT resumed.bin " + port + " " + std::to_string(half) + "\x01\r\n");
    ASSERT_TRUE(PumpUntil([&] { return !platform.Messages.empty(); }, 15000));
    EXPECT_TRUE(sender.get());
    EXPECT_NE(platform.Messages[0].find(U8(u8"を保存しました。")), std::string::npos) << platform.Messages[0];
    QFile file(QString::fromStdString(saved));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().toStdString() == data);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(saved + ".part")));
    ASSERT_TRUE(PumpUntil([&] { return TDccTransFileForm::OwnedBy(form.get()) == nullptr; }));
    DeleteClosed();
  }

  const std::string path = FilePath("offered.dat");
  ASSERT_TRUE(WriteFile(path, data));
  platform.OpenFileAnswers = {path};
  SendDccFile(form.get(), Connection(), "peer");
  const std::vector<std::string> offer = OfferWords(Answer(peer, "DCC SEND"));
  ASSERT_EQ(offer.size(), 6u);
  TDccTransFileForm* transfer = TDccTransFileForm::OwnedBy(form.get());
  ASSERT_NE(transfer, nullptr);
  peer.Send("PRIVMSG tavi :\x01" "DCC RESUME offered.dat " + offer[4] + " " + std::to_string(half) + "\x01\r\n");
  EXPECT_EQ(OfferWords(Answer(peer, "DCC ACCEPT")),
            (std::vector<std::string>{"DCC", "ACCEPT", "offered.dat", offer[4], std::to_string(half)}));
  auto receiver = std::async(std::launch::async, [&] {
    TBlockingSocket link;
    if (!link.Connect(*AddressNumberToText(offer[3]), static_cast<std::uint16_t>(std::stoi(offer[4])), 5000))
      return std::string("<no connection>");
    return ReceiveFileAsPeer(link, data.size(), half);
  });
  const std::string done = U8(u8"ファイルの転送が完了しました。");
  ASSERT_TRUE(PumpUntil([&] { return transfer->Caption() == done; }, 15000)) << transfer->Caption();
  EXPECT_TRUE(receiver.get() == data.substr(half));
}
