#include "core/GetVerInfoUnit.h"

#include <elf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace tavi {

// Defined beside the section content; referring to it here makes every
// program that reads version information also carry its own.
extern const unsigned char* const VersionResourceAnchor;
namespace {
[[gnu::used]] const void* const KeepVersionResource = &VersionResourceAnchor;
}  // namespace

namespace {

constexpr char SectionName[] = ".tavi_version";
// The tree's lengths are 16-bit; anything larger is not ours.
constexpr std::uint64_t MaxSectionSize = 0x10000;
// The section name table of a sane file is small; a bigger one is not read.
constexpr std::uint64_t MaxNameTableSize = 16u << 20;

struct TSectionPlace {
  std::uint64_t Offset = 0;
  std::uint64_t Size = 0;
};

// Reads exactly Size bytes at Offset, which the caller has bounds-checked.
bool ReadAt(std::ifstream& File, std::uint64_t Offset, void* Out, std::size_t Size) {
  File.clear();
  File.seekg(static_cast<std::streamoff>(Offset));
  if (!File) return false;
  File.read(static_cast<char*>(Out), static_cast<std::streamsize>(Size));
  return File.gcount() == static_cast<std::streamsize>(Size);
}

// Offset + Size lies within a file of FileSize bytes, without overflow.
bool Fits(std::uint64_t Offset, std::uint64_t Size, std::uint64_t FileSize) {
  return Offset <= FileSize && Size <= FileSize - Offset;
}

template <class Ehdr, class Shdr>
std::optional<TSectionPlace> FindSection(std::ifstream& File, std::uint64_t FileSize) {
  Ehdr header;
  if (FileSize < sizeof header || !ReadAt(File, 0, &header, sizeof header)) return std::nullopt;
  if (header.e_shoff == 0 || header.e_shentsize < sizeof(Shdr)) return std::nullopt;

  const std::uint64_t entrySize = header.e_shentsize;
  auto readHeader = [&](std::uint64_t Index, Shdr& Out) {
    const std::uint64_t at = header.e_shoff + Index * entrySize;  // Index is bounded below
    return ReadAt(File, at, &Out, sizeof Out);
  };

  // Many sections: the count and the name table index move into section 0.
  std::uint64_t count = header.e_shnum;
  std::uint64_t namesIndex = header.e_shstrndx;
  if (count == 0 || namesIndex == SHN_XINDEX) {
    if (!Fits(header.e_shoff, entrySize, FileSize)) return std::nullopt;
    Shdr first;
    if (!readHeader(0, first)) return std::nullopt;
    if (count == 0) count = first.sh_size;
    if (namesIndex == SHN_XINDEX) namesIndex = first.sh_link;
  }
  if (count == 0 || count > FileSize / entrySize) return std::nullopt;
  if (!Fits(header.e_shoff, count * entrySize, FileSize)) return std::nullopt;
  if (namesIndex >= count) return std::nullopt;

  Shdr names;
  if (!readHeader(namesIndex, names) || names.sh_type == SHT_NOBITS) return std::nullopt;
  if (names.sh_size > MaxNameTableSize || !Fits(names.sh_offset, names.sh_size, FileSize)) return std::nullopt;
  std::vector<char> table(names.sh_size);
  if (!table.empty() && !ReadAt(File, names.sh_offset, table.data(), table.size())) return std::nullopt;

  for (std::uint64_t i = 0; i < count; ++i) {
    Shdr section;
    if (!readHeader(i, section)) return std::nullopt;
    // The name with its terminating zero must lie inside the table.
    if (section.sh_name >= table.size() || table.size() - section.sh_name < sizeof SectionName) continue;
    if (std::memcmp(table.data() + section.sh_name, SectionName, sizeof SectionName) != 0) continue;
    if (section.sh_type == SHT_NOBITS) return std::nullopt;
    if (section.sh_size > MaxSectionSize || !Fits(section.sh_offset, section.sh_size, FileSize)) return std::nullopt;
    return TSectionPlace{section.sh_offset, section.sh_size};
  }
  return std::nullopt;
}

std::optional<TSectionPlace> LocateVersionSection(std::ifstream& File) {
  if (!File) return std::nullopt;
  File.seekg(0, std::ios::end);
  const std::streamoff end = File.tellg();
  if (end <= 0) return std::nullopt;
  const auto fileSize = static_cast<std::uint64_t>(end);

  unsigned char ident[EI_NIDENT];
  if (fileSize < sizeof ident || !ReadAt(File, 0, ident, sizeof ident)) return std::nullopt;
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0) return std::nullopt;
  // The structures below are read as they lie in memory.
  if (ident[EI_DATA] != ELFDATA2LSB) return std::nullopt;
  if (ident[EI_CLASS] == ELFCLASS64) return FindSection<Elf64_Ehdr, Elf64_Shdr>(File, fileSize);
  if (ident[EI_CLASS] == ELFCLASS32) return FindSection<Elf32_Ehdr, Elf32_Shdr>(File, fileSize);
  return std::nullopt;
}

