// The program's own version information, built at compile time into the ELF
// section ".tavi_version" in the layout that GetVerInfoUnit.h describes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr void Align4(Bytes& Out) {
  while (Out.size() % 4 != 0) Out.push_back(0);
}

constexpr void Put16(Bytes& Out, std::size_t At, std::size_t Value) {
  Out[At] = static_cast<unsigned char>(Value & 0xFF);
  Out[At + 1] = static_cast<unsigned char>(Value >> 8 & 0xFF);
}

constexpr Bytes Node(std::string_view Key, std::uint16_t Type, const Bytes& Value, std::initializer_list<Bytes> Children = {}) {
  Bytes out(6, 0);
  for (char c : Key) out.push_back(static_cast<unsigned char>(c));
  out.push_back(0);
  Align4(out);
  out.insert(out.end(), Value.begin(), Value.end());
  Align4(out);
  for (const Bytes& child : Children) out.insert(out.end(), child.begin(), child.end());
  Put16(out, 0, out.size());
  Put16(out, 2, Value.size());
  Put16(out, 4, Type);
  return out;
}

constexpr std::uint16_t TextType = 1;
constexpr std::uint16_t BinaryType = 0;

constexpr Bytes Text(std::string_view Key, std::string_view Value) {
  Bytes value(Value.begin(), Value.end());
  value.push_back(0);
  return Node(Key, TextType, value);
}

constexpr Bytes Translation(std::uint16_t Language, std::uint16_t CodePage) {
  return Node("Translation", BinaryType,
              Bytes{static_cast<unsigned char>(Language & 0xFF), static_cast<unsigned char>(Language >> 8),
                    static_cast<unsigned char>(CodePage & 0xFF), static_cast<unsigned char>(CodePage >> 8)});
}

// Japanese (0x0411) in Shift-JIS (code page 932 = 0x03A4).
constexpr Bytes BuildVersionInfo() {
  return Node("VS_VERSION_INFO", BinaryType, {},
              {
                  Node("StringFileInfo", TextType, {},
                       {
                           Node("041103a4", TextType, {},
                                {
                                    Text("Comments", "IRC client for Japanese users"),
                                    Text("FileDescription", "Tavi IRC client"),
                                    Text("LegalCopyright", "Copyright (C) Tavi developers"),
                                    Text("ProductName", "Tavi"),
                                    Text("ProductVersion", "0.61"),
                                }),
                       }),
                  Node("VarFileInfo", TextType, {}, {Translation(0x0411, 0x03A4)}),
              });
}

constexpr std::size_t VersionInfoSize = BuildVersionInfo().size();
static_assert(VersionInfoSize <= 0xFFFF, "node lengths are 16-bit");

constexpr std::array<unsigned char, VersionInfoSize> VersionInfoArray() {
  const Bytes built = BuildVersionInfo();
  std::array<unsigned char, VersionInfoSize> out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = built[i];
  return out;
}

[[gnu::section(".tavi_version"), gnu::used]] static const std::array<unsigned char, VersionInfoSize> VersionInfo =
    VersionInfoArray();

}  // namespace

namespace tavi {
// See GetVerInfoUnit.cpp: pulls this file into every program that reads it.
extern const unsigned char* const VersionResourceAnchor;
const unsigned char* const VersionResourceAnchor = VersionInfo.data();
}  // namespace tavi
