// A TCP relay on 127.0.0.1 that holds every byte for a fixed delay in each
// direction: the DCC benchmark's stand-in for a long link. As TCP over such
// a link, a direction has at most one receive window unacknowledged, and a
// byte counts as unacknowledged for a whole round trip (twice the delay)
// after it was read. The window is what the kernel lets TCP grow to: half of
// the largest receive buffer (tcp_rmem), the rest being its overhead.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <algorithm>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "LoopbackSocket.h"

namespace bench {

class TDelayRelay {
 public:
  // Forwards the first connection to 127.0.0.1:TargetPort.
  TDelayRelay(std::uint16_t TargetPort, int DelayMs) : target_(TargetPort), delay_(DelayMs) {
    listener_ = ListenLoopback(port_);
    accepter_ = std::thread([this] { Run(); });
  }
  ~TDelayRelay() {
    ::shutdown(listener_, SHUT_RDWR);
    if (accepter_.joinable()) accepter_.join();
    for (int fd : {down_, up_})
      if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    for (std::thread& t : pipes_) t.join();
    ::close(listener_);
    if (down_ >= 0) ::close(down_);
    if (up_ >= 0) ::close(up_);
  }
  std::uint16_t Port() const { return port_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct TLine {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<std::pair<Clock::time_point, std::vector<char>>> Chunks;
    std::size_t Queued = 0;
    bool Ended = false;
    // Bytes read and when their acknowledgement would be back.
    std::deque<std::pair<Clock::time_point, std::size_t>> Unacked;
    std::size_t UnackedBytes = 0;
  };

  static std::size_t Window() {
    std::ifstream in("/proc/sys/net/ipv4/tcp_rmem");
    std::size_t low = 0, initial = 0, high = 0;
    return in >> low >> initial >> high && high > 0 ? high / 2 : 3u << 20;
  }

  void Run() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 120000) != 1) return;
    down_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (down_ < 0) return;
    up_ = ConnectLoopback(target_);
    if (up_ < 0) return;
    const int on = 1;
    for (int fd : {down_, up_}) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Pipe(down_, up_, forward_);
    Pipe(up_, down_, back_);
  }

  void Pipe(int From, int To, TLine& Line) {
    pipes_.emplace_back([this, From, &Line] {
      const std::size_t window = Window();
      std::vector<char> buffer(256 * 1024);
      for (;;) {
        // No more than the window may be on its way.
        std::size_t room = 0;
        for (;;) {
          std::unique_lock lock(Line.Mutex);
          const auto now = Clock::now();
          while (!Line.Unacked.empty() && Line.Unacked.front().first <= now) {
            Line.UnackedBytes -= Line.Unacked.front().second;
            Line.Unacked.pop_front();
          }
          if (Line.UnackedBytes < window) {
            room = window - Line.UnackedBytes;
            break;
          }
          const auto next = Line.Unacked.front().first;
          lock.unlock();
          std::this_thread::sleep_until(next);
        }
        const ssize_t n = ::recv(From, buffer.data(), std::min(buffer.size(), room), 0);
        std::unique_lock lock(Line.Mutex);
        if (n <= 0) {
          Line.Ended = true;
          Line.Changed.notify_all();
          return;
        }
        const auto now = Clock::now();
        Line.Chunks.emplace_back(now + std::chrono::milliseconds(delay_),
                                 std::vector<char>(buffer.data(), buffer.data() + n));
        Line.Queued += static_cast<std::size_t>(n);
        Line.Unacked.emplace_back(now + std::chrono::milliseconds(2 * delay_), static_cast<std::size_t>(n));
        Line.UnackedBytes += static_cast<std::size_t>(n);
        Line.Changed.notify_all();
      }
    });
    pipes_.emplace_back([To, &Line] {
      for (;;) {
        std::unique_lock lock(Line.Mutex);
        Line.Changed.wait(lock, [&] { return !Line.Chunks.empty() || Line.Ended; });
        if (Line.Chunks.empty()) {
          ::shutdown(To, SHUT_WR);
          return;
        }
        const Clock::time_point due = Line.Chunks.front().first;
        if (Clock::now() < due) {
          lock.unlock();
          std::this_thread::sleep_until(due);
          continue;
        }
        std::vector<char> chunk = std::move(Line.Chunks.front().second);
        Line.Chunks.pop_front();
        Line.Queued -= chunk.size();
        Line.Changed.notify_all();
        lock.unlock();
        if (!SendAll(To, chunk.data(), chunk.size())) return;
      }
    });
  }

  std::uint16_t target_;
  int delay_;
  int listener_ = -1, down_ = -1, up_ = -1;
  std::uint16_t port_ = 0;
  TLine forward_, back_;
  std::thread accepter_;
  std::vector<std::thread> pipes_;
};

}  // namespace bench
