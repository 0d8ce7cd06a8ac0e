#include "settings/SettingsFile.h"
#include "settings/SettingsPlace.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>

namespace tavi {
namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> List) {
  std::string Out;
  for (int B : List) Out += static_cast<char>(B);
  return Out;
}

std::string Hex(std::string_view Text) {
  std::string Out;
  for (size_t I = 0; I + 1 < Text.size(); ++I) {
    if (Text[I] == ' ') continue;
    Out += static_cast<char>(std::stoi(std::string(Text.substr(I, 2)), nullptr, 16));
    ++I;
  }
  return Out;
}

std::string Short(std::string_view S) { return static_cast<char>(S.size()) + std::string(S); }

std::string U32(uint32_t V) { return Bytes({int(V & 0xFF), int(V >> 8 & 0xFF), int(V >> 16 & 0xFF), int(V >> 24)}); }

// A resource header in front of a hand-made object stream.
std::string WithHeader(const std::string& Stream) {
  return Bytes({0xFF, 10, 0}) + "TDATAMODULE" + Bytes({0, 0x30, 0x10}) + U32(Stream.size()) + Stream;
}
constexpr size_t HeaderSize = 21;

// Inserts Extra at the first occurrence of After's end, keeping the stream length right.
std::string Splice(const std::string& File, const std::string& After, const std::string& Extra) {
  size_t At = File.find(After);
  EXPECT_NE(At, std::string::npos) << After;
  return WithHeader(File.substr(HeaderSize, At + After.size() - HeaderSize) + Extra +
                    File.substr(At + After.size()));
}

std::string Patch(std::string File, const std::string& From, const std::string& To) {
  size_t At = File.find(From);
  EXPECT_NE(At, std::string::npos) << From;
  return File.replace(At, From.size(), To);
}

const std::string FirstRunFile = Hex(
    "FF 0A 00 54 44 41 54 41 4D 4F 44 55 4C 45 00 30 10 6E 00 00 00"
    "54 50 46 30"
    "0B 54 44 61 74 61 4D 6F 64 75 6C 65 00"
    "0E 4F 6C 64 43 72 65 61 74 65 4F 72 64 65 72 08"
    "06 48 65 69 67 68 74 02 00 05 57 69 64 74 68 02 00 00"
    "0B 54 47 72 6F 62 61 6C 41 72 65 61 00"
    "09 4A 49 53 43 68 6F 69 63 65 08 0A 53 4A 49 53 43 68 6F 69 63 65 08 00 00"
    "0A 54 4C 6F 63 61 6C 41 72 65 61 00 04 54 61 6C 6B 08 00 00"
    "00");

TGrobalArea FullGrobal() {
  TGrobalArea G;
  G.Password = std::string(300, 'p');
  G.NickName1 = "\x83\x5E\x83\x72";  // Shift-JIS
  G.TrueName = "\x83\x5E\x83\x72 Taro";
  G.LoginName = "tavi";
  G.HostName = "localhost";
  G.ServerName = "irc.example.jp";
  G.ServerNameList = {"irc.example.jp", "irc2.example.jp", std::string(256, 's')};
  G.PortNumber = "6667";
  G.JISChoice = true;
  return G;
}

TLocalArea FullLocal() {
  TLocalArea L;
  L.ChannelName = "#\x93\xFA\x96\x7B";
  L.ChannelNames = {"#tavi", "", "#\x93\xFA\x96\x7B"};
  L.ChannelKey = "key";
  L.Talk = true;
  L.TalkMember = "hanako";
  return L;
}

TSettingsModule FullModule() {
  TSettingsModule M;
  M.OldCreateOrder = true;
  M.Height = 480;
  M.Width = -70000;
  M.AddGrobalArea(FullGrobal());
  M.AddLocalArea(FullLocal());
  return M;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string Template = (fs::temp_directory_path() / "tavi-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(Template.data()), nullptr);
    Dir = Template;
    Path = (Dir / "Tavi.Ini").string();
  }
  void TearDown() override { fs::remove_all(Dir); }

  static std::string ReadFile(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), {}};
  }
  static void WriteFile(const fs::path& P, const std::string& Data) {
    std::ofstream(P, std::ios::binary) << Data;
  }
  size_t EntriesInDir() const { return std::distance(fs::directory_iterator(Dir), {}); }

  fs::path Dir;
  std::string Path;
};

