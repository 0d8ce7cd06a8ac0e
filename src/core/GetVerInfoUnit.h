// Reading the program's version information from a program file.
//
// The information sits in the ELF section ".tavi_version" (see
// VersionResource.cpp), laid out like a Windows version resource, as a tree of
// nodes. All numbers are little-endian; every node starts on a 4-byte boundary
// counted from the start of the section:
//
//   u16  Length       the whole node with its children, in bytes
//   u16  ValueLength  bytes of the value (a text counts its terminating zero)
//   u16  Type         1 = text, 0 = binary
//   char Key[]        zero-terminated ASCII, then zeros to a 4-byte boundary
//   u8   Value[]      ValueLength bytes, then zeros to a 4-byte boundary
//   node Children[]   up to Length
//
// The root node is "VS_VERSION_INFO"; below it
//   "VarFileInfo" / "Translation": pairs of u16 language, u16 code page;
//   "StringFileInfo" / "041103a4" / "ProductVersion" ...: zero-terminated texts.
//
// Nothing in a file is trusted: a missing, truncated or malformed file gives
// no information rather than an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavi {

// Bytes of the file's version information; 0 when it has none.
std::size_t VersionInfoSize(const std::string& FileName);

// The file's version information, or an empty block.
std::string ReadVersionInfo(const std::string& FileName);

// Looks up a path such as "\VarFileInfo\Translation" in a block ("\" alone is
// the root). Keys compare without regard to ASCII letter case. Value views
// into Block.
bool QueryVersionValue(std::string_view Block, std::string_view SubBlock, std::string_view& Value);

// The text of ValueName in the file's string table for its first
// translation, or "" when any step fails.
std::string GetVerInfo(const std::string& FileName, const std::string& ValueName);

// File name without folder + " Version " + product version + " for Linux".
std::string BuildVersionText(const std::string& ProgramFilePath);

// The file name without its folder.
std::string ExtractFileName(const std::string& Path);

}  // namespace tavi
