// Settings file reader against arbitrary bytes: it must never crash, must
// always leave both components in place, and whatever it leaves must write
// and read back to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace tavi;
  TSettingsModule Module;
  ReadSettingsBytes(std::string_view(reinterpret_cast<const char*>(Data), Size), Module);
  if (!Module.FindGrobalArea() || !Module.FindLocalArea()) std::abort();

  // Also for a damaged input: the partial module is what the program saves.
  const std::string First = WriteSettingsBytes(Module);
  TSettingsModule Again;
  if (!ReadSettingsBytes(First, Again).Ok) std::abort();
  if (!(Again == Module) || WriteSettingsBytes(Again) != First) std::abort();
  return 0;
}
