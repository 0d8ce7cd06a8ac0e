// Runs the Qt event loop of the test thread until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <thread>

namespace tavi::test {

// True when Done() became true within TimeoutMs.
template <class Pred>
bool PumpUntil(Pred Done, int TimeoutMs = 5000) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Runs the event loop for about Ms, for things that must not happen.
inline void PumpFor(int Ms) {
  PumpUntil([] { return false; }, Ms);
}

}  // namespace tavi::test
