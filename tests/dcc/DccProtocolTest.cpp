// Address numbers, the port table, offer lines, acknowledgements and the
// checks on incoming offers.
#include <gtest/gtest.h>

#include <vector>

#include <set>
#include <tuple>

#include "dcc/DccProtocol.h"
#include "kanji/QtText.h"

using namespace tavi;

TEST(DccProtocolTest, AddressNumbersBothWays) {
  EXPECT_EQ(AddressNumberFromDotted("192.168.0.100"), "3232235620");
  EXPECT_EQ(AddressNumberFromDotted("192.168.1.10"), "3232235786");
  EXPECT_EQ(AddressNumberFromDotted("255.255.255.255"), "4294967295");  // never negative
  EXPECT_EQ(AddressNumberFromDotted("0.0.0.0"), "0");
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 ", "-1.2.3.4"})
    EXPECT_EQ(AddressNumberFromDotted(bad), "") << bad;

  EXPECT_EQ(AddressNumberToText("3232235620"), "192.168.0.100");
  EXPECT_EQ(AddressNumberToText("16909060"), "1.2.3.4");
  EXPECT_EQ(AddressNumberToText("0"), "0.0.0.0");
  EXPECT_EQ(AddressNumberToText(""), "0.0.0.0");
  EXPECT_EQ(AddressNumberToText("4294967296"), "256.0.0.0");  // the top part is not reduced
  EXPECT_EQ(AddressNumberToText("12a"), std::nullopt);
  EXPECT_EQ(AddressNumberToText("-1"), std::nullopt);
  // Round trip over a spread of addresses.
  for (std::uint64_t n = 0; n <= 0xFFFFFFFFull; n += 0x01010101ull * 7 + 13) {
    const std::string dotted = *AddressNumberToText(std::to_string(n));
    EXPECT_EQ(AddressNumberFromDotted(dotted), std::to_string(n));
  }
}

TEST(DccProtocolTest, LocalAddressSkipsLoopbackForTheConnectionsOwn) {
  EXPECT_EQ(ChooseLocalAddress({"127.0.1.1", "192.168.0.100", "10.0.0.1"}, "172.16.0.5"), "192.168.0.100");
  EXPECT_EQ(ChooseLocalAddress({"127.0.1.1"}, "172.16.0.5"), "172.16.0.5");
  EXPECT_EQ(ChooseLocalAddress({"127.0.1.1"}, ""), "127.0.1.1");
  EXPECT_EQ(ChooseLocalAddress({}, "10.1.2.3"), "10.1.2.3");
  EXPECT_EQ(ChooseLocalAddress({}, ""), "");
}

TEST(DccProtocolTest, PortTableOrderAndWrapAround) {
  // The runs the table is made of, in order.
  const std::pair<int, int> runs[] = {{1037, 1046}, {1049, 1057}, {1060, 1066}, {1070, 1079},
                                      {1085, 1098}, {1100, 1109}, {1112, 1122}, {1124, 1154},
                                      {1156, 1160}, {1167, 1179}, {1081, 1088}};
  std::vector<int> expected;
  for (auto [from, to] : runs)
    for (int p = from; p <= to; ++p) expected.push_back(p);
  ASSERT_EQ(expected.size(), 128u);

  TDccPortTable table;
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(table.Next(), expected[i]) << "offer " << i + 1;
  EXPECT_EQ(table.Next(), 1037);  // the 129th starts again
  EXPECT_EQ(table.Next(), 1038);
  table.Reset();
  EXPECT_EQ(table.Next(), 1037);
}

TEST(DccProtocolTest, OfferLines) {
  EXPECT_EQ(DccChatOfferLine("alice", "3232235786", 1037), "PRIVMSG alice :\x01" "DCC CHAT chat 3232235786 1037\x01\r\n");
  EXPECT_EQ(DccSendOfferLine("alice", "report.txt", "3232235620", 1037, 2048),
            "PRIVMSG alice :\x01" "DCC SEND report.txt 3232235620 1037 2048\x01\r\n");
  // A name with spaces goes out unchanged.
  EXPECT_EQ(DccSendOfferLine("bob", "my file.txt", "1", 1038, 0), "PRIVMSG bob :\x01" "DCC SEND my file.txt 1 1038 0\x01\r\n");
  EXPECT_EQ(DccSendOfferLine("bob", "big.iso", "1", 1038, 5000000000), "PRIVMSG bob :\x01" "DCC SEND big.iso 1 1038 5000000000\x01\r\n");
  EXPECT_EQ(DccResumeLine("bob", "big.iso", 1038, 4294967300), "PRIVMSG bob :\x01" "DCC RESUME big.iso 1038 4294967300\x01\r\n");
  EXPECT_EQ(DccAcceptLine("bob", "big.iso", "1038", 7), "PRIVMSG bob :\x01" "DCC ACCEPT big.iso 1038 7\x01\r\n");
  EXPECT_EQ(FileNameWithoutFolder("/home/taro/report.txt"), "report.txt");
  EXPECT_EQ(FileNameWithoutFolder("report.txt"), "report.txt");
}

