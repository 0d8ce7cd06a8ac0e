#pragma once

// The settings file: a resource header and a component stream holding the
// data module and its TGrobalArea / TLocalArea children.

#include <string>
#include <string_view>

#include "settings/Settings.h"

namespace tavi {

// The program file's path with its extension replaced by ".Ini"; a name
// without an extension gets ".Ini" appended.
std::string IniFileName(std::string_view ProgramPath);

// The whole file: resource header and object stream.
std::string WriteSettingsBytes(const TSettingsModule& Module);

struct TSettingsReadResult {
  bool Ok = false;
  std::string Reason;  // what was wrong, when not Ok
};

// Replaces Module's contents with what Bytes hold. When the bytes are damaged,
// Module keeps the components that were read completely and gets fresh ones
// for the rest; GrobalArea() and LocalArea() exist afterwards in every case.
TSettingsReadResult ReadSettingsBytes(std::string_view Bytes, TSettingsModule& Module);

struct TSettingsLoadResult {
  bool Ok = false;
  bool Existed = false;       // false: no file, fresh settings (Ok is true then)
  std::string Reason;         // what was wrong, when not Ok
  std::string KeptAsidePath;  // where a damaged file was moved; empty if it could not be moved
};

// Reads Path into Module. A file that cannot be read is moved aside to
// Path + ".bad" (or ".bad.1", ".bad.2", ... when taken) before anything can
// overwrite it. If Existed and not Ok and KeptAsidePath is empty, the damaged
// file is still at Path and saving would replace it.
TSettingsLoadResult LoadSettings(const std::string& Path, TSettingsModule& Module);

struct TSettingsSaveResult {
  bool Ok = false;
  std::string Reason;  // includes the system's error text, when not Ok
};

// Writes a temporary file beside Path and renames it over Path, so a failed
// save leaves the old file as it was. The file is readable by its owner only,
// as it holds the server password.
TSettingsSaveResult SaveSettings(const std::string& Path, const TSettingsModule& Module);

}  // namespace tavi
