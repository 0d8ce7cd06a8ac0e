#include "core/GetVerInfoUnit.h"

#include <elf.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tavi {
namespace {

namespace fs = std::filesystem;
using Values = std::vector<std::pair<std::string, std::string>>;

// --- input makers -----------------------------------------------------------

std::string U16(unsigned V) { return {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8 & 0xFF)}; }

void Pad4(std::string& S) {
  while (S.size() % 4 != 0) S += '\0';
}

// One node of a version tree, as GetVerInfoUnit.h lays it out.
std::string Node(const std::string& Key, unsigned Type, const std::string& Value, const std::vector<std::string>& Children = {}) {
  std::string out = U16(0) + U16(Value.size()) + U16(Type) + Key + '\0';
  Pad4(out);
  out += Value;
  Pad4(out);
  for (const std::string& child : Children) out += child;
  out.replace(0, 2, U16(out.size()));
  return out;
}

std::string Translation(unsigned Language, unsigned CodePage) { return U16(Language) + U16(CodePage); }

std::string Tree(const std::string& TranslationValue, const std::string& Table, const Values& Texts) {
  std::vector<std::string> strings;
  for (const auto& [key, text] : Texts) strings.push_back(Node(key, 1, text + '\0'));
  return Node("VS_VERSION_INFO", 0, "",
              {Node("StringFileInfo", 1, "", {Node(Table, 1, "", strings)}),
               Node("VarFileInfo", 1, "", {Node("Translation", 0, TranslationValue)})});
}

std::string JapaneseTree(const Values& Texts) { return Tree(Translation(0x0411, 0x03A4), "041103a4", Texts); }

// A small ELF file: a null section, ".text", the version section and the
// section name table, then the section header table.
template <class Ehdr, class Shdr>
struct TElfImage {
  Ehdr Header{};
  std::vector<Shdr> Sections;
  std::string Body;
  enum { Null, Text, Version, Names };

  std::string Bytes() const {
    std::string out(sizeof Header, '\0');
    std::memcpy(out.data(), &Header, sizeof Header);
    out += Body;
    out.resize(TableOffset(), '\0');
    for (const Shdr& s : Sections) out.append(reinterpret_cast<const char*>(&s), sizeof s);
    return out;
  }
  std::size_t TableOffset() const { return (sizeof Header + Body.size() + 7) & ~std::size_t{7}; }
};

template <class Ehdr, class Shdr>
TElfImage<Ehdr, Shdr> MakeElf(unsigned char Class, const std::string& Info) {
  TElfImage<Ehdr, Shdr> image;
  Ehdr& h = image.Header;
  std::memcpy(h.e_ident, ELFMAG, SELFMAG);
  h.e_ident[EI_CLASS] = Class;
  h.e_ident[EI_DATA] = ELFDATA2LSB;
  h.e_ident[EI_VERSION] = EV_CURRENT;
  h.e_type = ET_EXEC;
  h.e_version = EV_CURRENT;
  h.e_ehsize = sizeof(Ehdr);
  h.e_shentsize = sizeof(Shdr);

  const std::string names("\0.text\0.tavi_version\0.shstrtab\0", 31);
  auto add = [&](unsigned NameOffset, unsigned Type, const std::string& Data) {
    Shdr s{};
    s.sh_name = NameOffset;
    s.sh_type = Type;
    s.sh_offset = sizeof(Ehdr) + image.Body.size();
    s.sh_size = Data.size();
    image.Body += Data;
    while (image.Body.size() % 4 != 0) image.Body += '\0';
    image.Sections.push_back(s);
  };
  image.Sections.push_back(Shdr{});
  add(1, SHT_PROGBITS, std::string(24, '\x90'));
  add(7, SHT_PROGBITS, Info);
  add(21, SHT_STRTAB, names);

  h.e_shoff = image.TableOffset();
  h.e_shnum = static_cast<std::uint16_t>(image.Sections.size());
  h.e_shstrndx = TElfImage<Ehdr, Shdr>::Names;
  return image;
}

auto Elf64(const std::string& Info) { return MakeElf<Elf64_Ehdr, Elf64_Shdr>(ELFCLASS64, Info); }
auto Elf32(const std::string& Info) { return MakeElf<Elf32_Ehdr, Elf32_Shdr>(ELFCLASS32, Info); }

std::string ReadAll(const fs::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class GetVerInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tavi-verinfo-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Write(const std::string& Name, const std::string& Bytes) {
    const fs::path path = dir_ / Name;
    std::ofstream(path, std::ios::binary).write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    return path.string();
  }
  std::string Version(const std::string& Bytes, const std::string& ValueName = "ProductVersion") {
    return GetVerInfo(Write("image", Bytes), ValueName);
  }

  fs::path dir_;
};

// --- the program's own information -----------------------------------------

