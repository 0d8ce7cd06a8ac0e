#include "platform/Platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>


namespace tavi {

namespace {

std::atomic<TPlatform*> Installed{nullptr};
std::atomic<TPlatform*> Default{nullptr};

}  // namespace

TPlatform& Platform() {
  TPlatform* P = Installed.load(std::memory_order_acquire);
  if (!P) P = Default.load(std::memory_order_acquire);
  if (!P) {
    // A program that asks the system for anything must have chosen how.
    std::fputs("tavi: no platform set\n", stderr);
    std::abort();
  }
  return *P;
}

void SetPlatform(TPlatform* P) { Installed.store(P, std::memory_order_release); }

void SetDefaultPlatform(TPlatform* P) { Default.store(P, std::memory_order_release); }

std::string TimeStamp() {
  const TDateTime T = Platform().Now();
  char Text[16];
  std::snprintf(Text, sizeof Text, "%02d:%02d", T.Hour, T.Minute);
  return Text;
}

}  // namespace tavi
