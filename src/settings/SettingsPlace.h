// Where the settings file is read and written: one file for both, so that a
// change is never saved where it will not be read.
#pragma once

#include <string>

namespace tavi {

struct TSettingsPlace {
  std::string Path;      // read from and saved to
  std::string SeedFrom;  // copied to Path first when not empty
};

// Beside: the file beside the program; InConfig: the copy in the user's
// configuration folder, used when the program's folder cannot be written.
// The chosen file, when missing, is seeded once from the other one.
TSettingsPlace ChooseSettingsPlace(const std::string& Beside, const std::string& InConfig, bool BesideWritable,
                                   bool BesideExists, bool InConfigExists);

}  // namespace tavi
