// The settings file keeps its Shift-JIS bytes; the program's text is UTF-8.
// A value Shift-JIS cannot hold is written to the file with the geta mark in
// place of what it cannot hold, and kept whole beside the file.
#pragma once

#include <map>
#include <string>

#include "settings/Settings.h"

namespace tavi {

// Values kept beside the file, by field ("Grobal/NickName1",
// "Local/ChannelNames/2"): each with the file's bytes it stands for.
struct TWideValue {
  std::string Text;       // UTF-8
  std::string FileBytes;  // what the file holds in its place
};
using TWideValues = std::map<std::string, TWideValue>;

// The module as read from the file (Shift-JIS) to the program's (UTF-8). A
// wide value replaces a field only while the file still holds the bytes it
// was written with (the file was not changed by another program since).
TSettingsModule SettingsFromFile(const TSettingsModule& File, const TWideValues& Wide);

// The program's module (UTF-8) to the file's: a field whose text is as it
// was read keeps the bytes it was read from (File), so that the file is
// written back byte for byte. Wide receives the values Shift-JIS cannot
// hold; it is cleared first.
TSettingsModule SettingsToFile(const TSettingsModule& Module, const TSettingsModule& File, TWideValues& Wide);

// Field names of Module whose text Shift-JIS cannot hold.
std::vector<std::string> WideFields(const TSettingsModule& Module);

}  // namespace tavi