TEST_F(GetVerInfoTest, ReadsTheRunningProgramFile) {
  const std::string self = "/proc/self/exe";
  EXPECT_EQ(GetVerInfo(self, "ProductVersion"), "0.61");
  EXPECT_EQ(GetVerInfo(self, "ProductName"), "Tavi");
  EXPECT_EQ(GetVerInfo(self, "productVERSION"), "0.61");  // keys ignore letter case
  EXPECT_NE(GetVerInfo(self, "LegalCopyright"), "");
  EXPECT_EQ(GetVerInfo(self, "NoSuchValue"), "");
  EXPECT_EQ(GetVerInfo(self, ""), "");
  EXPECT_EQ(GetVerInfo(self, "ProductVersion\\x"), "");

  const std::string block = ReadVersionInfo(self);
  EXPECT_EQ(block.size(), VersionInfoSize(self));
  std::string_view translation;
  ASSERT_TRUE(QueryVersionValue(block, "\\VarFileInfo\\Translation", translation));
  EXPECT_EQ(translation, std::string_view("\x11\x04\xA4\x03", 4));  // 0x0411, 0x03A4

  const std::string tavi = (dir_ / "Tavi.exe").string();
  fs::copy_file(self, tavi);
  EXPECT_EQ(BuildVersionText(tavi), "Tavi.exe Version 0.61 for Linux");
  EXPECT_EQ(BuildVersionText("/bin/true"), "true Version  for Linux");
  EXPECT_EQ(ExtractFileName("/a/b/"), "");
}

TEST_F(GetVerInfoTest, FilesWithoutInformationGiveNothing) {
  EXPECT_EQ(VersionInfoSize("/bin/true"), 0u);  // an ELF file without the section
  EXPECT_EQ(GetVerInfo("/bin/true", "ProductVersion"), "");
  EXPECT_EQ(GetVerInfo((dir_ / "missing").string(), "ProductVersion"), "");
  EXPECT_EQ(GetVerInfo(dir_.string(), "ProductVersion"), "");  // a folder
  EXPECT_EQ(Version(""), "");
  EXPECT_EQ(Version("ProductVersion 0.61\n"), "");

  // A program cut short: its section table lies at the end.
  const std::string whole = ReadAll("/proc/self/exe");
  ASSERT_EQ(Version(whole), "0.61");
  for (std::size_t length : {std::size_t{16}, std::size_t{64}, whole.size() / 2, whole.size() - 1})
    EXPECT_EQ(Version(whole.substr(0, length)), "") << length;
}

// --- the layout --------------------------------------------------------------

TEST_F(GetVerInfoTest, StringTableOfTheFirstTranslation) {
  const std::string english = Tree(Translation(0x0409, 0x04E4), "040904e4", {{"ProductVersion", "9.9"}});
  EXPECT_EQ(Version(Elf64(english).Bytes()), "9.9");
  EXPECT_EQ(Version(Elf32(english).Bytes()), "9.9");
  // The translation names a table that is not there.
  EXPECT_EQ(Version(Elf64(Tree(Translation(0x0409, 0x04B0), "041103a4", {{"ProductVersion", "1"}})).Bytes()), "");
  // Too short to hold a language and a code page.
  EXPECT_EQ(Version(Elf64(Tree(U16(0x0411), "041103a4", {{"ProductVersion", "1"}})).Bytes()), "");
  // Two translations: the first one counts.
  const std::string two = Node(
      "VS_VERSION_INFO", 0, "",
      {Node("StringFileInfo", 1, "",
            {Node("041103a4", 1, "", {Node("ProductVersion", 1, std::string("ja\0", 3))}),
             Node("040904b0", 1, "", {Node("ProductVersion", 1, "en")})}),  // no zero: ends with the value
       Node("VarFileInfo", 1, "", {Node("Translation", 0, Translation(0x0409, 0x04B0) + Translation(0x0411, 0x03A4))})});
  EXPECT_EQ(Version(Elf64(two).Bytes()), "en");
  EXPECT_EQ(Version(Elf64(JapaneseTree({{"ProductVersion", std::string("0.61\0junk", 9)}})).Bytes()), "0.61");
}

