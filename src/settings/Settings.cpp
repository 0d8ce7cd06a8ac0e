#include "settings/Settings.h"

#include <utility>


namespace tavi {

namespace {

// Shared by the const and non-const finders.
template <class T, class Components>
auto FindLast(Components& List) -> decltype(std::get_if<T>(&List.front())) {
  for (auto It = List.rbegin(); It != List.rend(); ++It) {
    if (auto* Found = std::get_if<T>(&*It)) return Found;
  }
  return nullptr;
}

}  // namespace

TGrobalArea* TSettingsModule::FindGrobalArea() { return FindLast<TGrobalArea>(FComponents); }
const TGrobalArea* TSettingsModule::FindGrobalArea() const {
  return FindLast<TGrobalArea>(FComponents);
}
TLocalArea* TSettingsModule::FindLocalArea() { return FindLast<TLocalArea>(FComponents); }
const TLocalArea* TSettingsModule::FindLocalArea() const {
  return FindLast<TLocalArea>(FComponents);
}

TGrobalArea& TSettingsModule::GrobalArea() {
  if (auto* Found = FindGrobalArea()) return *Found;
  return AddGrobalArea();
}

TLocalArea& TSettingsModule::LocalArea() {
  if (auto* Found = FindLocalArea()) return *Found;
  return AddLocalArea();
}

TGrobalArea& TSettingsModule::AddGrobalArea(TGrobalArea Area) {
  return std::get<TGrobalArea>(FComponents.emplace_back(std::move(Area)));
}

TLocalArea& TSettingsModule::AddLocalArea(TLocalArea Area) {
  return std::get<TLocalArea>(FComponents.emplace_back(std::move(Area)));
}

void TSettingsModule::Clear() {
  OldCreateOrder = false;
  Height = 0;
  Width = 0;
  FComponents.clear();
}

}  // namespace tavi