unsigned Read16(std::string_view Block, std::size_t At) {
  return static_cast<unsigned char>(Block[At]) | static_cast<unsigned>(static_cast<unsigned char>(Block[At + 1])) << 8;
}

std::size_t Align4(std::size_t Offset) { return (Offset + 3) & ~std::size_t{3}; }

// One node of the tree, as offsets into the block.
struct TNode {
  std::string_view Key;
  std::string_view Value;
  std::size_t ChildrenBegin = 0;
  std::size_t End = 0;
};

constexpr std::size_t NodeHeaderSize = 6;

// The node at At, when it lies wholly inside [At, Limit).
std::optional<TNode> ParseNode(std::string_view Block, std::size_t At, std::size_t Limit) {
  if (At > Limit || Limit - At < NodeHeaderSize) return std::nullopt;
  const std::size_t length = Read16(Block, At);
  const std::size_t valueLength = Read16(Block, At + 2);
  if (length < NodeHeaderSize || length > Limit - At) return std::nullopt;
  const std::size_t end = At + length;

  const std::size_t keyBegin = At + NodeHeaderSize;
  const std::size_t keyEnd = Block.find('\0', keyBegin);
  if (keyEnd == std::string_view::npos || keyEnd >= end) return std::nullopt;

  const std::size_t valueBegin = Align4(keyEnd + 1);
  if (valueBegin > end || valueLength > end - valueBegin) return std::nullopt;

  TNode node;
  node.Key = Block.substr(keyBegin, keyEnd - keyBegin);
  node.Value = Block.substr(valueBegin, valueLength);
  node.ChildrenBegin = std::min(Align4(valueBegin + valueLength), end);
  node.End = end;
  return node;
}

bool SameKey(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(A[i]);
    unsigned char b = static_cast<unsigned char>(B[i]);
    if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

std::size_t VersionInfoSize(const std::string& FileName) {
  std::ifstream file(FileName, std::ios::binary);
  const auto place = LocateVersionSection(file);
  return place ? static_cast<std::size_t>(place->Size) : 0;
}

std::string ReadVersionInfo(const std::string& FileName) {
  std::ifstream file(FileName, std::ios::binary);
  const auto place = LocateVersionSection(file);
  if (!place || place->Size == 0) return {};
  std::string block(static_cast<std::size_t>(place->Size), '\0');
  if (!ReadAt(file, place->Offset, block.data(), block.size())) return {};
  return block;
}

bool QueryVersionValue(std::string_view Block, std::string_view SubBlock, std::string_view& Value) {
  std::optional<TNode> node = ParseNode(Block, 0, Block.size());
  if (!node) return false;

  std::size_t pos = 0;
  while (pos < SubBlock.size()) {
    if (SubBlock[pos] == '\\') {
      ++pos;
      continue;
    }
    std::size_t next = SubBlock.find('\\', pos);
    if (next == std::string_view::npos) next = SubBlock.size();
    const std::string_view key = SubBlock.substr(pos, next - pos);
    pos = next;

    std::optional<TNode> found;
    std::size_t child = node->ChildrenBegin;
    while (child < node->End) {
      const std::optional<TNode> candidate = ParseNode(Block, child, node->End);
      if (!candidate) break;
      if (SameKey(candidate->Key, key)) {
        found = candidate;
        break;
      }
      child = Align4(candidate->End);  // every node is at least 8 bytes on, so this ends
    }
    if (!found) return false;
    node = found;
  }
  Value = node->Value;
  return true;
}

std::string GetVerInfo(const std::string& FileName, const std::string& ValueName) {
  if (VersionInfoSize(FileName) == 0) return {};
  const std::string block = ReadVersionInfo(FileName);

  std::string_view translation;
  if (!QueryVersionValue(block, "\\VarFileInfo\\Translation", translation) || translation.size() < 4) return {};
  const unsigned language = Read16(translation, 0);
  const unsigned codePage = Read16(translation, 2);

  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%4.4x%4.4x\\", language, codePage);
  std::string_view value;
  if (!QueryVersionValue(block, std::string(prefix) + ValueName, value)) return {};
  return std::string(value.substr(0, value.find('\0')));
}

std::string ExtractFileName(const std::string& Path) {
  const std::size_t slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string BuildVersionText(const std::string& ProgramFilePath) {
  return ExtractFileName(ProgramFilePath) + " Version " + GetVerInfo(ProgramFilePath, "ProductVersion") + " for Linux";
}

}  // namespace tavi
