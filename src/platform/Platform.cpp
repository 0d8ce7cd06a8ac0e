#include "platform/Platform.h"

#include <atomic>
#include <cstdio>

#include "platform/QtPlatform.h"

namespace tavi {

namespace {

std::atomic<TPlatform*> Installed{nullptr};

TPlatform& QtOne() {
  static TQtPlatform One;
  return One;
}

}  // namespace

TPlatform& Platform() {
  TPlatform* P = Installed.load(std::memory_order_acquire);
  return P ? *P : QtOne();
}

void SetPlatform(TPlatform* P) { Installed.store(P, std::memory_order_release); }

std::string TimeStamp() {
  const TDateTime T = Platform().Now();
  char Text[16];
  std::snprintf(Text, sizeof Text, "%02d:%02d", T.Hour, T.Minute);
  return Text;
}

}  // namespace tavi
