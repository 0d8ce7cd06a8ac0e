// The network list: the settings file's server as the first network, the
// others kept in the desktop settings.
#include <gtest/gtest.h>

#include <QFile>

#include "FakePlatform.h"
#include "core/DesktopSettings.h"
#include "core/Networks.h"

using namespace tavi;

namespace {

// Secrets go through the platform.
class NetworksTest : public ::testing::Test {
 protected:
  void SetUp() override { SetPlatform(&platform); }
  void TearDown() override { SetPlatform(nullptr); }
  test::TFakePlatform platform;
};

TEST_F(NetworksTest, FurtherNetworksComeBackAsTheyWereSaved) {
  OpenDesktopSettings()->clear();
  TNetwork jis{"日本のネット", {{"irc.example.jp", 6667, false, ""}, {"irc2.example.jp", 6697, true, "pw"}},
               "taro", {"taro2", "taro_"}, "taro", "山田太郎", "host", TWireEncoding::Jis, true, false, true,
               {{"#日本語", "key"}, {"#open", ""}}, {"/msg NickServ IDENTIFY x", "/mode taro +i"}, {}, {}, {}};
  TNetwork utf8{"libera", {{"irc.libera.chat", 6697, true, ""}}, "taro", {}, "t", "Taro", "h",
                TWireEncoding::Utf8, false, true, false, {}, {}, {}, {}, {}};
  TNetwork sjis = utf8;
  sjis.Name = "sjis";
  sjis.Encoding = TWireEncoding::Sjis;
  SaveFurtherNetworks({jis, utf8, sjis});
  EXPECT_EQ(LoadFurtherNetworks(), (std::vector<TNetwork>{jis, utf8, sjis}));
  // A shorter list leaves nothing of the longer one behind.
  SaveFurtherNetworks({utf8});
  EXPECT_EQ(LoadFurtherNetworks(), std::vector<TNetwork>{utf8});
}

TEST_F(NetworksTest, TheSettingsFilesServerIsTheFirstNetworkAndKeepsItsBytes) {
  TGrobalArea jis{"pw", "taro", "本名", "login", "host", "irc.example.jp", {"irc.example.jp"}, "06667", true, false};
  TGrobalArea sjis = jis;
  sjis.JISChoice = false;
  sjis.SJISChoice = true;
  TGrobalArea both = jis;  // a file with both marks: JIS wins, and the marks stay
  both.SJISChoice = true;
  TGrobalArea utf8 = sjis;
  utf8.SJISChoice = false;
  utf8.UTF8Choice = true;
  for (const TGrobalArea& area : {jis, sjis, both, utf8}) {
    TConnectionOptions options = TConnectionOptions::With(true, false, true);
    options.AlternateNicks = {"taro2"};
    const TNetwork network = NetworkFromSettings(area, options);
    EXPECT_EQ(network.Servers, (std::vector<TServerAddress>{{"irc.example.jp", 6667, true, "pw"}}));
    TGrobalArea back = area;
    TConnectionOptions optionsBack;
    NetworkToSettings(network, back, optionsBack);
    EXPECT_EQ(back, area);
    EXPECT_EQ(optionsBack.AlternateNicks, options.AlternateNicks);
    EXPECT_EQ(optionsBack.Tls, true);
    EXPECT_EQ(optionsBack.Logs, true);

    TNetwork changed = network;
    changed.Encoding = TWireEncoding::Utf8;
    changed.Servers[0].Port = 7000;
    NetworkToSettings(changed, back, optionsBack);
    EXPECT_EQ(NetworkFromSettings(back, optionsBack), changed);
    EXPECT_EQ(back.PortNumber, "7000");

    // What the settings file has no room for waits beside it, and its bytes stay.
    OpenDesktopSettings()->clear();
    TNetwork full = network;
    full.Name = "日本のネット";
    full.Servers.push_back({"irc2.example.jp", 6697, true, "pw2"});
    full.AutoJoin = {{"#鍵", "k"}};
    full.ConnectCommands = {"/msg NickServ IDENTIFY x"};
    full.ConnectAtStart = true;
    TGrobalArea kept = area;
    TConnectionOptions keptOptions = options;
    SaveFirstNetwork(full, kept, keptOptions);
    EXPECT_EQ(kept, area);
    EXPECT_EQ(FirstNetwork(kept, keptOptions, LoadFirstNetworkExtras()), full);
    // Unnamed, the network goes by its server's name.
    full.Name = area.ServerName;
    SaveFirstNetwork(full, kept, keptOptions);
    EXPECT_EQ(LoadFirstNetworkExtras().Name, "");
  }
}

// A SASL password goes to the secret store where one runs, else to the
// desktop settings only the user can read; never to the settings file.
TEST_F(NetworksTest, SaslPasswordsAreKeptApart) {
  TNetwork further{"libera", {{"irc.libera.chat", 6697, true, ""}}, "taro", {}, "t", "Taro", "h",
                   TWireEncoding::Utf8, false, true, false, {}, {}, {TSaslMechanism::Plain, "taro", "s3cret", true},
                   {}, {}};
  TNetwork certified = further;
  certified.Name = "oftc";
  certified.Sasl = {TSaslMechanism::External, "", "", false};
  certified.ClientCertFile = "/home/t/cert.pem";
  certified.ClientKeyFile = "/home/t/key.pem";
  TGrobalArea area{"", "taro", "Taro", "t", "h", "irc.example.jp", {"irc.example.jp"}, "6667", true, false};
  TConnectionOptions options;
  TNetwork first = NetworkFromSettings(area, options);
  first.Sasl = {TSaslMechanism::Plain, "taro", "first-pw", false};
  for (const bool store : {false, true}) {
    SCOPED_TRACE(store ? "with a secret store" : "without one");
    OpenDesktopSettings()->clear();
    platform.HasSecretStore = store;
    platform.Secrets.clear();
    SaveFurtherNetworks({further, certified});
    TGrobalArea kept = area;
    SaveFirstNetwork(first, kept, options);
    EXPECT_EQ(kept, area);
    EXPECT_EQ(LoadFurtherNetworks(), (std::vector<TNetwork>{further, certified}));
    EXPECT_EQ(FirstNetwork(kept, options, LoadFirstNetworkExtras()), first);
    const QString file = OpenDesktopSettings()->fileName();
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    const QByteArray bytes = read.readAll();
    EXPECT_EQ(bytes.contains("s3cret"), !store);
    EXPECT_EQ(bytes.contains("first-pw"), !store);
    EXPECT_EQ(platform.Secrets.size(), store ? 2u : 0u);
    EXPECT_EQ(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
  }
}

}  // namespace