TEST_F(GetVerInfoTest, DamagedTreesAreNotReadPastTheirNodes) {
  const std::string good = Node("Root", 0, "rv", {Node("A", 0, "1234"), Node("B", 0, "5678")});
  const std::size_t childA = Node("Root", 0, "rv").size(), childB = childA + Node("A", 0, "1234").size();
  std::string_view value;
  ASSERT_TRUE(QueryVersionValue(good, "\\", value));
  EXPECT_EQ(value, "rv");
  ASSERT_TRUE(QueryVersionValue(good, "\\b", value));
  EXPECT_EQ(value, "5678");

  auto damaged = [&](std::size_t At, unsigned Length, unsigned ValueLength = 0x10000) {
    std::string block = good;
    block.replace(At, 2, U16(Length));
    if (ValueLength < 0x10000) block.replace(At + 2, 2, U16(ValueLength));
    std::string_view found;
    return QueryVersionValue(block, "\\B", found);
  };
  EXPECT_FALSE(QueryVersionValue(good.substr(0, good.size() - 1), "\\B", value));  // root past the block
  EXPECT_FALSE(QueryVersionValue("", "\\", value));
  EXPECT_FALSE(damaged(0, 0));
  EXPECT_FALSE(damaged(childA, 0));        // a child that would never end
  EXPECT_FALSE(damaged(childA, 4));        // shorter than its header
  EXPECT_FALSE(damaged(childA, 0xFFFF));   // past its parent
  EXPECT_FALSE(damaged(childA, 12, 0xFF)); // a value past its node
  EXPECT_FALSE(damaged(childB, 7, 0));     // the key's zero lies behind the node
  EXPECT_TRUE(damaged(childA, 12, 0));     // A's own value may shrink
}

// --- damaged files -------------------------------------------------------------

template <class Image>
void ExpectHeaderDamageGivesNothing(const Image& Good, const std::function<std::string(const std::string&)>& Read) {
  ASSERT_EQ(Read(Good.Bytes()), "0.61");
  const std::uint64_t size = Good.Bytes().size(), huge = ~0ull - 2;
  auto read = [&](void (*Damage)(Image&, std::uint64_t, std::uint64_t)) {
    Image image = Good;
    Damage(image, size, huge);
    return Read(image.Bytes());
  };
  using I = Image;
  constexpr int V = I::Version, N = I::Names;
  EXPECT_EQ(read([](I& i, auto, auto) { i.Header.e_ident[EI_DATA] = ELFDATA2MSB; }), "");
  EXPECT_EQ(read([](I& i, auto s, auto) { i.Header.e_shoff = s - 10; }), "");
  EXPECT_EQ(read([](I& i, auto, auto h) { i.Header.e_shoff = h; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Header.e_shentsize = 10; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Header.e_shnum = 0xFFFE; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Header.e_shstrndx = i.Header.e_shnum; }), "");
  EXPECT_EQ(read([](I& i, auto, auto h) { i.Header.e_shnum = 0, i.Sections[0].sh_size = h; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Header.e_shstrndx = SHN_XINDEX, i.Sections[0].sh_link = 99; }), "");
  EXPECT_EQ(read([](I& i, auto s, auto) { i.Sections[V].sh_size = s; }), "");
  EXPECT_EQ(read([](I& i, auto, auto h) { i.Sections[V].sh_offset = h; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Sections[V].sh_type = SHT_NOBITS; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Sections[V].sh_name = 0xFFFFFF; }), "");
  EXPECT_EQ(read([](I& i, auto s, auto) { i.Sections[N].sh_offset = s; }), "");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Sections[N].sh_size = 20; }), "");  // ends before ".tavi_version"'s zero
  // Many sections: the count and the names index may move into section 0.
  EXPECT_EQ(read([](I& i, auto, auto) { i.Sections[0].sh_size = i.Header.e_shnum, i.Header.e_shnum = 0; }), "0.61");
  EXPECT_EQ(read([](I& i, auto, auto) { i.Sections[0].sh_link = i.Header.e_shstrndx, i.Header.e_shstrndx = SHN_XINDEX; }),
            "0.61");
}

TEST_F(GetVerInfoTest, DamagedHeadersGiveNothing) {
  const std::string info = JapaneseTree({{"ProductVersion", "0.61"}});
  auto read = [this](const std::string& Bytes) { return Version(Bytes); };
  {
    SCOPED_TRACE("64-bit");
    ExpectHeaderDamageGivesNothing(Elf64(info), read);
  }
  {
    SCOPED_TRACE("32-bit");
    ExpectHeaderDamageGivesNothing(Elf32(info), read);
  }
}

TEST_F(GetVerInfoTest, RandomDamageStaysInsideTheFile) {
  const std::string info = JapaneseTree({{"ProductVersion", "0.61"}, {"ProductName", "Tavi"}});
  const std::string good[2] = {Elf64(info).Bytes(), Elf32(info).Bytes()};
  std::mt19937 random(20240611);
  int stillRead = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = good[round % 2];
    for (int flips = 1 + static_cast<int>(random() % 6); flips > 0; --flips)
      bytes[random() % bytes.size()] = static_cast<char>(random() % 3 == 0 ? 0xFF : random());
    if (random() % 8 == 0) bytes.resize(random() % bytes.size());
    const std::string value = Version(bytes);
    ASSERT_LE(value.size(), info.size()) << round;
    stillRead += value == "0.61";
  }
  // Damage outside what is read leaves the value readable.
  EXPECT_GT(stillRead, 100);
}

}  // namespace
}  // namespace tavi