TEST(IniFileNameTest, ReplacesOrAppendsTheExtension) {
  EXPECT_EQ(IniFileName("C:/a/Tavi.exe"), "C:/a/Tavi.Ini");
  EXPECT_EQ(IniFileName("/opt/x/Tavi"), "/opt/x/Tavi.Ini");
  EXPECT_EQ(IniFileName("/opt/x.y/Tavi"), "/opt/x.y/Tavi.Ini");
  EXPECT_EQ(IniFileName("/opt/x/tavi.bin.exe"), "/opt/x/tavi.bin.Ini");
  EXPECT_EQ(IniFileName("/home/u/.tavi"), "/home/u/.tavi.Ini");
  EXPECT_EQ(IniFileName("Tavi.exe"), "Tavi.Ini");
}

TEST(SettingsModuleTest, LastComponentOfEachClassIsInUse) {
  TSettingsModule M;
  EXPECT_EQ(M.FindGrobalArea(), nullptr);
  TGrobalArea& First = M.GrobalArea();  // created on first use
  M.LocalArea().ChannelName = "#a";
  ASSERT_EQ(M.Components().size(), 2u);
  EXPECT_TRUE(std::holds_alternative<TGrobalArea>(M.Components()[0]));
  First.NickName1 = "first";
  M.AddGrobalArea().NickName1 = "second";
  EXPECT_EQ(M.GrobalArea().NickName1, "second");
  EXPECT_EQ(First.NickName1, "first");  // still valid after the append
  EXPECT_EQ(M.Components().size(), 3u);
}

TEST_F(SettingsFileTest, FirstRunWritesTheMinimalFile) {
  TSettingsModule M;
  M.GrobalArea().NickName1 = "stale";
  TSettingsLoadResult Load = LoadSettings(Path, M);
  EXPECT_TRUE(Load.Ok);
  EXPECT_FALSE(Load.Existed);
  EXPECT_TRUE(Load.Reason.empty());
  EXPECT_TRUE(M.GrobalArea().NickName1.empty());
  EXPECT_FALSE(fs::exists(Path));

  ASSERT_TRUE(SaveSettings(Path, M).Ok);
  EXPECT_EQ(FirstRunFile.size(), 131u);
  EXPECT_EQ(ReadFile(Path), FirstRunFile);
  EXPECT_EQ(EntriesInDir(), 1u);  // no temporary file left
}

TEST(SettingsBytesTest, ListsAndStringLengths) {
  TSettingsModule M;
  M.GrobalArea().ServerName = "irc.example.jp";
  M.GrobalArea().ServerNameList = {"a", "bb", "\x93\xFA"};
  M.GrobalArea().PortNumber = "6667";
  M.LocalArea().ChannelName = std::string(255, 'c');
  M.LocalArea().ChannelKey = std::string(256, 'k');
  M.LocalArea().TalkMember = std::string(300, 't');
  std::string File = WriteSettingsBytes(M);

  EXPECT_NE(File.find(Short("ServerName") + "\x06" + Short("irc.example.jp") +
                      Short("ServerNameList.Strings") + "\x01\x06\x01" "a\x06\x02" "bb\x06\x02\x93\xFA" +
                      Bytes({0}) + Short("PortNumber") + "\x06\x04" "6667"),
            std::string::npos);
  EXPECT_NE(File.find(Short("ChannelName") + "\x06\xFF" + std::string(255, 'c')), std::string::npos);
  EXPECT_NE(File.find(Short("ChannelKey") + "\x0C" + U32(256) + std::string(256, 'k')), std::string::npos);
  EXPECT_NE(File.find(Short("TalkMember") + "\x0C" + U32(300) + std::string(300, 't')), std::string::npos);
  EXPECT_EQ(File.substr(17, 4), U32(File.size() - HeaderSize));
}

TEST(SettingsBytesTest, IntegersTakeTheSmallestWidth) {
  struct {
    int32_t Value;
    int Type;
  } Cases[] = {{0, 2},      {127, 2},    {-128, 2},   {128, 3},       {-129, 3},       {32767, 3},
               {-32768, 3}, {32768, 4},  {40000, 4},  {-70000, 4},    {INT32_MAX, 4},  {INT32_MIN, 4}};
  for (const auto& C : Cases) {
    TSettingsModule M;
    M.GrobalArea();
    M.LocalArea();
    M.Height = C.Value;
    M.Width = C.Value;
    std::string File = WriteSettingsBytes(M);
    const int Width = C.Type == 2 ? 1 : C.Type == 3 ? 2 : 4;
    for (std::string Name : {"Height", "Width"}) {
      size_t At = File.find(Short(Name));
      ASSERT_NE(At, std::string::npos);
      EXPECT_EQ(File[At + 1 + Name.size()], C.Type) << C.Value;
      EXPECT_EQ(File[At + 2 + Name.size() + Width], Name == "Height" ? 5 : 0) << C.Value;
    }
    TSettingsModule Back;
    ASSERT_TRUE(ReadSettingsBytes(File, Back).Ok);
    EXPECT_EQ(Back.Height, C.Value);
    EXPECT_EQ(Back.Width, C.Value);
  }
}

