// A relay between a client and a server on loopback that can leave a ghost:
// Cut() drops the client's side only, while the server's side stays open
// and silent, so the server keeps the old session (and its nick) until its
// ping time-out, as after a drop somewhere between the two.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tavi::test {

class TGhostRelay {
 public:
  explicit TGhostRelay(std::uint16_t ServerPort);
  ~TGhostRelay();
  TGhostRelay(const TGhostRelay&) = delete;
  TGhostRelay& operator=(const TGhostRelay&) = delete;

  std::uint16_t Port() const { return port_; }
  void Cut() { cut_ = true; }
  // Where the next client is relayed to (a server started again).
  void SetServerPort(std::uint16_t Port) { serverPort_ = Port; }

 private:
  void Run();
  // Copies what From has to To; false when From has ended.
  static bool Pass(int From, int To);

  std::atomic<std::uint16_t> serverPort_;
  std::uint16_t port_ = 0;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> cut_{false};
  std::thread thread_;
};

}  // namespace tavi::test