TEST(DccProtocolTest, ProposedNameCannotClimbOut) {
  EXPECT_EQ(SafeProposedFileName("report.txt"), "report.txt");
  EXPECT_EQ(SafeProposedFileName("../../.bashrc"), "bashrc");
  EXPECT_EQ(SafeProposedFileName("/etc/passwd"), "passwd");
  EXPECT_EQ(SafeProposedFileName("C:\\Windows\\win.ini"), "win.ini");
  EXPECT_EQ(SafeProposedFileName(".."), "dccfile");
  EXPECT_EQ(SafeProposedFileName(""), "dccfile");
  EXPECT_EQ(SafeProposedFileName("dir/"), "dccfile");
  EXPECT_EQ(SafeProposedFileName("a\x01" "b"), "ab");
  EXPECT_EQ(SafeProposedFileName(U8(u8"表 😀.txt")), U8(u8"表 😀.txt"));
  EXPECT_EQ(SafeProposedFileName(U8(u8"x\\表.txt")), U8(u8"表.txt"));
  // A stray byte does not hide the "/" after it.
  for (const char* offered : {"..\x81/..\x81/etc/passwd", "\xE3/x", "a\xF0\x9F/\x81\\b"}) {
    const std::string name = SafeProposedFileName(offered);
    EXPECT_EQ(name.find('/'), std::string::npos) << offered;
    EXPECT_FALSE(QText(name).contains(QLatin1Char('/')) || QText(name).contains(QLatin1Char('\\'))) << offered;
    EXPECT_NE(name.rfind("..", 0), 0u) << offered;
  }
}

TEST(DccProtocolTest, AcknowledgementsAreBigEndian) {
  EXPECT_EQ(EncodeAck(1024), std::string("\0\0\x04\0", 4));
  EXPECT_EQ(EncodeAck(0x01020304), "\x01\x02\x03\x04");
  for (std::uint32_t v : {0u, 128u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000001u}) {
    const std::string bytes = EncodeAck(v);
    EXPECT_EQ(DecodeAck(reinterpret_cast<const unsigned char*>(bytes.data())), v);
  }
}

// Acknowledgements of 32 bits read against a sender's 64-bit position.
TEST(DccProtocolTest, AcknowledgementsFollowTheSentBytesAcross4GiB) {
  constexpr std::int64_t G4 = std::int64_t{1} << 32;
  struct TStep {
    std::uint32_t Ack;
    std::int64_t Sent;
    bool Good;
    std::int64_t Acked;  // after the step
  };
  const struct {
    const char* What;
    std::int64_t Start;
    std::vector<TStep> Steps;
  } cases[] = {
      {"in order, repeated", 0, {{128, 1024, true, 128}, {128, 1024, true, 128}, {1024, 1024, true, 1024}}},
      {"past what was sent", 0, {{1025, 1024, false, 0}}},
      {"going back", 0, {{512, 1024, true, 512}, {256, 1024, false, 512}}},
      {"wrapping at 4 GiB", G4 - 100, {{0xFFFFFFF0u, G4 + 50, true, G4 - 16}, {40, G4 + 50, true, G4 + 40}}},
      {"back across the wrap", G4 + 10, {{0xFFFFFFF0u, G4 + 50, false, G4 + 10}}},
      {"resumed", 5000, {{6000, 7000, true, 6000}, {4999, 7000, false, 6000}}},
  };
  for (const auto& c : cases) {
    TAckPosition position(c.Start);
    for (const TStep& step : c.Steps) {
      EXPECT_EQ(position.Take(step.Ack, step.Sent), step.Good) << c.What << " " << step.Ack;
      EXPECT_EQ(position.Acked(), step.Acked) << c.What << " " << step.Ack;
    }
  }
}

TEST(DccProtocolTest, OffersThatCannotWorkAreRefused) {
  EXPECT_EQ(ReadPosition("4294967300"), 4294967300);
  EXPECT_FALSE(ReadPosition("-1"));
  EXPECT_FALSE(ReadPosition(""));
  auto ok = CheckSendOffer("2130706433", "5000", "1024");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->Host, "127.0.0.1");
  EXPECT_EQ(ok->Port, 5000);
  EXPECT_EQ(ok->Size, 1024);
  EXPECT_TRUE(CheckSendOffer("1", "65535", "2147483647"));
  // Files past 4 GiB are offered too.
  EXPECT_EQ(CheckSendOffer("1", "1", "9223372036854775807")->Size, INT64_MAX);
  EXPECT_TRUE(CheckSendOffer("1", "1", "0"));
  for (auto [address, port, size] : {std::tuple{"x", "5000", "1"}, {"1", "0", "1"}, {"1", "65536", "1"},
                                     {"1", "", "1"}, {"", "5000", "1"}, {"1", "5000", ""}, {"1", "5000", "-1"},
                                     {"1", "5000", "9223372036854775808"}, {"4294967296", "5000", "1"},
                                     {"1", "5000", "1e3"}, {"1", " 5000", "1"}})
    EXPECT_FALSE(CheckSendOffer(address, port, size)) << address << " " << port << " " << size;
  EXPECT_TRUE(CheckChatOffer("3232235786", "7000"));
  EXPECT_FALSE(CheckChatOffer("3232235786", "70000"));
}

TEST(DccProtocolTest, UnusableOfferMessageNamesTheOffer) {
  const std::string m = UnusableOfferMessage("bob", "SEND", "a.txt", "x", "5000", "10");
  EXPECT_NE(m.find("bob"), std::string::npos);
  EXPECT_NE(m.find("DCC SEND a.txt x 5000 10"), std::string::npos) << m;
  EXPECT_NE(UnusableOfferMessage("bob", "CHAT", "chat", "1", "0", "").find("DCC CHAT chat 1 0 "), std::string::npos);
}