TEST_F(SettingsFileTest, LoadThenSaveGivesTheSameBytes) {
  TSettingsModule M = FullModule();
  M.AddLocalArea().ChannelName = "#later";  // children keep their order
  M.AddGrobalArea(FullGrobal()).NickName1 = "last";
  ASSERT_TRUE(SaveSettings(Path, M).Ok);
  const std::string Saved = ReadFile(Path);

  TSettingsModule Loaded;
  TSettingsLoadResult Load = LoadSettings(Path, Loaded);
  ASSERT_TRUE(Load.Ok) << Load.Reason;
  EXPECT_TRUE(Load.Existed);
  EXPECT_EQ(Loaded, M);
  EXPECT_EQ(Loaded.GrobalArea().NickName1, "last");
  EXPECT_EQ(Loaded.LocalArea().ChannelName, "#later");

  ASSERT_TRUE(SaveSettings(Path, Loaded).Ok);
  EXPECT_EQ(ReadFile(Path), Saved);

  TSettingsModule Fresh;
  ASSERT_TRUE(ReadSettingsBytes(FirstRunFile, Fresh).Ok);
  EXPECT_EQ(WriteSettingsBytes(Fresh), FirstRunFile);
}

TEST(SettingsBytesTest, TheUtf8ChoiceAddsOnePropertyOnlyWhenSet) {
  // JIS and Shift-JIS give today's bytes; UTF-8 adds "UTF8Choice" = true
  // behind SJISChoice, and the stream length grows by just that.
  for (int Choice = 0; Choice < 3; ++Choice) {
    TSettingsModule M;
    ASSERT_TRUE(ReadSettingsBytes(FirstRunFile, M).Ok);
    EXPECT_FALSE(M.GrobalArea().UTF8Choice);
    M.GrobalArea().JISChoice = Choice == 0;
    M.GrobalArea().SJISChoice = Choice == 1;
    M.GrobalArea().UTF8Choice = Choice == 2;
    std::string Want = Patch(FirstRunFile, "\x09JISChoice\x08", Choice == 0 ? "\x09JISChoice\x09" : "\x09JISChoice\x08");
    Want = Patch(Want, "\x0ASJISChoice\x08", Choice == 1 ? "\x0ASJISChoice\x09" : "\x0ASJISChoice\x08");
    if (Choice == 2) {
      Want = Patch(Want, "\x0ASJISChoice\x08", "\x0ASJISChoice\x08" + Short("UTF8Choice") + "\x09");
      Want.replace(17, 4, U32(Want.size() - HeaderSize));
    }
    const std::string File = WriteSettingsBytes(M);
    EXPECT_EQ(File, Want) << Choice;
    TSettingsModule Back;
    ASSERT_TRUE(ReadSettingsBytes(File, Back).Ok);
    EXPECT_EQ(Back, M);
  }
}

TEST(SettingsBytesTest, ReadsPastWhatItDoesNotKnow) {
  std::string Stream =
      "TPF0" + Short("TDataModule") + Bytes({0}) + Short("OldCreateOrder") + Bytes({9}) +
      Short("Left") + "\x04" + U32(70000) + Short("Height") + Bytes({3, 0x10, 0x27}) + Short("Width") +
      Bytes({2, 5, 0}) +
      // unknown properties of every kind, names in another case, and a child of our own
      Short("TGrobalArea") + Bytes({0}) + Short("NICKNAME1") + "\x06" + Short("taro") + Short("Color") +
      Bytes({3, 0x34, 0x12}) + Short("Items.Strings") + "\x01\x06" + Short("a") + Bytes({2, 5, 1, 12}) +
      U32(3) + "xyz" + Bytes({8, 0, 4}) + U32(1) + Bytes({0}) + Short("Memo") + "\x0C" + U32(300) +
      std::string(300, 'm') + Short("Hidden") + Bytes({9, 0}) + Short("TTimer") + Short("Timer1") +
      Short("Interval") + Bytes({3, 0xE8, 3, 0}) + Short("TLabel") + Bytes({0, 0, 0, 0, 0}) +
      Short("tlocalarea") + Bytes({0}) + Short("ChannelName") + "\x06" + Short("#test") + Bytes({0, 0, 0});

  TSettingsModule Read;
  TSettingsReadResult Result = ReadSettingsBytes(WithHeader(Stream), Read);
  ASSERT_TRUE(Result.Ok) << Result.Reason;

  TSettingsModule Expected;
  Expected.OldCreateOrder = true;
  Expected.Height = 10000;
  Expected.Width = 5;
  Expected.GrobalArea().NickName1 = "taro";
  Expected.LocalArea().ChannelName = "#test";
  EXPECT_EQ(Read, Expected);
  EXPECT_EQ(WriteSettingsBytes(Read), WriteSettingsBytes(Expected));
}

