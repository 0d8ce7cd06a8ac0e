// A second IRC client written in the test: a raw socket that sends lines and
// waits, with a time limit, for what the server relays.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/BlockingSocket.h"

namespace tavi::test {

class TRawIrcPeer {
 public:
  bool Connect(const std::string& Host, std::uint16_t Port) { return socket_.Connect(Host, Port, 5000); }

  void Send(const std::string& Line) { socket_.WriteAll(Line); }

  // Registers and waits for the end of the message of the day.
  bool Register(const std::string& Nick) {
    Send("NICK " + Nick + "\r\nUSER " + Nick + " host srv :Raw Peer\r\n");
    return !WaitFor(" 376 ").empty() || !Received().empty();
  }

  // The first received line holding Needle, waiting up to TimeoutMs; empty
  // when none came. Lines before it are kept in Received().
  std::string WaitFor(const std::string& Needle, int TimeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;) {
      for (std::size_t i = checked_; i < lines_.size(); ++i) {
        if (lines_[i].find(Needle) != std::string::npos) {
          checked_ = i + 1;
          return lines_[i];
        }
      }
      checked_ = lines_.size();
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return {};
      if (socket_.WaitForData(static_cast<int>(left.count())) != TBlockingSocket::TWait::Data) return {};
      char buffer[4096];
      const long n = socket_.Read(buffer, sizeof buffer);
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t at; (at = pending_.find("\r\n")) != std::string::npos;) {
        lines_.push_back(pending_.substr(0, at + 2));
        pending_.erase(0, at + 2);
        if (lines_.back().rfind("PING ", 0) == 0) Send("PONG " + lines_.back().substr(5));
      }
    }
  }

  const std::vector<std::string>& Received() const { return lines_; }
  void Close() { socket_.Close(); }

 private:
  TBlockingSocket socket_;
  std::string pending_;
  std::vector<std::string> lines_;
  std::size_t checked_ = 0;
};

}  // namespace tavi::test
