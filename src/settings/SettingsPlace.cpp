#include "settings/SettingsPlace.h"

namespace tavi {

TSettingsPlace ChooseSettingsPlace(const std::string& Beside, const std::string& InConfig, bool BesideWritable,
                                   bool BesideExists, bool InConfigExists) {
  TSettingsPlace place;
  place.Path = BesideWritable ? Beside : InConfig;
  const bool chosenExists = BesideWritable ? BesideExists : InConfigExists;
  const bool otherExists = BesideWritable ? InConfigExists : BesideExists;
  if (!chosenExists && otherExists) place.SeedFrom = BesideWritable ? InConfig : Beside;
  return place;
}

}  // namespace tavi