TEST(SettingsBytesTest, EveryCutFailsAndKeepsTheComponentsBeforeIt) {
  const std::string File = WriteSettingsBytes(FullModule());
  const size_t GrobalEnd = File.find(Short("TLocalArea"));
  for (size_t N = 0; N < File.size(); ++N) {
    TSettingsModule M;
    TSettingsReadResult Cut = ReadSettingsBytes(File.substr(0, N), M);
    EXPECT_FALSE(Cut.Ok) << N;
    EXPECT_FALSE(Cut.Reason.empty());
    EXPECT_EQ(M.Components().size(), 2u);
    if (N < HeaderSize) continue;
    // The same cut with a stream length that fits it.
    TSettingsReadResult Fitted = ReadSettingsBytes(WithHeader(File.substr(HeaderSize, N - HeaderSize)), M);
    EXPECT_FALSE(Fitted.Ok) << N;
    EXPECT_EQ(M.GrobalArea(), N >= GrobalEnd ? FullGrobal() : TGrobalArea{}) << N;
    EXPECT_EQ(M.LocalArea(), N + 1 == File.size() ? FullLocal() : TLocalArea{}) << N;
  }
}

TEST_F(SettingsFileTest, DamagedFileIsKeptAsideAndFreshSettingsUsed) {
  const std::string Good = WriteSettingsBytes(FullModule());
  TSettingsModule OnlyGrobal, OnlyLocal;
  OnlyGrobal.AddGrobalArea(FullGrobal());
  OnlyLocal.AddLocalArea(FullLocal());
  struct {
    const char* What;
    std::string Data;
    bool GrobalKept, LocalKept;
  } Cases[] = {
      {"empty", "", false, false},
      {"first byte", Patch(Good, "\xFF\x0A", "\xFE\x0A"), false, false},
      {"resource type", Patch(Good, "\xFF\x0A", "\xFF\x0B"), false, false},
      {"signature", Patch(Good, "TPF0", "TPF1"), false, false},
      {"cut short", Good.substr(0, Good.size() - 1), false, false},
      {"root class", Patch(Good, "TDataModule", "TDataModulX"), false, false},
      {"long string length", Patch(Good, "\x0C" + U32(300), "\x0C" + U32(0xFFFFFFFF)), false, false},
      {"short string length", Patch(Good, Short("ChannelName") + "\x06\x05", Short("ChannelName") + "\x06\xFF"),
       true, false},
      {"unknown value type", Patch(Good, Short("Talk") + "\x09", Short("Talk") + "\x05"), true, false},
      {"wrong value type", Patch(Good, Short("Talk") + "\x09", Short("Talk") + Bytes({0})), true, false},
      {"unknown class", Patch(Good, "TLocalArea", "TLocalAreX"), true, false},
      {"nested too deeply", Splice(Good, Short("TLocalArea") + Bytes({0}), Short("Deep") + std::string(100, 1) +
                                                                            std::string(100, 0)),
       true, false},
      {"no TLocalArea", WriteSettingsBytes(OnlyGrobal), true, false},
      {"no TGrobalArea", WriteSettingsBytes(OnlyLocal), false, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    WriteFile(Path, C.Data);
    TSettingsModule M;
    TSettingsLoadResult Load = LoadSettings(Path, M);
    EXPECT_FALSE(Load.Ok);
    EXPECT_TRUE(Load.Existed);
    EXPECT_FALSE(Load.Reason.empty());
    EXPECT_EQ(Load.KeptAsidePath, Path + ".bad");
    EXPECT_EQ(ReadFile(Path + ".bad"), C.Data);
    EXPECT_FALSE(fs::exists(Path));
    EXPECT_EQ(M.GrobalArea(), C.GrobalKept ? FullGrobal() : TGrobalArea{});
    EXPECT_EQ(M.LocalArea(), C.LocalKept ? FullLocal() : TLocalArea{});
    fs::remove(Path + ".bad");
  }
}

TEST_F(SettingsFileTest, UnreadableFileIsKeptAside) {
  fs::create_directory(Path);  // exists, but cannot be read as a file
  TSettingsModule M = FullModule();
  TSettingsLoadResult Load = LoadSettings(Path, M);
  EXPECT_FALSE(Load.Ok);
  EXPECT_TRUE(Load.Existed);
  EXPECT_NE(Load.Reason.find(std::strerror(EISDIR)), std::string::npos) << Load.Reason;
  EXPECT_EQ(Load.KeptAsidePath, Path + ".bad");
  EXPECT_TRUE(fs::is_directory(Path + ".bad"));
  EXPECT_EQ(WriteSettingsBytes(M), FirstRunFile);
}

TEST_F(SettingsFileTest, KeptAsideCopiesAreNumbered) {
  WriteFile(Path + ".bad", "one");
  WriteFile(Path + ".bad.1", "two");
  for (std::string Expected : {".bad.2", ".bad.3"}) {
    WriteFile(Path, "junk" + Expected);
    TSettingsModule M;
    EXPECT_EQ(LoadSettings(Path, M).KeptAsidePath, Path + Expected);
    EXPECT_EQ(ReadFile(Path + Expected), "junk" + Expected);
  }
  EXPECT_EQ(ReadFile(Path + ".bad"), "one");
  EXPECT_EQ(ReadFile(Path + ".bad.1"), "two");
}

TEST_F(SettingsFileTest, FailedSaveLeavesTheOldFile) {
  const TSettingsModule M = FullModule();

  TSettingsSaveResult NoFolder = SaveSettings((Dir / "missing" / "Tavi.Ini").string(), M);
  EXPECT_FALSE(NoFolder.Ok);
  EXPECT_NE(NoFolder.Reason.find(std::strerror(ENOENT)), std::string::npos) << NoFolder.Reason;

  fs::create_directory(Path);
  WriteFile(fs::path(Path) / "inside", "kept");
  TSettingsSaveResult OnFolder = SaveSettings(Path, M);
  EXPECT_FALSE(OnFolder.Ok);
  EXPECT_NE(OnFolder.Reason.find(std::strerror(EISDIR)), std::string::npos) << OnFolder.Reason;
  EXPECT_EQ(ReadFile(fs::path(Path) / "inside"), "kept");
  EXPECT_EQ(EntriesInDir(), 1u);
  fs::remove_all(Path);

  // A file size limit makes the write itself fail, even for root.
  WriteFile(Path, FirstRunFile);
  rlimit Old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
  rlimit Small = Old;
  Small.rlim_cur = 200;
  auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  TSettingsSaveResult TooBig = SaveSettings(Path, M);
  ::setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);
  EXPECT_FALSE(TooBig.Ok);
  EXPECT_NE(TooBig.Reason.find(std::strerror(EFBIG)), std::string::npos) << TooBig.Reason;
  EXPECT_EQ(ReadFile(Path), FirstRunFile);
  EXPECT_EQ(EntriesInDir(), 1u);
}

TEST(SettingsPlaceTest, OneFileIsReadAndSavedAndSeededOnceFromTheOther) {
  const std::string beside = "/opt/tavi/Tavi.Ini", config = "/home/u/.config/Tavi/Tavi.Ini";
  const struct {
    bool writable, besideExists, configExists;
    std::string path, seed;
  } cases[] = {
      {true, true, true, beside, ""},
      {true, false, false, beside, ""},
      {true, false, true, beside, config},
      // A read-only program folder: the config copy, seeded from beside.
      {false, true, false, config, beside},
      {false, true, true, config, ""},
      {false, false, false, config, ""},
  };
  for (const auto& c : cases) {
    const TSettingsPlace place = ChooseSettingsPlace(beside, config, c.writable, c.besideExists, c.configExists);
    EXPECT_EQ(place.Path, c.path) << c.writable << c.besideExists << c.configExists;
    EXPECT_EQ(place.SeedFrom, c.seed) << c.writable << c.besideExists << c.configExists;
  }
}

}  // namespace
}  // namespace tavi
